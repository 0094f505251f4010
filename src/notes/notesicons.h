#pragma once

#include "notes/foldertree.h"

#include <QColor>
#include <QIcon>
#include <QPainterPath>
#include <QRectF>

class QPainter;

/// The small symbols of the notes page, drawn with QPainter so they look the same on every
/// desktop, whatever icon theme is installed.
namespace NotesIcons {

enum class Symbol {
    refresh, ///< a clockwise arrow
    plus,
    listBullet, ///< three bulleted lines
    pinFilled,  ///< a pushpin, slanted by 45 degrees
    pinOutline, ///< the same, not filled
    eye,
    document, ///< a page with text lines
    grid,     ///< four squares
};

inline const QColor blue{0, 122, 255};
inline const QColor orange{255, 149, 0};
inline const QColor yellow{255, 204, 0};

/// Draws `symbol` in `color` filling `rect`.
void paintSymbol(QPainter &painter, const QRectF &rect, Symbol symbol, const QColor &color);

/// An icon of `symbol` that stays sharp at every size; `color` is used while enabled.
QIcon icon(Symbol symbol, const QColor &color);

/// A closed folder: a tab and a body, both rounded.
QPainterPath closedFolderShape(const QRectF &rect);
/// An open folder: the back panel with its tab and the front flap leaning out.
QPainterPath openFolderShape(const QRectF &rect);

/// The tree's folder icon for `state`, centred in `rect` in a 15 × 12 frame.
void paintFolderTreeIcon(QPainter &painter, const QRectF &rect, FolderIconState state);

/// What the folder icon says to a screen reader.
QString folderIconLabel(FolderIconState state);
/// What the folder icon's button does, as its tooltip.
QString folderIconHelp(FolderIconState state);

} // namespace NotesIcons
