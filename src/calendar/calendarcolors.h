#pragma once

#include "calendar/calendarmonth.h"
#include "platform/textcontrast.h"

#include <QColor>
#include <QPalette>

/// The calendar page's colours for the palette in use: the system's orange, red and blue in
/// their light or dark variants, the accent colour and the secondary text colour. Every colour
/// that text is drawn in, or drawn on, is adjusted until the text stands out from its
/// background by minimumTextContrast.
namespace CalendarColors {

using TextContrast::contrasting;
using TextContrast::contrastRatio;
using TextContrast::minimumTextContrast;

/// True when the palette draws light text on a dark window.
bool isDark(const QPalette &palette);

/// A day number's colour on the window: orange for holidays, red for Sundays, blue for
/// Saturdays, the window's text colour otherwise.
QColor toneColor(CalendarMonth::DayTone tone, const QPalette &palette);

/// The accent colour: today's outline, focus rings, the day list's selection wash.
QColor accent(const QPalette &palette);

/// The fill behind white text in the accent colour: the selected day, tinted buttons.
QColor accentFill(const QPalette &palette);

/// Text of lesser weight (the weekday header), opaque, on the window.
QColor secondaryText(const QPalette &palette);

/// The fill, behind white text, of a day button that is not tinted with the accent colour.
QColor neutralFill(const QPalette &palette);

} // namespace CalendarColors
