#include "notes/notessettings.h"

#include "platform/settingsstore.h"
#include "storage/pathmanager.h"

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

QString lastSelectedFolderKey(const QString &baseFolder)
{
    return QStringLiteral("lastSelectedFolderPath_") + baseFolder + QStringLiteral("_notes");
}

QString lastFileInFolderKey(const QString &folder)
{
    return QStringLiteral("lastFileInFolder_") + folder;
}

std::optional<QString> lastSelectedFolder(const QString &notesFolder)
{
    const QString key = lastSelectedFolderKey(PathManager::baseFolderPath());
    return existingFolderInside(SettingsStore::instance().stringOr(key, {}), notesFolder);
}

void saveLastSelectedFolder(const QString &folder)
{
    SettingsStore::instance().setValue(lastSelectedFolderKey(PathManager::baseFolderPath()),
                                       folder);
}

std::optional<QString> storedSelectedFolder(const QString &notesFolder)
{
    return existingFolderInside(SettingsStore::instance().stringOr(selectedFolderKey, {}),
                                notesFolder);
}

void saveSelectedFolder(const QString &folder)
{
    SettingsStore::instance().setValue(selectedFolderKey, folder);
}

std::optional<QString> lastFileInFolder(const QString &folder)
{
    const QString file = SettingsStore::instance().stringOr(lastFileInFolderKey(folder), {});
    if (file.isEmpty() || !QFileInfo(file).isFile() || !isInsideOrSame(file, folder))
        return std::nullopt;
    return file;
}

void saveLastFileInFolder(const QString &file, const QString &folder)
{
    SettingsStore::instance().setValue(lastFileInFolderKey(folder), file);
}

std::optional<QSet<QString>> expandedFolderPaths()
{
    const auto stored = SettingsStore::instance().stringArray(expandedFolderPathsKey);
    if (!stored)
        return std::nullopt;
    return QSet<QString>(stored->cbegin(), stored->cend());
}

void saveExpandedFolderPaths(const QSet<QString> &paths)
{
    // Sorted only so the settings file does not churn between two equal sets.
    QStringList list(paths.cbegin(), paths.cend());
    std::sort(list.begin(), list.end());
    SettingsStore::instance().setValue(expandedFolderPathsKey, list);
}

int listFontSize()
{
    const qint64 size = SettingsStore::instance().integerOr(listFontSizeKey, defaultListFontSize);
    // A hand-edited value must not make the rows vanish or fill the screen.
    return int(std::clamp<qint64>(size, 8, 48));
}

bool isInsideOrSame(const QString &path, const QString &folder)
{
    if (folder.isEmpty())
        return false;
    return path == folder || (path.size() > folder.size() && path.startsWith(folder) &&
                              (folder.endsWith(u'/') || path.at(folder.size()) == u'/'));
}

} // namespace NotesSettings
