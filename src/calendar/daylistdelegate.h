#pragma once

#include "calendar/calendarmonth.h"
#include "storage/settings.h"

#include <QStyledItemDelegate>

/// Draws a row of the calendar's day list: the day number (bold when the day has a memo), the
/// weekday, both in the day's colour, and the memo's first line; the selected day on a light
/// wash of the accent colour.
class DayListDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit DayListDelegate(QObject *parent = nullptr);

    /// The font size the rows follow (uiListFontSize).
    void setFontSize(int size) { m_fontSize = size; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QFont rowFont(const QFont &base) const;

    int m_fontSize = Settings::defaultListFontSize;
};
