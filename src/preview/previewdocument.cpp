#include "preview/previewdocument.h"

#include "pictures/pictureloader.h"
#include "pictures/picturereference.h"
#include "platform/textcontrast.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextCharFormat>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace MarkdownBlocks;

namespace {

constexpr double minimumTextHeight = 20;
constexpr double codePadding = 8;
constexpr double quotePaddingV = 8;
constexpr double quotePaddingH = 10;
constexpr double quoteRowSpacing = 6;
constexpr double quoteNestIndent = 14;
constexpr double quoteBarWidth = 3;
constexpr double quoteBarSpacing = 10;
constexpr double cellPadding = 8;
constexpr double markerSpacing = 8;
constexpr double pictureSpacing = 4;
/// The height kept for a picture whose size is not known yet, at most.
constexpr double pendingPictureHeight = 240;
constexpr double placeholderWidth = 360;

/// One selectable run of text inside a block.
struct Piece
{
    InlineText content;
    std::unique_ptr<QTextLayout> layout;
    QPointF position;
    QColor color;
    qint64 lineIndex = 0;
};

struct Shape
{
    enum class Kind { fill, roundedFill, roundedStroke, stroke };
    Kind kind = Kind::fill;
    QRectF rect;
    QColor color;
    double radius = 0;
    double penWidth = 1;
};

struct Marker
{
    QRectF rect;
    QString text;
    QColor color;
    QFont font;
    bool checkbox = false;
    bool checked = false;
    qint64 lineIndex = 0;
    QString itemText;
};

/// A picture in a block, or the box that stands in its place.
struct Picture
{
    QRectF rect;
    QString name;   ///< its description, else its file name
    QString reason; ///< why it is not shown; empty while it is (or is being read)
    PictureTarget target;
    int decodeWidth = 0;
};

/// What a block needs to know of a picture while it is laid out: where it leads, and what the
/// loader knows of it at a width in device pixels.
struct PictureSource
{
    std::function<const PictureTarget &(const QString &destination)> resolve;
    PictureLoader *loader = nullptr;
    double devicePixelRatio = 1;
};

/// What one block draws, in block coordinates, and where each of its source lines starts.
struct BlockContent
{
    double height = 0;
    std::vector<Shape> shapes;
    std::vector<Piece> pieces;
    std::vector<Marker> markers;
    std::vector<Picture> pictures;
    std::vector<std::pair<qint64, double>> lineTops;
};

} // namespace

struct PreviewDocument::BlockLayout : BlockContent
{
};

struct PreviewDocument::Block
{
    qsizetype item = 0;
    double height = 0;
    double spacingAfter = 0;
    bool measured = false;
    std::unique_ptr<BlockLayout> layout;
};

namespace {

/// The text's layout; links and emphasis in colours that read on `ground`.
std::unique_ptr<QTextLayout> makeLayout(const InlineText &content, const QFont &font, double width,
                                        const PreviewStyle &style, const QColor &ground,
                                        const PreviewDocument::MissingLink *missing)
{
    auto layout = std::make_unique<QTextLayout>(content.text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    QList<QTextLayout::FormatRange> formats;
    for (const InlineRun &run : content.runs) {
        QTextCharFormat format;
        if (run.bold)
            format.setFontWeight(QFont::Bold);
        if (run.italic)
            format.setFontItalic(true);
        if (run.strikeOut)
            format.setFontStrikeOut(true);
        if (!run.link.isEmpty()) {
            // A link to no note: muted and dotted, so that it differs by more than its colour.
            if (missing && *missing && (*missing)(run.link)) {
                format.setForeground(PreviewStyle::readableOn(style.secondaryText(), ground));
                format.setUnderlineStyle(QTextCharFormat::DotLine);
            } else {
                format.setForeground(PreviewStyle::readableOn(style.link(), ground));
                format.setFontUnderline(true);
            }
        }
        if (run.emphasis)
            format.setForeground(PreviewStyle::readableOn(style.emphasis(), ground));
        formats.append({int(run.start), int(run.length), format});
    }
    layout->setFormats(formats);
    layout->beginLayout();
    double y = 0;
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(qMax(width, 1.0));
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout->endLayout();
    return layout;
}

double layoutHeight(const QTextLayout &layout)
{
    return layout.boundingRect().height();
}

/// Adds a text piece at (x, y), drawn on `ground`, and returns its height. Without a style only
/// the text is kept (for copying blocks that are not on screen).
double addPiece(std::vector<Piece> &pieces, InlineText content, const QFont &font, QColor color,
                const QColor &ground, QPointF at, double width, qint64 lineIndex,
                const PreviewStyle *style, double minimumHeight = minimumTextHeight,
                const PreviewDocument::MissingLink *missing = nullptr)
{
    Piece piece;
    double height = minimumHeight;
    if (style) {
        piece.layout = makeLayout(content, font, width, *style, ground, missing);
        height = qMax(layoutHeight(*piece.layout), minimumHeight);
    }
    piece.content = std::move(content);
    piece.position = at;
    piece.color = color;
    piece.lineIndex = lineIndex;
    pieces.push_back(std::move(piece));
    return height;
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(color.alphaF() * alpha));
    return color;
}

/// Lays out one preview item as a block. Without a style (textOnly) the pieces keep their text
/// but get no text layout, which is all a copy of blocks off screen needs.
class BlockBuilder
{
public:
    BlockBuilder(const QStringList &lines, const PreviewStyle &style, bool textOnly, double width,
                 bool checkboxesToggleable, const PictureSource *pictures = nullptr,
                 const PreviewDocument::MissingLink *missing = nullptr)
        : m_lines(lines), m_style(style), m_layoutStyle(textOnly ? nullptr : &style),
          m_px(style.fontPixels()), m_fontSize(style.fontSize()), m_width(width),
          m_body(PreviewStyle::font(m_fontSize)), m_checkboxesToggleable(checkboxesToggleable),
          m_pictures(pictures), m_missing(missing)
    {
    }

