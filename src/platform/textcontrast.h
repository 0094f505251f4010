#pragma once

#include <QColor>

/// Contrast between text and what it is drawn on, as WCAG measures it, and the colours that
/// reach it. Every text the program draws in a colour of its own choosing goes through
/// contrasting(), in the light and the dark appearance alike.
namespace TextContrast {

/// The least contrast between text and its background: WCAG's level for body text.
inline constexpr double minimumTextContrast = 4.5;

/// WCAG's contrast ratio of two opaque colours: 1 for the same luminance, 21 for black and white.
double contrastRatio(const QColor &a, const QColor &b);

/// `color` made darker or lighter, whichever leads away from `other`, just until the two reach
/// minimumTextContrast, hue and saturation kept; unchanged when they reach it already. Stops at
/// black or white when even they fall short. An alpha is dropped first.
QColor contrasting(const QColor &color, const QColor &other);

/// `front` laid over the opaque `back`: `front` itself when opaque, else the mixture its alpha
/// gives, as a painter would draw it.
QColor composited(const QColor &front, const QColor &back);

/// `front` and `back` mixed, `frontShare` (0 to 1) of `front`; opaque.
QColor mixed(const QColor &front, const QColor &back, float frontShare);

} // namespace TextContrast
