#pragma once

#include "calendar/calendarmonth.h"

#include <QColor>
#include <QPalette>

/// The calendar page's colours for the palette in use: the system's orange, red and blue in
/// their light or dark variants, the accent colour and the secondary text colour.
namespace CalendarColors {

/// True when the palette draws light text on a dark window.
bool isDark(const QPalette &palette);

/// A day number's colour: orange for holidays, red for Sundays, blue for Saturdays, the
/// window's text colour otherwise.
QColor toneColor(CalendarMonth::DayTone tone, const QPalette &palette);

/// The accent colour: selection fill, today's outline, tinted buttons.
QColor accent(const QPalette &palette);

/// Text of lesser weight (the weekday header).
QColor secondaryText(const QPalette &palette);

/// The fill of a day button that is not tinted with the accent colour.
QColor neutralFill(const QPalette &palette);

} // namespace CalendarColors
