#include "search/notebody.h"

#include "search/utf8validation.h"
#include "storage/notelines.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <span>
#include <string.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// The line rules are the note parser's own (storage/notelines.h); the block walk below mirrors
// storage/notedocument.cpp on raw bytes, and the search tests compare both on the same texts.
namespace NoteBody {
namespace {

using namespace NoteLines;

// ---- The text's lines, split at line feeds; each is found, and decoded, only when a rule has
// to read it. The byte tests in front of the decoding only rule out lines that cannot qualify.

/// The line feeds in `text`, 16 bytes at a time where SSE2 is there (always, on x86-64).
qsizetype countLineFeeds(QByteArrayView text)
{
    const char *p = text.data();
    const char *end = p + text.size();
    qsizetype count = 0;
#ifdef __SSE2__
    const __m128i feed = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        // Up to 255 blocks add into byte counters before those are summed.
        __m128i counters = _mm_setzero_si128();
        for (int block = 0; block < 255 && end - p >= 16; ++block, p += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(bytes, feed));
        }
        const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
        count += _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
    }
#endif
    for (; p < end; ++p)
        count += *p == '\n';
    return count;
}

/// Whether `bytes` hold `c` three times in a row.
bool containsThree(QByteArrayView bytes, char c)
{
    const char *p = bytes.data();
    const char *end = p + bytes.size();
    while (end - p >= 3) {
        p = static_cast<const char *>(std::memchr(p, c, size_t(end - p - 2)));
        if (!p)
            return false;
        if (p[1] == c && p[2] == c)
            return true;
        ++p;
    }
    return false;
}

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

class Lines
{
public:
    Lines(QByteArrayView text, Scratch &scratch)
        : m_text(text), m_scratch(scratch), m_count(countLineFeeds(text) + 1)
    {
        scratch.fromStart.clear();
        scratch.fromEnd.clear();
        scratch.decodedCount = 0;
    }

    qsizetype size() const { return m_count; }

    /// Line `i` as a byte range [first, second), without its line feed.
    std::pair<qsizetype, qsizetype> range(qsizetype i) const
    {
        auto &fromStart = m_scratch.fromStart;
        auto &fromEnd = m_scratch.fromEnd;
        const qsizetype back = m_count - 1 - i;
        if (i < qsizetype(fromStart.size()))
            return fromStart[size_t(i)];
        if (back < qsizetype(fromEnd.size()))
            return fromEnd[size_t(back)];
        // Found from whichever end is nearer.
        if (i - qsizetype(fromStart.size()) <= back - qsizetype(fromEnd.size())) {
            const char *data = m_text.data();
            while (qsizetype(fromStart.size()) <= i) {
                const qsizetype start = fromStart.empty() ? 0 : fromStart.back().second + 1;
                const void *feed = std::memchr(data + start, '\n', size_t(m_text.size() - start));
                fromStart.emplace_back(start, feed ? static_cast<const char *>(feed) - data
                                                   : m_text.size());
            }
            return fromStart[size_t(i)];
        }
        const char *data = m_text.data();
        while (qsizetype(fromEnd.size()) <= back) {
            const qsizetype end = fromEnd.empty() ? m_text.size() : fromEnd.back().first - 1;
            const void *feed = ::memrchr(data, '\n', size_t(end));
            fromEnd.emplace_back(feed ? static_cast<const char *>(feed) - data + 1 : 0, end);
        }
        return fromEnd[size_t(back)];
    }

    bool isBlank(qsizetype i)
    {
        const QByteArrayView bytes = raw(i);
        if (bytes.isEmpty())
            return true;
        // A line whose first character is no space is not blank (most lines of a note).
        if (!NoteLines::isSpaceOrTab(firstCharacter(bytes)))
            return false;
        return trimmed(text(i)).isEmpty();
    }

    bool isFenceLine(qsizetype i)
    {
        return containsThree(raw(i), '-') && trimmed(text(i)) == u"---";
    }

    bool isClosingFence(qsizetype i)
    {
        const QByteArrayView bytes = raw(i);
        if (!containsThree(bytes, '-') && !containsThree(bytes, '.'))
            return false;
        const QStringView line = trimmed(text(i));
        return line == u"---" || line == u"...";
    }

    bool isJoplinKeyLine(qsizetype i)
    {
        return raw(i).contains(':') && NoteLines::isJoplinKeyLine(text(i));
    }

    /// Whether lines [first, first + count) are Joplin metadata.
    bool isJoplinMetadata(qsizetype first, qsizetype count)
    {
        for (qsizetype i = first; i < first + count; ++i) {
            const QByteArrayView bytes = raw(i);
            if (bytes.contains(':') && mayBeJoplinMetadataLine(bytes) &&
                isJoplinMetadataLine(text(i)))
                return true;
        }
        return false;
    }

private:
    QByteArrayView raw(qsizetype i) const
    {
        const auto [start, end] = range(i);
        return m_text.sliced(start, end - start);
    }

