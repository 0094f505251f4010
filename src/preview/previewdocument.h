#pragma once

#include "pictures/picturepath.h"
#include "preview/inlinemarkdown.h"
#include "preview/markdownblocks.h"
#include "preview/previewstyle.h"

#include <QHash>
#include <QList>
#include <QRectF>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class PictureLoader;
class QPainter;

/// The laid-out preview of one body: one block per preview item, stacked vertically. Only the
/// blocks that are looked at get a real text layout; the others carry an estimated height until
/// then, so a long note costs a parse plus the visible screen, not a layout of every line.
/// Coordinates are document pixels, with the top of the first block at the top padding.
class PreviewDocument
{
public:
    /// A place in the text: block, selectable piece inside it, character inside the piece.
    struct Position
    {
        qsizetype block = -1;
        int piece = 0;
        qsizetype offset = 0;
        bool isValid() const { return block >= 0; }
        auto operator<=>(const Position &) const = default;
    };

    /// Something on screen of its own: a checkbox marker, a link, or a picture (or the box that
    /// says why a picture is not shown), which is not clickable.
    struct Element
    {
        enum class Type { checkbox, link, image };
        Type type = Type::link;
        QRectF rect; ///< document coordinates
        QString name;
        QString url;
        bool checked = false;
        qint64 lineIndex = -1;
        /// A link to a note that does not exist (see setMissingLink).
        bool missing = false;
    };

    struct HitResult
    {
        Position position;              ///< nearest text position, for selection
        std::optional<Element> element; ///< what a click there activates
    };

    static constexpr double padding = 12;
    static constexpr double itemSpacing = 4;

    PreviewDocument();
    ~PreviewDocument();
    PreviewDocument(const PreviewDocument &) = delete;
    PreviewDocument &operator=(const PreviewDocument &) = delete;

    /// Parses a new body. Blocks whose text is unchanged keep their measured height.
    void setText(const QString &text);
    const QString &text() const { return m_text; }
    const QStringList &lines() const { return m_lines; }
    qint64 lineCount() const { return m_lines.size(); }
    bool isEmpty() const { return m_text.isEmpty(); }

    /// New colours or font size: every block is laid out again when next looked at.
    void setStyle(const PreviewStyle &style);
    const PreviewStyle &style() const { return m_style; }
    /// Checkbox markers become clickable elements.
    void setCheckboxesToggleable(bool toggleable);
    /// Tells which link addresses name a note that does not exist: those links are drawn
    /// muted with a dotted underline. Without one every link is drawn alike.
    using MissingLink = std::function<bool(const QString &url)>;
    void setMissingLink(MissingLink missing);
    /// The answer of the function given to setMissingLink changed.
    void missingLinksChanged();
    /// The width available to the blocks (the viewport's); a change re-lays out lazily.
    void setWidth(double width);
    /// Where pictures come from: `loader` decodes them (none: no pictures are shown, only the
    /// boxes in their place), paths are relative to `noteFolder` and must stay inside
    /// `baseFolder`. Pictures are decoded at `devicePixelRatio` times their size on screen.
    void setPictureSource(PictureLoader *loader, const QString &noteFolder,
                          const QString &baseFolder, double devicePixelRatio = 1);
    /// The loader has news: the blocks with pictures are laid out again when next looked at.
    void picturesChanged();

    qsizetype blockCount() const;
    double totalHeight() const;
    double blockTop(qsizetype block) const;
    double blockHeight(qsizetype block) const;
    /// The block at a document y, clamped to the existing blocks; -1 without blocks.
    qsizetype blockAt(double y) const;
    qsizetype blockForLine(qint64 lineIndex) const;
    /// Lays the block out at the current width. True when its height changed.
    bool ensureMeasured(qsizetype block);
    /// Releases text layouts of blocks outside [first, last], keeping their heights.
    void releaseLayoutsOutside(qsizetype first, qsizetype last);

    /// The document y of a line's row top (lays out its block).
    double lineTop(qint64 lineIndex);
    /// The line whose row is at a document y (lays out that block).
    qint64 lineAt(double y);

    /// Paints the blocks intersecting `rect` (document coordinates; painter in document
    /// coordinates too). `from`–`to` is the selection, possibly empty.
    void paint(QPainter &painter, const QRectF &rect, Position from, Position to) const;

    HitResult hitTest(QPointF point);
    /// The clickable elements of the blocks intersecting `rect`, laid out already.
    QList<Element> elements(const QRectF &rect) const;
    /// The selected text, pieces separated by line feeds.
    QString selectedText(Position from, Position to);
    Position startPosition() const;
    Position endPosition();

private:
    struct Block;
    struct BlockLayout;

    struct PictureContext;

    std::unique_ptr<BlockLayout> layoutBlock(qsizetype block, bool textOnly = false) const;
    const PictureTarget &pictureTarget(const QString &destination) const;
    double estimateHeight(qsizetype block) const;
    void updateTops() const;
    void invalidateMeasurements();

    QString m_text;
    QStringList m_lines;
    QList<MarkdownBlocks::PreviewItem> m_items;
    std::vector<Block> m_blocks;
    std::vector<qsizetype> m_blockOfLine;
    mutable std::vector<double> m_tops;
    mutable bool m_topsDirty = true;
    PreviewStyle m_style;
    double m_width = 400;
    bool m_checkboxesToggleable = false;
    MissingLink m_missingLink;
    PictureLoader *m_pictures = nullptr;
    QString m_noteFolder;
    QString m_baseFolder;
    double m_devicePixelRatio = 1;
    /// Resolved destinations, so that a redraw does not look at the disk again.
    mutable QHash<QString, PictureTarget> m_targets;
};
