#include "calendar/holidaystore.h"

#include "calendar/bundledholidays.h"
#include "calendar/holidaycsv.h"
#include "platform/appevents.h"
#include "platform/regularfile.h"
#include "storage/pathmanager.h"

#include <QRegularExpression>

HolidayStore::HolidayStore()
{
    connect(&AppEvents::instance(), &AppEvents::baseFolderChanged, this, &HolidayStore::reset);
}

HolidayStore &HolidayStore::shared()
{
    static HolidayStore store;
    return store;
}

void HolidayStore::ensureLoaded()
{
    const QString root = PathManager::baseFolderPath();
    if (m_loadedRootPath == root)
        return;
    m_loadedRootPath = root;
    m_cache.clear();
    // Read the file directly: asking PathManager for the Data folder would create it. Regular
    // files only: a pipe in its place would hold up the calendar and the command line. A folder
    // without a table of its own, or with one that cannot be read, gets the shipped table.
    std::optional<HolidayCsv::Decoded> decoded;
    const RegularFileRead file = RegularFile::read(root + QLatin1Char('/') + relativePath);
    if (file.ok())
        decoded = HolidayCsv::decode(file.bytes);
    if (!decoded)
        decoded = HolidayCsv::decode(BundledHolidays::table());
    if (decoded) {
        for (const HolidayRow &row : HolidayCsv::parse(decoded->text))
            m_cache.insert(row.key, row.name);
    }
    Q_EMIT loaded();
}

void HolidayStore::reset()
{
    m_cache.clear();
    m_loadedRootPath.reset();
    ensureLoaded();
}

QString HolidayStore::holidayName(const QDate &date)
{
    ensureLoaded();
    if (!date.isValid())
        return {};
    return m_cache.value(key(date));
}

QString HolidayStore::key(const QDate &date)
{
    return HolidayCsv::key(date);
}

std::optional<QDate> HolidayStore::dateFromDailyFileName(const QString &baseName)
{
    // QDate::fromString alone would also take one-digit months and days.
    static const QRegularExpression shape(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    if (!shape.match(baseName).hasMatch())
        return std::nullopt;
    const QDate date = QDate::fromString(baseName, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return std::nullopt;
    return date;
}
