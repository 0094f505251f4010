#include "search/searchicons.h"

#include "notes/notesicons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

namespace SearchIcons {
namespace {

// Every symbol is drawn on a 16 × 16 grid, scaled into the square centred in the target.
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
    // The pin and the page are the notes page's own symbols, so a pinned note looks the same
    // in every list.
    if (symbol == Symbol::pin || symbol == Symbol::document) {
        const qreal edge = std::min(rect.width(), rect.height());
        const QRectF square(rect.center().x() - edge / 2, rect.center().y() - edge / 2, edge, edge);
        NotesIcons::paintSymbol(painter, square,
                                symbol == Symbol::pin ? NotesIcons::Symbol::pinFilled
                                                      : NotesIcons::Symbol::document,
                                color);
        return;
    }
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
        case Symbol::document:
            break;
        case Symbol::clearCircle:
            paintClearCircle(symbolPainter, color);
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
