#include "links/notelinks.h"

#include <QUrl>

#include <algorithm>

namespace NoteLinks {
namespace {

using Range = std::pair<qsizetype, qsizetype>;

qsizetype lineEnd(QStringView text, qsizetype from)
{
    const qsizetype end = text.indexOf(u'\n', from);
    return end < 0 ? text.size() : end;
}

/// The fence a line opens or closes (its character and length), or nothing.
std::pair<QChar, qsizetype> fenceOf(QStringView line)
{
    qsizetype i = 0;
    while (i < line.size() && i < 3 && line[i] == u' ')
        ++i;
    if (i >= line.size() || (line[i] != u'`' && line[i] != u'~'))
        return {QChar(), 0};
    const QChar c = line[i];
    qsizetype n = 0;
    while (i + n < line.size() && line[i + n] == c)
        ++n;
    if (n < 3)
        return {QChar(), 0};
    // An opening backtick fence has no backtick in its info string.
    if (c == u'`' && line.sliced(i + n).contains(u'`'))
        return {QChar(), 0};
    return {c, n};
}

bool inRanges(const QList<Range> &ranges, qsizetype position)
{
    const auto it = std::upper_bound(ranges.begin(), ranges.end(), position,
                                     [](qsizetype p, const Range &r) { return p < r.first; });
    return it != ranges.begin() && position < std::prev(it)->second;
}

int lineAt(const QList<qsizetype> &lineStarts, qsizetype position)
{
    return int(std::upper_bound(lineStarts.begin(), lineStarts.end(), position) -
               lineStarts.begin()) -
           1;
}

QList<qsizetype> lineStartsOf(QStringView text)
{
    QList<qsizetype> starts{0};
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n')
            starts.append(i + 1);
    }
    return starts;
}

bool hasNoteExtension(QStringView path)
{
    return path.endsWith(u".md", Qt::CaseInsensitive) ||
           path.endsWith(u".txt", Qt::CaseInsensitive);
}

bool looksLikeUrl(QStringView target)
{
    const qsizetype colon = target.indexOf(u':');
    if (colon <= 0)
        return false;
    const QStringView scheme = target.first(colon);
    return std::all_of(scheme.begin(), scheme.end(), [](QChar c) {
        return c.isLetterOrNumber() || c == u'+' || c == u'-' || c == u'.';
    });
}

/// A wiki link starting at `open` ("[[" there), or its length 0.
Link wikiLinkAt(QStringView text, qsizetype open)
{
    Link link;
    const qsizetype end = lineEnd(text, open);
    const qsizetype close = text.indexOf(u"]]", open + 2);
    if (close < 0 || close > end)
        return link;
    const QStringView inner = text.sliced(open + 2, close - open - 2);
    if (inner.contains(u'[') || inner.trimmed().isEmpty())
        return link;
    const qsizetype bar = inner.indexOf(u'|');
    const QStringView reference = bar < 0 ? inner : inner.first(bar);
    const qsizetype hash = reference.indexOf(u'#');
    const QStringView name = hash < 0 ? reference : reference.first(hash);
    link.kind = Link::Kind::wiki;
    link.start = open;
    link.length = close + 2 - open;
    link.targetStart = open + 2;
    link.targetLength = name.size();
    link.target = name.trimmed().toString();
    if (hash >= 0)
        link.heading = reference.sliced(hash + 1).trimmed().toString();
    if (bar >= 0)
        link.shown = inner.sliced(bar + 1).toString();
    return link;
}

/// A markdown link whose text opens at `open` ("[" there), or its length 0.
Link markdownLinkAt(QStringView text, qsizetype open)
{
    Link link;
    const qsizetype end = lineEnd(text, open);
    // The shown text, brackets balanced.
    int depth = 0;
    qsizetype i = open;
    for (; i < end; ++i) {
        if (text[i] == u'\\') {
            ++i;
            continue;
        }
        if (text[i] == u'[')
            ++depth;
        else if (text[i] == u']' && --depth == 0)
            break;
    }
    if (i >= end || i + 1 >= end || text[i + 1] != u'(')
        return link;
    const qsizetype closeText = i;
    qsizetype d = closeText + 2;
    qsizetype destinationStart = d;
    qsizetype destinationEnd = -1;
    qsizetype close = -1;
    bool angle = false;
    if (d < end && text[d] == u'<') {
        angle = true;
        destinationStart = d + 1;
        destinationEnd = text.indexOf(u'>', destinationStart);
        if (destinationEnd < 0 || destinationEnd > end)
            return link;
        close = text.indexOf(u')', destinationEnd);
        if (close < 0 || close > end)
            return link;
    } else {
        int parens = 0;
        for (; d < end; ++d) {
            const QChar c = text[d];
            if (c == u' ' || c == u'\t')
                break;
            if (c == u'(')
                ++parens;
            else if (c == u')' && parens-- == 0)
                break;
        }
        destinationEnd = d;
        close = text.indexOf(u')', d);
        if (close < 0 || close > end)
            return link;
    }
    QStringView destination = text.sliced(destinationStart, destinationEnd - destinationStart);
    const qsizetype hash = destination.indexOf(u'#');
    QString heading;
    if (hash >= 0) {
        heading = QUrl::fromPercentEncoding(destination.sliced(hash + 1).toUtf8());
        destination = destination.first(hash);
    }
    if (destination.isEmpty() || looksLikeUrl(destination) || destination.startsWith(u'/'))
        return link;
    const QString decoded = QUrl::fromPercentEncoding(destination.toUtf8());
    if (!hasNoteExtension(decoded))
        return link;
    link.kind = Link::Kind::markdown;
    link.start = open;
    link.length = close + 1 - open;
    link.targetStart = destinationStart;
    link.targetLength = destination.size();
    link.target = decoded;
    link.heading = heading;
    link.shown = text.sliced(open + 1, closeText - open - 1).toString();
    link.angleBrackets = angle;
    link.percentSpaces = destination.contains(u"%20");
    return link;
}

/// Links with their code ranges already known.
QList<Link> linksOutside(QStringView text, const QList<Range> &code,
                         const QList<qsizetype> &lineStarts)
{
    QList<Link> found;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'[' || inRanges(code, i))
            continue;
        if (i > 0 && text[i - 1] == u'\\')
            continue;
        Link link;
        if (i + 1 < text.size() && text[i + 1] == u'[')
            link = wikiLinkAt(text, i);
        else if (i == 0 || text[i - 1] != u'!')
            link = markdownLinkAt(text, i);
        if (link.length == 0)
            continue;
        link.line = lineAt(lineStarts, link.start);
        found.append(link);
        i = link.start + link.length - 1;
    }
    return found;
}

