#pragma once

#include <QDate>
#include <QString>

#include <optional>

/// The base folder that holds every document, and the fixed paths below it.
///
/// "URL" in these names is an absolute local path. The base folder is resolved once, on first
/// use: the stored folder bookmark, else the stored path, else the default folder in the user's
/// data folder. Only setBaseFolder changes it afterwards. Main thread.
class PathManager
{
public:
    PathManager() = delete;

    static QString baseFolderPath();

    /// Switches the base folder; an empty path means the default folder. Records the choice in
    /// the settings and posts "BaseFolderChanged".
    static void setBaseFolder(const QString &path);

    /// Uses `path` as the base folder for the rest of this process only: nothing is stored in
    /// the settings and nothing is posted (the command line's --base).
    static void setBaseFolderForProcess(const QString &path);

    /// "Quillmere" in the user's data folder, or the older "Dayleaf" beside it when only that
    /// one exists. The current one is created when neither exists.
    static QString defaultBaseFolderPath();

    /// Daily/yyyy-MM-dd.txt for a calendar day. Creates the Daily folder, not the file.
    static QString dailyMemoPath(const QDate &date);

    /// The Notes folder, created when missing.
    static QString notesFolderPath();

    /// Name of the folder below the base folder that holds the application's own files (pins,
    /// view counts, the holiday table); it holds no notes.
    static inline const QString dataFolderName = QStringLiteral("Data");

    /// The Data folder, created when missing.
    static QString dataFolderPath();

    /// The absolute form of a path with "." and ".." removed and no trailing slash.
    static QString standardizedPath(const QString &path);

    /// Used by start-up resolution: the folder of the stored bookmark, if it can be found.
    static std::optional<QString> resolveBookmarkedFolder();

    /// Forgets the resolved base folder, so the next use resolves it again.
    static void resetForTesting();
};
