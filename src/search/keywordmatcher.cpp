#include "search/keywordmatcher.h"

#include <QChar>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>

namespace {

// Qt folds a BMP unit that is not a surrogate to another such unit, and compares a surrogate
// either as itself or as part of a supplementary character; neither can equal a BMP fold. So a
// keyword of BMP non-surrogates matches exactly where every unit's fold equals the keyword's,
// which this table answers in one load. Surrogates map to themselves and never match.
struct FoldTables
{
    std::array<char16_t, 0x10000> fold;
    /// Units whose fold differs from themselves, sorted by fold: the other members of a case class.
    std::vector<std::pair<char16_t, char16_t>> byFold;

    FoldTables()
    {
        for (char32_t u = 0; u < 0x10000; ++u) {
            const char16_t unit = char16_t(u);
            fold[u] = QChar::isSurrogate(u) ? unit : char16_t(QChar::toCaseFolded(unit));
            if (fold[u] != unit)
                byFold.emplace_back(fold[u], unit);
        }
        std::sort(byFold.begin(), byFold.end());
    }

    /// Every non-surrogate unit that folds to `folded`.
    QList<char16_t> unitsFoldingTo(char16_t folded) const
    {
        QList<char16_t> units;
        if (fold[folded] == folded)
            units.append(folded);
        auto it = std::lower_bound(byFold.begin(), byFold.end(), std::pair(folded, char16_t(0)));
        for (; it != byFold.end() && it->first == folded; ++it)
            units.append(it->second);
        return units;
    }
};

const FoldTables &foldTables()
{
    static const auto tables = std::make_unique<FoldTables>();
    return *tables;
}

bool isLineBreak(char16_t unit)
{
    return (unit >= 0x0A && unit <= 0x0D) || unit == 0x85 || unit == 0x2028 || unit == 0x2029;
}

QByteArray encodeUtf8(char16_t unit)
{
    const QChar c(unit);
    return QStringView(&c, 1).toUtf8();
}

bool isContinuation(uchar byte)
{
    return (byte & 0xC0) == 0x80;
}

// Decodes one BMP character; returns its length in bytes, or 0 for anything else (four-byte
// sequences and invalid bytes), which can never match a BMP keyword character.
int decodeBmp(const uchar *p, const uchar *end, char16_t &unit)
{
    const uchar b0 = p[0];
    if (b0 < 0x80) {
        unit = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF && end - p >= 2 && isContinuation(p[1])) {
        unit = char16_t(((b0 & 0x1F) << 6) | (p[1] & 0x3F));
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF && end - p >= 3 && isContinuation(p[1]) && isContinuation(p[2])) {
        unit = char16_t(((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
        return 3;
    }
    return 0;
}

// A rough guess of how often a byte starts a character in notes that mix Japanese and English:
// the anchor of the UTF-8 check is the keyword position whose variants are least common.
int leadByteFrequency(uchar byte)
{
    static const char english[] = "etaoinshrdlcumwfgypbvkjxqz";
    if (byte >= 'a' && byte <= 'z')
        return 200 - 7 * int(std::strchr(english, byte) - english);
    if (byte >= 'A' && byte <= 'Z')
        return 15;
    if (byte >= '0' && byte <= '9')
        return 30;
    if (byte == ' ' || byte == '\n')
        return 300;
    if (byte < 0x80)
        return 20;
    if (byte == 0xE3)
        return 400; // kana and Japanese punctuation
    if (byte >= 0xE4 && byte <= 0xE9)
        return 120; // common kanji
    if (byte == 0xEF || byte == 0xE2)
        return 25;
    return 5;
}

} // namespace

KeywordMatcher::KeywordMatcher(const QString &keyword) : m_keyword(keyword)
{
    if (keyword.isEmpty())
        return;
    const auto eligible = [](QChar c) { return !c.isSurrogate() && !isLineBreak(c.unicode()); };
    m_fast = std::all_of(keyword.begin(), keyword.end(), eligible);
    if (!m_fast)
        return;

    const FoldTables &tables = foldTables();
    for (const QChar c : keyword) {
        Position position{tables.fold[c.unicode()], {}};
        for (const char16_t unit : tables.unitsFoldingTo(position.folded))
            position.variants.append(encodeUtf8(unit));
        m_positions.append(position);
    }
    const QList<char16_t> firstUnits = tables.unitsFoldingTo(m_positions.front().folded);
    m_hasSingleFirstUnit = firstUnits.size() == 1;
    if (m_hasSingleFirstUnit)
        m_singleFirstUnit = firstUnits.front();
    chooseUtf8Anchor();
}

void KeywordMatcher::chooseUtf8Anchor()
{

    // The longest run of characters without case variants is one fixed byte string; three bytes
    // or more (one kanji, or a few digits) are selective enough for memmem alone.
    qsizetype bestStart = -1;
    QByteArray best;
    for (qsizetype start = 0; start < m_positions.size();) {
        QByteArray run;
        qsizetype end = start;
        while (end < m_positions.size() && m_positions[end].variants.size() == 1)
            run += m_positions[end++].variants.front();
        if (run.size() > best.size()) {
            best = run;
            bestStart = start;
        }
        start = end + 1;
    }
    if (best.size() >= 3) {
        m_literal = best;
        m_anchorFirst = bestStart;
        m_anchorCount = 0;
        for (qsizetype m = bestStart; m < m_positions.size() && m_positions[m].variants.size() == 1;
             ++m)
            ++m_anchorCount;
        return;
    }
    int lowest = std::numeric_limits<int>::max();
    for (qsizetype i = 0; i < m_positions.size(); ++i) {
        if (m_positions[i].variants.size() > maxVariants)
            continue; // no character has that many, but the scan has room for no more
        int cost = 0;
        for (const QByteArray &variant : m_positions[i].variants)
            cost += leadByteFrequency(uchar(variant.front()));
        if (cost < lowest) {
            lowest = cost;
            m_anchorPosition = i;
        }
    }
    if (lowest == std::numeric_limits<int>::max())
        m_fast = false;
    m_anchorFirst = m_anchorPosition;
    m_anchorCount = 1;
}

qsizetype KeywordMatcher::indexIn(QStringView haystack, qsizetype from) const
{
    if (m_keyword.isEmpty())
        return -1;
    if (!m_fast)
        return haystack.indexOf(m_keyword, from, Qt::CaseInsensitive);
    return fastIndexIn(haystack, from);
}

qsizetype KeywordMatcher::fastIndexIn(QStringView haystack, qsizetype from) const
{
    const auto &fold = foldTables().fold;
    const char16_t *units = haystack.utf16();
    const qsizetype length = m_positions.size();
    const qsizetype last = haystack.size() - length;
    const char16_t first = m_positions.front().folded;
    for (qsizetype i = std::max<qsizetype>(from, 0); i <= last; ++i) {
        if (m_hasSingleFirstUnit) {
            const qsizetype found = haystack.indexOf(QChar(m_singleFirstUnit), i);
            if (found < 0 || found > last)
                return -1;
            i = found;
        } else {
            while (i <= last && fold[units[i]] != first)
                ++i;
            if (i > last)
                return -1;
        }
        qsizetype m = 1;
        while (m < length && fold[units[i + m]] == m_positions[m].folded)
            ++m;
        if (m == length)
            return i;
    }
    return -1;
}

qsizetype KeywordMatcher::count(QStringView haystack, qsizetype *first) const
{
    const qsizetype firstMatch = indexIn(haystack);
    if (first)
        *first = firstMatch;
    qsizetype matches = 0;
    for (qsizetype at = firstMatch; at >= 0; at = indexIn(haystack, at + m_keyword.size()))
        ++matches;
    return matches;
}

std::optional<KeywordMatcher::ByteMatch>
KeywordMatcher::matchAroundUtf8(const uchar *begin, const uchar *end, const uchar *anchor,
                                const uchar *anchorEnd) const
{
    // The anchor bytes hold the keyword's characters m_anchorFirst … m_anchorFirst +
    // m_anchorCount - 1; the ones before are checked walking backwards, the rest forwards.
    const auto &fold = foldTables().fold;
    const uchar *p = anchor;
    for (qsizetype m = m_anchorFirst - 1; m >= 0; --m) {
        if (p == begin)
            return std::nullopt;
        const uchar *start = p - 1;
        while (start > begin && isContinuation(*start) && p - start < 3)
            --start;
        char16_t unit = 0;
        if (decodeBmp(start, end, unit) != p - start || fold[unit] != m_positions[m].folded)
            return std::nullopt;
        p = start;
    }
    const uchar *matchEnd = matchForwardUtf8(anchorEnd, end, m_anchorFirst + m_anchorCount);
    if (!matchEnd)
        return std::nullopt;
    return ByteMatch{p, matchEnd};
}

const uchar *KeywordMatcher::matchForwardUtf8(const uchar *p, const uchar *end,
                                              qsizetype position) const
{
    const auto &fold = foldTables().fold;
    for (qsizetype m = position; m < m_positions.size(); ++m) {
        char16_t unit = 0;
        const int length = p < end ? decodeBmp(p, end, unit) : 0;
        if (length == 0 || fold[unit] != m_positions[m].folded)
            return nullptr;
        p += length;
    }
    return p;
}

template <typename Visit>
void KeywordMatcher::forEachMatchUtf8(QByteArrayView utf8, Visit &&visit) const
{
    // Matches come in the order of their anchors, which is also the order of their starts: a
    // later anchor with an earlier start would need more characters before it than the keyword
    // has.
    const auto *begin = reinterpret_cast<const uchar *>(utf8.data());
    const uchar *end = begin + utf8.size();

    if (!m_literal.isEmpty()) {
        const qsizetype literalSize = m_literal.size();
        for (const uchar *p = begin; end - p >= literalSize;) {
            const void *hit =
                memmem(p, size_t(end - p), m_literal.constData(), size_t(literalSize));
            if (!hit)
                return;
            const auto *at = static_cast<const uchar *>(hit);
            if (const std::optional<ByteMatch> match =
                    matchAroundUtf8(begin, end, at, at + literalSize)) {
                if (!visit(*match))
                    return;
            }
            p = at + 1;
        }
        return;
    }

    // Several variants (a letter and its capital, say): follow the next place of each variant's
    // first byte and verify at the nearest one, so each memchr call skips a long stretch.
    const QList<QByteArray> &variants = m_positions[m_anchorPosition].variants;
    std::array<const uchar *, maxVariants> next{};
    const qsizetype count = variants.size();
    const auto find = [end](const uchar *from, uchar byte) {
        const void *hit = from < end ? std::memchr(from, byte, size_t(end - from)) : nullptr;
        return hit ? static_cast<const uchar *>(hit) : end;
    };
    for (qsizetype i = 0; i < count; ++i)
        next[i] = find(begin, uchar(variants[i].front()));
    while (true) {
        const uchar *at = *std::min_element(next.begin(), next.begin() + count);
        if (at == end)
            return;
        for (qsizetype i = 0; i < count; ++i) {
            const QByteArray &variant = variants[i];
            if (next[i] != at)
                continue;
            if (end - at >= variant.size() &&
                std::memcmp(at, variant.constData(), size_t(variant.size())) == 0) {
                if (const std::optional<ByteMatch> match =
                        matchAroundUtf8(begin, end, at, at + variant.size())) {
                    if (!visit(*match))
                        return;
                }
            }
            next[i] = find(at + 1, uchar(variant.front()));
        }
    }
}

bool KeywordMatcher::mayMatchUtf8(QByteArrayView utf8) const
{
    if (m_keyword.isEmpty())
        return false;
    if (!m_fast)
        return true;
    bool found = false;
    forEachMatchUtf8(utf8, [&](const ByteMatch &) {
        found = true;
        return false;
    });
    return found;
}

qsizetype KeywordMatcher::countUtf8(QByteArrayView utf8, qsizetype *firstByte) const
{
    Q_ASSERT(m_fast);
    if (firstByte)
        *firstByte = -1;
    const auto *begin = reinterpret_cast<const uchar *>(utf8.data());
    const uchar *taken = begin; // the end of the last counted match
    qsizetype matches = 0;
    forEachMatchUtf8(utf8, [&](const ByteMatch &match) {
        // A match overlapping the one counted before it is not counted.
        if (match.start < taken)
            return true;
        if (matches++ == 0 && firstByte)
            *firstByte = match.start - begin;
        taken = match.end;
        return true;
    });
    return matches;
}