bool isDigitsOnly(QStringView tag)
{
    return std::none_of(tag.begin(), tag.end(),
                        [](QChar c) { return !c.isDigit() && c != u'-' && c != u'/'; });
}

/// `value` (a front matter value) as tag names: a flow list "[a, b]" or a string of names
/// separated by commas or spaces; quotes and a leading "#" dropped.
void addFrontMatterTags(QStringView value, int line, QList<Tag> &found)
{
    value = value.trimmed();
    if (value.startsWith(u'[') && value.endsWith(u']'))
        value = value.sliced(1, value.size() - 2);
    qsizetype i = 0;
    while (i < value.size()) {
        while (i < value.size() &&
               (value[i] == u',' || value[i].isSpace() || value[i] == u'"' || value[i] == u'\''))
            ++i;
        qsizetype j = i;
        while (j < value.size() && value[j] != u',' && !value[j].isSpace() && value[j] != u'"' &&
               value[j] != u'\'')
            ++j;
        QStringView name = value.sliced(i, j - i);
        if (name.startsWith(u'#') || name.startsWith(u'＃'))
            name = name.sliced(1);
        if (!name.isEmpty() && !isDigitsOnly(name))
            found.append({name.toString(), -1, line});
        i = j;
    }
}

void frontMatterTags(QStringView text, qsizetype end, const QList<qsizetype> &lineStarts,
                     QList<Tag> &found)
{
    qsizetype position = lineEnd(text, 0) + 1;
    bool inList = false;
    while (position < end) {
        const qsizetype stop = lineEnd(text, position);
        const QStringView line = text.sliced(position, stop - position);
        const int lineNumber = lineAt(lineStarts, position);
        if (inList) {
            const QStringView item = line.trimmed();
            if (item.startsWith(u'-') && (line.startsWith(u' ') || line.startsWith(u'-'))) {
                addFrontMatterTags(item.sliced(1), lineNumber, found);
                position = stop + 1;
                continue;
            }
            if (!item.isEmpty())
                inList = false;
        }
        if (line.startsWith(u"tags:", Qt::CaseInsensitive)) {
            const QStringView value = line.sliced(5).trimmed();
            if (value.isEmpty())
                inList = true;
            else
                addFrontMatterTags(value, lineNumber, found);
        }
        position = stop + 1;
    }
}

