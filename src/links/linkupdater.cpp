#include "links/linkupdater.h"

#include "links/linkrewrite.h"
#include "platform/folderlock.h"
#include "storage/notestore.h"
#include "storage/textfile.h"

#include <QFileInfo>

LinkUpdater::LinkUpdater(const QString &baseFolder, const QStringList &notes)
    : m_base(baseFolder), m_resolver(notes)
{
}

QList<LinkUpdater::Linker> LinkUpdater::linkersOf(const QString &oldPath,
                                                  const QStringList &candidates) const
{
    QList<Linker> found;
    QStringList paths = candidates.isEmpty() ? m_resolver.notes() : candidates;
    paths.sort();
    paths.removeDuplicates();
    for (const QString &path : paths) {
        const TextFileRead read = TextFile::readUtf8(m_base + u'/' + path);
        if (!read.ok())
            continue;
        qsizetype count = 0;
        for (const NoteLinks::Link &link : NoteLinks::links(read.text)) {
            const LinkResolver::Resolution resolution = m_resolver.resolve(link, path);
            if (resolution.status == LinkResolver::Resolution::Status::found &&
                resolution.paths.first() == oldPath)
                ++count;
        }
        if (count > 0)
            found.append({path, count});
    }
    return found;
}

LinkUpdater::Outcome LinkUpdater::rewrite(const QString &oldPath, const QString &newPath,
                                          const QStringList &linkers,
                                          std::chrono::milliseconds patience,
                                          const std::function<bool(const QString &)> &skip) const
{
    Outcome outcome;
    for (const QString &linker : linkers) {
        const QString now = linker == oldPath ? newPath : linker;
        if (skip && skip(now)) {
            outcome.updated.append(now);
            continue;
        }
        const QString file = m_base + u'/' + now;
        // Under the lock every writer of this program takes, so no line written between the
        // read and the write is lost.
        const FolderLock lock(QFileInfo(file).absolutePath(), patience);
        if (lock.isBusy()) {
            outcome.failed.append(now);
            continue;
        }
        const TextFileRead read = TextFile::readUtf8(file);
        if (!read.ok() || !read.writable) {
            outcome.failed.append(now);
            continue;
        }
        const QList<LinkRewrite::Edit> edits =
            LinkRewrite::editsForMove(read.text, now, oldPath, newPath, m_resolver);
        if (edits.isEmpty())
            continue;
        QString text = LinkRewrite::apply(read.text, edits);
        if (read.byteOrderMark)
            text.prepend(QChar(0xFEFF));
        AtomicFile::Error error;
        if (NoteStore::instance().writeNote(file, text, read.text, &error))
            outcome.updated.append(now);
        else
            outcome.failed.append(now);
    }
    return outcome;
}
