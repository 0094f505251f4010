#include "calendar/calendarcolors.h"

namespace CalendarColors {

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}

QColor toneColor(CalendarMonth::DayTone tone, const QPalette &palette)
{
    const bool dark = isDark(palette);
    switch (tone) {
    case CalendarMonth::DayTone::holiday:
        return dark ? QColor(0xff, 0x9f, 0x0a) : QColor(0xff, 0x95, 0x00);
    case CalendarMonth::DayTone::sunday:
        return dark ? QColor(0xff, 0x45, 0x3a) : QColor(0xff, 0x3b, 0x30);
    case CalendarMonth::DayTone::saturday:
        return dark ? QColor(0x0a, 0x84, 0xff) : QColor(0x00, 0x7a, 0xff);
    case CalendarMonth::DayTone::primary:
        break;
    }
    return palette.color(QPalette::WindowText);
}

QColor accent(const QPalette &palette)
{
    return palette.color(QPalette::Highlight);
}

QColor secondaryText(const QPalette &palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.55f);
    return color;
}

QColor neutralFill(const QPalette &palette)
{
    return isDark(palette) ? QColor(0x63, 0x63, 0x66) : QColor(0x8e, 0x8e, 0x93);
}

} // namespace CalendarColors
