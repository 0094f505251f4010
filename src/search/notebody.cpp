#include "search/notebody.h"

#include "search/utf8validation.h"
#include "storage/notelines.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <span>
#include <string.h>

// The line rules are the note parser's own (storage/notelines.h); the block walk below mirrors
// storage/notedocument.cpp on raw bytes, and the search tests compare both on the same texts.
namespace NoteBody {
namespace {

using namespace NoteLines;

// ---- The text's lines, split at line feeds; each is found, and decoded, only when a rule has
// to read it. The byte tests in front of the decoding only rule out lines that cannot qualify.

/// The first character of valid UTF-8 `bytes` (not empty); a character beyond the BMP, which is
/// never a space, gives U+FFFD.
QChar firstCharacter(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    if (p[0] < 0x80)
        return QChar(p[0]);
    if (p[0] < 0xE0)
        return QChar(char16_t(((p[0] & 0x1F) << 6) | (p[1] & 0x3F)));
    if (p[0] < 0xF0)
        return QChar(char16_t(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F)));
    return QChar(QChar::ReplacementCharacter);
}

/// False for an ASCII line that cannot be one of Joplin's metadata lines: each of Joplin's own
/// keys holds "_", and the other kind of line names Joplin ("source: joplin-desktop"). Spares
/// decoding the header lines of every note.
bool mayBeJoplinMetadataLine(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(),
                       [](char c) { return c == '_' || c == 'j' || c == 'J' || uchar(c) >= 0x80; });
}

/// NoteLines' fence rule on bytes: `marker` at the start of the line, then only spaces and tabs.
bool isMarkerLine(QByteArrayView bytes, QByteArrayView marker)
{
    return bytes.startsWith(marker) && std::all_of(bytes.begin() + marker.size(), bytes.end(),
                                                   [](char c) { return c == ' ' || c == '\t'; });
}

/// The lines of a text, each named by the offset of its first byte. Going from a line to the
/// next or the previous one looks for one line feed: the rules read a few lines at either end,
/// and the lines in between are never looked at, nor counted.
class Lines
{
public:
    /// The line after the last one.
    static constexpr qsizetype none = -1;

    Lines(QByteArrayView text, Scratch &scratch) : m_text(text), m_scratch(scratch)
    {
        scratch.decodedCount = 0;
    }

    qsizetype first() const { return 0; }

    qsizetype last() const
    {
        const void *feed = ::memrchr(m_text.data(), '\n', size_t(m_text.size()));
        return feed ? static_cast<const char *>(feed) - m_text.data() + 1 : 0;
    }

    /// The line after `line`, or none.
    qsizetype next(qsizetype line) const
    {
        const qsizetype end = endOf(line);
        return end < m_text.size() ? end + 1 : none;
    }

    /// The line before `line`, which is not the first.
    qsizetype previous(qsizetype line) const
    {
        const void *feed = ::memrchr(m_text.data(), '\n', size_t(line - 1));
        return feed ? static_cast<const char *>(feed) - m_text.data() + 1 : 0;
    }

    /// Where `line` ends, before its line feed.
    qsizetype endOf(qsizetype line) const
    {
        const char *data = m_text.data();
        const void *feed = std::memchr(data + line, '\n', size_t(m_text.size() - line));
        return feed ? static_cast<const char *>(feed) - data : m_text.size();
    }

    bool isBlank(qsizetype line)
    {
        const QByteArrayView bytes = raw(line);
        if (bytes.isEmpty())
            return true;
        // A line whose first character is no space is not blank (most lines of a note).
        if (!NoteLines::isSpaceOrTab(firstCharacter(bytes)))
            return false;
        return trimmed(text(line)).isEmpty();
    }

    bool isFenceLine(qsizetype line) const { return isMarkerLine(raw(line), "---"); }

    bool isClosingFence(qsizetype line) const
    {
        const QByteArrayView bytes = raw(line);
        return isMarkerLine(bytes, "---") || isMarkerLine(bytes, "...");
    }

    bool isJoplinKeyLine(qsizetype line)
    {
        return raw(line).contains(':') && NoteLines::isJoplinKeyLine(text(line));
    }

    /// Whether the lines from `from` up to `to` (not included; none for the end) are Joplin
    /// metadata.
    bool isJoplinMetadata(qsizetype from, qsizetype to)
    {
        for (qsizetype line = from; line != to && line != none; line = next(line)) {
            const QByteArrayView bytes = raw(line);
            if (bytes.contains(':') && mayBeJoplinMetadataLine(bytes) &&
                isJoplinMetadataLine(text(line)))
                return true;
        }
        return false;
    }

private:
    QByteArrayView raw(qsizetype line) const { return m_text.sliced(line, endOf(line) - line); }

