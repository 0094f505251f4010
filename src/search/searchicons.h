#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>

class QPainter;

/// The few symbols of the search page and quick open, drawn with QPainter so they look the same
/// whatever icon theme is installed.
namespace SearchIcons {

enum class Symbol {
    pin,         ///< a filled pushpin leaning 45 degrees: a pinned note
    clearCircle, ///< a cross in a filled circle: clear or delete
    document,    ///< a page with lines of text
    magnifier,
};

inline const QColor orange{255, 149, 0};
inline const QColor blue{0, 122, 255};

/// Draws `symbol` in `color`, centred in `rect` and as large as fits.
void paint(QPainter &painter, const QRectF &rect, Symbol symbol, const QColor &color);

/// An icon of `symbol` that stays sharp at every size.
QIcon icon(Symbol symbol, const QColor &color);

} // namespace SearchIcons
