#include "calendar/daylistdelegate.h"

#include "calendar/calendarcolors.h"
#include "calendar/daylistmodel.h"

#include <QPainter>

namespace {

constexpr int columnGap = 2;

} // namespace

DayListDelegate::DayListDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QFont DayListDelegate::rowFont(const QFont &base) const
{
    QFont font = base;
    font.setPixelSize(m_fontSize);
    return font;
}

void DayListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const
{
    const QDate date = index.data(DayListModel::DateRole).toDate();
    const auto tone = CalendarMonth::DayTone(index.data(DayListModel::ToneRole).toInt());
    const bool hasMemo = index.data(DayListModel::HasMemoRole).toBool();
    const QPalette &palette = option.palette;

    painter->save();
    if (index.data(DayListModel::SelectedRole).toBool()) {
        QColor wash = CalendarColors::accent(palette);
        wash.setAlphaF(0.2f);
        painter->fillRect(option.rect, wash);
    } else if (option.state & QStyle::State_MouseOver) {
        QColor hover = palette.color(QPalette::WindowText);
        hover.setAlphaF(0.05f);
        painter->fillRect(option.rect, hover);
    }

    const int margin = CalendarMonth::rowSpacing(m_fontSize);
    QRect area = option.rect.adjusted(margin, margin, -margin, -margin);
    const QFont font = rowFont(option.font);
    QFont numberFont = font;
    numberFont.setWeight(hasMemo ? QFont::DemiBold : QFont::Normal);
    const QColor toneColor = CalendarColors::toneColor(tone, palette);

    QRect numberRect = area;
    numberRect.setWidth(CalendarMonth::dayNumberWidth(m_fontSize));
    painter->setFont(numberFont);
    painter->setPen(toneColor);
    painter->drawText(numberRect, Qt::AlignLeft | Qt::AlignVCenter, QString::number(date.day()));

    QRect weekdayRect = area;
    weekdayRect.setLeft(numberRect.right() + 1 + columnGap);
    weekdayRect.setWidth(CalendarMonth::weekdayWidth(m_fontSize));
    painter->setFont(font);
    painter->drawText(weekdayRect, Qt::AlignLeft | Qt::AlignVCenter,
                      index.data(DayListModel::WeekdayRole).toString());

    QRect lineRect = area;
    lineRect.setLeft(weekdayRect.right() + 1 + columnGap);
    const QString line = QFontMetrics(font).elidedText(
        index.data(DayListModel::FirstLineRole).toString(), Qt::ElideRight, lineRect.width());
    painter->setPen(palette.color(QPalette::WindowText));
    painter->drawText(lineRect, Qt::AlignLeft | Qt::AlignVCenter, line);

    if (option.state & QStyle::State_HasFocus) {
        QColor ring = CalendarColors::accent(palette);
        painter->setPen(QPen(ring, 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

QSize DayListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const int margin = CalendarMonth::rowSpacing(m_fontSize);
    const QFontMetrics metrics(rowFont(option.font));
    return QSize(CalendarMonth::dayNumberWidth(m_fontSize) +
                     CalendarMonth::weekdayWidth(m_fontSize) + 2 * columnGap + 2 * margin,
                 metrics.height() + 2 * margin);
}
