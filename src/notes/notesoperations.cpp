#include "notes/notesoperations.h"

#include "notes/notenaming.h"
#include "notes/notescan.h"
#include "notes/notessettings.h"
#include "platform/atomicfile.h"
#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "storage/notedocument.h"
#include "storage/pins.h"
#include "storage/viewcounts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace NotesOperations {
namespace {

using Status = Result::Status;

Result failure(const QString &prefix, const QString &error)
{
    Diagnostics::log(prefix + error);
    return {Status::failed, {}, error};
}

Result done(const QString &path)
{
    return {Status::done, path, {}};
}

QString parentOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

/// Renames without ever replacing what is at `to`: renameat2 refuses atomically; file systems
/// without it get a check right before the plain rename.
bool moveWithoutReplacing(const QString &from, const QString &to, QString *error)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        *error = qt_error_string(errno);
        return false;
    }
    if (NoteNaming::isTaken(to)) {
        *error = qt_error_string(EEXIST);
        return false;
    }
    if (::rename(source.constData(), target.constData()) == 0)
        return true;
    *error = qt_error_string(errno);
    return false;
}

QStringList notePathsBelow(const QString &folder)
{
    QStringList paths;
    for (const NoteFileItem &item : NoteScan::collectAllNoteItems(folder))
        paths.append(item.path);
    return paths;
}

void carryPinAndCount(const QString &from, const QString &to)
{
    Pins::renamePinnedNote(from, to);
    ViewCounts::renameViewCount(from, to);
}

void forgetPinAndCount(const QString &note)
{
    Pins::unpinNote(note);
    ViewCounts::removeViewCount(note);
}

} // namespace

Result createFolder(const QString &parent, const QString &name)
{
    if (!NoteNaming::isUsableName(name) || NoteNaming::isTooLong(NoteNaming::trimmedName(name)))
        return {Status::refused, {}, {}};
    const QString path = parent + u'/' + NoteNaming::trimmedName(name);
    if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0)
        return failure(QStringLiteral("作成失敗: "), qt_error_string(errno));
    return done(path);
}

Result renameFolder(const QString &folder, const QString &name)
{
    if (!NoteNaming::isUsableName(name) || NoteNaming::isTooLong(NoteNaming::trimmedName(name)))
        return {Status::refused, {}, {}};
    const QString target = parentOf(folder) + u'/' + NoteNaming::trimmedName(name);
    if (target == folder)
        return {Status::nothingToDo, folder, {}};
    const QStringList notes = notePathsBelow(folder);
    QString error;
    if (!moveWithoutReplacing(folder, target, &error))
        return failure(QStringLiteral("名前変更失敗: "), error);

    // A QString, not the string builder, whose reference to note.mid() would dangle.
    const auto movedPath = [&](const QString &note) -> QString {
        return target + note.mid(folder.size());
    };
    for (const QString &note : Pins::pinnedFiles(notes))
        Pins::renamePinnedNote(note, movedPath(note));
    const QHash<QString, int> counts = ViewCounts::viewCounts(notes);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > 0)
            ViewCounts::renameViewCount(it.key(), movedPath(it.key()));
    }
    return done(target);
}

Result deleteFolder(const QString &folder, const QString &notesFolder)
{
    // Compared after cleaning: "Notes/x/.." spells the Notes folder itself.
    const QString cleaned = QDir::cleanPath(folder);
    const QString root = QDir::cleanPath(notesFolder);
    const QFileInfo info(cleaned);
    if (cleaned == root || !NotesSettings::isInsideOrSame(cleaned, root) || info.isSymLink() ||
        !info.isDir())
        return {Status::refused, {}, {}};
    const QStringList notes = notePathsBelow(cleaned);
    const bool removed = QDir(cleaned).removeRecursively();
    for (const QString &note : notes) {
        if (!NoteNaming::isTaken(note))
            forgetPinAndCount(note);
    }
    if (!removed)
        return failure(QStringLiteral("削除失敗: "),
                       QStringLiteral("一部の項目を削除できませんでした: ") + cleaned);
    return done(cleaned);
}

Result moveNote(const QString &source, const QString &targetFolder)
{
    const QFileInfo info(source);
    if (!info.isFile() || parentOf(source) == QDir::cleanPath(targetFolder))
        return {Status::nothingToDo, source, {}};
    const QString destination = NoteNaming::freeNotePath(targetFolder, info.fileName());
    QString error;
    if (!moveWithoutReplacing(source, destination, &error))
        return failure(QStringLiteral("ファイル移動に失敗: "), error);
    carryPinAndCount(source, destination);
    return done(destination);
}

Result renameTarget(const QString &note, const QString &baseName)
{
    const QString trimmed = NoteNaming::trimmedName(baseName);
    if (trimmed.isEmpty())
        return {Status::nothingToDo, note, {}};
    if (!NoteNaming::isUsableName(trimmed))
        return {Status::refused, {}, {}};
    const QString suffix = QFileInfo(note).suffix();
    const QString target =
        parentOf(note) + u'/' + trimmed + (suffix.isEmpty() ? QString() : QString(u'.' + suffix));
    if (target == note)
        return {Status::nothingToDo, note, {}};
    if (NoteNaming::isTaken(target) || NoteNaming::isTooLong(QFileInfo(target).fileName()))
        return {Status::refused, {}, {}};
    return done(target);
}

Result renameNote(const QString &note, const QString &baseName)
{
    const Result planned = renameTarget(note, baseName);
    if (!planned.ok())
        return planned;
    QString error;
    if (!moveWithoutReplacing(note, planned.path, &error))
        return failure(QStringLiteral("インラインリネーム失敗: "), error);
    carryPinAndCount(note, planned.path);
    return planned;
}

QString newNoteText(const QString &title)
{
    const NoteFrontMatter header = completeHeaderForSave(std::nullopt, title, std::nullopt,
                                                         std::nullopt, Clock::current().now());
    return composeNoteText(renderFrontMatter(header), title + u'\n', QString());
}

Result createNote(const QString &folder, const QString &name)
{
    if (!NoteNaming::isUsableName(name))
        return {Status::refused, {}, {}};
    const QString fileName = NoteNaming::newNoteFileName(name);
    // Each name is claimed in one step that never replaces a file: another program (another
    // `quillmere new`) taking it between the look and the write moves us on to the next number.
    for (int n = 0;; ++n) {
        const QString candidate = NoteNaming::numberedFileName(fileName, n);
        if (NoteNaming::isTooLong(candidate))
            return {Status::refused, {}, NoteNaming::tooLongMessage()};
        const QString path = folder + u'/' + candidate;
        if (NoteNaming::isTaken(path))
            continue;
        QString error;
        bool taken = false;
        const QByteArray text = newNoteText(QFileInfo(path).completeBaseName()).toUtf8();
        if (AtomicFile::writeNew(path, text, &error, &taken))
            return done(path);
        if (!taken)
            return failure(QStringLiteral("ファイル作成エラー: "), error);
    }
}

Result deleteNote(const QString &note)
{
    QFile file(note);
    if (!file.remove())
        return failure(QStringLiteral("削除に失敗: "), file.errorString());
    forgetPinAndCount(note);
    return done(note);
}

} // namespace NotesOperations