bool isHeadingLine(QStringView text, qsizetype lineStart)
{
    qsizetype i = lineStart;
    while (i < text.size() && i - lineStart < 3 && text[i] == u' ')
        ++i;
    qsizetype hashes = 0;
    while (i < text.size() && text[i] == u'#')
        ++i, ++hashes;
    return hashes >= 1 && hashes <= 6 &&
           (i >= text.size() || text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n');
}

} // namespace

bool isTagCharacter(char32_t c)
{
    if (c == U'_' || c == U'-' || c == U'/')
        return true;
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

QString fold(QStringView name)
{
    QString text = name.toString().normalized(QString::NormalizationForm_C);
    // Width forms only: compatibility decomposition of everything else (ligatures, circled
    // digits, superscripts) would make different names equal.
    QString widened;
    widened.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const char16_t unit = text[i].unicode();
        if (unit == 0x3000) {
            widened += u' ';
            ++i;
            continue;
        }
        if (unit < 0xFF00 || unit > 0xFFEF) {
            widened += text[i++];
            continue;
        }
        qsizetype j = i;
        while (j < text.size() && text[j].unicode() >= 0xFF00 && text[j].unicode() <= 0xFFEF)
            ++j;
        // A run at once, so that a half-width sound mark joins the kana before it.
        widened += text.sliced(i, j - i).normalized(QString::NormalizationForm_KC);
        i = j;
    }
    return widened.toCaseFolded().normalized(QString::NormalizationForm_C);
}

qsizetype frontMatterEnd(QStringView text)
{
    if (!text.startsWith(u"---"))
        return 0;
    qsizetype first = lineEnd(text, 0);
    if (text.first(first).trimmed() != u"---")
        return 0;
    qsizetype position = first + 1;
    while (position < text.size()) {
        const qsizetype stop = lineEnd(text, position);
        const QStringView line = text.sliced(position, stop - position).trimmed();
        if (line == u"---" || line == u"...")
            return std::min(stop + 1, text.size());
        position = stop + 1;
    }
    return 0;
}

QList<Range> codeRanges(QStringView text)
{
    QList<Range> ranges;
    qsizetype position = 0;
    QChar fence;
    qsizetype fenceLength = 0;
    qsizetype fenceStart = 0;
    while (position < text.size()) {
        const qsizetype stop = lineEnd(text, position);
        const QStringView line = text.sliced(position, stop - position);
        const auto [c, n] = fenceOf(line);
        if (fenceLength > 0) {
            if (c == fence && n >= fenceLength && line.trimmed().size() == n) {
                ranges.append({fenceStart, stop});
                fenceLength = 0;
            }
        } else if (n > 0) {
            fence = c;
            fenceLength = n;
            fenceStart = position;
        } else {
            // Code spans: a run of backticks closed by a run of the same length on this line.
            qsizetype i = 0;
            while (i < line.size()) {
                if (line[i] != u'`') {
                    ++i;
                    continue;
                }
                qsizetype n1 = 0;
                while (i + n1 < line.size() && line[i + n1] == u'`')
                    ++n1;
                qsizetype j = i + n1;
                qsizetype closeAt = -1;
                while (j < line.size()) {
                    if (line[j] != u'`') {
                        ++j;
                        continue;
                    }
                    qsizetype n2 = 0;
                    while (j + n2 < line.size() && line[j + n2] == u'`')
                        ++n2;
                    if (n2 == n1) {
                        closeAt = j + n2;
                        break;
                    }
                    j += n2;
                }
                if (closeAt < 0) {
                    i += n1;
                    continue;
                }
                ranges.append({position + i, position + closeAt});
                i = closeAt;
            }
        }
        position = stop + 1;
    }
    if (fenceLength > 0)
        ranges.append({fenceStart, text.size()});
    return ranges;
}

QList<Link> links(QStringView text)
{
    return linksOutside(text, codeRanges(text), lineStartsOf(text));
}

