#include "calendar/holidayrules.h"

#include <QMap>
#include <QSet>

namespace HolidayRules {

namespace {

// Years in which amendments took effect. Substitute holidays began on 12 April 1973 and
// citizens' holidays on 27 December 1985; both rules were widened from 2007.
constexpr int widenedRestDaysFrom = 2007;

QDate substituteHolidaysFrom()
{
    return QDate(1973, 4, 12);
}

QDate citizensHolidaysFrom()
{
    return QDate(1985, 12, 27);
}

// Days off that special laws set for one occasion each. The two of 2019 were declared to count
// as national holidays, which is what makes 30 April and 2 May of that year citizens' holidays.
struct SpecialDay
{
    int year;
    int month;
    int day;
    QStringView name;
    bool countsAsNationalHoliday;
};

constexpr SpecialDay specialDays[] = {
    {1959, 4, 10, u"結婚の儀", false},         // wedding of Crown Prince Akihito
    {1989, 2, 24, u"大喪の礼", false},         // funeral of the Shōwa Emperor
    {1990, 11, 12, u"即位礼正殿の儀", false},  // enthronement ceremony
    {1993, 6, 9, u"結婚の儀", false},          // wedding of Crown Prince Naruhito
    {2019, 5, 1, u"休日（祝日扱い）", true},   // accession of the new Emperor
    {2019, 10, 22, u"休日（祝日扱い）", true}, // enthronement ceremony
};

// Holidays the Olympic special measures act moved to other days for one year each.
struct MovedHoliday
{
    int year;
    QStringView name;
    int month;
    int day;
};

constexpr MovedHoliday movedHolidays[] = {
    {2020, u"海の日", 7, 23}, {2020, u"スポーツの日", 7, 24}, {2020, u"山の日", 8, 10},
    {2021, u"海の日", 7, 22}, {2021, u"スポーツの日", 7, 23}, {2021, u"山の日", 8, 8},
};

QDate nthMonday(int year, int month, int n)
{
    const QDate first(year, month, 1);
    const int toMonday = (Qt::Monday - first.dayOfWeek() + 7) % 7;
    return first.addDays(toMonday + 7 * (n - 1));
}

// The days the law itself names in `year` (with the year's moves applied), by date.
QMap<QDate, QString> lawHolidays(int y)
{
    QMap<QDate, QString> days;
    const auto on = [&](const QDate &date, QStringView name) {
        days.insert(date, name.toString());
    };
    const auto fixed = [&](int month, int day, QStringView name) {
        on(QDate(y, month, day), name);
    };

    fixed(1, 1, u"元日");
    if (y >= 2000)
        on(nthMonday(y, 1, 2), u"成人の日");
    else
        fixed(1, 15, u"成人の日");
    if (y >= 1967)
        fixed(2, 11, u"建国記念の日");
    if (y >= 2020)
        fixed(2, 23, u"天皇誕生日");
    fixed(3, vernalEquinoxDay(y), u"春分の日");
    if (y >= 2007)
        fixed(4, 29, u"昭和の日");
    else if (y >= 1989)
        fixed(4, 29, u"みどりの日");
    else
        fixed(4, 29, u"天皇誕生日");
    fixed(5, 3, u"憲法記念日");
    if (y >= 2007)
        fixed(5, 4, u"みどりの日");
    fixed(5, 5, u"こどもの日");
    if (y >= 2003)
        on(nthMonday(y, 7, 3), u"海の日");
    else if (y >= 1996)
        fixed(7, 20, u"海の日");
    if (y >= 2016)
        fixed(8, 11, u"山の日");
    if (y >= 2003)
        on(nthMonday(y, 9, 3), u"敬老の日");
    else if (y >= 1966)
        fixed(9, 15, u"敬老の日");
    fixed(9, autumnalEquinoxDay(y), u"秋分の日");
    if (y >= 2020)
        on(nthMonday(y, 10, 2), u"スポーツの日");
    else if (y == 2019) // the rename was enacted but not yet in force; the table shows both
        on(nthMonday(y, 10, 2), u"体育の日（スポーツの日）");
    else if (y >= 2000)
        on(nthMonday(y, 10, 2), u"体育の日");
    else if (y >= 1966)
        fixed(10, 10, u"体育の日");
    fixed(11, 3, u"文化の日");
    fixed(11, 23, u"勤労感謝の日");
    if (y >= 1989 && y <= 2018)
        fixed(12, 23, u"天皇誕生日");

    for (const MovedHoliday &moved : movedHolidays) {
        if (moved.year != y)
            continue;
        const QDate from = days.key(moved.name.toString());
        days.remove(from);
        fixed(moved.month, moved.day, moved.name);
    }
    return days;
}

} // namespace

namespace {

// The common approximation of the equinox day in Japan Standard Time: a mean date drifting by
// the tropical year's excess over 365 days, pulled back one day every leap year. The constants
// change at 1980 because the count of leap days is taken from a different year before it.
int equinoxDay(int year, double before1980, double from1980)
{
    const int sinceEpoch = year - 1980;
    if (year < 1980)
        return int(before1980 + 0.242194 * sinceEpoch - (year - 1983) / 4);
    return int(from1980 + 0.242194 * sinceEpoch - sinceEpoch / 4);
}

} // namespace

int vernalEquinoxDay(int year)
{
    return equinoxDay(year, 20.8357, 20.8431);
}

int autumnalEquinoxDay(int year)
{
    return equinoxDay(year, 23.2588, 23.2488);
}

QList<Holiday> holidaysOfYear(int year)
{
    if (year < firstYear || year > lastYear)
        return {};

    QMap<QDate, QString> days = lawHolidays(year);
    for (const SpecialDay &special : specialDays) {
        if (special.year == year && special.countsAsNationalHoliday)
            days.insert(QDate(year, special.month, special.day), special.name.toString());
    }
    // The rest-day rules look only at national holidays; keep them apart from what they add.
    const QMap<QDate, QString> national = days;
    const bool widened = year >= widenedRestDaysFrom;

    QSet<QDate> substitutes;
    for (auto it = national.cbegin(); it != national.cend(); ++it) {
        const QDate &holiday = it.key();
        if (holiday < substituteHolidaysFrom() || holiday.dayOfWeek() != Qt::Sunday)
            continue;
        QDate next = holiday.addDays(1);
        if (widened) {
            while (national.contains(next))
                next = next.addDays(1);
        } else if (national.contains(next)) {
            continue; // the Monday is off already
        }
        substitutes.insert(next);
        days.insert(next, restDayName);
    }

    for (auto it = national.cbegin(); it != national.cend(); ++it) {
        const QDate between = it.key().addDays(1);
        if (between < citizensHolidaysFrom() || national.contains(between) ||
            !national.contains(between.addDays(1)))
            continue;
        // Before 2007 a Sunday or a substitute holiday in between stayed what it was.
        if (!widened && (between.dayOfWeek() == Qt::Sunday || substitutes.contains(between)))
            continue;
        days.insert(between, restDayName);
    }

    for (const SpecialDay &special : specialDays) {
        if (special.year == year && !special.countsAsNationalHoliday)
            days.insert(QDate(year, special.month, special.day), special.name.toString());
    }

    QList<Holiday> holidays;
    holidays.reserve(days.size());
    for (auto it = days.cbegin(); it != days.cend(); ++it)
        holidays.append({it.key(), it.value()});
    return holidays;
}

} // namespace HolidayRules
