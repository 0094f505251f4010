#include "notes/notesicons.h"

#include "platform/symbolicons.h"

#include <QPainter>

namespace NotesIcons {

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
        QColor color = SymbolIcons::yellow;
        color.setAlphaF(0.7f);
        painter.fillPath(closedFolderShape(frame), color);
        break;
    }
    case FolderIconState::collapsed:
        painter.fillPath(closedFolderShape(frame), SymbolIcons::orange);
        break;
    case FolderIconState::expanded:
        painter.fillPath(openFolderShape(frame), SymbolIcons::yellow);
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
