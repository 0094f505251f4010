#pragma once

#include <QStringView>

#include <optional>

/// The line rules of the note format, shared by the note parser and the search, which splits
/// bodies from raw bytes on its own and must agree with the parser line for line.
namespace NoteLines {

/// Spaces and tabs; ideographic and no-break spaces count as spaces. Never a line break.
bool isSpaceOrTab(QChar c);
/// The line without leading and trailing spaces and tabs.
QStringView trimmed(QStringView line);
bool isBlank(QStringView line);
/// "---" at the start of the line, then nothing but spaces and tabs: opens a header block.
bool isFenceLine(QStringView line);
/// "---" or "..." at the start of the line, then nothing but spaces and tabs: closes a header
/// block.
bool isClosingFence(QStringView line);

struct KeyLine
{
    QStringView key; ///< trimmed, case as written
    QStringView value;
};

/// The key and value of a "key: value" line; nothing without a colon.
std::optional<KeyLine> splitKeyLine(QStringView line);
/// A "key: value" line whose key is an ASCII word starting with a letter, as Joplin writes them.
bool isJoplinKeyLine(QStringView line);
/// A line that marks its block as Joplin metadata: one of Joplin's own keys, or a "source"
/// naming Joplin.
bool isJoplinMetadataLine(QStringView line);

} // namespace NoteLines
