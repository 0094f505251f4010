#include "platform/textcontrast.h"

#include <algorithm>
#include <cmath>

namespace TextContrast {
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

} // namespace

QColor mixed(const QColor &front, const QColor &back, float frontShare)
{
    const auto mix = [frontShare](float a, float b) {
        return a * frontShare + b * (1 - frontShare);
    };
    return QColor::fromRgbF(mix(front.redF(), back.redF()), mix(front.greenF(), back.greenF()),
                            mix(front.blueF(), back.blueF()));
}

QColor composited(const QColor &front, const QColor &back)
{
    if (front.alpha() == 255)
        return front.toRgb();
    return mixed(front, back, front.alphaF());
}

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
    QColor result = color.toRgb();
    result.setAlpha(255);
    result.getHslF(&hue, &saturation, &lightness);
    hue = std::max(hue, 0.0f); // greys have no hue (-1)
    // Steps of 1% lightness: at most a hundred, and the result misses the target by less than
    // one step.
    while (contrastRatio(result, other) < minimumTextContrast &&
           (darker ? lightness > 0 : lightness < 1)) {
        lightness = std::clamp(lightness + (darker ? -0.01f : 0.01f), 0.0f, 1.0f);
        result = QColor::fromHslF(hue, saturation, lightness).toRgb();
    }
    return result;
}

} // namespace TextContrast
