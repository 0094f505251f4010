#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

/// Colours and fonts of the preview, outline and info views, derived from the widget's palette
/// (light or dark) and the editor's font size, so every size follows that one setting. Every
/// colour that text is drawn in is opaque and stands out from the ground it is drawn on (the
/// window colour unless said otherwise) by TextContrast::minimumTextContrast.
class PreviewStyle
{
public:
    PreviewStyle(const QPalette &palette, int fontSize);

    bool isDark() const { return m_dark; }
    int fontSize() const { return m_fontSize; }
    /// The font size in device-independent pixels, for sizes derived from it.
    double fontPixels() const { return m_fontPixels; }

    /// What the preview is drawn on: the window colour.
    QColor background() const { return m_palette.color(QPalette::Window); }
    QColor text() const { return m_palette.color(QPalette::Text); }
    /// Text of lesser weight: list markers, a code block's language, block quotes.
    QColor secondaryText() const;
    /// Translucent lines of lesser weight (rules, frames), not for text.
    QColor separator() const;
    QColor accent() const { return m_palette.color(QPalette::Highlight); }
    /// The accent as text (a checked checkbox).
    QColor accentText() const;
    /// Behind selected text, which is white.
    QColor selectionFill() const;
    QColor link() const;
    /// Orange in light appearance, yellow in dark.
    QColor emphasis() const;
    /// The colour of a heading level 1 to 6; the text colour otherwise.
    QColor headingColor(int level) const;
    /// `color` as text on `ground`: darkened or lightened until it reads there.
    static QColor readableOn(const QColor &color, const QColor &ground);
    /// The opaque fill behind a block quote, and its text.
    QColor quoteFill() const;
    QColor quoteText() const;
    /// Font size factor of a heading level (1.6 down to 1.1).
    static double headingScale(int level);

    QColor controlBackground() const { return m_palette.color(QPalette::Base); }
    QColor codeFill() const;
    /// A code block's language, above its rows.
    QColor codeLabel() const;

    /// The system font at `pointSize` with `weight`.
    static QFont font(double pointSize, QFont::Weight weight = QFont::Normal);
    static QFont monospaceFont(double pointSize, QFont::Weight weight = QFont::Normal);

    /// True when the palette's window colour is dark.
    static bool isDarkPalette(const QPalette &palette);

private:
    QPalette m_palette;
    int m_fontSize;
    double m_fontPixels;
    bool m_dark;
};
