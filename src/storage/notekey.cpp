#include "storage/notekey.h"

#include "storage/pathmanager.h"

#include <QDir>

namespace {

// Same result as PathManager::standardizedPath, without asking the system for the working
// folder when the path is absolute already: the note list looks up keys once per row.
QString standardized(const QString &path)
{
    if (isStandardizedPath(path))
        return path;
    if (QDir::isAbsolutePath(path))
        return QDir::cleanPath(path);
    return PathManager::standardizedPath(path);
}

} // namespace

bool isStandardizedPath(QStringView path)
{
    if (!path.startsWith(u'/') || (path.size() > 1 && path.endsWith(u'/')))
        return false;
    // From slash to slash with Qt's vectorised search: this runs for every note of a list. Dot
    // names are left to QDir::cleanPath() even when they are plain hidden names.
    for (qsizetype slash = 0; slash >= 0 && slash + 1 < path.size();
         slash = path.indexOf(u'/', slash + 1)) {
        const QChar next = path[slash + 1];
        if (next == u'/' || next == u'.')
            return false;
    }
    return true;
}

QString standardizedBaseFolderPath()
{
    return standardized(PathManager::baseFolderPath());
}

std::optional<QString> relativeNotePath(const QString &filePath)
{
    const QString base = standardizedBaseFolderPath();
    const QString path = standardized(filePath);
    if (path == base)
        return QString();
    // The separator check keeps "/notes-old/a.md" from matching the base folder "/notes".
    if (path.size() > base.size() + 1 && path.startsWith(base) && path.at(base.size()) == u'/')
        return path.mid(base.size() + 1);
    return std::nullopt;
}