    void build(const PreviewItem &item, BlockContent &out) const
    {
        out.lineTops.emplace_back(item.id, 0);
        switch (item.kind) {
        case PreviewItem::Kind::hidden:
            break;
        case PreviewItem::Kind::emptyLine:
            out.height = m_px * 1.2;
            break;
        case PreviewItem::Kind::horizontalRule:
            addRule(out);
            break;
        case PreviewItem::Kind::setextHeading:
            addSetextHeading(item, out);
            break;
        case PreviewItem::Kind::codeBlock:
            addCodeBlock(item, out);
            break;
        case PreviewItem::Kind::blockquote:
            addBlockquote(item, out);
            break;
        case PreviewItem::Kind::standard:
            addStandardLine(item.id, out);
            break;
        }
    }

private:
    /// Text on the window colour.
    double addText(BlockContent &out, InlineText content, const QFont &font, QColor color,
                   QPointF at, double width, qint64 lineIndex,
                   double minimumHeight = minimumTextHeight) const
    {
        return addTextOn(out, std::move(content), font, color, m_style.background(), at, width,
                         lineIndex, minimumHeight);
    }
    double addTextOn(BlockContent &out, InlineText content, const QFont &font, QColor color,
                     const QColor &ground, QPointF at, double width, qint64 lineIndex,
                     double minimumHeight = minimumTextHeight) const
    {
        return addPiece(out.pieces, std::move(content), font, color, ground, at, width, lineIndex,
                        m_layoutStyle, minimumHeight, m_missing);
    }

    void addRule(BlockContent &out) const
    {
        const double pad = m_px * 0.7;
        out.shapes.push_back(
            {Shape::Kind::fill, QRectF(0, pad, m_width, 2), withAlpha(m_style.separator(), 0.55)});
        out.height = 2 + 2 * pad;
    }

    void addSetextHeading(const PreviewItem &item, BlockContent &out) const
    {
        const QFont font =
            PreviewStyle::font(m_fontSize * PreviewStyle::headingScale(item.level), QFont::Bold);
        out.height = addText(out, InlineMarkdown::cachedRender(m_lines[item.id]), font,
                             m_style.headingColor(item.level), {}, m_width, item.id);
        out.lineTops.emplace_back(item.underlineIndex, out.height);
    }

    /// The fenced rows in monospace inside a rounded frame, the fence's language above them.
    void addCodeBlock(const PreviewItem &item, BlockContent &out) const
    {
        double y = codePadding;
        const double inner = m_width - 2 * codePadding;
        bool first = true;
        if (!item.language.isEmpty()) {
            const QFont font =
                PreviewStyle::monospaceFont(qMax(m_fontSize * 0.75, 10.0), QFont::Medium);
            y += addTextOn(out, {item.language, {}}, font, m_style.codeLabel(), m_style.codeFill(),
                           {codePadding + 4, y}, inner - 8, item.id, 0);
            first = false;
        }
        const QFont mono = PreviewStyle::monospaceFont(m_fontSize);
        out.lineTops.clear();
        for (const CodeRow &row : item.codeRows) {
            if (row.isFence) {
                out.lineTops.emplace_back(row.lineIndex, y);
                continue;
            }
            if (!first)
                y += 1;
            first = false;
            out.lineTops.emplace_back(row.lineIndex, y);
            const QString text = row.text.isEmpty() ? QStringLiteral(" ") : row.text;
            y += addTextOn(out, {text, {}}, mono, m_style.text(), m_style.codeFill(),
                           {codePadding, y}, inner, row.lineIndex, 0);
        }
        out.height = y + codePadding;
        const QRectF frame(0.5, 0.5, m_width - 1, out.height - 1);
        out.shapes.push_back({Shape::Kind::roundedFill, frame, m_style.codeFill(), 6});
        out.shapes.push_back(
            {Shape::Kind::roundedStroke, frame, withAlpha(m_style.separator(), 0.25), 6, 1});
    }

    /// Each quoted row indented by its depth behind a bar, all on one rounded fill.
    void addBlockquote(const PreviewItem &item, BlockContent &out) const
    {
        double y = quotePaddingV;
        const QColor bar = withAlpha(m_style.accent(), m_style.isDark() ? 0.88 : 0.72);
        out.lineTops.clear();
        for (qsizetype r = 0; r < item.quoteRows.size(); ++r) {
            const QuoteRow &row = item.quoteRows[r];
            if (r > 0)
                y += quoteRowSpacing;
            out.lineTops.emplace_back(row.lineIndex, y);
            const double x =
                quotePaddingH + row.leadingIndent + qMax(row.depth - 1, 0) * quoteNestIndent;
            const double textX = x + quoteBarWidth + quoteBarSpacing;
            const double textWidth = m_width - quotePaddingH - textX;
            const double h =
                addTextOn(out, InlineMarkdown::cachedRender(row.body), m_body, m_style.quoteText(),
                          m_style.quoteFill(), {textX, y + 2}, textWidth, row.lineIndex);
            out.shapes.push_back(
                {Shape::Kind::roundedFill, QRectF(x, y + 2, quoteBarWidth, h), bar, 2});
            y += h + 4;
        }
        out.height = y + quotePaddingV;
        out.shapes.insert(
            out.shapes.begin(),
            {Shape::Kind::roundedFill, QRectF(0, 0, m_width, out.height), m_style.quoteFill(), 8});
    }

