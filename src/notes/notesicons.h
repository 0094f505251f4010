#pragma once

#include "notes/foldertree.h"

#include <QPainterPath>
#include <QRectF>

class QPainter;

/// The folder icons of the notes page's tree and what they say. The page's other symbols are
/// SymbolIcons.
namespace NotesIcons {

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
