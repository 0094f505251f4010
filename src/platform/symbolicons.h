#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>

class QPainter;

/// The small symbols of the lists, headers and search fields, drawn with QPainter so they look
/// the same on every desktop, whatever icon theme is installed, and stay sharp on high-density
/// screens.
namespace SymbolIcons {

enum class Symbol {
    refresh, ///< a clockwise arrow
    plus,
    listBullet, ///< three bulleted lines
    pinFilled,  ///< a pushpin, slanted by 45 degrees
    pinOutline, ///< the same, not filled
    eye,
    document,    ///< a page with text lines
    grid,        ///< four squares
    clearCircle, ///< a cross cut out of a filled circle: clear or delete
    magnifier,
};

inline const QColor blue{0, 122, 255};
inline const QColor orange{255, 149, 0};
inline const QColor yellow{255, 204, 0};

/// How much of a symbol shows while its control is disabled.
constexpr qreal disabledOpacity = 0.35;

/// Draws `symbol` in `color`, centred in `rect` and as large as the square that fits. Only the
/// symbol's own pixels change: the cross of clearCircle shows what lies beneath.
void paint(QPainter &painter, const QRectF &rect, Symbol symbol, const QColor &color);

/// An icon of `symbol` in `color`, faded while disabled, drawn afresh for every size and
/// device pixel ratio.
QIcon icon(Symbol symbol, const QColor &color);

} // namespace SymbolIcons