    void addStandardLine(qint64 lineIndex, BlockContent &out) const
    {
        const QString &line = m_lines[lineIndex];
        const StandardLine standard = classifyStandardLine(m_lines, lineIndex);
        switch (standard.kind) {
        case StandardLine::Kind::delimiterRow:
            break;
        case StandardLine::Kind::tableRow:
            addTableRow(line, lineIndex, standard.isHeaderRow, out);
            break;
        case StandardLine::Kind::heading:
            addHeading(line, lineIndex, standard.headingLevel, out);
            break;
        case StandardLine::Kind::unorderedItem:
        case StandardLine::Kind::orderedItem:
            addListItem(standard.listItem, lineIndex, out);
            break;
        case StandardLine::Kind::paragraph:
            if (line.contains(u"![")) {
                if (const auto pictures = PictureReferences::find(line); !pictures.isEmpty()) {
                    addPictureLine(line, pictures, lineIndex, out);
                    break;
                }
            }
            out.height = addText(out, InlineMarkdown::cachedRender(line), m_body, m_style.text(),
                                 {}, m_width, lineIndex);
            break;
        }
    }

    /// The line's text without its pictures, if any, then each picture below it at the width
    /// the preview gives it (never beyond its own), or the box that says why it is not shown.
    void addPictureLine(const QString &line, const QList<PictureReference> &pictures,
                        qint64 lineIndex, BlockContent &out) const
    {
        double y = 0;
        const QString text = PictureReferences::withoutPictures(line, pictures);
        if (!text.trimmed().isEmpty())
            y += addText(out, InlineMarkdown::cachedRender(text.trimmed()), m_body, m_style.text(),
                         {}, m_width, lineIndex) +
                 pictureSpacing;
        if (!m_layoutStyle) {
            // Text only (a copy): the pictures' descriptions stand for them.
            for (const PictureReference &reference : pictures)
                addText(out, {reference.alt, {}}, m_body, m_style.text(), {0, y}, m_width,
                        lineIndex);
            out.height = y;
            return;
        }
        out.height = addPictures(pictures, 0, y, m_width, out);
    }

    /// The pictures one below the other from (x, y); returns the bottom.
    double addPictures(const QList<PictureReference> &pictures, double x, double y, double width,
                       BlockContent &out) const
    {
        for (qsizetype i = 0; i < pictures.size(); ++i) {
            if (i > 0)
                y += pictureSpacing;
            y += addPicture(pictures[i], x, y, width, out);
        }
        return y;
    }

    /// A picture (or its box) at (x, y), at most `width` wide; returns its height.
    double addPicture(const PictureReference &reference, double x, double y, double width,
                      BlockContent &out) const
    {
        Picture picture;
        if (m_pictures && m_pictures->resolve)
            picture.target = m_pictures->resolve(reference.destination);
        else
            picture.target.problem = PictureProblem::missing;
        picture.name = reference.alt.isEmpty() ? picture.target.displayName : reference.alt;
        const double ratio = m_pictures ? m_pictures->devicePixelRatio : 1;
        picture.decodeWidth = qMax(1, int(std::floor(width * ratio)));
        PictureLoader::Lookup lookup;
        if (picture.target.kind == PictureTarget::Kind::refused || !m_pictures ||
            !m_pictures->loader)
            lookup.problem = picture.target.kind == PictureTarget::Kind::refused
                                 ? picture.target.problem
                                 : PictureProblem::missing;
        else
            lookup = m_pictures->loader->lookup(picture.target, picture.decodeWidth);
        if (lookup.problem != PictureProblem::none) {
            picture.reason = PictureProblems::text(lookup.problem);
            const double height = std::ceil(2 * qMax(m_px * 1.35, minimumTextHeight) + 16);
            picture.rect = QRectF(x, y, qMin(width, placeholderWidth), height);
        } else if (lookup.size.isValid()) {
            picture.rect = QRectF(QPointF(x, y), QSizeF(lookup.size) / ratio);
        } else {
            picture.rect = QRectF(x, y, width, qMin(width * 0.5, pendingPictureHeight));
        }
        out.pictures.push_back(picture);
        return picture.rect.height();
    }

