#pragma once

#include <QString>

#include <optional>
#include <utility>

/// Recognises a markdown list line: optional indentation, a bullet (-, * or +) or a number with
/// a dot, one space, an optional checkbox ("[ ] ", "[x] ", "[X] ") and the item text.
class ListLineParser
{
public:
    struct Info
    {
        QString indent;             ///< leading spaces and tabs
        QString marker;             ///< "-", "*", "+" or digits followed by "."
        QString body;               ///< the item text after marker, space and checkbox
        QString continuationPrefix; ///< what starts the next item (next number, unchecked box)
        bool isCheckbox = false;
        bool operator==(const Info &) const = default;
    };

    /// The parts of `line`, or nothing when it is not a list line. `line` is one line without
    /// its line feed; a string holding a line feed never matches.
    static std::optional<Info> parse(const QString &line);
};

/// One replacement in the text, and the selection to set once it is done. Positions and
/// lengths are in UTF-16 units.
struct TextReplacement
{
    qsizetype start = 0;
    qsizetype length = 0; ///< characters replaced from `start`
    QString text;         ///< what replaces them
    qsizetype selectionStart = 0;
    qsizetype selectionLength = 0;
    bool operator==(const TextReplacement &) const = default;
};

/// The list-editing keys, computed on the text and selection alone so the text view only
/// applies the result.
namespace ListEditing {

/// What a key does. Not handled: the text view's usual behaviour runs. Handled without an
/// edit: the key is swallowed and nothing changes.
struct KeyOutcome
{
    bool handled = false;
    std::optional<TextReplacement> edit;
    bool operator==(const KeyOutcome &) const = default;
};

enum class IndentDirection { increase, decrease };

/// The line range covering the selection, without its final line feed: [first, second).
std::pair<qsizetype, qsizetype> currentLine(const QString &text, qsizetype selectionStart,
                                            qsizetype selectionLength);

/// Return on a list item: a non-empty item continues the list on a new line; an empty item
/// is cleared and a plain new line follows (folded into the same edit, one undo step).
KeyOutcome returnKey(const QString &text, qsizetype selectionStart, qsizetype selectionLength);

/// Tab / Shift+Tab on a list item: two spaces added at the line start, or two leading spaces
/// (else one leading tab) removed. The selection keeps covering the same characters.
KeyOutcome indentKey(const QString &text, qsizetype selectionStart, qsizetype selectionLength,
                     IndentDirection direction);

} // namespace ListEditing
