#include "links/linkfollower.h"

#include "links/linkgraph.h"
#include "links/linkrewrite.h"
#include "platform/diagnostics.h"
#include "search/notefiles.h"
#include "storage/notestore.h"
#include "storage/pathmanager.h"
#include "storage/textfile.h"

#include <QDir>

#include <chrono>

LinkFollower::LinkFollower(Handlers handlers, QObject *parent, const QString &indexPath)
    : QObject(parent), m_handlers(std::move(handlers)), m_indexPath(indexPath)
{
    connect(&NoteStore::instance(), &NoteStore::changed, this, &LinkFollower::changed);
}

void LinkFollower::changed(const NoteChange &change)
{
    if (change.kind == NoteChange::Kind::folderMoved) {
        QMetaObject::invokeMethod(
            this,
            [this, oldPath = change.oldPath, newPath = change.path] {
                followFolder(oldPath, newPath);
            },
            Qt::QueuedConnection);
        return;
    }
    if (change.kind != NoteChange::Kind::moved)
        return;
    // After every listener has heard of the move (the open document follows it first).
    QMetaObject::invokeMethod(
        this, [this, oldPath = change.oldPath, newPath = change.path] { follow(oldPath, newPath); },
        Qt::QueuedConnection);
}

void LinkFollower::follow(const QString &oldPath, const QString &newPath)
{
    const QString base = PathManager::standardizedPath(PathManager::baseFolderPath());
    const QString root = base + u'/';
    if (!oldPath.startsWith(root) || !newPath.startsWith(root))
        return;
    const QString from = oldPath.sliced(root.size());
    const QString to = newPath.sliced(root.size());
    // The notes as they were before the move.
    const NoteFiles::NoteFileList list = NoteFiles::listNoteFiles(base);
    QStringList before;
    before.reserve(list.files.size());
    for (const NoteFiles::File &file : list.files) {
        const QString &folder = list.folders[file.folder].relativePath;
        const QString path = folder.isEmpty() ? file.name : folder + u'/' + file.name;
        before.append(path == to ? from : path);
    }
    if (!before.contains(from))
        before.append(from);
    QStringList candidates;
    LinkGraph graph(base, m_indexPath);
    QString problem;
    if (graph.refresh(&problem)) {
        const auto found = graph.linkerCandidates(from, &problem);
        if (found)
            candidates = *found;
    }
    const LinkUpdater updater(base, before);
    // Without the index every note is read; with it, none when nothing links by that name.
    QList<LinkUpdater::Linker> linkers;
    if (!problem.isEmpty() || !candidates.isEmpty()) {
        QStringList read;
        for (const QString &candidate : candidates)
            read.append(candidate == to ? from : candidate);
        linkers = updater.linkersOf(from, read);
    }
    if (!problem.isEmpty())
        Diagnostics::log(QStringLiteral("リンクを索引なしで探しました: ") + problem);
    qsizetype count = 0;
    QStringList paths;
    for (const LinkUpdater::Linker &linker : linkers) {
        count += linker.links;
        paths.append(linker.path);
    }
    // The moved note's own relative paths follow it into another folder, unasked: they are its
    // own, and nothing else changes.
    const bool ownPaths = LinkResolver::folderOf(from) != LinkResolver::folderOf(to);
    if (count > 0 && (!m_handlers.confirm || !m_handlers.confirm(count, linkers)))
        paths.clear();
    if (ownPaths && !paths.contains(from))
        paths.append(from);
    if (paths.isEmpty())
        return;
    const auto openNote = [&](const QString &now) {
        if (!m_handlers.openNote)
            return false;
        return m_handlers.openNote(root + now, [&](const QString &text) {
            return LinkRewrite::apply(
                text, LinkRewrite::editsForMove(text, now, from, to, updater.resolver()));
        });
    };
    const LinkUpdater::Outcome outcome =
        updater.rewrite(from, to, paths, std::chrono::milliseconds(0), openNote);
    if (!outcome.failed.isEmpty() && m_handlers.report)
        m_handlers.report(outcome.failed);
}

void LinkFollower::followFolder(const QString &oldPath, const QString &newPath)
{
    const QString base = PathManager::standardizedPath(PathManager::baseFolderPath());
    const QString root = base + u'/';
    if (!oldPath.startsWith(root) || !newPath.startsWith(root))
        return;
    const QString from = oldPath.sliced(root.size()) + u'/';
    const QString to = newPath.sliced(root.size()) + u'/';
    // The notes as they were before the move, and where the folder's notes went.
    const NoteFiles::NoteFileList list = NoteFiles::listNoteFiles(base);
    QStringList before;
    QStringList now;
    QList<LinkUpdater::Move> moves;
    before.reserve(list.files.size());
    for (const NoteFiles::File &file : list.files) {
        const QString &folder = list.folders[file.folder].relativePath;
        const QString path = folder.isEmpty() ? file.name : folder + u'/' + file.name;
        now.append(path);
        if (path.startsWith(to)) {
            moves.append({from + path.sliced(to.size()), path});
            before.append(moves.last().from);
        } else {
            before.append(path);
        }
    }
    if (moves.isEmpty())
        return;
    // The notes outside the folder that may link into it; every note when the index cannot say.
    QString problem;
    QStringList candidates;
    LinkGraph graph(base, m_indexPath);
    if (graph.refresh(&problem)) {
        for (const LinkUpdater::Move &move : moves) {
            const auto found = graph.linkerCandidates(move.to, &problem);
            if (!found)
                break;
            candidates.append(*found);
        }
    }
    if (!problem.isEmpty()) {
        Diagnostics::log(QStringLiteral("リンクを索引なしで探しました: ") + problem);
        candidates = now;
    }
    candidates.sort();
    candidates.removeDuplicates();
    const LinkUpdater updater(base, before);
    QList<LinkUpdater::Linker> linkers;
    qsizetype count = 0;
    for (const QString &candidate : std::as_const(candidates)) {
        if (candidate.startsWith(to))
            continue;
        const TextFileRead read = TextFile::readUtf8(root + candidate);
        if (!read.ok())
            continue;
        qsizetype links = 0;
        updater.carried(read.text, candidate, moves, &links);
        if (links > 0)
            linkers.append({candidate, links});
        count += links;
    }
    QStringList paths;
    if (count > 0 && m_handlers.confirm && m_handlers.confirm(count, linkers)) {
        for (const LinkUpdater::Linker &linker : std::as_const(linkers))
            paths.append(linker.path);
    }
    // The folder's notes' own relative paths follow them, unasked, as a moved note's do.
    for (const LinkUpdater::Move &move : std::as_const(moves))
        paths.append(move.to);
    const auto openNote = [&](const QString &path) {
        if (!m_handlers.openNote)
            return false;
        return m_handlers.openNote(
            root + path, [&](const QString &text) { return updater.carried(text, path, moves); });
    };
    const LinkUpdater::Outcome outcome =
        updater.rewrite(moves, paths, std::chrono::milliseconds(0), openNote);
    if (!outcome.failed.isEmpty() && m_handlers.report)
        m_handlers.report(outcome.failed);
}