    /// Cells of equal width, as tall as the tallest, framed; a header row tinted.
    void addTableRow(const QString &line, qint64 lineIndex, bool isHeaderRow,
                     BlockContent &out) const
    {
        const QStringList cells = tableCells(line);
        const double cellWidth = m_width / qMax<qsizetype>(cells.size(), 1);
        const QFont font =
            PreviewStyle::font(m_fontSize, isHeaderRow ? QFont::Bold : QFont::Normal);
        double tallest = 2 * m_px;
        const QColor tint = m_style.isDark() ? QColor(255, 255, 255, 24) : QColor(0, 0, 0, 14);
        const QColor ground = isHeaderRow
                                  ? TextContrast::composited(tint, m_style.controlBackground())
                                  : m_style.controlBackground();
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const double h =
                addTextOn(out, InlineMarkdown::cachedRender(cells[c]), font, m_style.text(), ground,
                          {c * cellWidth + cellPadding, cellPadding}, cellWidth - 2 * cellPadding,
                          lineIndex, 0);
            tallest = qMax(tallest, h + 2 * cellPadding);
        }
        out.height = tallest;
        out.shapes.push_back(
            {Shape::Kind::fill, QRectF(0, 0, m_width, tallest), m_style.controlBackground()});
        const QColor border = m_style.isDark() ? QColor(102, 102, 102) : QColor(0, 0, 0, 40);
        const double pen = m_style.isDark() ? 1.0 : 0.5;
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const QRectF cell(c * cellWidth, 0, cellWidth, tallest);
            if (isHeaderRow)
                out.shapes.push_back({Shape::Kind::fill, cell, tint});
            out.shapes.push_back({Shape::Kind::stroke, cell, border, 0, pen});
        }
    }

    void addHeading(const QString &line, qint64 lineIndex, int level, BlockContent &out) const
    {
        const QFont font =
            PreviewStyle::font(m_fontSize * PreviewStyle::headingScale(level), QFont::Bold);
        out.height = addText(out, InlineMarkdown::cachedRender(line), font,
                             m_style.headingColor(level), {}, m_width, lineIndex);
    }

    /// The marker (a bullet, a number or a checkbox) and the item's text beside it.
    void addListItem(const ListItem &list, qint64 lineIndex, BlockContent &out) const
    {
        Marker marker = listMarker(list, lineIndex);
        const double textX = marker.rect.right() + markerSpacing;
        // An item's pictures go below its text, in line with it.
        const QList<PictureReference> pictures = m_layoutStyle && list.itemText.contains(u"![")
                                                     ? PictureReferences::find(list.itemText)
                                                     : QList<PictureReference>();
        InlineText text = InlineMarkdown::cachedRender(
            pictures.isEmpty()
                ? list.itemText
                : PictureReferences::withoutPictures(list.itemText, pictures).trimmed());
        marker.itemText = text.text;
        out.markers.push_back(marker);
        out.height = qMax(addText(out, std::move(text), m_body, m_style.text(), {textX, 0},
                                  m_width - textX, lineIndex),
                          marker.rect.height());
        if (!pictures.isEmpty())
            out.height =
                addPictures(pictures, textX, out.height + pictureSpacing, m_width - textX, out);
    }

    /// A nested item's marker is right-aligned in a column wide enough for the widest of its
    /// kind, so the texts of one level line up.
    Marker listMarker(const ListItem &list, qint64 lineIndex) const
    {
        const bool numbered = list.marker.contains(u'.');
        const bool checkbox = list.marker == u"☐" || list.marker == u"☑";
        const QFontMetricsF metrics(m_body);
        double markerWidth = metrics.horizontalAdvance(list.marker);
        double markerX = list.indent;
        if (list.indent > 0) {
            const double minimum = numbered ? qMax(m_px * 1.6, 22.0) : qMax(m_px * 0.9, 14.0);
            const double natural = markerWidth;
            markerWidth = qMax(markerWidth, minimum);
            markerX = list.indent + markerWidth - natural;
            markerWidth = natural;
        }
        Marker marker;
        marker.text = list.marker;
        marker.font = m_body;
        marker.checkbox = checkbox && m_checkboxesToggleable;
        marker.checked = list.marker == u"☑";
        marker.color = !marker.checkbox ? m_style.secondaryText()
                       : marker.checked ? m_style.accentText()
                                        : m_style.text();
        marker.rect = QRectF(markerX, 0, markerWidth, qMax(metrics.height(), minimumTextHeight));
        marker.lineIndex = lineIndex;
        return marker;
    }

    const QStringList &m_lines;
    const PreviewStyle &m_style;
    const PreviewStyle *m_layoutStyle;
    double m_px;
    double m_fontSize;
    double m_width;
    QFont m_body;
    bool m_checkboxesToggleable;
    const PictureSource *m_pictures;
    const PreviewDocument::MissingLink *m_missing;
};

