#include "calendar/calendarmonth.h"

#include "platform/clock.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace CalendarMonth {

namespace {

QLocale japanese()
{
    return QLocale(QLocale::Japanese, QLocale::Japan);
}

} // namespace

QDate today()
{
    const Clock &clock = Clock::current();
    return clock.now().toTimeZone(clock.timeZone()).date();
}

QDate monthOf(const QDate &date)
{
    return QDate(date.year(), date.month(), 1);
}

std::optional<QDate> keyboardTarget(const QDate &date, int key)
{
    switch (key) {
    case Qt::Key_Left:
        return date.addDays(-1);
    case Qt::Key_Right:
        return date.addDays(1);
    case Qt::Key_Up:
        return date.addDays(-7);
    case Qt::Key_Down:
        return date.addDays(7);
    case Qt::Key_Home:
        return monthOf(date);
    case Qt::Key_End:
        return monthOf(date).addMonths(1).addDays(-1);
    case Qt::Key_PageUp:
        return date.addMonths(-1);
    case Qt::Key_PageDown:
        return date.addMonths(1);
    default:
        return std::nullopt;
    }
}

QList<QDate> daysOf(const QDate &month)
{
    const QDate first = monthOf(month);
    QList<QDate> days;
    days.reserve(first.daysInMonth());
    for (int day = 0; day < first.daysInMonth(); ++day)
        days.append(first.addDays(day));
    return days;
}

QDate Grid::dateAt(int cell) const
{
    const int day = cell - leadingBlanks;
    if (day < 0 || day >= dayCount)
        return {};
    return first.addDays(day);
}

Grid grid(const QDate &displayedMonth)
{
    const QDate first = monthOf(displayedMonth);
    // Qt counts Monday as 1 and Sunday as 7; the grid starts on Sunday.
    return Grid{first, first.dayOfWeek() % 7, first.daysInMonth()};
}

DayTone dayTone(const QDate &date, bool isHoliday)
{
    if (isHoliday)
        return DayTone::holiday;
    switch (date.dayOfWeek()) {
    case Qt::Sunday:
        return DayTone::sunday;
    case Qt::Saturday:
        return DayTone::saturday;
    default:
        return DayTone::primary;
    }
}

QString monthTitle(const QDate &month)
{
    return QStringLiteral("%1年%2月").arg(month.year()).arg(month.month());
}

QStringList weekdaySymbols()
{
    QStringList symbols;
    for (int day : {Qt::Sunday, Qt::Monday, Qt::Tuesday, Qt::Wednesday, Qt::Thursday, Qt::Friday,
                    Qt::Saturday})
        symbols.append(japanese().dayName(day, QLocale::NarrowFormat));
    return symbols;
}

QString weekdaySymbol(const QDate &date)
{
    return japanese().dayName(date.dayOfWeek(), QLocale::NarrowFormat);
}

QString dayDescription(const QDate &date, const QString &holidayName, bool isToday, bool isSelected)
{
    QString text =
        QStringLiteral("%1年%2月%3日 ").arg(date.year()).arg(date.month()).arg(date.day()) +
        japanese().dayName(date.dayOfWeek(), QLocale::LongFormat);
    if (!holidayName.isEmpty())
        text += QStringLiteral(" 祝日: ") + holidayName;
    if (isToday)
        text += QStringLiteral(" 今日");
    if (isSelected)
        text += QStringLiteral(" 選択中");
    return text;
}

int rowSpacing(int fontSize)
{
    return std::max(int(std::lround(fontSize * 0.12)), 1);
}

int dayNumberWidth(int fontSize)
{
    return std::max(int(std::ceil(fontSize * 1.6)), 20);
}

int weekdayWidth(int fontSize)
{
    return std::max(int(std::ceil(fontSize * 1.2)), 16);
}

int cellMinimumHeight(int fontSize)
{
    return fontSize + 6;
}

double monthTitleSize(int fontSize)
{
    return fontSize * 1.25;
}

} // namespace CalendarMonth
