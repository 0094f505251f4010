#include "search/searchicons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace SearchIcons {
namespace {

// Every symbol is drawn on a 16 × 16 grid, scaled into the square centred in the target.
void paintPin(QPainter &painter, const QColor &color)
{
    painter.translate(8, 8);
    painter.rotate(45);
    // Leaning, the pin spans the diagonal; scaled up it fills the square as the glyph does.
    painter.scale(1.3, 1.3);
    painter.translate(-8, -8);
    QPainterPath head;
    head.addRoundedRect(QRectF(5, 1, 6, 2), 1, 1);
    QPainterPath body;
    body.moveTo(6, 3);
    body.lineTo(10, 3);
    body.lineTo(10.5, 7);
    body.lineTo(12.5, 9.5);
    body.lineTo(3.5, 9.5);
    body.lineTo(5.5, 7);
    body.closeSubpath();
    painter.fillPath(head.united(body), color);
    painter.setPen(QPen(color, 1.3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(8, 9.5), QPointF(8, 15));
}

void paintClearCircle(QPainter &painter, const QColor &color)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(1, 1, 14, 14));
    // The cross is cut out, so it shows whatever lies beneath, as the system symbol does.
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setPen(QPen(Qt::black, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    painter.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

void paintDocument(QPainter &painter, const QColor &color)
{
    painter.setPen(QPen(color, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(9.5, 1.5);
    page.lineTo(12.5, 4.5);
    page.lineTo(12.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    painter.drawPath(page);
    for (const double y : {6.5, 9.0, 11.5})
        painter.drawLine(QPointF(5.5, y), QPointF(10.5, y));
}

void paintMagnifier(QPainter &painter, const QColor &color)
{
    painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(2, 2, 9, 9));
    painter.drawLine(QPointF(9.8, 9.8), QPointF(14, 14));
}

class SymbolEngine final : public QIconEngine
{
public:
    SymbolEngine(Symbol symbol, const QColor &color) : m_symbol(symbol), m_color(color) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor color = m_color;
        if (mode == QIcon::Disabled)
            color.setAlphaF(0.35f);
        SearchIcons::paint(*painter, rect, m_symbol, color);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

    QIconEngine *clone() const override { return new SymbolEngine(m_symbol, m_color); }

private:
    Symbol m_symbol;
    QColor m_color;
};

} // namespace

void paint(QPainter &painter, const QRectF &rect, Symbol symbol, const QColor &color)
{
    const qreal side = std::min(rect.width(), rect.height());
    // The cut-out cross needs a layer of its own, or it would clear what lies beneath.
    QPixmap layer(QSize(qCeil(side * painter.device()->devicePixelRatioF()),
                        qCeil(side * painter.device()->devicePixelRatioF())));
    layer.setDevicePixelRatio(painter.device()->devicePixelRatioF());
    layer.fill(Qt::transparent);
    {
        QPainter symbolPainter(&layer);
        symbolPainter.setRenderHint(QPainter::Antialiasing);
        symbolPainter.scale(side / 16.0, side / 16.0);
        switch (symbol) {
        case Symbol::pin:
            paintPin(symbolPainter, color);
            break;
        case Symbol::clearCircle:
            paintClearCircle(symbolPainter, color);
            break;
        case Symbol::document:
            paintDocument(symbolPainter, color);
            break;
        case Symbol::magnifier:
            paintMagnifier(symbolPainter, color);
            break;
        }
    }
    const QPointF topLeft(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.drawPixmap(topLeft, layer);
}

QIcon icon(Symbol symbol, const QColor &color)
{
    return QIcon(new SymbolEngine(symbol, color));
}

} // namespace SearchIcons