/// The box in a picture's place: its name and, for one that is not shown, why.
void paintPictureBox(QPainter &painter, const Picture &picture, const QRectF &rect,
                     const PreviewStyle &style)
{
    QPainterPath path;
    path.addRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    painter.fillPath(path, style.controlBackground());
    painter.setPen(QPen(withAlpha(style.separator(), 0.6), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    QFont font = PreviewStyle::font(style.fontSize());
    painter.setFont(font);
    const QRectF inner = rect.adjusted(10, 8, -10, -8);
    const QFontMetricsF metrics(font);
    painter.setPen(style.text());
    painter.drawText(inner, Qt::AlignLeft | Qt::AlignTop,
                     metrics.elidedText(picture.name, Qt::ElideMiddle, inner.width()));
    if (!picture.reason.isEmpty()) {
        painter.setPen(style.secondaryText());
        painter.drawText(inner, Qt::AlignLeft | Qt::AlignBottom,
                         metrics.elidedText(picture.reason, Qt::ElideRight, inner.width()));
    }
}

} // namespace

PreviewDocument::PreviewDocument() : m_style(QPalette(), 14) {}

PreviewDocument::~PreviewDocument() = default;

void PreviewDocument::setText(const QString &text)
{
    const QStringList previousLines = std::exchange(m_lines, {});
    const QList<PreviewItem> previousItems = std::exchange(m_items, {});
    const std::vector<Block> previousBlocks = std::exchange(m_blocks, {});
    const std::vector<qsizetype> previousBlockOfLine = std::exchange(m_blockOfLine, {});

    m_text = text;
    // A picture that appeared or went since is looked for again.
    m_targets.clear();
    m_lines = text.isEmpty() ? QStringList() : splitLines(text);
    m_items = parsePreviewItems(m_lines);
    m_blocks.clear();
    m_blocks.resize(m_items.size());
    m_blockOfLine.assign(m_lines.size(), 0);
    for (qsizetype b = 0; b < m_items.size(); ++b) {
        const PreviewItem &item = m_items[b];
        Block &block = m_blocks[b];
        block.item = b;
        for (qint64 line = item.id; line <= item.lastLineIndex(); ++line)
            m_blockOfLine[line] = b;
    }
    // An edit changes a few lines in the middle: blocks wholly inside the unchanged lines before
    // and after it keep their measured heights, so the scroll bar and the top line stay put.
    const qint64 oldCount = previousLines.size();
    const qint64 newCount = m_lines.size();
    qint64 prefix = 0;
    while (prefix < qMin(oldCount, newCount) && m_lines[prefix] == previousLines[prefix])
        ++prefix;
    qint64 suffix = 0;
    while (suffix < qMin(oldCount, newCount) - prefix &&
           m_lines[newCount - 1 - suffix] == previousLines[oldCount - 1 - suffix])
        ++suffix;
    auto previousBlock = [&](const PreviewItem &item) -> const Block * {
        qint64 shift = 0;
        if (item.lastLineIndex() < prefix)
            shift = 0;
        else if (item.id >= newCount - suffix)
            shift = oldCount - newCount;
        else
            return nullptr;
        const qsizetype old = previousBlockOfLine[size_t(item.id + shift)];
        const PreviewItem &before = previousItems[old];
        if (before.kind != item.kind || before.id != item.id + shift ||
            before.lastLineIndex() != item.lastLineIndex() + shift)
            return nullptr;
        return &previousBlocks[size_t(old)];
    };
    for (qsizetype b = 0; b < m_items.size(); ++b) {
        const PreviewItem &item = m_items[b];
        Block &block = m_blocks[b];
        const bool zeroHeight =
            item.kind == PreviewItem::Kind::hidden ||
            (item.kind == PreviewItem::Kind::standard && isTableDelimiterRow(m_lines[item.id]));
        const bool tableRow = item.kind == PreviewItem::Kind::standard &&
                              trimHorizontal(m_lines[item.id]).startsWith(u'|');
        const bool nextTableRow = b + 1 < m_items.size() &&
                                  m_items[b + 1].kind == PreviewItem::Kind::standard &&
                                  trimHorizontal(m_lines[m_items[b + 1].id]).startsWith(u'|');
        // Rows of one table sit flush, like a table, rather than 4 points apart.
        block.spacingAfter =
            (zeroHeight || (tableRow && nextTableRow) || b + 1 == m_items.size()) ? 0 : itemSpacing;
        if (const Block *before = previousBlock(item)) {
            block.height = before->height;
            block.measured = before->measured;
            continue;
        }
        block.height = std::ceil(estimateHeight(b));
    }
    m_topsDirty = true;
}

void PreviewDocument::setStyle(const PreviewStyle &style)
{
    m_style = style;
    invalidateMeasurements();
}

void PreviewDocument::setCheckboxesToggleable(bool toggleable)
{
    if (m_checkboxesToggleable == toggleable)
        return;
    m_checkboxesToggleable = toggleable;
    for (Block &block : m_blocks)
        block.layout.reset();
}

void PreviewDocument::setMissingLink(MissingLink missing)
{
    m_missingLink = std::move(missing);
    missingLinksChanged();
}

void PreviewDocument::missingLinksChanged()
{
    // Only colours and underlines change: the heights stay measured.
    for (Block &block : m_blocks)
        block.layout.reset();
}

void PreviewDocument::setWidth(double width)
{
    if (qFuzzyCompare(m_width, width))
        return;
    m_width = width;
    invalidateMeasurements();
}

void PreviewDocument::setPictureSource(PictureLoader *loader, const QString &noteFolder,
                                       const QString &baseFolder, double devicePixelRatio)
{
    if (m_pictures == loader && m_noteFolder == noteFolder && m_baseFolder == baseFolder &&
        qFuzzyCompare(m_devicePixelRatio, devicePixelRatio))
        return;
    m_pictures = loader;
    m_noteFolder = noteFolder;
    m_baseFolder = baseFolder;
    m_devicePixelRatio = devicePixelRatio;
    m_targets.clear();
    picturesChanged();
}

void PreviewDocument::picturesChanged()
{
    // The targets stay: a file that appears or goes is noticed when the text changes.
    for (Block &block : m_blocks) {
        if (block.layout && !block.layout->pictures.empty())
            block.layout.reset();
    }
}

const PictureTarget &PreviewDocument::pictureTarget(const QString &destination) const
{
    auto it = m_targets.constFind(destination);
    if (it == m_targets.constEnd()) {
        // A note without a folder (the help) has no pictures of its own.
        if (m_targets.size() > 4096)
            m_targets.clear();
        it = m_targets.insert(destination,
                              m_noteFolder.isEmpty()
                                  ? PictureTarget{PictureTarget::Kind::refused,
                                                  PictureProblem::missing,
                                                  {},
                                                  {},
                                                  QFileInfo(destination).fileName()}
                                  : PicturePath::resolve(destination, m_noteFolder, m_baseFolder));
    }
    return *it;
}

void PreviewDocument::invalidateMeasurements()
{
    // Measured heights stay as estimates (closer than a fresh guess, so the scroll bar barely
    // moves); guesses are made again for the new width.
    for (size_t b = 0; b < m_blocks.size(); ++b) {
        Block &block = m_blocks[b];
        if (!block.measured)
            block.height = std::ceil(estimateHeight(qsizetype(b)));
        block.measured = false;
        block.layout.reset();
    }
    m_topsDirty = true;
}

qsizetype PreviewDocument::blockCount() const
{
    return qsizetype(m_blocks.size());
}

double PreviewDocument::totalHeight() const
{
    if (m_blocks.empty())
        return 0;
    updateTops();
    return m_tops.back() + padding;
}

double PreviewDocument::blockTop(qsizetype block) const
{
    updateTops();
    return m_tops[size_t(block)];
}

double PreviewDocument::blockHeight(qsizetype block) const
{
    return m_blocks[size_t(block)].height;
}

qsizetype PreviewDocument::blockAt(double y) const
{
    if (m_blocks.empty())
        return -1;
    updateTops();
    // m_tops has one entry per block plus the end; find the last top at or above y.
    const auto it = std::upper_bound(m_tops.begin(), m_tops.end() - 1, y);
    if (it == m_tops.begin())
        return 0;
    return qsizetype(it - m_tops.begin()) - 1;
}

qsizetype PreviewDocument::blockForLine(qint64 lineIndex) const
{
    if (m_blockOfLine.empty())
        return -1;
    const qint64 clamped = std::clamp<qint64>(lineIndex, 0, qint64(m_blockOfLine.size()) - 1);
    return m_blockOfLine[size_t(clamped)];
}

bool PreviewDocument::ensureMeasured(qsizetype index)
{
    Block &block = m_blocks[size_t(index)];
    if (!block.layout)
        block.layout = layoutBlock(index);
    // Whole pixels, so every block top is a scroll position of its own.
    const double height = std::ceil(block.layout->height);
    block.measured = true;
    if (block.height == height)
        return false;
    block.height = height;
    m_topsDirty = true;
    return true;
}

void PreviewDocument::releaseLayoutsOutside(qsizetype first, qsizetype last)
{
    for (qsizetype b = 0; b < blockCount(); ++b) {
        if (b < first || b > last)
            m_blocks[size_t(b)].layout.reset();
    }
}

double PreviewDocument::lineTop(qint64 lineIndex)
{
    const qsizetype b = blockForLine(lineIndex);
    if (b < 0)
        return 0;
    ensureMeasured(b);
    const double top = blockTop(b);
    const BlockLayout &layout = *m_blocks[size_t(b)].layout;
    for (const auto &[line, y] : layout.lineTops) {
        if (line == lineIndex)
            return top + y;
    }
    return top;
}

qint64 PreviewDocument::lineAt(double y)
{
    const qsizetype b = blockAt(y);
    if (b < 0)
        return 0;
    ensureMeasured(b);
    const double local = y - blockTop(b);
    const BlockLayout &layout = *m_blocks[size_t(b)].layout;
    qint64 found = m_items[b].id;
    for (const auto &[line, top] : layout.lineTops) {
        if (top <= local + 0.5)
            found = line;
    }
    return found;
}

void PreviewDocument::updateTops() const
{
    if (!m_topsDirty)
        return;
    m_tops.resize(m_blocks.size() + 1);
    double y = padding;
    for (size_t b = 0; b < m_blocks.size(); ++b) {
        m_tops[b] = y;
        y += m_blocks[b].height + m_blocks[b].spacingAfter;
    }
    m_tops[m_blocks.size()] = y;
    m_topsDirty = false;
}

double PreviewDocument::estimateHeight(qsizetype index) const
{
    const PreviewItem &item = m_items[index];
    const double px = m_style.fontPixels();
    const double lineHeight = qMax(px * 1.35, minimumTextHeight);
    const double contentWidth = qMax(m_width - 2 * padding, 1.0);
    auto wrappedLines = [&](const QString &text, double width) {
        double units = 0;
        for (const QChar c : text)
            units += c.unicode() >= 0x1100 ? 1.0 : 0.55;
        return qMax(1.0, std::ceil(units * px / qMax(width, 1.0)));
    };
    switch (item.kind) {
    case PreviewItem::Kind::hidden:
        return 0;
    case PreviewItem::Kind::emptyLine:
        return px * 1.2;
    case PreviewItem::Kind::horizontalRule:
        return 2 + 2 * px * 0.7;
    case PreviewItem::Kind::setextHeading:
        return lineHeight * PreviewStyle::headingScale(item.level);
    case PreviewItem::Kind::codeBlock: {
        double height = 2 * codePadding;
        for (const CodeRow &row : item.codeRows)
            height += row.isFence ? 0 : lineHeight + 1;
        return height;
    }
    case PreviewItem::Kind::blockquote: {
        double height = 2 * quotePaddingV;
        for (const QuoteRow &row : item.quoteRows)
            height += wrappedLines(row.body, contentWidth - 40) * lineHeight + 4 + quoteRowSpacing;
        return height;
    }
    case PreviewItem::Kind::standard:
        break;
    }
    const QString &line = m_lines[item.id];
    if (line.startsWith(u'#'))
        return lineHeight * 1.5;
    // A picture's size is not known before it is looked at; a long data: line is no paragraph.
    if (line.contains(u"![")) {
        if (const qsizetype count = PictureReferences::find(line).size(); count > 0)
            return double(count) * qMin(contentWidth * 0.5, pendingPictureHeight);
    }
    if (line.startsWith(u'|'))
        return qMax(2 * px, lineHeight + 2 * cellPadding);
    return wrappedLines(line, contentWidth) * lineHeight;
}

std::unique_ptr<PreviewDocument::BlockLayout> PreviewDocument::layoutBlock(qsizetype index,
                                                                           bool textOnly) const
{
    auto out = std::make_unique<BlockLayout>();
    PictureSource pictures;
    pictures.resolve = [this](const QString &destination) -> const PictureTarget & {
        return pictureTarget(destination);
    };
    pictures.loader = m_pictures;
    pictures.devicePixelRatio = m_devicePixelRatio;
    const BlockBuilder builder(m_lines, m_style, textOnly, qMax(m_width - 2 * padding, 1.0),
                               m_checkboxesToggleable, &pictures, &m_missingLink);
    builder.build(m_items[index], *out);
    return out;
}

void PreviewDocument::paint(QPainter &painter, const QRectF &rect, Position from, Position to) const
{
    if (m_blocks.empty())
        return;
    const qsizetype first = blockAt(rect.top());
    const qsizetype last = blockAt(rect.bottom());
    QTextCharFormat selectionFormat;
    selectionFormat.setBackground(m_style.selectionFill());
    selectionFormat.setForeground(QColor(Qt::white));
    painter.setRenderHint(QPainter::Antialiasing);
    for (qsizetype b = first; b <= last; ++b) {
        const Block &block = m_blocks[size_t(b)];
        if (!block.layout)
            continue;
        const QPointF origin(padding, blockTop(b));
        for (const Shape &shape : block.layout->shapes) {
            const QRectF r = shape.rect.translated(origin);
            switch (shape.kind) {
            case Shape::Kind::fill:
                painter.fillRect(r, shape.color);
                break;
            case Shape::Kind::roundedFill: {
                QPainterPath path;
                path.addRoundedRect(r, shape.radius, shape.radius);
                painter.fillPath(path, shape.color);
                break;
            }
            case Shape::Kind::roundedStroke:
                painter.setPen(QPen(shape.color, shape.penWidth));
                painter.setBrush(Qt::NoBrush);
                painter.drawRoundedRect(r, shape.radius, shape.radius);
                break;
            case Shape::Kind::stroke:
                painter.setPen(QPen(shape.color, shape.penWidth));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(r);
                break;
            }
        }
        for (const Marker &marker : block.layout->markers) {
            painter.setPen(marker.color);
            painter.setFont(marker.font);
            painter.drawText(marker.rect.translated(origin), Qt::AlignLeft | Qt::AlignTop,
                             marker.text);
        }
        for (const Picture &picture : block.layout->pictures) {
            const QRectF r = picture.rect.translated(origin);
            if (!r.intersects(rect))
                continue;
            QImage image;
            if (picture.reason.isEmpty() && m_pictures)
                image = m_pictures->lookup(picture.target, picture.decodeWidth).image;
            if (image.isNull()) {
                paintPictureBox(painter, picture, r, m_style);
                continue;
            }
            painter.drawImage(r, image);
        }
        for (int p = 0; p < int(block.layout->pieces.size()); ++p) {
            const Piece &piece = block.layout->pieces[size_t(p)];
            QList<QTextLayout::FormatRange> selections;
            const Position start{b, p, 0};
            const Position end{b, p, piece.content.text.size()};
            if (from < to && from <= end && start <= to) {
                const qsizetype s = from <= start ? 0 : from.offset;
                const qsizetype e = to >= end ? piece.content.text.size() : to.offset;
                if (e > s)
                    selections.append({int(s), int(e - s), selectionFormat});
            }
            painter.setPen(piece.color);
            piece.layout->draw(&painter, origin + piece.position, selections);
        }
    }
}

PreviewDocument::HitResult PreviewDocument::hitTest(QPointF point)
{
    HitResult result;
    const qsizetype b = blockAt(point.y());
    if (b < 0)
        return result;
    ensureMeasured(b);
    const BlockLayout &layout = *m_blocks[size_t(b)].layout;
    const QPointF local = point - QPointF(padding, blockTop(b));
    for (const Marker &marker : layout.markers) {
        if (marker.checkbox && marker.rect.adjusted(-4, -2, 4, 2).contains(local)) {
            result.element =
                Element{Element::Type::checkbox, marker.rect.translated(padding, blockTop(b)),
                        marker.itemText,         {},
                        marker.checked,          marker.lineIndex};
        }
    }
    result.position = {b, 0, 0};
    // The nearest piece: the last one starting above the point, or the first.
    for (int p = 0; p < int(layout.pieces.size()); ++p) {
        const Piece &piece = layout.pieces[size_t(p)];
        const QRectF bounds = piece.layout->boundingRect().translated(piece.position);
        if (bounds.top() > local.y() && p > 0)
            break;
        const QPointF inPiece = local - piece.position;
        qsizetype offset = 0;
        if (inPiece.y() >= bounds.height()) {
            offset = piece.content.text.size();
        } else {
            for (int l = 0; l < piece.layout->lineCount(); ++l) {
                const QTextLine line = piece.layout->lineAt(l);
                if (inPiece.y() < line.y() + line.height() || l + 1 == piece.layout->lineCount()) {
                    offset = line.xToCursor(inPiece.x());
                    break;
                }
            }
        }
        result.position = {b, p, offset};
        if (bounds.contains(local) && !result.element) {
            const qsizetype at = offset < piece.content.text.size() ? offset : offset - 1;
            // xToCursor rounds to the nearest edge; the character under the pointer decides.
            const QTextLine line = piece.layout->lineForTextPosition(int(qMax<qsizetype>(at, 0)));
            const qsizetype under =
                line.isValid() ? line.xToCursor(inPiece.x(), QTextLine::CursorOnCharacter) : at;
            const QString link = piece.content.linkAt(under);
            if (!link.isEmpty()) {
                result.element = Element{
                    Element::Type::link, bounds.translated(padding, blockTop(b)), {}, link, false,
                    piece.lineIndex,     m_missingLink && m_missingLink(link)};
            }
        }
    }
    return result;
}

QList<PreviewDocument::Element> PreviewDocument::elements(const QRectF &rect) const
{
    QList<Element> found;
    if (m_blocks.empty())
        return found;
    const qsizetype first = blockAt(rect.top());
    const qsizetype last = blockAt(rect.bottom());
    for (qsizetype b = first; b <= last; ++b) {
        const Block &block = m_blocks[size_t(b)];
        if (!block.layout)
            continue;
        const QPointF origin(padding, blockTop(b));
        for (const Marker &marker : block.layout->markers) {
            if (marker.checkbox) {
                found.append({Element::Type::checkbox,
                              marker.rect.translated(origin),
                              marker.itemText,
                              {},
                              marker.checked,
                              marker.lineIndex});
            }
        }
        for (const Picture &picture : block.layout->pictures) {
            const QString name =
                picture.reason.isEmpty()
                    ? picture.name
                    : picture.name + QStringLiteral("（") + picture.reason + QStringLiteral("）");
            found.append({Element::Type::image,
                          picture.rect.translated(origin),
                          name,
                          {},
                          false,
                          m_items[b].id});
        }
        for (const Piece &piece : block.layout->pieces) {
            for (const InlineRun &run : piece.content.runs) {
                if (run.link.isEmpty())
                    continue;
                // The link's rectangle: from its first to its last character.
                const QTextLine firstLine = piece.layout->lineForTextPosition(int(run.start));
                const QTextLine lastLine =
                    piece.layout->lineForTextPosition(int(run.start + run.length - 1));
                if (!firstLine.isValid() || !lastLine.isValid())
                    continue;
                const double x1 = firstLine.cursorToX(int(run.start));
                const double x2 = lastLine.cursorToX(int(run.start + run.length));
                QRectF r = firstLine.lineNumber() == lastLine.lineNumber()
                               ? QRectF(QPointF(x1, firstLine.y()),
                                        QPointF(x2, firstLine.y() + firstLine.height()))
                               : QRectF(QPointF(x1, firstLine.y()),
                                        QPointF(firstLine.x() + firstLine.width(),
                                                firstLine.y() + firstLine.height()));
                found.append({Element::Type::link, r.translated(origin + piece.position),
                              piece.content.text.mid(run.start, run.length), run.link, false,
                              piece.lineIndex, m_missingLink && m_missingLink(run.link)});
            }
        }
    }
    return found;
}

QString PreviewDocument::selectedText(Position from, Position to)
{
    if (!(from < to))
        return {};
    QStringList parts;
    for (qsizetype b = from.block; b <= to.block && b < blockCount(); ++b) {
        // Blocks out of view have no layout; their text alone is enough for a copy.
        std::unique_ptr<BlockLayout> temporary;
        const BlockLayout *layout = m_blocks[size_t(b)].layout.get();
        if (!layout) {
            temporary = layoutBlock(b, true);
            layout = temporary.get();
        }
        for (int p = 0; p < int(layout->pieces.size()); ++p) {
            const QString &text = layout->pieces[size_t(p)].content.text;
            const Position start{b, p, 0};
            const Position end{b, p, text.size()};
            if (end < from || to < start)
                continue;
            const qsizetype s = from <= start ? 0 : from.offset;
            const qsizetype e = to >= end ? text.size() : to.offset;
            parts.append(text.mid(s, e - s));
        }
    }
    return parts.join(u'\n');
}

PreviewDocument::Position PreviewDocument::startPosition() const
{
    return m_blocks.empty() ? Position{} : Position{0, 0, 0};
}

PreviewDocument::Position PreviewDocument::endPosition()
{
    if (m_blocks.empty())
        return {};
    const qsizetype last = blockCount() - 1;
    const std::unique_ptr<BlockLayout> layout = layoutBlock(last, true);
    if (layout->pieces.empty())
        return {last, 0, 0};
    const int piece = int(layout->pieces.size()) - 1;
    return {last, piece, layout->pieces.back().content.text.size()};
}
