#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

/// Date arithmetic, texts and measures of the calendar page, apart from its widgets. Gregorian
/// calendar, weeks starting on Sunday. Qt Core only.
namespace CalendarMonth {

/// The current day in the current clock's time zone.
QDate today();

/// The first day of the date's month.
QDate monthOf(const QDate &date);

/// The days 1 to n of the month of `month`.
QList<QDate> daysOf(const QDate &month);

/// The month grid: blank cells before the first day so it falls under its weekday, one cell per
/// day, blank cells to fill the last week. Four to six rows; neighbouring months never show.
struct Grid
{
    QDate first;
    int leadingBlanks = 0;
    int dayCount = 0;

    int cellCount() const { return (leadingBlanks + dayCount + 6) / 7 * 7; }
    int rowCount() const { return cellCount() / 7; }
    /// The day in a cell (0-based, row by row); invalid for a blank cell.
    QDate dateAt(int cell) const;
};

Grid grid(const QDate &displayedMonth);

/// Where a key moves the keyboard in the month grid from `date`: Left and Right by a day, Up
/// and Down by a week, Home and End to the first and last day of its month, Page Up and Page
/// Down to the same day of the month before or after (its last day where the month is
/// shorter). Nothing for any other key.
std::optional<QDate> keyboardTarget(const QDate &date, int key);

/// How a day's number is coloured.
enum class DayTone { primary, sunday, saturday, holiday };

/// A holiday outranks the weekend; Sundays and Saturdays have their own tone.
DayTone dayTone(const QDate &date, bool isHoliday);

/// "2025年3月".
QString monthTitle(const QDate &month);
/// The one-letter weekday names from Sunday: 日 月 火 水 木 金 土.
QStringList weekdaySymbols();
/// The one-letter weekday name of a date ("水").
QString weekdaySymbol(const QDate &date);

/// What a screen reader says for a day: "2025年3月20日 木曜日 祝日: 春分の日", then "今日" and
/// "選択中" when they apply.
QString dayDescription(const QDate &date, const QString &holidayName, bool isToday,
                       bool isSelected);

/// Space between grid rows and the margin around day-list rows: 12% of the font size, at
/// least 1.
int rowSpacing(int fontSize);
/// Width of the day number in the day list.
int dayNumberWidth(int fontSize);
/// Width of the weekday in the day list.
int weekdayWidth(int fontSize);
/// Smallest height of a grid cell.
int cellMinimumHeight(int fontSize);
/// Size of the month title.
double monthTitleSize(int fontSize);

} // namespace CalendarMonth
