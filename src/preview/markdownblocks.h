#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

/// The line model behind the preview and the outline. A body is split at every line feed and
/// lines are numbered from 0, the same numbering the editor, checkbox toggles and scroll sync
/// use. The rules follow CommonMark for headings, fences, thematic breaks and indentation, but
/// work line by line: no lazy continuation, no paragraph interruption rules, list items and table
/// rows recognised per line. Pure text processing; no GUI.
namespace MarkdownBlocks {

/// One line of a code block. Fence rows are kept so every line has a row to scroll to.
struct CodeRow
{
    qint64 lineIndex = 0;
    QString text;
    bool isFence = false;
    bool operator==(const CodeRow &) const = default;
};

/// One line of a block quote: nesting depth (≥ 1), indentation of the leading spaces in points
/// and the text after the markers.
struct QuoteRow
{
    qint64 lineIndex = 0;
    int depth = 1;
    double leadingIndent = 0;
    QString body;
    bool operator==(const QuoteRow &) const = default;
};

/// A group of lines shown as one element of the preview. `id` is the index of its first line;
/// items never overlap, so the id is unique within one parse.
struct PreviewItem
{
    enum class Kind {
        setextHeading,
        blockquote,
        codeBlock,
        emptyLine,
        hidden,
        horizontalRule,
        standard
    };

    qint64 id = 0;
    Kind kind = Kind::standard;
    int level = 0;              ///< setextHeading: 1 ("=") or 2 ("-")
    qint64 underlineIndex = -1; ///< setextHeading: always id + 1
    QString language;           ///< codeBlock: the fence's info string, empty for indented code
    QList<CodeRow> codeRows;    ///< codeBlock
    QList<QuoteRow> quoteRows;  ///< blockquote

    /// The index of the last line the item covers.
    qint64 lastLineIndex() const;
};

/// A fence line: its character (` or ~), the length of its run and its trimmed info string.
struct FenceOpening
{
    QChar character;
    qsizetype length = 0;
    QString info;
};

struct BlockQuoteLine
{
    double leadingIndent = 0;
    int depth = 1;
    QString body;
};

/// A list line: indentation in points, the marker shown ("•", "☐", "☑" or "12.") and the text.
struct ListItem
{
    double indent = 0;
    QString marker;
    QString itemText;
    bool operator==(const ListItem &) const = default;
};

/// What a `standard` line is drawn as.
struct StandardLine
{
    enum class Kind { delimiterRow, tableRow, heading, unorderedItem, orderedItem, paragraph };
    Kind kind = Kind::paragraph;
    bool isHeaderRow = false; ///< tableRow: the next line is a delimiter row
    int headingLevel = 0;     ///< heading
    ListItem listItem;        ///< unorderedItem, orderedItem
};

/// An outline entry; `id` is the index of the heading's text line.
struct HeadingItem
{
    qint64 id = 0;
    int level = 1;
    QString title;
    bool operator==(const HeadingItem &) const = default;
};

/// The body's lines, split at every line feed (a carriage return stays on its line).
QStringList splitLines(const QString &text);

/// Removes spaces, tabs and other Unicode space separators (not line breaks) from both ends.
QStringView trimHorizontal(QStringView text);

/// Number of U+0020 before the first other character; tabs are not counted.
qsizetype leadingSpaceCount(QStringView line);
/// The line without at most three leading spaces.
QStringView stripIndent(QStringView line);
/// 4 points per space and 16 per tab of an indentation prefix.
double indentWidth(QStringView prefix);
/// A blank line holds nothing but horizontal whitespace.
bool isBlank(QStringView line);

bool isIndentedCodeLine(QStringView line);
/// Level 1 to 6 of an ATX heading line ("# Title"), or none.
std::optional<int> atxHeadingLevel(QStringView line);
std::optional<FenceOpening> fenceOpening(QStringView line);
bool isThematicBreak(QStringView line);
/// 1 for a "===" underline, 2 for "---", none otherwise.
std::optional<int> setextUnderlineLevel(QStringView line);
/// "[comment]: #" with an optional "(…)" after it, in any letter case.
bool isCommentLine(QStringView line);
/// A line that a following underline turns into a setext heading.
bool isSetextContentLine(QStringView line);
std::optional<BlockQuoteLine> blockQuoteLine(QStringView line);
std::optional<ListItem> unorderedListItem(QStringView line);
std::optional<ListItem> orderedListItem(QStringView line);
/// A row like "|---|:--:|": every cell holds dashes, colons and spaces with at least one dash.
bool isTableDelimiterRow(QStringView line);
/// The trimmed cells of a table row; text without outer pipes is a single cell.
QStringList tableCells(QStringView rowText);

/// Groups the lines into preview items in line order.
QList<PreviewItem> parsePreviewItems(const QStringList &lines);
/// What the `standard` line at `index` is drawn as; a table row looks at the line after it.
StandardLine classifyStandardLine(const QStringList &lines, qint64 index);

/// The headings of a body for the outline, agreeing with the preview on which lines are
/// headings. Headings inside fenced or indented code are not listed.
QList<HeadingItem> extractHeadings(const QString &text);
/// The content of an ATX heading line: the text between the opening "#" run and an optional
/// closing run, trimmed. A closing run needs a space before it, so "C#" keeps its sharp.
QStringView atxHeadingContent(QStringView line);
/// An ATX heading's title as the outline shows it: its content, or "(無題)" when empty.
QString atxHeadingTitle(QStringView line);

/// The body line at the top of the editor, recovered from the editor's scroll offset (top line
/// × fontSize × 1.5), clamped to the lines that exist.
qint64 lineIndexForScrollOffset(double offset, double fontSize, qint64 lineCount);

} // namespace MarkdownBlocks
