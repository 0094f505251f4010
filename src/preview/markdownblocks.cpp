#include "preview/markdownblocks.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <vector>

namespace MarkdownBlocks {

namespace {

bool isHorizontalSpace(QChar c)
{
    if (c.unicode() < 0x80)
        return c == u' ' || c == u'\t';
    return c.category() == QChar::Separator_Space;
}

/// Block tests other than indented code ignore lines indented by a tab or four spaces.
bool isEligible(QStringView line)
{
    return !line.startsWith(u'\t') && leadingSpaceCount(line) <= 3;
}

qsizetype runLength(QStringView text, QChar c)
{
    qsizetype n = 0;
    while (n < text.size() && text[n] == c)
        ++n;
    return n;
}

/// The level when line i is setext content underlined by line i + 1. The underline is checked
/// first: it fails on the first character of almost every line.
template <typename Lines> std::optional<int> setextLevelAt(const Lines &lines, qint64 i)
{
    if (i + 1 >= qint64(lines.size()))
        return std::nullopt;
    const auto level = setextUnderlineLevel(lines[i + 1]);
    if (!level || !isSetextContentLine(lines[i]))
        return std::nullopt;
    return level;
}

PreviewItem makeItem(qint64 id, PreviewItem::Kind kind)
{
    PreviewItem item;
    item.id = id;
    item.kind = kind;
    return item;
}

StandardLine makeStandard(StandardLine::Kind kind)
{
    StandardLine standard;
    standard.kind = kind;
    return standard;
}

/// The text of an indented code line without its indentation: one tab or up to four spaces.
QString indentedCodeText(QStringView line)
{
    if (line.startsWith(u'\t'))
        return line.mid(1).toString();
    return line.mid(qMin<qsizetype>(leadingSpaceCount(line), 4)).toString();
}

bool closesFence(QStringView line, const FenceOpening &open)
{
    const auto fence = fenceOpening(line);
    return fence && fence->character == open.character && fence->length >= open.length &&
           fence->info.isEmpty();
}

PreviewItem indentedCodeItem(const QStringList &lines, qint64 start, qint64 &next)
{
    PreviewItem item = makeItem(start, PreviewItem::Kind::codeBlock);
    const qint64 n = lines.size();
    qint64 j = start;
    while (j < n) {
        if (isIndentedCodeLine(lines[j])) {
            item.codeRows.append({j, indentedCodeText(lines[j]), false});
            ++j;
            continue;
        }
        if (!isBlank(lines[j]))
            break;
        qint64 k = j + 1;
        while (k < n && isBlank(lines[k]))
            ++k;
        // Blank lines belong to the block only when more code follows them.
        if (k == n || !isIndentedCodeLine(lines[k]))
            break;
        for (qint64 m = j; m < k; ++m)
            item.codeRows.append({m, QString(), false});
        j = k;
    }
    next = j;
    return item;
}

PreviewItem fencedCodeItem(const QStringList &lines, qint64 start, const FenceOpening &open,
                           qint64 &next)
{
    PreviewItem item = makeItem(start, PreviewItem::Kind::codeBlock);
    item.language = open.info;
    item.codeRows.append({start, lines[start], true});
    const qint64 n = lines.size();
    qint64 j = start + 1;
    while (j < n) {
        const bool closing = closesFence(lines[j], open);
        item.codeRows.append({j, lines[j], closing});
        ++j;
        if (closing)
            break;
    }
    next = j;
    return item;
}

PreviewItem blockQuoteItem(const QStringList &lines, qint64 start, qint64 &next)
{
    PreviewItem item = makeItem(start, PreviewItem::Kind::blockquote);
    qint64 j = start;
    while (j < lines.size() && !isBlank(lines[j])) {
        auto quote = blockQuoteLine(lines[j]);
        if (!quote)
            break;
        item.quoteRows.append({j, quote->depth, quote->leadingIndent, std::move(quote->body)});
        ++j;
    }
    next = j;
    return item;
}

} // namespace

qint64 PreviewItem::lastLineIndex() const
{
    switch (kind) {
    case Kind::setextHeading:
        return underlineIndex;
    case Kind::codeBlock:
        return codeRows.isEmpty() ? id : codeRows.last().lineIndex;
    case Kind::blockquote:
        return quoteRows.isEmpty() ? id : quoteRows.last().lineIndex;
    default:
        return id;
    }
}

QStringList splitLines(const QString &text)
{
    return text.split(u'\n');
}

QStringView trimHorizontal(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isHorizontalSpace(text[begin]))
        ++begin;
    while (end > begin && isHorizontalSpace(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

qsizetype leadingSpaceCount(QStringView line)
{
    return runLength(line, u' ');
}

QStringView stripIndent(QStringView line)
{
    return line.mid(qMin<qsizetype>(leadingSpaceCount(line), 3));
}

double indentWidth(QStringView prefix)
{
    double width = 0;
    for (const QChar c : prefix) {
        if (c == u' ')
            width += 4;
        else if (c == u'\t')
            width += 16;
    }
    return width;
}

bool isBlank(QStringView line)
{
    return trimHorizontal(line).isEmpty();
}

bool isIndentedCodeLine(QStringView line)
{
    return !isBlank(line) && (line.startsWith(u'\t') || leadingSpaceCount(line) >= 4);
}

std::optional<int> atxHeadingLevel(QStringView line)
{
    if (!isEligible(line))
        return std::nullopt;
    const QStringView s = stripIndent(line);
    const qsizetype n = runLength(s, u'#');
    if (n < 1 || n > 6 || n >= s.size() || s[n] != u' ')
        return std::nullopt;
    return int(n);
}

std::optional<FenceOpening> fenceOpening(QStringView line)
{
    if (!isEligible(line))
        return std::nullopt;
    const QStringView s = stripIndent(line);
    if (s.isEmpty() || (s[0] != u'`' && s[0] != u'~'))
        return std::nullopt;
    const QChar c = s[0];
    const qsizetype n = runLength(s, c);
    if (n < 3)
        return std::nullopt;
    const QStringView info = trimHorizontal(s.mid(n));
    if (c == u'`' && info.contains(u'`'))
        return std::nullopt;
    return FenceOpening{c, n, info.toString()};
}

bool isThematicBreak(QStringView line)
{
    if (!isEligible(line))
        return false;
    const QStringView s = trimHorizontal(stripIndent(line));
    if (s.isEmpty() || (s[0] != u'-' && s[0] != u'*' && s[0] != u'_'))
        return false;
    const QChar c = s[0];
    int count = 0;
    for (const QChar ch : s) {
        if (ch == c)
            ++count;
        else if (ch != u' ' && ch != u'\t')
            return false;
    }
    return count >= 3;
}

std::optional<int> setextUnderlineLevel(QStringView line)
{
    if (!isEligible(line))
        return std::nullopt;
    const QStringView s = trimHorizontal(stripIndent(line));
    if (s.isEmpty())
        return std::nullopt;
    if (runLength(s, u'=') == s.size())
        return 1;
    if (runLength(s, u'-') == s.size())
        return 2;
    return std::nullopt;
}

bool isCommentLine(QStringView line)
{
    if (!isEligible(line))
        return false;
    const QStringView s = trimHorizontal(stripIndent(line));
    if (!s.startsWith(u'['))
        return false;
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\[comment\]:\s*#(?:\s*\(.*\))?\s*$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    return pattern.match(s).hasMatch();
}

bool isSetextContentLine(QStringView line)
{
    return isEligible(line) && !isBlank(line) && !isCommentLine(line) &&
           !isIndentedCodeLine(line) && !fenceOpening(line) && !atxHeadingLevel(line) &&
           !isThematicBreak(line);
}

std::optional<BlockQuoteLine> blockQuoteLine(QStringView line)
{
    if (!isEligible(line))
        return std::nullopt;
    const qsizetype prefix = qMin<qsizetype>(leadingSpaceCount(line), 3);
    qsizetype i = prefix;
    if (i >= line.size())
        return std::nullopt;
    int depth = 0;
    while (i < line.size() && line[i] == u'>') {
        ++depth;
        ++i;
        if (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
            ++i;
    }
    if (depth < 1)
        return std::nullopt;
    return BlockQuoteLine{indentWidth(line.first(prefix)), depth, line.mid(i).toString()};
}

std::optional<ListItem> unorderedListItem(QStringView line)
{
    if (!isEligible(line))
        return std::nullopt;
    qsizetype p = 0;
    while (p < line.size() && (line[p] == u' ' || line[p] == u'\t'))
        ++p;
    const double indent = indentWidth(line.first(p));
    const QStringView rest = line.mid(p);
    if (rest.startsWith(u"- [ ] "))
        return ListItem{indent, QStringLiteral("☐"), rest.mid(6).toString()};
    if (rest.startsWith(u"- [x] ") || rest.startsWith(u"- [X] "))
        return ListItem{indent, QStringLiteral("☑"), rest.mid(6).toString()};
    if (rest.startsWith(u"- ") || rest.startsWith(u"* ") || rest.startsWith(u"+ "))
        return ListItem{indent, QStringLiteral("•"), rest.mid(2).toString()};
    return std::nullopt;
}

std::optional<ListItem> orderedListItem(QStringView line)
{
    if (!isEligible(line))
        return std::nullopt;
    const qsizetype spaces = leadingSpaceCount(line);
    if (spaces >= line.size() || !line[spaces].isDigit())
        return std::nullopt;
    static const QRegularExpression pattern(QStringLiteral(R"(^([ ]{0,3})(\d+)\. (.*)$)"),
                                            QRegularExpression::UseUnicodePropertiesOption);
    const auto match = pattern.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    return ListItem{indentWidth(match.capturedView(1)), match.captured(2) + u'.',
                    match.captured(3)};
}

bool isTableDelimiterRow(QStringView line)
{
    if (!isEligible(line))
        return false;
    const QStringView t = trimHorizontal(stripIndent(line));
    if (!t.startsWith(u'|'))
        return false;
    static const QRegularExpression pattern(QStringLiteral(R"(^\|[-: ]+\|)"));
    if (!pattern.match(t).hasMatch())
        return false;
    // A row like "| | Mon |" (an empty corner cell) starts the same way; only a row whose every
    // cell is a dash rule is a delimiter, otherwise a header row would vanish from the preview.
    const QStringList cells = tableCells(t);
    return std::all_of(cells.cbegin(), cells.cend(), [](const QString &cell) {
        return cell.contains(u'-') && std::all_of(cell.cbegin(), cell.cend(), [](QChar c) {
                   return c == u'-' || c == u':' || isHorizontalSpace(c);
               });
    });
}

QStringList tableCells(QStringView rowText)
{
    const QStringView t = trimHorizontal(rowText);
    if (!(t.startsWith(u'|') && t.endsWith(u'|')))
        return {t.toString()};
    const QStringView inner = t.size() >= 2 ? t.sliced(1, t.size() - 2) : QStringView();
    QStringList cells;
    for (const QStringView piece : inner.split(u'|'))
        cells.append(trimHorizontal(piece).toString());
    return cells;
}

QList<PreviewItem> parsePreviewItems(const QStringList &lines)
{
    using Kind = PreviewItem::Kind;
    QList<PreviewItem> items;
    const qint64 n = lines.size();
    qint64 i = 0;
    while (i < n) {
        const QString &line = lines[i];
        qint64 next = i + 1;
        if (isIndentedCodeLine(line)) {
            items.append(indentedCodeItem(lines, i, next));
        } else if (const auto fence = fenceOpening(line)) {
            items.append(fencedCodeItem(lines, i, *fence, next));
        } else if (isCommentLine(line)) {
            items.append(makeItem(i, Kind::hidden));
        } else if (isBlank(line)) {
            items.append(makeItem(i, Kind::emptyLine));
        } else if (const auto level = setextLevelAt(lines, i)) {
            PreviewItem item = makeItem(i, Kind::setextHeading);
            item.level = *level;
            item.underlineIndex = i + 1;
            items.append(std::move(item));
            next = i + 2;
        } else if (isThematicBreak(line)) {
            items.append(makeItem(i, Kind::horizontalRule));
        } else if (blockQuoteLine(line)) {
            items.append(blockQuoteItem(lines, i, next));
        } else {
            items.append(makeItem(i, Kind::standard));
        }
        i = next;
    }
    return items;
}

StandardLine classifyStandardLine(const QStringList &lines, qint64 index)
{
    using Kind = StandardLine::Kind;
    const QString &line = lines[index];
    if (isEligible(line)) {
        const QStringView t = trimHorizontal(stripIndent(line));
        if (t.startsWith(u'|')) {
            if (isTableDelimiterRow(line))
                return makeStandard(Kind::delimiterRow);
            StandardLine row = makeStandard(Kind::tableRow);
            row.isHeaderRow = index + 1 < lines.size() && isTableDelimiterRow(lines[index + 1]);
            return row;
        }
    }
    if (const auto level = atxHeadingLevel(line)) {
        StandardLine heading = makeStandard(Kind::heading);
        heading.headingLevel = *level;
        return heading;
    }
    auto item = unorderedListItem(line);
    const bool unordered = item.has_value();
    if (!unordered)
        item = orderedListItem(line);
    if (!item)
        return makeStandard(Kind::paragraph);
    StandardLine list = makeStandard(unordered ? Kind::unorderedItem : Kind::orderedItem);
    list.listItem = std::move(*item);
    return list;
}

QStringView atxHeadingContent(QStringView line)
{
    const QStringView marked = trimHorizontal(line);
    QStringView title = trimHorizontal(marked.mid(runLength(marked, u'#')));
    // A closing run of "#" counts only when a space separates it from the title (or it is the
    // whole title), so "C#" keeps its sharp, as the rendered heading does.
    qsizetype end = title.size();
    while (end > 0 && title[end - 1] == u'#')
        --end;
    if (end < title.size() && (end == 0 || isHorizontalSpace(title[end - 1])))
        title = trimHorizontal(title.first(end));
    return title;
}

QString atxHeadingTitle(QStringView line)
{
    const QStringView title = atxHeadingContent(line);
    return title.isEmpty() ? QStringLiteral("(無題)") : title.toString();
}

QList<HeadingItem> extractHeadings(const QString &text)
{
    // Views into the text rather than a list of strings: the outline runs on every pause.
    std::vector<QStringView> lines;
    for (qsizetype start = 0;;) {
        const qsizetype end = text.indexOf(u'\n', start);
        if (end < 0) {
            lines.push_back(QStringView(text).mid(start));
            break;
        }
        lines.push_back(QStringView(text).sliced(start, end - start));
        start = end + 1;
    }
    const qint64 n = qint64(lines.size());
    QList<HeadingItem> headings;
    std::optional<FenceOpening> openFence;
    qint64 i = 0;
    while (i < n) {
        const QStringView line = lines[size_t(i)];
        if (openFence) {
            if (closesFence(line, *openFence))
                openFence.reset();
            ++i;
            continue;
        }
        if (auto fence = fenceOpening(line)) {
            openFence = std::move(fence);
            ++i;
            continue;
        }
        if (isCommentLine(line) || isIndentedCodeLine(line)) {
            ++i;
            continue;
        }
        if (const auto level = setextLevelAt(lines, i)) {
            headings.append({i, *level, trimHorizontal(stripIndent(line)).toString()});
            i += 2;
            continue;
        }
        if (const auto level = atxHeadingLevel(line))
            headings.append({i, *level, atxHeadingTitle(line)});
        ++i;
    }
    return headings;
}

qint64 lineIndexForScrollOffset(double offset, double fontSize, qint64 lineCount)
{
    const double lineHeight = fontSize * 1.5;
    if (lineHeight <= 0 || !(offset > 0))
        return 0;
    const double index = std::floor(offset / lineHeight);
    const qint64 last = qMax<qint64>(lineCount - 1, 0);
    return index >= double(last) ? last : qint64(index);
}

} // namespace MarkdownBlocks
