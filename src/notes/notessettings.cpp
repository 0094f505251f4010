#include "notes/notessettings.h"

#include "storage/pathmanager.h"
#include "storage/settings.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace NotesSettings {
namespace {

std::optional<QString> existingFolderInside(const QString &stored, const QString &notesFolder)
{
    if (stored.isEmpty() || !QFileInfo(stored).isDir() || !isInsideOrSame(stored, notesFolder))
        return std::nullopt;
    return stored;
}

} // namespace

std::optional<QString> lastSelectedFolder(const QString &notesFolder)
{
    return existingFolderInside(
        Settings::instance().lastSelectedNotesFolder(PathManager::baseFolderPath()), notesFolder);
}

void saveLastSelectedFolder(const QString &folder)
{
    Settings::instance().setLastSelectedNotesFolder(PathManager::baseFolderPath(), folder);
}

std::optional<QString> storedSelectedFolder(const QString &notesFolder)
{
    return existingFolderInside(Settings::instance().selectedNotesFolder(), notesFolder);
}

void saveSelectedFolder(const QString &folder)
{
    Settings::instance().setSelectedNotesFolder(folder);
}

std::optional<QString> lastFileInFolder(const QString &folder)
{
    const QString file = Settings::instance().lastFileInFolder(folder);
    if (file.isEmpty() || !QFileInfo(file).isFile() || !isInsideOrSame(file, folder))
        return std::nullopt;
    return file;
}

void saveLastFileInFolder(const QString &file, const QString &folder)
{
    Settings::instance().setLastFileInFolder(folder, file);
}

std::optional<QSet<QString>> expandedFolderPaths()
{
    const auto stored = Settings::instance().expandedNoteFolders();
    if (!stored)
        return std::nullopt;
    return QSet<QString>(stored->cbegin(), stored->cend());
}

void saveExpandedFolderPaths(const QSet<QString> &paths)
{
    // Sorted only so the settings file does not churn between two equal sets.
    QStringList list(paths.cbegin(), paths.cend());
    std::sort(list.begin(), list.end());
    Settings::instance().setExpandedNoteFolders(list);
}

bool isInsideOrSame(const QString &path, const QString &folder)
{
    if (folder.isEmpty())
        return false;
    return path == folder || (path.size() > folder.size() && path.startsWith(folder) &&
                              (folder.endsWith(u'/') || path.at(folder.size()) == u'/'));
}

} // namespace NotesSettings
