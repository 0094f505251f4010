#include "calendar/tintedbutton.h"

#include "calendar/calendarcolors.h"

#include <QPainter>

TintedButton::TintedButton(const QString &text, QWidget *parent) : QPushButton(text, parent)
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TintedButton::setTinted(bool tinted)
{
    if (tinted == m_tinted)
        return;
    m_tinted = tinted;
    update();
}

QSize TintedButton::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return QSize(metrics.horizontalAdvance(text()) + metrics.height(), metrics.height() + 8);
}

QSize TintedButton::minimumSizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return QSize(metrics.horizontalAdvance(text()) + 8, metrics.height() + 8);
}

void TintedButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill =
        m_tinted ? CalendarColors::accentFill(palette()) : CalendarColors::neutralFill(palette());
    if (isDown())
        fill = fill.darker(120);
    else if (underMouse())
        fill = fill.lighter(110);
    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(box, 5, 5);
    if (hasFocus()) {
        QColor ring = CalendarColors::accent(palette());
        ring.setAlphaF(0.6f);
        painter.setPen(QPen(ring, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    }
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter, text());
}