    QStringView text(qsizetype line)
    {
        auto &decoded = m_scratch.decoded;
        size_t &count = m_scratch.decodedCount;
        for (size_t k = 0; k < count; ++k) {
            if (decoded[k].first == line)
                return decoded[k].second;
        }
        if (count == decoded.size())
            decoded.emplace_back();
        auto &[start, string] = decoded[count++];
        start = line;
        Utf8Validation::decodePieceInto(raw(line), string);
        return string;
    }

    QByteArrayView m_text;
    Scratch &m_scratch;
};

// ---- The split itself, step for step as the parser does it (which counts lines by number;
// here a line is named by where it starts, which orders lines the same way).

qsizetype skipBlankLines(Lines &lines, qsizetype line)
{
    while (line != Lines::none && lines.isBlank(line))
        line = lines.next(line);
    return line;
}

struct Block
{
    qsizetype open;
    qsizetype close;
};

std::optional<Block> findLeadingBlock(Lines &lines, qsizetype line)
{
    const qsizetype open = skipBlankLines(lines, line);
    if (open == Lines::none || !lines.isFenceLine(open))
        return std::nullopt;
    for (qsizetype close = lines.next(open); close != Lines::none; close = lines.next(close)) {
        if (lines.isClosingFence(close))
            return Block{open, close};
    }
    return std::nullopt;
}

struct Leading
{
    qsizetype end; // the first line after the blocks, or none
    bool any;      // there was a block
    bool joplin;   // one of them was Joplin metadata
};

// At most one header and one Joplin block at the top, in either order.
Leading skipLeadingBlocks(Lines &lines)
{
    bool haveHeader = false;
    bool haveJoplin = false;
    qsizetype line = lines.first();
    while (line != Lines::none) {
        const std::optional<Block> block = findLeadingBlock(lines, line);
        if (!block)
            break;
        const bool joplin = lines.isJoplinMetadata(lines.next(block->open), block->close);
        bool &have = joplin ? haveJoplin : haveHeader;
        if (have)
            break;
        have = true;
        line = lines.next(block->close);
        if (haveHeader && haveJoplin)
            break;
    }
    return {line, haveHeader || haveJoplin, haveJoplin};
}

// Where Joplin metadata at the end of the lines from `begin` to `last` (included) starts, if
// they end with some.
std::optional<qsizetype> findTrailingJoplinStart(Lines &lines, qsizetype begin, qsizetype last)
{
    while (lines.isBlank(last)) {
        if (last == begin)
            return std::nullopt;
        last = lines.previous(last);
    }
    qsizetype start = last;
    if (lines.isClosingFence(last)) {
        do {
            if (start == begin)
                return std::nullopt;
            start = lines.previous(start);
        } while (!lines.isFenceLine(start));
        if (!lines.isJoplinMetadata(lines.next(start), last))
            return std::nullopt;
    } else {
        if (!lines.isJoplinKeyLine(last))
            return std::nullopt;
        while (start != begin && lines.isJoplinKeyLine(lines.previous(start)))
            start = lines.previous(start);
        if (!lines.isJoplinMetadata(start, lines.next(last)))
            return std::nullopt;
    }
    return start;
}

} // namespace

std::optional<std::pair<qsizetype, qsizetype>> bodyRange(QByteArrayView utf8, Scratch &scratch)
{
    // An empty file's bytes may have no address at all, which memchr and the line walk below
    // must never be given; its body is empty.
    if (utf8.isEmpty())
        return std::pair(qsizetype(0), qsizetype(0));
    if (std::memchr(utf8.data(), '\r', size_t(utf8.size())))
        return std::nullopt;
    // The decoder drops one byte-order mark and the parser another.
    qsizetype offset = 0;
    for (int i = 0; i < 2 && utf8.sliced(offset).startsWith("\xEF\xBB\xBF"); ++i)
        offset += 3;
    const QByteArrayView text = utf8.sliced(offset);
    const auto empty = std::pair(offset, offset);

    Lines lines(text, scratch);
    const Leading leading = skipLeadingBlocks(lines);
    const qsizetype bodyStart =
        leading.any && leading.end != Lines::none && lines.isBlank(leading.end)
            ? lines.next(leading.end)
            : leading.end;
    if (bodyStart == Lines::none)
        return empty;
    qsizetype bodyLast = lines.last();
    // Metadata at the top rules out metadata at the end.
    if (!leading.joplin) {
        if (const std::optional<qsizetype> trailer =
                findTrailingJoplinStart(lines, bodyStart, bodyLast)) {
            if (*trailer == bodyStart)
                return empty;
            bodyLast = lines.previous(*trailer);
            while (lines.isBlank(bodyLast)) {
                if (bodyLast == bodyStart)
                    return empty;
                bodyLast = lines.previous(bodyLast);
            }
        }
    }
    return std::pair(offset + bodyStart, offset + lines.endOf(bodyLast));
}

} // namespace NoteBody
