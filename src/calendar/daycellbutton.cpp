#include "calendar/daycellbutton.h"

#include "calendar/calendarcolors.h"

#include <QPainter>

#include <algorithm>

DayCellButton::DayCellButton(QWidget *parent) : QAbstractButton(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // One cell at a time is a tab stop, the day the keyboard is on (the calendar decides);
    // 42 stops would only be in the way.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

void DayCellButton::setDay(const QDate &date, CalendarMonth::DayTone tone, bool isToday,
                           bool isSelected, const QString &description)
{
    m_date = date;
    m_tone = tone;
    m_today = isToday;
    m_selected = isSelected;
    setText(QString::number(date.day()));
    setAccessibleName(description);
    update();
}

void DayCellButton::setFontSize(int size)
{
    m_fontSize = size;
    QFont cellFont = font();
    cellFont.setPixelSize(size);
    setFont(cellFont);
    setFixedHeight(sizeHint().height());
    updateGeometry();
}

QSize DayCellButton::sizeHint() const
{
    const int height =
        std::max(CalendarMonth::cellMinimumHeight(m_fontSize), fontMetrics().height() + 4);
    return QSize(int(m_fontSize * 1.8), height);
}

QSize DayCellButton::minimumSizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(QStringLiteral("00")) + 2, sizeHint().height());
}

void DayCellButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = CalendarColors::accent(palette());
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    constexpr qreal radius = 6;

    if (m_selected) {
        painter.setPen(Qt::NoPen);
        const QColor fill = CalendarColors::accentFill(palette());
        painter.setBrush(isDown() ? fill.darker(115) : fill);
        painter.drawRoundedRect(box, radius, radius);
    } else {
        if (isDown() || underMouse()) {
            QColor hover = palette().color(QPalette::WindowText);
            hover.setAlphaF(isDown() ? 0.16f : 0.07f);
            painter.setPen(Qt::NoPen);
            painter.setBrush(hover);
            painter.drawRoundedRect(box, radius, radius);
        }
        if (m_today) {
            painter.setPen(QPen(accent, 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(box, radius, radius);
        }
    }

    if (hasFocus()) {
        // Inside the fill of the chosen day, around any other: visible on both.
        const QColor ring =
            m_selected ? palette().color(QPalette::Window) : palette().color(QPalette::WindowText);
        const QRectF inner = box.adjusted(1.5, 1.5, -1.5, -1.5);
        painter.setPen(QPen(ring, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(inner, radius - 1, radius - 1);
    }

    QFont numberFont = font();
    numberFont.setWeight(m_selected || m_today ? QFont::DemiBold : QFont::Normal);
    painter.setFont(numberFont);
    painter.setPen(m_selected ? QColor(Qt::white) : CalendarColors::toneColor(m_tone, palette()));
    painter.drawText(rect(), Qt::AlignCenter, text());
}
