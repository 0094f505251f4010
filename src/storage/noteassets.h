#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

/// A note's pictures live in a folder beside it named after the note: "Meeting.md" keeps them in
/// "Meeting.assets/", the daily memo "Daily/2026-12-07.md" in "Daily/2026-12-07.assets/". The
/// folder moves and goes with its note (NoteStore), and the notes page does not list it as a
/// folder of its own while its note is beside it.
namespace NoteAssets {

inline constexpr QStringView suffix = u".assets";

/// The assets folder of the note at `notePath` (it may not exist).
QString folderOf(const QString &notePath);

/// The note name (without extension) whose assets folder is called `folderName`, or an empty
/// string when the name does not end in ".assets" (or is only that).
QString noteStemOf(QStringView folderName);

/// Whether another note beside `notePath` has the same name without extension ("X.md" beside
/// "X.txt"): then the assets folder is theirs together, and it neither moves nor goes with
/// either of them alone.
bool isShared(const QString &notePath);

/// The files in the assets folder of `notePath`, by name in natural order; empty without one.
QStringList fileNames(const QString &notePath);

/// What asking to delete the note adds: 「画像 3 件も削除されます: a.png、b.png、c.png」 (the first
/// few names, then how many more); empty for a note without pictures.
QString deletionNotice(const QString &notePath);

} // namespace NoteAssets
