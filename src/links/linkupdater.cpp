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
    // One move among many: the moved note's own paths follow it, the others' links are carried.
    QStringList now;
    now.reserve(linkers.size());
    for (const QString &linker : linkers)
        now.append(linker == oldPath ? newPath : linker);
    return rewrite(QList<Move>{{oldPath, newPath}}, now, patience, skip);
}

QString LinkUpdater::carried(const QString &text, const QString &linker, const QList<Move> &moves,
                             qsizetype *changed) const
{
    QString result = text;
    qsizetype count = 0;
    bool moved = false;
    // The note's own move first: its relative paths then lead from its new folder to where the
    // others were, and the others' moves below carry those on to where they went.
    for (const Move &move : moves) {
        if (move.to != linker)
            continue;
        moved = true;
        result = LinkRewrite::apply(
            result, LinkRewrite::editsForMove(result, linker, move.from, move.to, m_resolver));
    }
    for (const Move &move : moves) {
        if (move.to == linker)
            continue;
        const QList<LinkRewrite::Edit> edits =
            LinkRewrite::editsForMove(result, linker, move.from, move.to, m_resolver);
        count += edits.size();
        result = LinkRewrite::apply(result, edits);
    }
    if (changed)
        *changed = moved ? 0 : count;
    return result;
}

LinkUpdater::Outcome LinkUpdater::rewrite(const QList<Move> &moves, const QStringList &linkers,
                                          std::chrono::milliseconds patience,
                                          const std::function<bool(const QString &)> &skip) const
{
    Outcome outcome;
    for (const QString &now : linkers) {
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
        QString text = carried(read.text, now, moves);
        if (text == read.text)
            continue;
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
