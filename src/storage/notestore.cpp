#include "storage/notestore.h"

#include "platform/diagnostics.h"
#include "platform/filenames.h"
#include "storage/noteassets.h"
#include "storage/pathmanager.h"
#include "storage/pins.h"
#include "storage/textfile.h"
#include "storage/viewcounts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool occupied(const QByteArray &path)
{
    struct stat status;
    return ::lstat(path.constData(), &status) == 0;
}

bool fail(AtomicFile::Error *error, int code)
{
    if (error)
        *error = {code, qt_error_string(code)};
    return false;
}

/// Renames without ever replacing what is at `to` (rename(2) would replace a file, or an empty
/// folder with a folder): renameat2 refuses atomically; file systems without it get a check
/// right before the plain rename.
bool moveWithoutReplacing(const QString &from, const QString &to, AtomicFile::Error *error)
{
    const QByteArray source = FileNames::encode(from);
    const QByteArray target = FileNames::encode(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return fail(error, errno);
    if (occupied(target))
        return fail(error, EEXIST);
    if (::rename(source.constData(), target.constData()) == 0)
        return true;
    return fail(error, errno);
}

QString folderPrefix(const QString &folder)
{
    return PathManager::standardizedPath(folder) + u'/';
}

/// The paths below `folder` among `paths`, which are standardized.
template <typename Paths> QStringList pathsBelow(const Paths &paths, const QString &folder)
{
    const QString prefix = folderPrefix(folder);
    QStringList below;
    for (const QString &path : paths) {
        if (path.startsWith(prefix))
            below.append(path);
    }
    return below;
}

// Pins and view counts are remembered per note path: they move with the note and go with it.
void followInPinsAndCounts(const NoteChange &change)
{
    switch (change.kind) {
    case NoteChange::Kind::moved:
        Pins::renamePinnedNote(change.oldPath, change.path);
        ViewCounts::renameViewCount(change.oldPath, change.path);
        return;
    case NoteChange::Kind::folderMoved: {
        const qsizetype oldLength = folderPrefix(change.oldPath).size();
        const QString newPrefix = folderPrefix(change.path);
        for (const QString &note : pathsBelow(Pins::pinnedPaths(), change.oldPath))
            Pins::renamePinnedNote(note, newPrefix + note.mid(oldLength));
        for (const QString &note :
             pathsBelow(ViewCounts::viewCountsByPath().keys(), change.oldPath))
            ViewCounts::renameViewCount(note, newPrefix + note.mid(oldLength));
        return;
    }
    case NoteChange::Kind::deleted:
        Pins::unpinNote(change.path);
        ViewCounts::removeViewCount(change.path);
        return;
    case NoteChange::Kind::folderDeleted:
        // After a partial failure some notes are still there, and keep what they had.
        for (const QString &note : pathsBelow(Pins::pinnedPaths(), change.path)) {
            if (!occupied(FileNames::encode(note)))
                Pins::unpinNote(note);
        }
        for (const QString &note : pathsBelow(ViewCounts::viewCountsByPath().keys(), change.path)) {
            if (!occupied(FileNames::encode(note)))
                ViewCounts::removeViewCount(note);
        }
        return;
    case NoteChange::Kind::saved:
    case NoteChange::Kind::created:
    case NoteChange::Kind::conflictCopy:
    case NoteChange::Kind::folderCreated:
        return;
    }
}

} // namespace

NoteStore::NoteStore()
{
    connect(this, &NoteStore::changed, this, &followInPinsAndCounts);
}

NoteStore &NoteStore::instance()
{
    static NoteStore store;
    return store;
}

bool NoteStore::isNameTooLong(const QString &fileName)
{
    return fileName.toUtf8().size() > maxNameBytes;
}

QString NoteStore::nameTooLongMessage()
{
    return QStringLiteral("名前が長すぎます（拡張子や番号も含めて UTF-8 で ") +
           QString::number(maxNameBytes) + QStringLiteral(" バイトまで）");
}

void NoteStore::announce(NoteChange change)
{
    Q_EMIT changed(change);
}

bool NoteStore::writeNote(const QString &path, const QString &text,
                          const std::optional<QString> &previousText, AtomicFile::Error *error)
{
    const bool existed = occupied(FileNames::encode(path));
    if (existed)
        Q_EMIT aboutToChange({NoteChange::Kind::saved, path, {}, previousText});
    if (!TextFile::writeUtf8(path, text, error))
        return false;
    if (existed)
        announce({NoteChange::Kind::saved, path, {}, previousText});
    else
        announce({NoteChange::Kind::created, path, {}, {}});
    return true;
}

