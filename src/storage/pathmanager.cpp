#include "storage/pathmanager.h"

#include "platform/appevents.h"
#include "platform/folderbookmark.h"
#include "storage/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

std::optional<QString> &resolvedBaseFolder()
{
    static std::optional<QString> folder;
    return folder;
}

QString dataHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

void ensureFolder(const QString &path)
{
    if (!QFileInfo::exists(path))
        QDir().mkpath(path); // a failure shows up in the file operation that follows
}

QString startupBaseFolder()
{
    if (const auto bookmarked = PathManager::resolveBookmarkedFolder())
        return *bookmarked;
    const QString stored = Settings::instance().baseFolder();
    if (!stored.isEmpty())
        return stored;
    return PathManager::defaultBaseFolderPath();
}

} // namespace

QString PathManager::baseFolderPath()
{
    auto &folder = resolvedBaseFolder();
    if (!folder)
        folder = startupBaseFolder();
    return *folder;
}

void PathManager::setBaseFolder(const QString &path)
{
    Settings &settings = Settings::instance();
    auto &folder = resolvedBaseFolder();
    if (path.isEmpty()) {
        folder = defaultBaseFolderPath();
        settings.resetBaseFolder();
        settings.resetBaseFolderBookmark();
        AppEvents::instance().postBaseFolderChanged();
        return;
    }
    folder = path;
    settings.setBaseFolder(path);
    if (standardizedPath(path) == standardizedPath(defaultBaseFolderPath()))
        settings.resetBaseFolderBookmark();
    else if (const auto bookmark = FolderBookmark::create(path))
        settings.setBaseFolderBookmark(*bookmark);
    AppEvents::instance().postBaseFolderChanged();
}

void PathManager::setBaseFolderForProcess(const QString &path)
{
    resolvedBaseFolder() = path;
}

QString PathManager::defaultBaseFolderPath()
{
    const QString current = dataHome() + QStringLiteral("/Quillmere");
    if (QFileInfo::exists(current))
        return current;
    const QString older = dataHome() + QStringLiteral("/Dayleaf");
    if (QFileInfo::exists(older))
        return older;
    QDir().mkpath(current); // a failure shows up in the file operation that follows
    return current;
}

QString PathManager::dailyMemoPath(const QDate &date)
{
    const QString folder = baseFolderPath() + QStringLiteral("/Daily");
    ensureFolder(folder);
    // Always the Gregorian yyyy-MM-dd with ASCII digits, whatever the user's locale.
    return folder + QLatin1Char('/') + date.toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(".txt");
}

QString PathManager::notesFolderPath()
{
    const QString folder = baseFolderPath() + QStringLiteral("/Notes");
    ensureFolder(folder);
    return folder;
}

QString PathManager::dataFolderPath()
{
    const QString folder = baseFolderPath() + u'/' + dataFolderName;
    ensureFolder(folder);
    return folder;
}

QString PathManager::standardizedPath(const QString &path)
{
    if (path.isEmpty())
        return path;
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

std::optional<QString> PathManager::resolveBookmarkedFolder()
{
    Settings &settings = Settings::instance();
    QByteArray data = settings.baseFolderBookmark();
    const bool fromLegacyKey = data.isEmpty();
    if (fromLegacyKey)
        data = settings.legacyBaseFolderBookmark();
    if (data.isEmpty())
        return std::nullopt;
    const auto resolution = FolderBookmark::resolve(data);
    if (!resolution || !FolderBookmark::startAccess(resolution->path))
        return std::nullopt;
    // The older name is given up as soon as its bookmark is known to work.
    if (fromLegacyKey)
        settings.setBaseFolderBookmark(data);
    if (resolution->stale) {
        if (const auto fresh = FolderBookmark::create(resolution->path))
            settings.setBaseFolderBookmark(*fresh);
    }
    return resolution->path;
}

void PathManager::resetForTesting()
{
    resolvedBaseFolder().reset();
}
