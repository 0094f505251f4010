#pragma once

#include <QString>

/// Texts with a selection written as the user sees them: "|" for the caret, or "‹" and "›"
/// around the selected characters.
namespace MarkedText {

struct Marked
{
    QString text;
    qsizetype start = 0;
    qsizetype length = 0;
};

inline Marked unmark(QString marked)
{
    const qsizetype caret = marked.indexOf(u'|');
    if (caret >= 0)
        return {marked.remove(caret, 1), caret, 0};
    const qsizetype open = marked.indexOf(u'‹');
    const qsizetype close = marked.indexOf(u'›');
    if (open < 0 || close < open)
        return {marked, 0, 0};
    return {marked.remove(close, 1).remove(open, 1), open, close - open - 1};
}

inline QString mark(QString text, qsizetype start, qsizetype length)
{
    if (length == 0)
        return text.insert(start, u'|');
    return text.insert(start + length, u'›').insert(start, u'‹');
}

} // namespace MarkedText