bool NoteStore::createNote(const QString &path, const QByteArray &bytes, AtomicFile::Error *error,
                           bool *taken, const QString &conflictOf)
{
    if (!AtomicFile::writeNew(path, bytes, error, taken))
        return false;
    if (conflictOf.isEmpty())
        announce({NoteChange::Kind::created, path, {}, {}});
    else
        announce({NoteChange::Kind::conflictCopy, path, conflictOf, {}});
    return true;
}

bool NoteStore::createFolder(const QString &path, AtomicFile::Error *error)
{
    if (::mkdir(FileNames::encode(path).constData(), 0777) != 0)
        return fail(error, errno);
    announce({NoteChange::Kind::folderCreated, path, {}, {}});
    return true;
}

bool NoteStore::moveNote(const QString &from, const QString &to, AtomicFile::Error *error)
{
    // The note's pictures go where it goes, or the note stays where it is.
    const QString fromAssets = NoteAssets::folderOf(from);
    const QString toAssets = NoteAssets::folderOf(to);
    const bool withAssets = fromAssets != toAssets && occupied(FileNames::encode(fromAssets)) &&
                            !NoteAssets::isShared(from);
    if (withAssets && occupied(FileNames::encode(toAssets)))
        return fail(error, EEXIST);
    Q_EMIT aboutToChange({NoteChange::Kind::moved, to, from, {}});
    if (!moveWithoutReplacing(from, to, error))
        return false;
    if (withAssets && !moveWithoutReplacing(fromAssets, toAssets, error)) {
        AtomicFile::Error undo;
        if (moveWithoutReplacing(to, from, &undo))
            return false;
        // The note did move; only its pictures stayed behind. Saying it did not would make the
        // open document write its text to the old path again.
        Diagnostics::log(QStringLiteral("画像フォルダを移動できませんでした: ") + fromAssets +
                         QStringLiteral(": ") + (error ? error->text : QString()));
        announce({NoteChange::Kind::moved, to, from, {}});
        return true;
    }
    announce({NoteChange::Kind::moved, to, from, {}});
    if (withAssets)
        announce({NoteChange::Kind::folderMoved, toAssets, fromAssets, {}});
    return true;
}

bool NoteStore::moveFolder(const QString &from, const QString &to, AtomicFile::Error *error)
{
    if (!moveWithoutReplacing(from, to, error))
        return false;
    announce({NoteChange::Kind::folderMoved, to, from, {}});
    return true;
}

bool NoteStore::deleteNote(const QString &path, AtomicFile::Error *error)
{
    // What the note held goes with the announcement, for followers that keep old texts.
    const TextFileRead last = TextFile::readUtf8(path);
    Q_EMIT aboutToChange({NoteChange::Kind::deleted, path, {}, {}});
    if (::unlink(FileNames::encode(path).constData()) != 0)
        return fail(error, errno);
    announce({NoteChange::Kind::deleted,
              path,
              {},
              last.ok() ? std::optional<QString>(last.text) : std::nullopt});
    deleteAssetsOf(path);
    return true;
}

void NoteStore::deleteAssetsOf(const QString &notePath)
{
    if (NoteAssets::isShared(notePath))
        return;
    const QString assets = NoteAssets::folderOf(notePath);
    const QByteArray encoded = FileNames::encode(assets);
    struct stat status;
    if (::lstat(encoded.constData(), &status) != 0)
        return;
    // A link is removed, never what it leads to.
    const bool removed = S_ISDIR(status.st_mode) ? QDir(assets).removeRecursively()
                                                 : ::unlink(encoded.constData()) == 0;
    if (!removed)
        Diagnostics::log(QStringLiteral("画像フォルダを削除できませんでした: ") + assets);
    announce({NoteChange::Kind::folderDeleted, assets, {}, {}});
}

bool NoteStore::deleteFolder(const QString &path, AtomicFile::Error *error)
{
    Q_EMIT aboutToChange({NoteChange::Kind::folderDeleted, path, {}, {}});
    const bool removed = QDir(path).removeRecursively();
    announce({NoteChange::Kind::folderDeleted, path, {}, {}});
    if (!removed && error)
        *error = {0, QStringLiteral("一部の項目を削除できませんでした: ") + path};
    return removed;
}
