#include "editor/markdowndecoration.h"

namespace MarkdownDecorations {

namespace {

Result wrapped(const QString &open, const QString &text, const QString &close, qsizetype location)
{
    const QString replacement = open + text + close;
    return {replacement, location, replacement.size()};
}

// The placeholder sits between the markers and is selected, so typing replaces it.
Result placeholder(const QString &open, const QString &text, const QString &close,
                   qsizetype location)
{
    return {open + text + close, location + open.size(), text.size()};
}

Result link(const QString &text, qsizetype location)
{
    const QString url = QStringLiteral("url");
    const QString head = u'[' + text + QStringLiteral("](");
    return {head + url + u')', location + head.size(), url.size()};
}

} // namespace

Result apply(MarkdownDecoration decoration, const QString &selectedText, qsizetype location)
{
    const bool empty = selectedText.isEmpty();
    switch (decoration) {
    case MarkdownDecoration::bold: {
        const QString marks = QStringLiteral("**");
        return empty ? placeholder(marks, QStringLiteral("太字"), marks, location)
                     : wrapped(marks, selectedText, marks, location);
    }
    case MarkdownDecoration::italic: {
        const QString mark = QStringLiteral("*");
        return empty ? placeholder(mark, QStringLiteral("斜体"), mark, location)
                     : wrapped(mark, selectedText, mark, location);
    }
    case MarkdownDecoration::link:
        return empty ? placeholder(QStringLiteral("["), QStringLiteral("テキスト"),
                                   QStringLiteral("](url)"), location)
                     : link(selectedText, location);
    }
    return {selectedText, location, selectedText.size()};
}

} // namespace MarkdownDecorations
