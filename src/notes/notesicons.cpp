#include "notes/notesicons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

#include <cmath>

namespace NotesIcons {
namespace {

/// Symbols are drawn on a 16 × 16 grid, scaled to the requested rectangle.
constexpr qreal grid = 16.0;

void drawPin(QPainter &p, bool filled, const QColor &color)
{
    p.save();
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
    p.restore();
}

void drawSymbol(QPainter &p, Symbol symbol, const QColor &color)
{
    const QPen line(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (symbol) {
    case Symbol::refresh: {
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
        break;
    }
    case Symbol::plus:
        p.setPen(line);
        p.drawLine(QPointF(8, 2.5), QPointF(8, 13.5));
        p.drawLine(QPointF(2.5, 8), QPointF(13.5, 8));
        break;
    case Symbol::listBullet:
        for (qreal y : {3.5, 8.0, 12.5}) {
            p.setPen(Qt::NoPen);
            p.setBrush(color);
            p.drawEllipse(QPointF(2.8, y), 1.3, 1.3);
            p.setPen(line);
            p.drawLine(QPointF(6, y), QPointF(14, y));
        }
        break;
    case Symbol::pinFilled:
    case Symbol::pinOutline:
        drawPin(p, symbol == Symbol::pinFilled, color);
        break;
    case Symbol::eye: {
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
        break;
    }
    case Symbol::document: {
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
        break;
    }
    case Symbol::grid:
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        for (qreal x : {2.0, 9.0}) {
            for (qreal y : {2.0, 9.0})
                p.drawRoundedRect(QRectF(x, y, 5, 5), 1.2, 1.2);
        }
        break;
    }
}

class SymbolIconEngine final : public QIconEngine
{
public:
    SymbolIconEngine(Symbol symbol, QColor color) : m_symbol(symbol), m_color(color) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const QColor color = mode == QIcon::Disabled ? QColor(160, 160, 160) : m_color;
        paintSymbol(*painter, rect, m_symbol, color);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        QPixmap pixmap(size * scale);
        pixmap.setDevicePixelRatio(scale);
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

void paintSymbol(QPainter &painter, const QRectF &rect, Symbol symbol, const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(rect.width(), rect.height());
    painter.translate(rect.center() - QPointF(side / 2, side / 2));
    painter.scale(side / grid, side / grid);
    drawSymbol(painter, symbol, color);
    painter.restore();
}

QIcon icon(Symbol symbol, const QColor &color)
{
    return QIcon(new SymbolIconEngine(symbol, color));
}

QPainterPath closedFolderShape(const QRectF &rect)
{
    const qreal x0 = rect.left(), y0 = rect.top(), w = rect.width(), h = rect.height();
    const qreal radius = 0.12 * h;
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addRoundedRect(QRectF(x0, y0, 0.42 * w, 0.40 * h), radius, radius);
    path.addRoundedRect(QRectF(x0, y0 + 0.28 * h, w, 0.72 * h), radius, radius);
    return path;
}

QPainterPath openFolderShape(const QRectF &rect)
{
    const qreal x0 = rect.left(), y0 = rect.top(), w = rect.width(), h = rect.height();
    const auto at = [&](qreal x, qreal y) { return QPointF(x0 + x * w, y0 + y * h); };
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.moveTo(at(0, 0.3));
    for (const QPointF &point : {at(0, 0.2), at(0.1, 0.2), at(0.2, 0), at(0.48, 0), at(0.56, 0.2),
                                 at(0.96, 0.2), at(0.96, 0.52), at(0, 0.52)})
        path.lineTo(point);
    path.closeSubpath();
    path.moveTo(at(0, 0.46));
    for (const QPointF &point : {at(0.14, 1), at(1, 1), at(0.88, 0.46)})
        path.lineTo(point);
    path.closeSubpath();
    return path;
}

void paintFolderTreeIcon(QPainter &painter, const QRectF &rect, FolderIconState state)
{
    const QRectF frame(rect.center() - QPointF(7.5, 6), QSizeF(15, 12));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    switch (state) {
    case FolderIconState::leaf: {
        QColor color = yellow;
        color.setAlphaF(0.7f);
        painter.fillPath(closedFolderShape(frame), color);
        break;
    }
    case FolderIconState::collapsed:
        painter.fillPath(closedFolderShape(frame), orange);
        break;
    case FolderIconState::expanded:
        painter.fillPath(openFolderShape(frame), yellow);
        break;
    }
    painter.restore();
}

QString folderIconLabel(FolderIconState state)
{
    switch (state) {
    case FolderIconState::leaf:
        return QStringLiteral("フォルダ");
    case FolderIconState::collapsed:
        return QStringLiteral("閉じたフォルダ");
    case FolderIconState::expanded:
        return QStringLiteral("開いたフォルダ");
    }
    return {};
}

QString folderIconHelp(FolderIconState state)
{
    switch (state) {
    case FolderIconState::leaf:
        return QStringLiteral("サブフォルダなし");
    case FolderIconState::collapsed:
        return QStringLiteral("フォルダを開く");
    case FolderIconState::expanded:
        return QStringLiteral("フォルダを閉じる");
    }
    return {};
}

} // namespace NotesIcons
