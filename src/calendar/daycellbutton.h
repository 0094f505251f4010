#pragma once

#include "calendar/calendarmonth.h"
#include "storage/settings.h"

#include <QAbstractButton>
#include <QDate>

/// One day of the month grid: its number in the day's colour, filled with the accent colour
/// when selected, outlined with it when it is today. A real button, so it can be clicked,
/// focused and read by screen readers.
class DayCellButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit DayCellButton(QWidget *parent = nullptr);

    /// Shows `date` with its tone and states; `description` is what screen readers say.
    void setDay(const QDate &date, CalendarMonth::DayTone tone, bool isToday, bool isSelected,
                const QString &description);
    QDate date() const { return m_date; }
    CalendarMonth::DayTone tone() const { return m_tone; }
    bool isToday() const { return m_today; }
    bool isSelected() const { return m_selected; }

    /// The font size the cell follows (uiListFontSize).
    void setFontSize(int size);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QDate m_date;
    CalendarMonth::DayTone m_tone = CalendarMonth::DayTone::primary;
    bool m_today = false;
    bool m_selected = false;
    int m_fontSize = Settings::defaultListFontSize;
};
