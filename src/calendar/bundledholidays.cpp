#include "calendar/bundledholidays.h"

#include "calendar/holidaystore.h"
#include "platform/atomicfile.h"
#include "storage/pathmanager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace BundledHolidays {

QByteArray table()
{
    QFile file(QStringLiteral(":/holidays/syukujitsu.csv"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeTo(const QString &baseFolder)
{
    const QString path = baseFolder + QLatin1Char('/') + HolidayStore::relativePath;
    if (QFileInfo::exists(path))
        return true;
    const QByteArray bytes = table();
    if (bytes.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    return AtomicFile::write(path, bytes);
}

void installDefaultFolderHandler()
{
    PathManager::setDefaultFolderCreatedHandler([](const QString &folder) { writeTo(folder); });
}

} // namespace BundledHolidays
