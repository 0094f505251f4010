#pragma once

#include "storage/notestore.h"

#include <QString>

/// Names typed by the user for notes and folders, and the free names used when one is taken.
namespace NoteNaming {

/// The name without white space and line breaks at either end.
QString trimmedName(const QString &name);

/// Whether `text` holds a control character (Unicode category Cc: NUL, tab, line breaks, escape,
/// DEL, C1 controls). None belongs in a name: it would break the lines of every listing and
/// could drive a terminal that shows the name.
bool containsControlCharacter(QStringView text);

/// Whether `name`, once trimmed, can name one entry inside a folder. Refused: an empty name, a
/// name containing "/" (it would lead into another folder, or out of the Notes folder), a name
/// with a control character anywhere, even where trimming would remove it (such a name was
/// pasted or scripted by mistake), and a name starting with "." (hidden entries are never
/// listed, so the note or folder would vanish from every list).
bool isUsableName(const QString &name);

/// The file name of a new note: the trimmed input, with ".md" appended unless it ends so.
QString newNoteFileName(const QString &input);

/// The longest name of one entry in a folder that Linux file systems take, in UTF-8 bytes.
constexpr qsizetype maxNameBytes = NoteStore::maxNameBytes;

/// Whether `fileName` (one entry's name, extension and number included) is longer than
/// maxNameBytes.
bool isTooLong(const QString &fileName);

/// What the user is told when a name is too long: the limit, and what counts towards it.
QString tooLongMessage();

/// `fileName` numbered: "name (n).ext"; `fileName` itself for n = 0.
QString numberedFileName(const QString &fileName, int n);

/// True when something, even a dangling symbolic link, already occupies `path`.
bool isTaken(const QString &path);

/// `folder`/`fileName` when that is free, else the first free "name (n).ext" for n = 1, 2, …,
/// always numbered from `fileName` itself.
QString freeNotePath(const QString &folder, const QString &fileName);

} // namespace NoteNaming