QList<Tag> tags(QStringView text)
{
    QList<Tag> found;
    const QList<qsizetype> lineStarts = lineStartsOf(text);
    const qsizetype bodyStart = frontMatterEnd(text);
    if (bodyStart > 0)
        frontMatterTags(text, bodyStart, lineStarts, found);
    QList<Range> skipped = codeRanges(text);
    for (const Link &link : linksOutside(text, skipped, lineStarts))
        skipped.append({link.start, link.start + link.length});
    std::sort(skipped.begin(), skipped.end());
    for (qsizetype i = bodyStart; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'#' && c != u'＃')
            continue;
        if (i > 0) {
            const QChar before = text[i - 1];
            // Inside a word ("C#", "a#b"), an address (".../#part"), an entity ("&#38;") or
            // "##": not a tag. Japanese has no spaces between words: after kana or kanji it is.
            if ((before.unicode() < 0x3000 && (before.isLetterOrNumber() || before.isMark())) ||
                before == u'#' || before == u'＃' || before == u'/' || before == u'&' ||
                before == u'_' || before == u'\\')
                continue;
        }
        qsizetype j = i + 1;
        while (j < text.size()) {
            char32_t code = text[j].unicode();
            qsizetype width = 1;
            if (text[j].isHighSurrogate() && j + 1 < text.size() && text[j + 1].isLowSurrogate()) {
                code = QChar::surrogateToUcs4(text[j], text[j + 1]);
                width = 2;
            }
            if (!isTagCharacter(code))
                break;
            j += width;
        }
        qsizetype end = j;
        while (end > i + 1 && text[end - 1] == u'/')
            --end;
        const QStringView name = text.sliced(i + 1, end - i - 1);
        if (name.isEmpty() || isDigitsOnly(name) || name.startsWith(u'/') || inRanges(skipped, i)) {
            i = j - 1;
            continue;
        }
        const int line = lineAt(lineStarts, i);
        if (isHeadingLine(text, lineStarts[line])) {
            i = j - 1;
            continue;
        }
        found.append({name.toString(), i, line});
        i = j - 1;
    }
    return found;
}

QString wikiLinksAsMarkdown(QStringView text)
{
    const QList<Link> found = links(text);
    if (found.isEmpty())
        return text.toString();
    QString out;
    qsizetype done = 0;
    for (const Link &link : found) {
        if (link.kind != Link::Kind::wiki)
            continue;
        qsizetype start = link.start;
        // An embed is a link here: the preview shows no note inside another.
        if (start > 0 && text[start - 1] == u'!')
            --start;
        out += text.sliced(done, start - done);
        QString shown = link.shown.isEmpty() ? link.target : link.shown;
        if (link.shown.isEmpty() && !link.heading.isEmpty())
            shown += QStringLiteral(" > ") + link.heading;
        QString escaped;
        for (const QChar c : shown) {
            if (c == u'[' || c == u']' || c == u'\\' || c == u'*' || c == u'_' || c == u'`')
                escaped += u'\\';
            escaped += c;
        }
        out += u'[' + escaped + QStringLiteral("](") + QString(noteScheme) + u':' +
               QString::fromLatin1(QUrl::toPercentEncoding(link.target)) +
               (link.heading.isEmpty()
                    ? QString()
                    : u'#' + QString::fromLatin1(QUrl::toPercentEncoding(link.heading))) +
               u')';
        done = link.start + link.length;
    }
    out += text.sliced(done);
    return out;
}

Link linkFromNoteUrl(const QString &encodedPath, const QString &fragment)
{
    Link link;
    link.kind = Link::Kind::wiki;
    link.target = QUrl::fromPercentEncoding(encodedPath.toUtf8());
    link.heading = QUrl::fromPercentEncoding(fragment.toUtf8());
    return link;
}

qsizetype completionStart(QStringView line)
{
    const qsizetype open = line.lastIndexOf(u"[[");
    if (open < 0)
        return -1;
    const QStringView typed = line.sliced(open + 2);
    if (typed.contains(u']') || typed.contains(u'|') || typed.contains(u'#') ||
        typed.contains(u'['))
        return -1;
    if (line.first(open).count(u'`') % 2 == 1)
        return -1;
    return open + 2;
}

qsizetype tagCompletionStart(QStringView line)
{
    qsizetype i = line.size();
    while (i > 0 && line[i - 1] != u'#' && line[i - 1] != u'＃' &&
           isTagCharacter(line[i - 1].unicode()))
        --i;
    if (i == 0 || (line[i - 1] != u'#' && line[i - 1] != u'＃'))
        return -1;
    const qsizetype hash = i - 1;
    if (hash > 0) {
        const QChar before = line[hash - 1];
        if ((before.unicode() < 0x3000 && (before.isLetterOrNumber() || before.isMark())) ||
            before == u'#' || before == u'＃' || before == u'/' || before == u'&' ||
            before == u'_' || before == u'\\')
            return -1;
    }
    if (line.first(hash).count(u'`') % 2 == 1)
        return -1;
    return i;
}

} // namespace NoteLinks
