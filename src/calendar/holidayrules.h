#pragma once

#include <QDate>
#include <QList>
#include <QString>

/// Japan's public holidays computed from the holiday law (国民の祝日に関する法律) as amended over
/// the years, plus the one-off days off that special laws added. Used to extend the published
/// table past its last year; checked against every year the Cabinet Office publishes.
namespace HolidayRules {

/// One day off as the published table lists it.
struct Holiday
{
    QDate date;
    QString name;

    bool operator==(const Holiday &) const = default;
};

/// The first whole year under the law (it took effect in July 1948).
constexpr int firstYear = 1949;
/// The last year the equinox approximation is good for.
constexpr int lastYear = 2099;

/// The name the published table gives substitute holidays and citizens' holidays.
inline const QString restDayName = QStringLiteral("休日");

/// The day in March of the vernal equinox, by the usual approximation of the astronomical date.
int vernalEquinoxDay(int year);
/// The day in September of the autumnal equinox, by the same approximation.
int autumnalEquinoxDay(int year);

/// Every day off of `year` in date order, named as the published table names them. Empty
/// outside firstYear to lastYear.
QList<Holiday> holidaysOfYear(int year);

} // namespace HolidayRules
