#pragma once

#include <QSet>
#include <QString>

#include <optional>

/// What the notes page remembers in the user defaults: the selected folder, the last selected
/// folder per base folder, the last opened note per folder, and the expanded folders.
namespace NotesSettings {

/// The folder last selected under the current base folder, when it still exists inside
/// `notesFolder`.
std::optional<QString> lastSelectedFolder(const QString &notesFolder);
void saveLastSelectedFolder(const QString &folder);

/// The stored selected folder, when it exists inside `notesFolder`. The setting is shared by all
/// base folders, so a folder of another base folder is ignored.
std::optional<QString> storedSelectedFolder(const QString &notesFolder);
/// Stores the selected folder; an empty path stands for "すべて".
void saveSelectedFolder(const QString &folder);

/// The note last opened in `folder`, when it still lies there.
std::optional<QString> lastFileInFolder(const QString &folder);
void saveLastFileInFolder(const QString &file, const QString &folder);

/// The stored expanded folders; nothing before the first write.
std::optional<QSet<QString>> expandedFolderPaths();
void saveExpandedFolderPaths(const QSet<QString> &paths);

/// Whether `path` is `folder` itself or lies somewhere below it.
bool isInsideOrSame(const QString &path, const QString &folder);

} // namespace NotesSettings
