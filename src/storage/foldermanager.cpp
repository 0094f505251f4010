#include "storage/foldermanager.h"

#include "platform/folderbookmark.h"
#include "storage/pathmanager.h"
#include "storage/settings.h"

FolderManager::FolderManager(QObject *parent) : QObject(parent)
{
    loadFolderHistory();
}

FolderManager::~FolderManager()
{
    FolderBookmark::stopAccess(PathManager::baseFolderPath());
}

void FolderManager::chooseFolder()
{
    if (!m_chooser)
        return;
    const std::optional<QString> chosen = m_chooser();
    // An empty path would make PathManager fall back to the default folder, which the user did
    // not choose.
    if (!chosen || chosen->isEmpty())
        return;
    PathManager::setBaseFolder(*chosen);
    addFolderToHistory(*chosen);
}

void FolderManager::switchToFolder(const QString &path)
{
    PathManager::setBaseFolder(path);
    const qsizetype index = m_folderHistory.indexOf(path);
    if (index < 0)
        return;
    m_folderHistory.removeAt(index);
    m_folderHistory.prepend(path);
    saveFolderHistoryPaths();
    saveFolderHistoryBookmarks();
    Q_EMIT folderHistoryChanged();
}

void FolderManager::addFolderToHistory(const QString &path)
{
    const QString standardized = PathManager::standardizedPath(path);
    for (const QString &entry : std::as_const(m_folderHistory)) {
        if (PathManager::standardizedPath(entry) == standardized)
            return;
    }
    m_folderHistory.prepend(path);
    // A loop rather than one removal: a hand-edited setting may have brought in a longer list.
    while (m_folderHistory.size() > maximumHistoryCount)
        m_folderHistory.removeLast();
    saveFolderHistoryPaths();
    saveFolderHistoryBookmarks();
    Q_EMIT folderHistoryChanged();
}

void FolderManager::clearFolderHistory()
{
    for (const QString &entry : std::as_const(m_folderHistory))
        FolderBookmark::stopAccess(entry);
    m_folderHistory.clear();
    Settings::instance().resetFolderHistory();
    Settings::instance().resetFolderHistoryBookmarks();
    Q_EMIT folderHistoryChanged();
}

void FolderManager::loadFolderHistory()
{
    const Settings &settings = Settings::instance();
    m_folderHistory = settings.folderHistory();
    if (m_folderHistory.isEmpty())
        return;
    Q_EMIT folderHistoryChanged();

    // The resolved paths are not kept: the list shows the folders as they were stored. Stale
    // bookmarks are refreshed the next time the history is saved.
    for (const QByteArray &bookmark : settings.folderHistoryBookmarks()) {
        if (const auto resolved = FolderBookmark::resolve(bookmark))
            FolderBookmark::startAccess(resolved->path);
    }
}

void FolderManager::saveFolderHistoryPaths()
{
    QStringList paths;
    paths.reserve(m_folderHistory.size());
    for (const QString &entry : std::as_const(m_folderHistory))
        paths.append(PathManager::standardizedPath(entry));
    Settings::instance().setFolderHistory(paths);
}

void FolderManager::saveFolderHistoryBookmarks()
{
    Settings::FolderBookmarks bookmarks;
    for (const QString &entry : std::as_const(m_folderHistory)) {
        if (const auto bookmark = FolderBookmark::create(entry))
            bookmarks.insert(entry, *bookmark);
    }
    Settings::instance().setFolderHistoryBookmarks(bookmarks);
}
