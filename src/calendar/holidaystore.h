#pragma once

#include <QDate>
#include <QHash>
#include <QObject>
#include <QString>

#include <optional>

/// The national-holiday table of the current base folder ("Data/syukujitsu.csv"), kept in
/// memory. It loads lazily and again whenever the base folder changed since the last load, and
/// reloads at once on "BaseFolderChanged". A folder without the file, or whose file cannot be
/// read or decoded, gets the table shipped with the program (BundledHolidays); an empty file
/// means no holidays. Nothing is written to the folder. Main thread only.
class HolidayStore : public QObject
{
    Q_OBJECT

public:
    /// The table's path relative to the base folder.
    static inline const QString relativePath = QStringLiteral("Data/syukujitsu.csv");

    /// The process's one store, created on first use.
    static HolidayStore &shared();

    /// Loads the table unless it was loaded for the current base folder.
    void ensureLoaded();
    /// Forgets the table and loads it again from the current base folder.
    void reset();

    /// The holiday's name for a day, or an empty string when the day is not a holiday.
    QString holidayName(const QDate &date);
    bool isHoliday(const QDate &date) { return !holidayName(date).isEmpty(); }

    /// The base folder the table was last loaded for; nothing before the first load.
    const std::optional<QString> &loadedRootPath() const { return m_loadedRootPath; }

    /// The key a day is listed under in the table: "yyyy/M/d" without leading zeros.
    static QString key(const QDate &date);
    /// The day of a daily memo's file name without extension ("yyyy-MM-dd"); nothing for any
    /// other name.
    static std::optional<QDate> dateFromDailyFileName(const QString &baseName);

Q_SIGNALS:
    /// The table was (re)loaded; anything showing holidays should redraw.
    void loaded();

private:
    HolidayStore();

    QHash<QString, QString> m_cache;
    std::optional<QString> m_loadedRootPath;
};
