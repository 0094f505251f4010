#include "platform/symbolicons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace SymbolIcons {
namespace {

/// Symbols are drawn on a 16 × 16 grid, scaled to the requested square.
constexpr qreal grid = 16.0;

void drawRefresh(QPainter &p, const QPen &line, const QColor &color)
{
    p.setPen(line);
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 70 * 16, 300 * 16);
    // Arrowhead at the arc's start (top right), pointing clockwise.
    const qreal angle = 70 * M_PI / 180;
    const QPointF tip(8 + 5.5 * std::cos(angle), 8 - 5.5 * std::sin(angle));
    QPainterPath head;
    head.moveTo(tip + QPointF(2.6, 0.4));
    head.lineTo(tip + QPointF(-1.2, -2.4));
    head.lineTo(tip + QPointF(-0.9, 2.6));
    head.closeSubpath();
    p.fillPath(head, color);
}

void drawListBullet(QPainter &p, const QPen &line, const QColor &color)
{
    for (qreal y : {3.5, 8.0, 12.5}) {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QPointF(2.8, y), 1.3, 1.3);
        p.setPen(line);
        p.drawLine(QPointF(6, y), QPointF(14, y));
    }
}

void drawPin(QPainter &p, bool filled, const QColor &color)
{
    p.translate(8, 8);
    p.rotate(45);
    p.translate(-8, -8);
    QPainterPath head;
    head.addRoundedRect(QRectF(5.5, 1.0, 5.0, 5.0), 1.2, 1.2);
    QPainterPath flange;
    flange.moveTo(5.5, 6.0);
    flange.lineTo(10.5, 6.0);
    flange.lineTo(12.5, 9.0);
    flange.lineTo(3.5, 9.0);
    flange.closeSubpath();
    const QPainterPath body = head.united(flange);
    if (filled) {
        p.fillPath(body, color);
    } else {
        p.setPen(QPen(color, 1.2));
        p.drawPath(body);
    }
    p.setPen(QPen(color, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 9), QPointF(8, 15));
}

void drawEye(QPainter &p, const QColor &color)
{
    QPainterPath eye;
    eye.moveTo(1, 8);
    eye.quadTo(8, -0.5, 15, 8);
    eye.quadTo(8, 16.5, 1, 8);
    p.fillPath(eye, color);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 8), 2.9, 2.9);
    p.setBrush(color);
    p.drawEllipse(QPointF(8, 8), 1.6, 1.6);
}

void drawDocument(QPainter &p, const QColor &color)
{
    QPainterPath page;
    page.moveTo(3, 1.5);
    page.lineTo(9.5, 1.5);
    page.lineTo(13, 5);
    page.lineTo(13, 14.5);
    page.lineTo(3, 14.5);
    page.closeSubpath();
    p.fillPath(page, color);
    p.setPen(QPen(Qt::white, 1.1, Qt::SolidLine, Qt::RoundCap));
    for (qreal y : {7.0, 9.5, 12.0})
        p.drawLine(QPointF(5, y), QPointF(11, y));
    QPainterPath fold;
    fold.moveTo(9.5, 1.5);
    fold.lineTo(9.5, 5);
    fold.lineTo(13, 5);
    fold.closeSubpath();
    p.fillPath(fold, color.lighter(150));
}

void drawGrid(QPainter &p, const QColor &color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    for (qreal x : {2.0, 9.0}) {
        for (qreal y : {2.0, 9.0})
            p.drawRoundedRect(QRectF(x, y, 5, 5), 1.2, 1.2);
    }
}

// Must be drawn on a layer of its own: the cross clears the circle's pixels.
void drawClearCircle(QPainter &p, const QColor &color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(QPen(Qt::black, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

void drawMagnifier(QPainter &p, const QColor &color)
{
    p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(2, 2, 9, 9));
    p.drawLine(QPointF(9.8, 9.8), QPointF(14, 14));
}

/// Draws on the 16 × 16 grid.
void drawSymbol(QPainter &p, Symbol symbol, const QColor &color)
{
    const QPen line(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (symbol) {
    case Symbol::refresh:
        drawRefresh(p, line, color);
        break;
    case Symbol::plus:
        p.setPen(line);
        p.drawLine(QPointF(8, 2.5), QPointF(8, 13.5));
        p.drawLine(QPointF(2.5, 8), QPointF(13.5, 8));
        break;
    case Symbol::listBullet:
        drawListBullet(p, line, color);
        break;
    case Symbol::pinFilled:
    case Symbol::pinOutline:
        drawPin(p, symbol == Symbol::pinFilled, color);
        break;
    case Symbol::eye:
        drawEye(p, color);
        break;
    case Symbol::document:
        drawDocument(p, color);
        break;
    case Symbol::grid:
        drawGrid(p, color);
        break;
    case Symbol::clearCircle:
        drawClearCircle(p, color);
        break;
    case Symbol::magnifier:
        drawMagnifier(p, color);
        break;
    }
}

/// The largest square centred in `rect`.
QRectF centredSquare(const QRectF &rect)
{
    const qreal side = qMin(rect.width(), rect.height());
    return {rect.center() - QPointF(side / 2, side / 2), QSizeF(side, side)};
}

/// Draws `symbol` on a transparent layer of `side` logical pixels at the painter's device pixel
/// ratio, then the layer onto the painter, so that a symbol that clears pixels clears only its
/// own.
void paintOnLayer(QPainter &painter, const QRectF &square, Symbol symbol, const QColor &color)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int pixels = qCeil(square.width() * ratio);
    QPixmap layer(pixels, pixels);
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        layerPainter.setRenderHint(QPainter::Antialiasing);
        layerPainter.scale(square.width() / grid, square.width() / grid);
        drawSymbol(layerPainter, symbol, color);
    }
    painter.drawPixmap(square.topLeft(), layer);
}

class SymbolIconEngine final : public QIconEngine
{
public:
    SymbolIconEngine(Symbol symbol, const QColor &color) : m_symbol(symbol), m_color(color) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        if (mode != QIcon::Disabled) {
            SymbolIcons::paint(*painter, rect, m_symbol, m_color);
            return;
        }
        // Faded as a whole, so that where strokes cross it is no darker than elsewhere.
        painter->save();
        painter->setOpacity(painter->opacity() * disabledOpacity);
        paintOnLayer(*painter, centredSquare(rect), m_symbol, m_color);
        painter->restore();
    }

    // QIcon asks for the device's pixels and sets the pixmap's ratio itself; a pixmap scaled here
    // as well would come back twice too large for its ratio.
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

    QIconEngine *clone() const override { return new SymbolIconEngine(m_symbol, m_color); }

private:
    Symbol m_symbol;
    QColor m_color;
};

} // namespace

void paint(QPainter &painter, const QRectF &rect, Symbol symbol, const QColor &color)
{
    const QRectF square = centredSquare(rect);
    if (symbol == Symbol::clearCircle) {
        paintOnLayer(painter, square, symbol, color);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(square.topLeft());
    painter.scale(square.width() / grid, square.width() / grid);
    drawSymbol(painter, symbol, color);
    painter.restore();
}

QIcon icon(Symbol symbol, const QColor &color)
{
    return QIcon(new SymbolIconEngine(symbol, color));
}

} // namespace SymbolIcons
