#include "preview/previewstyle.h"

#include "platform/textcontrast.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

namespace {

/// The desktop's named colours, in their light and dark variants.
struct NamedColor
{
    QRgb light;
    QRgb dark;
};

constexpr NamedColor blue{qRgb(0, 122, 255), qRgb(10, 132, 255)};
constexpr NamedColor green{qRgb(40, 167, 69), qRgb(50, 215, 75)};
constexpr NamedColor orange{qRgb(255, 149, 0), qRgb(255, 159, 10)};
constexpr NamedColor purple{qRgb(175, 82, 222), qRgb(191, 90, 242)};
constexpr NamedColor pink{qRgb(255, 45, 85), qRgb(255, 55, 95)};
constexpr NamedColor gray{qRgb(142, 142, 147), qRgb(152, 152, 157)};
constexpr NamedColor yellow{qRgb(255, 204, 0), qRgb(255, 214, 10)};

} // namespace

PreviewStyle::PreviewStyle(const QPalette &palette, int fontSize)
    : m_palette(palette), m_fontSize(fontSize > 0 ? fontSize : 14), m_dark(isDarkPalette(palette))
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    m_fontPixels = m_fontSize * dpi / 72.0;
}

bool PreviewStyle::isDarkPalette(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor PreviewStyle::readableOn(const QColor &color, const QColor &ground)
{
    return TextContrast::contrasting(color, ground);
}

QColor PreviewStyle::secondaryText() const
{
    return readableOn(TextContrast::mixed(text(), background(), m_dark ? 0.55f : 0.5f),
                      background());
}

QColor PreviewStyle::separator() const
{
    QColor color = text();
    color.setAlphaF(m_dark ? 0.55f : 0.5f);
    return color;
}

QColor PreviewStyle::accentText() const
{
    return readableOn(accent(), background());
}

QColor PreviewStyle::selectionFill() const
{
    return readableOn(accent(), Qt::white);
}

QColor PreviewStyle::link() const
{
    return readableOn(QColor(m_dark ? blue.dark : blue.light), background());
}

QColor PreviewStyle::emphasis() const
{
    return readableOn(QColor(m_dark ? yellow.dark : orange.light), background());
}

QColor PreviewStyle::quoteFill() const
{
    return TextContrast::mixed(controlBackground(), background(), m_dark ? 0.38f : 0.52f);
}

QColor PreviewStyle::quoteText() const
{
    return readableOn(TextContrast::mixed(text(), quoteFill(), m_dark ? 0.55f : 0.5f), quoteFill());
}

QColor PreviewStyle::codeLabel() const
{
    return readableOn(TextContrast::mixed(text(), codeFill(), m_dark ? 0.55f : 0.5f), codeFill());
}

QColor PreviewStyle::headingColor(int level) const
{
    static constexpr NamedColor byLevel[] = {blue, green, orange, purple, pink, gray};
    if (level < 1 || level > 6)
        return text();
    const NamedColor &named = byLevel[level - 1];
    // The desktop's bright tones are made for symbols; as text they are made to read.
    return readableOn(QColor(m_dark ? named.dark : named.light), background());
}

double PreviewStyle::headingScale(int level)
{
    if (level < 1 || level > 6)
        return 1.0;
    return 1.7 - 0.1 * level;
}

QColor PreviewStyle::codeFill() const
{
    const int white = qRound((m_dark ? 0.22 : 0.92) * 255);
    return QColor(white, white, white);
}

QFont PreviewStyle::font(double pointSize, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    return font;
}

QFont PreviewStyle::monospaceFont(double pointSize, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    return font;
}
