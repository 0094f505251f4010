#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

/// Measures and colours shared by the rows of the folder tree and the note list.
namespace NotesRowStyle {

/// The row font for the "uiListFontSize" setting, which counts in pixels: one
/// point per logical pixel.
QFont listFont(const QFont &base, int fontSize);

/// The background of the selected row: the accent colour, faint.
QColor selectionColor(const QPalette &palette);

/// The background of a folder row while a note is dragged over it.
QColor dropTargetColor();

} // namespace NotesRowStyle

namespace NotesRowStyle {

/// The drag payload of a note row: the note's path, UTF-8. Only the folder tree accepts it, so
/// text dragged in from other programs can never move a note.
inline const QString noteDragMimeType = QStringLiteral("application/x-quillmere-note-path");

} // namespace NotesRowStyle