    QStringView text(qsizetype i)
    {
        auto &decoded = m_scratch.decoded;
        size_t &count = m_scratch.decodedCount;
        for (size_t k = 0; k < count; ++k) {
            if (decoded[k].first == i)
                return decoded[k].second;
        }
        if (count == decoded.size())
            decoded.emplace_back();
        auto &[index, line] = decoded[count++];
        index = i;
        Utf8Validation::decodePieceInto(raw(i), line);
        return line;
    }

    QByteArrayView m_text;
    Scratch &m_scratch;
    qsizetype m_count;
};

// ---- The split itself, step for step as the parser does it.

qsizetype skipBlankLines(Lines &lines, qsizetype index, qsizetype end)
{
    while (index < end && lines.isBlank(index))
        ++index;
    return index;
}

struct Block
{
    qsizetype open;
    qsizetype close;
};

std::optional<Block> findLeadingBlock(Lines &lines, qsizetype index)
{
    const qsizetype open = skipBlankLines(lines, index, lines.size());
    if (open >= lines.size() || !lines.isFenceLine(open))
        return std::nullopt;
    for (qsizetype close = open + 1; close < lines.size(); ++close) {
        if (lines.isClosingFence(close))
            return Block{open, close};
    }
    return std::nullopt;
}

struct Leading
{
    qsizetype end; // the first line after the blocks
    bool joplin;   // one of them was Joplin metadata
};

// At most one header and one Joplin block at the top, in either order.
Leading skipLeadingBlocks(Lines &lines)
{
    bool haveHeader = false;
    bool haveJoplin = false;
    qsizetype index = 0;
    while (const std::optional<Block> block = findLeadingBlock(lines, index)) {
        const bool joplin = lines.isJoplinMetadata(block->open + 1, block->close - block->open - 1);
        bool &have = joplin ? haveJoplin : haveHeader;
        if (have)
            break;
        have = true;
        index = block->close + 1;
        if (haveHeader && haveJoplin)
            break;
    }
    return {index, haveJoplin};
}

// Where Joplin metadata at the end of lines [begin, end) starts, if they end with some.
std::optional<qsizetype> findTrailingJoplinStart(Lines &lines, qsizetype begin, qsizetype end)
{
    qsizetype last = end - 1;
    while (last >= begin && lines.isBlank(last))
        --last;
    if (last < begin)
        return std::nullopt;
    qsizetype start = last;
    if (lines.isClosingFence(last)) {
        do {
            --start;
        } while (start >= begin && !lines.isFenceLine(start));
        if (start < begin || !lines.isJoplinMetadata(start + 1, last - start - 1))
            return std::nullopt;
    } else {
        if (!lines.isJoplinKeyLine(last))
            return std::nullopt;
        while (start > begin && lines.isJoplinKeyLine(start - 1))
            --start;
        if (!lines.isJoplinMetadata(start, last - start + 1))
            return std::nullopt;
    }
    return start;
}

} // namespace

std::optional<std::pair<qsizetype, qsizetype>> bodyRange(QByteArrayView utf8, Scratch &scratch)
{
    if (std::memchr(utf8.data(), '\r', size_t(utf8.size())))
        return std::nullopt;
    // The decoder drops one byte-order mark and the parser another.
    qsizetype offset = 0;
    for (int i = 0; i < 2 && utf8.sliced(offset).startsWith("\xEF\xBB\xBF"); ++i)
        offset += 3;
    const QByteArrayView text = utf8.sliced(offset);

    Lines lines(text, scratch);
    const Leading leading = skipLeadingBlocks(lines);
    const qsizetype bodyStart =
        leading.end > 0 && leading.end < lines.size() && lines.isBlank(leading.end)
            ? leading.end + 1
            : leading.end;
    qsizetype bodyEnd = lines.size();
    // Metadata at the top rules out metadata at the end.
    if (!leading.joplin && bodyStart < bodyEnd) {
        if (const std::optional<qsizetype> trailer =
                findTrailingJoplinStart(lines, bodyStart, bodyEnd)) {
            bodyEnd = *trailer;
            while (bodyEnd > bodyStart && lines.isBlank(bodyEnd - 1))
                --bodyEnd;
        }
    }
    if (bodyStart >= bodyEnd)
        return std::pair(offset, offset);
    return std::pair(offset + lines.range(bodyStart).first,
                     offset + lines.range(bodyEnd - 1).second);
}

} // namespace NoteBody
