#include "editor/listlineparser.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace {

const QRegularExpression &listLinePattern()
{
    // Unicode properties so \d takes any decimal digit (full-width ones too), as a list marker
    // written with an input method is still a marker.
    static const QRegularExpression pattern(
        QStringLiteral("^([ \\t]*)([-*+]|\\d+\\.) (\\[[ xX]\\] )?(.*)$"),
        QRegularExpression::UseUnicodePropertiesOption);
    return pattern;
}

// Only ASCII digits count; anything else, or a value outside qint64, is not a number.
std::optional<qint64> parseDecimal(QStringView digits)
{
    if (digits.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c.unicode() - u'0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

QString continuationPrefix(const ListLineParser::Info &info)
{
    QString prefix = info.indent;
    const std::optional<qint64> number = info.marker.endsWith(u'.')
                                             ? parseDecimal(QStringView(info.marker).chopped(1))
                                             : std::nullopt;
    // The largest number has no successor; repeating it beats wrapping to a negative one.
    if (number && *number < std::numeric_limits<qint64>::max())
        prefix += QString::number(*number + 1) + QStringLiteral(". ");
    else
        prefix += info.marker + u' ';
    if (info.isCheckbox)
        prefix += QStringLiteral("[ ] ");
    return prefix;
}

} // namespace

std::optional<ListLineParser::Info> ListLineParser::parse(const QString &line)
{
    const QRegularExpressionMatch match = listLinePattern().match(line);
    if (!match.hasMatch())
        return std::nullopt;
    Info info;
    info.indent = match.captured(1);
    info.marker = match.captured(2);
    info.isCheckbox = match.capturedStart(3) >= 0;
    info.body = match.captured(4);
    info.continuationPrefix = continuationPrefix(info);
    return info;
}

namespace ListEditing {

namespace {

qsizetype lineStartAt(const QString &text, qsizetype position)
{
    if (position <= 0)
        return 0;
    return text.lastIndexOf(u'\n', position - 1) + 1;
}

qsizetype lineEndAt(const QString &text, qsizetype position)
{
    const qsizetype end = text.indexOf(u'\n', position);
    return end < 0 ? text.size() : end;
}

struct Selection
{
    qsizetype start;
    qsizetype length;
};

Selection clampedSelection(const QString &text, qsizetype start, qsizetype length)
{
    start = std::clamp<qsizetype>(start, 0, text.size());
    return {start, std::clamp<qsizetype>(length, 0, text.size() - start)};
}

TextReplacement replacement(qsizetype start, qsizetype length, const QString &text,
                            qsizetype selectionStart, qsizetype selectionLength)
{
    return {start, length, text, selectionStart, selectionLength};
}

// Removes `count` characters at `lineStart`; the selection keeps the characters it covered.
TextReplacement removeAtLineStart(qsizetype lineStart, qsizetype count, Selection selection)
{
    const auto shifted = [&](qsizetype position) {
        return position <= lineStart + count ? lineStart : position - count;
    };
    const qsizetype start = shifted(selection.start);
    const qsizetype end = shifted(selection.start + selection.length);
    return replacement(lineStart, count, QString(), start, end - start);
}

} // namespace

std::pair<qsizetype, qsizetype> currentLine(const QString &text, qsizetype selectionStart,
                                            qsizetype selectionLength)
{
    const Selection selection = clampedSelection(text, selectionStart, selectionLength);
    // A selection that ends right after a line feed covers that line, not the next one.
    const qsizetype last =
        selection.length > 0 ? selection.start + selection.length - 1 : selection.start;
    return {lineStartAt(text, selection.start), lineEndAt(text, last)};
}

KeyOutcome returnKey(const QString &text, qsizetype selectionStart, qsizetype selectionLength)
{
    const auto [lineStart, lineEnd] = currentLine(text, selectionStart, selectionLength);
    const std::optional<ListLineParser::Info> info =
        ListLineParser::parse(text.sliced(lineStart, lineEnd - lineStart));
    if (!info)
        return {};
    if (info->body.isEmpty()) {
        // An empty item ends the list: the bare marker goes, the plain new line stays.
        return {true, replacement(lineStart, lineEnd - lineStart, QStringLiteral("\n"),
                                  lineStart + 1, 0)};
    }
    const Selection selection = clampedSelection(text, selectionStart, selectionLength);
    const QString inserted = u'\n' + info->continuationPrefix;
    return {true, replacement(selection.start, selection.length, inserted,
                              selection.start + inserted.size(), 0)};
}

KeyOutcome indentKey(const QString &text, qsizetype selectionStart, qsizetype selectionLength,
                     IndentDirection direction)
{
    const auto [lineStart, lineEnd] = currentLine(text, selectionStart, selectionLength);
    const QString line = text.sliced(lineStart, lineEnd - lineStart);
    if (!ListLineParser::parse(line))
        return {};
    const Selection selection = clampedSelection(text, selectionStart, selectionLength);
    if (direction == IndentDirection::increase) {
        return {true, replacement(lineStart, 0, QStringLiteral("  "), selection.start + 2,
                                  selection.length)};
    }
    if (line.startsWith(QStringLiteral("  ")))
        return {true, removeAtLineStart(lineStart, 2, selection)};
    if (line.startsWith(u'\t'))
        return {true, removeAtLineStart(lineStart, 1, selection)};
    return {true, std::nullopt};
}

} // namespace ListEditing
