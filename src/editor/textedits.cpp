#include "editor/textedits.h"

#include <algorithm>
#include <cstdlib>

namespace TextEdits {

TextReplacement differingRange(const QString &before, const QString &after)
{
    const qsizetype common = std::min(before.size(), after.size());
    qsizetype prefix = 0;
    while (prefix < common && before[prefix] == after[prefix])
        ++prefix;
    if (prefix > 0 && before[prefix - 1].isHighSurrogate())
        --prefix;
    qsizetype suffix = 0;
    while (suffix < common - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    if (suffix > 0 && before[before.size() - suffix].isLowSurrogate())
        --suffix;
    const qsizetype replaced = before.size() - prefix - suffix;
    return {prefix, replaced, after.sliced(prefix, after.size() - prefix - suffix), 0, 0};
}

namespace {

qsizetype lineStartAt(const QString &text, qsizetype position)
{
    return position == 0 ? 0 : text.lastIndexOf(QLatin1Char('\n'), position - 1) + 1;
}

qsizetype lineEndAt(const QString &text, qsizetype position)
{
    const qsizetype end = text.indexOf(QLatin1Char('\n'), position);
    return end < 0 ? text.size() : end;
}

} // namespace

qsizetype mapPosition(const QString &before, const QString &after, const TextReplacement &change,
                      qsizetype position)
{
    const qsizetype changeEnd = change.start + change.length;
    const qsizetype newChangeEnd = change.start + change.text.size();
    if (position <= change.start)
        return position;
    // The end of the change counts as inside it: text inserted right after the caret's line
    // must not pull the caret along.
    if (position > changeEnd || (position == changeEnd && change.length == 0))
        return position + (newChangeEnd - changeEnd);

    const qsizetype lineStart = lineStartAt(before, position);
    const QStringView line = QStringView(before).sliced(lineStart, lineEndAt(before, position) - lineStart);
    const qsizetype column = position - lineStart;
    // The position's proportional place in the new range, to choose among repeated lines.
    const qsizetype expected = change.start + (position - change.start) * change.text.size() /
                                                  std::max<qsizetype>(change.length, 1);
    qsizetype best = -1;
    for (qsizetype at = lineStartAt(after, change.start); at <= newChangeEnd;) {
        const qsizetype end = lineEndAt(after, at);
        const qsizetype candidate = at + column;
        if (QStringView(after).sliced(at, end - at) == line && candidate >= change.start &&
            candidate <= newChangeEnd &&
            (best < 0 || std::abs(candidate - expected) < std::abs(best - expected)))
            best = candidate;
        if (end >= after.size())
            break;
        at = end + 1;
    }
    return best >= 0 ? best : newChangeEnd;
}

} // namespace TextEdits

namespace EditorText {
namespace {

struct StandIn
{
    char16_t character;
    char16_t standIn;
};

constexpr StandIn standIns[] = {
    {0x2029, 0xDE29}, // paragraph separator
    {0xFDD0, 0xDED0}, // the document's frame marks
    {0xFDD1, 0xDED1},
};

} // namespace

QString shown(QString text)
{
    for (const StandIn &pair : standIns)
        text.replace(QChar(pair.character), QChar(pair.standIn));
    return text;
}

QString stored(QString raw)
{
    raw.replace(QChar::ParagraphSeparator, u'\n');
    for (const StandIn &pair : standIns)
        raw.replace(QChar(pair.standIn), QChar(pair.character));
    return raw;
}

} // namespace EditorText
