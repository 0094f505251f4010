#include "notes/notesrowstyle.h"

#include "platform/symbolicons.h"

namespace NotesRowStyle {

QFont listFont(const QFont &base, int fontSize)
{
    QFont font = base;
    font.setPixelSize(fontSize);
    return font;
}

QColor selectionColor(const QPalette &palette)
{
    QColor color = palette.color(QPalette::Active, QPalette::Highlight);
    color.setAlphaF(0.2f);
    return color;
}

QColor dropTargetColor()
{
    QColor color = SymbolIcons::blue;
    color.setAlphaF(0.3f);
    return color;
}

} // namespace NotesRowStyle
