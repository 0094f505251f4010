#include "calendar/calendarcolors.h"

namespace CalendarColors {
using TextContrast::mixed;

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}

QColor toneColor(CalendarMonth::DayTone tone, const QPalette &palette)
{
    const bool dark = isDark(palette);
    QColor color;
    switch (tone) {
    case CalendarMonth::DayTone::holiday:
        color = dark ? QColor(0xff, 0x9f, 0x0a) : QColor(0xff, 0x95, 0x00);
        break;
    case CalendarMonth::DayTone::sunday:
        color = dark ? QColor(0xff, 0x45, 0x3a) : QColor(0xff, 0x3b, 0x30);
        break;
    case CalendarMonth::DayTone::saturday:
        color = dark ? QColor(0x0a, 0x84, 0xff) : QColor(0x00, 0x7a, 0xff);
        break;
    case CalendarMonth::DayTone::primary:
        return palette.color(QPalette::WindowText);
    }
    // The system's bright tones are made for symbols; as text on a light window they are too
    // faint to read.
    return contrasting(color, palette.color(QPalette::Window));
}

QColor accent(const QPalette &palette)
{
    return palette.color(QPalette::Highlight);
}

QColor accentFill(const QPalette &palette)
{
    return contrasting(accent(palette), Qt::white);
}

QColor secondaryText(const QPalette &palette)
{
    const QColor window = palette.color(QPalette::Window);
    return contrasting(mixed(palette.color(QPalette::WindowText), window, 0.55f), window);
}

QColor neutralFill(const QPalette &palette)
{
    return contrasting(isDark(palette) ? QColor(0x63, 0x63, 0x66) : QColor(0x8e, 0x8e, 0x93),
                       Qt::white);
}

} // namespace CalendarColors
