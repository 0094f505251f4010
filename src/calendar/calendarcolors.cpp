#include "calendar/calendarcolors.h"

#include <algorithm>
#include <cmath>

namespace CalendarColors {
namespace {

double linearChannel(float value)
{
    return value <= 0.04045f ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double relativeLuminance(const QColor &color)
{
    return 0.2126 * linearChannel(color.redF()) + 0.7152 * linearChannel(color.greenF()) +
           0.0722 * linearChannel(color.blueF());
}

QColor mixed(const QColor &front, const QColor &back, float frontShare)
{
    const auto mix = [frontShare](float a, float b) {
        return a * frontShare + b * (1 - frontShare);
    };
    return QColor::fromRgbF(mix(front.redF(), back.redF()), mix(front.greenF(), back.greenF()),
                            mix(front.blueF(), back.blueF()));
}

} // namespace

double contrastRatio(const QColor &a, const QColor &b)
{
    const double first = relativeLuminance(a);
    const double second = relativeLuminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor contrasting(const QColor &color, const QColor &other)
{
    const bool darker = contrastRatio(Qt::black, other) >= contrastRatio(Qt::white, other);
    float hue = 0;
    float saturation = 0;
    float lightness = 0;
    color.getHslF(&hue, &saturation, &lightness);
    hue = std::max(hue, 0.0f); // greys have no hue (-1)
    QColor result = color.toRgb();
    // Steps of 1% lightness: at most a hundred, and the result misses the target by less than
    // one step.
    while (contrastRatio(result, other) < minimumTextContrast &&
           (darker ? lightness > 0 : lightness < 1)) {
        lightness = std::clamp(lightness + (darker ? -0.01f : 0.01f), 0.0f, 1.0f);
        result = QColor::fromHslF(hue, saturation, lightness).toRgb();
    }
    return result;
}

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
