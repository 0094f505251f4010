#include "notes/notesoperations.h"

#include "notes/notenaming.h"
#include "notes/notessettings.h"
#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "storage/notedocument.h"
#include "storage/notestore.h"

#include <QDir>
#include <QFileInfo>

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

} // namespace

Result createFolder(const QString &parent, const QString &name)
{
    if (!NoteNaming::isUsableName(name) || NoteNaming::isTooLong(NoteNaming::trimmedName(name)))
        return {Status::refused, {}, {}};
    const QString path = parent + u'/' + NoteNaming::trimmedName(name);
    AtomicFile::Error error;
    if (!NoteStore::instance().createFolder(path, &error))
        return failure(QStringLiteral("作成失敗: "), error.text);
    return done(path);
}

Result renameFolder(const QString &folder, const QString &name)
{
    if (!NoteNaming::isUsableName(name) || NoteNaming::isTooLong(NoteNaming::trimmedName(name)))
        return {Status::refused, {}, {}};
    const QString target = parentOf(folder) + u'/' + NoteNaming::trimmedName(name);
    if (target == folder)
        return {Status::nothingToDo, folder, {}};
    AtomicFile::Error error;
    if (!NoteStore::instance().moveFolder(folder, target, &error))
        return failure(QStringLiteral("名前変更失敗: "), error.text);
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
    AtomicFile::Error error;
    if (!NoteStore::instance().deleteFolder(cleaned, &error))
        return failure(QStringLiteral("削除失敗: "), error.text);
    return done(cleaned);
}

Result moveNote(const QString &source, const QString &targetFolder)
{
    const QFileInfo info(source);
    if (!info.isFile() || parentOf(source) == QDir::cleanPath(targetFolder))
        return {Status::nothingToDo, source, {}};
    const QString destination = NoteNaming::freeNotePath(targetFolder, info.fileName());
    AtomicFile::Error error;
    if (!NoteStore::instance().moveNote(source, destination, &error))
        return failure(QStringLiteral("ファイル移動に失敗: "), error.text);
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
    AtomicFile::Error error;
    if (!NoteStore::instance().moveNote(note, planned.path, &error))
        return failure(QStringLiteral("インラインリネーム失敗: "), error.text);
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
        AtomicFile::Error error;
        bool taken = false;
        const QByteArray text = newNoteText(QFileInfo(path).completeBaseName()).toUtf8();
        if (NoteStore::instance().createNote(path, text, &error, &taken))
            return done(path);
        if (!taken)
            return failure(QStringLiteral("ファイル作成エラー: "), error.text);
    }
}

Result deleteNote(const QString &note)
{
    AtomicFile::Error error;
    if (!NoteStore::instance().deleteNote(note, &error))
        return failure(QStringLiteral("削除に失敗: "), error.text);
    return done(note);
}

} // namespace NotesOperations
