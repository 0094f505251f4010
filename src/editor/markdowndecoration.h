#pragma once

#include "platform/editorcommands.h"

#include <QString>

/// The markup Ctrl+B, Ctrl+I and Ctrl+K put around the selection, or a placeholder to type
/// over when nothing is selected. Positions and lengths are in UTF-16 units.
namespace MarkdownDecorations {

struct Result
{
    QString replacement; ///< replaces the selection
    qsizetype selectionStart = 0;
    qsizetype selectionLength = 0;
    bool operator==(const Result &) const = default;
};

/// The replacement for `selectedText` (empty: no selection) found at `location`, and what to
/// select afterwards: the wrapped text, the placeholder, or the "url" of a link.
Result apply(MarkdownDecoration decoration, const QString &selectedText, qsizetype location);

} // namespace MarkdownDecorations
