#include "search/keywordmatcher.h"

#include <QChar>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUILLMERE_PROBE_AVX2 1
#include <immintrin.h>
#endif

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

// ---- The probe scan: places where two bytes of a fixed-width run both have allowed values.

/// One probe as the scan compares it: a byte at `offset` from a candidate place, with the bit
/// `orMask` set, equals one of `values` (a letter and its capital differ only in 0x20, so they
/// need one comparison, not two).
struct ProbeTest
{
    qsizetype offset = 0;
    uchar orMask = 0;
    int count = 0;
    std::array<uchar, 4> values{};

    bool accepts(uchar byte) const
    {
        byte |= orMask;
        for (int i = 0; i < count; ++i) {
            if (values[size_t(i)] == byte)
                return true;
        }
        return false;
    }
};

ProbeTest probeTest(qsizetype offset, QByteArrayView values)
{
    ProbeTest test;
    test.offset = offset;
    if (values.size() == 2 && (uchar(values[0]) ^ uchar(values[1])) == 0x20) {
        test.orMask = 0x20;
        test.count = 1;
        test.values[0] = uchar(values[0]) | 0x20;
        return test;
    }
    test.count = int(values.size());
    for (int i = 0; i < test.count; ++i)
        test.values[size_t(i)] = uchar(values[i]);
    return test;
}

#ifdef QUILLMERE_PROBE_AVX2

bool hasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

bool hasAvx512()
{
    static const bool has = __builtin_cpu_supports("avx512bw");
    return has;
}

/// A probe's values, each in every byte of a vector.
struct ProbeVectors
{
    __m256i orMask;
    __m256i values[4];
};

__attribute__((target("avx2"))) inline ProbeVectors probeVectors(const ProbeTest &test)
{
    ProbeVectors vectors;
    vectors.orMask = _mm256_set1_epi8(char(test.orMask));
    for (int i = 0; i < 4; ++i)
        vectors.values[i] =
            _mm256_set1_epi8(char(test.values[size_t(std::min(i, test.count - 1))]));
    return vectors;
}

/// Calls `candidate(at)` for every place `at` in [p, last] that both probes accept, one place
/// at a time, until it returns false: the tail the vector loops leave.
template <typename Candidate>
void forEachCandidateScalar(const uchar *p, const uchar *last, const ProbeTest &first,
                            const ProbeTest &second, Candidate &candidate)
{
    for (; p <= last; ++p) {
        if (first.accepts(p[first.offset]) && second.accepts(p[second.offset]) && !candidate(p))
            return;
    }
}

/// The bytes of 32 consecutive places that a probe accepts, each 0xFF or 0.
template <int Count>
__attribute__((target("avx2"))) inline __m256i acceptedBy(const uchar *places, qsizetype offset,
                                                          const ProbeVectors &vectors)
{
    const __m256i bytes = _mm256_or_si256(
        _mm256_loadu_si256(reinterpret_cast<const __m256i *>(places + offset)), vectors.orMask);
    __m256i accepted = _mm256_cmpeq_epi8(bytes, vectors.values[0]);
    for (int i = 1; i < Count; ++i)
        accepted = _mm256_or_si256(accepted, _mm256_cmpeq_epi8(bytes, vectors.values[i]));
    return accepted;
}

/// Calls `candidate(at)` for every place `at` in [p, last] that both probes accept, in order,
/// until it returns false. The places of a block of 32 are all visited from one comparison.
template <int FirstCount, int SecondCount, typename Candidate>
__attribute__((target("avx2"))) void
forEachCandidateAvx2(const uchar *p, const uchar *last, const ProbeTest &first,
                     const ProbeTest &second, Candidate &&candidate)
{
    const ProbeVectors firstVectors = probeVectors(first);
    const ProbeVectors secondVectors = probeVectors(second);
    // 32 places at a time while the block's last place is still a place.
    for (; last - p >= 31; p += 32) {
        const __m256i both =
            _mm256_and_si256(acceptedBy<FirstCount>(p, first.offset, firstVectors),
                             acceptedBy<SecondCount>(p, second.offset, secondVectors));
        for (unsigned bits = unsigned(_mm256_movemask_epi8(both)); bits; bits &= bits - 1) {
            if (!candidate(p + __builtin_ctz(bits)))
                return;
        }
    }
    forEachCandidateScalar(p, last, first, second, candidate);
}

/// The same 64 places at a time, where the processor has AVX-512.
struct ProbeVectors512
{
    __m512i orMask;
    __m512i values[4];
};

__attribute__((target("avx512f,avx512bw"))) inline ProbeVectors512
probeVectors512(const ProbeTest &test)
{
    ProbeVectors512 vectors;
    vectors.orMask = _mm512_set1_epi8(char(test.orMask));
    for (int i = 0; i < 4; ++i)
        vectors.values[i] =
            _mm512_set1_epi8(char(test.values[size_t(std::min(i, test.count - 1))]));
    return vectors;
}

template <int Count>
__attribute__((target("avx512f,avx512bw"))) inline __mmask64
acceptedBy512(const uchar *places, qsizetype offset, const ProbeVectors512 &vectors)
{
    const __m512i bytes = _mm512_or_si512(_mm512_loadu_si512(places + offset), vectors.orMask);
    __mmask64 accepted = _mm512_cmpeq_epi8_mask(bytes, vectors.values[0]);
    for (int i = 1; i < Count; ++i)
        accepted |= _mm512_cmpeq_epi8_mask(bytes, vectors.values[i]);
    return accepted;
}

template <int FirstCount, int SecondCount, typename Candidate>
__attribute__((target("avx512f,avx512bw"))) void
forEachCandidateAvx512(const uchar *p, const uchar *last, const ProbeTest &first,
                       const ProbeTest &second, Candidate &&candidate)
{
    const ProbeVectors512 firstVectors = probeVectors512(first);
    const ProbeVectors512 secondVectors = probeVectors512(second);
    for (; last - p >= 63; p += 64) {
        const __mmask64 both = acceptedBy512<FirstCount>(p, first.offset, firstVectors) &
                               acceptedBy512<SecondCount>(p, second.offset, secondVectors);
        for (__mmask64 bits = both; bits; bits &= bits - 1) {
            if (!candidate(p + __builtin_ctzll(bits)))
                return;
        }
    }
    forEachCandidateScalar(p, last, first, second, candidate);
}

template <typename Candidate>
void forEachCandidate(bool avx512, const uchar *p, const uchar *last, const ProbeTest &first,
                      const ProbeTest &second, Candidate &&candidate)
{
    // One comparison per probe is the common case (kana, kanji, letters); up to four otherwise.
    const bool oneFirst = first.count == 1;
    const bool oneSecond = second.count == 1;
    if (avx512) {
        if (oneFirst && oneSecond)
            forEachCandidateAvx512<1, 1>(p, last, first, second, candidate);
        else if (oneFirst)
            forEachCandidateAvx512<1, 4>(p, last, first, second, candidate);
        else if (oneSecond)
            forEachCandidateAvx512<4, 1>(p, last, first, second, candidate);
        else
            forEachCandidateAvx512<4, 4>(p, last, first, second, candidate);
    } else if (oneFirst && oneSecond) {
        forEachCandidateAvx2<1, 1>(p, last, first, second, candidate);
    } else if (oneFirst) {
        forEachCandidateAvx2<1, 4>(p, last, first, second, candidate);
    } else if (oneSecond) {
        forEachCandidateAvx2<4, 1>(p, last, first, second, candidate);
    } else {
        forEachCandidateAvx2<4, 4>(p, last, first, second, candidate);
    }
}

#else

bool hasAvx2()
{
    return false;
}

bool hasAvx512()
{
    return false;
}

#endif

} // namespace

KeywordMatcher::KeywordMatcher(const QString &keyword, Utf8Scan scan) : m_keyword(keyword)
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
    if (m_fast && scan != Utf8Scan::portable && hasAvx2()) {
        m_probed = chooseProbes();
        m_probedWithAvx512 = scan == Utf8Scan::fastest && hasAvx512();
    }
}

bool KeywordMatcher::chooseProbes()
{
    // The run of characters whose variants share one UTF-8 length that is longest in bytes: every
    // match has the same bytes at the same offsets from the run's start, give or take case.
    const auto widthOf = [](const Position &position) {
        const qsizetype width = position.variants.front().size();
        const bool fixed = std::all_of(position.variants.begin(), position.variants.end(),
                                       [&](const QByteArray &v) { return v.size() == width; });
        return fixed ? width : 0;
    };
    qsizetype first = -1;
    qsizetype count = 0;
    qsizetype bytes = 0;
    for (qsizetype start = 0; start < m_positions.size();) {
        qsizetype end = start;
        qsizetype runBytes = 0;
        for (; end < m_positions.size() && widthOf(m_positions[end]) > 0; ++end)
            runBytes += widthOf(m_positions[end]);
        if (runBytes > bytes) {
            first = start;
            count = end - start;
            bytes = runBytes;
        }
        start = end + 1;
    }
    if (bytes == 0)
        return false;

    // The last byte of a character varies most (every kana starts with E3), so a run of several
    // characters is probed at the last byte of its first and of its last; a run of one at its
    // first and last byte.
    const auto probe = [&](qsizetype position, qsizetype byte, qsizetype offset) {
        Probe made{offset, {}};
        for (const QByteArray &variant : m_positions[position].variants) {
            if (!made.values.contains(variant[byte]))
                made.values += variant[byte];
        }
        return made;
    };
    const qsizetype firstWidth = widthOf(m_positions[first]);
    const qsizetype last = first + count - 1;
    m_firstProbe = count > 1 ? probe(first, firstWidth - 1, firstWidth - 1) : probe(first, 0, 0);
    m_lastProbe = probe(last, widthOf(m_positions[last]) - 1, bytes - 1);
    if (m_firstProbe.values.size() > 4 || m_lastProbe.values.size() > 4)
        return false;
    m_anchorFirst = first;
    m_anchorCount = count;
    // A run without case variants (kana, kanji) is one byte string, compared whole.
    m_runLiteral.clear();
    for (qsizetype m = first; m < first + count; ++m) {
        if (m_positions[m].variants.size() != 1) {
            m_runLiteral.clear();
            break;
        }
        m_runLiteral += m_positions[m].variants.front();
    }
    return true;
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
                                const uchar *anchorEnd, qsizetype verifyFrom) const
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
    const uchar *matchEnd = matchForwardUtf8(anchorEnd, end, verifyFrom);
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
void KeywordMatcher::forEachProbedMatchUtf8(QByteArrayView utf8, Visit &&visit) const
{
#ifdef QUILLMERE_PROBE_AVX2
    const auto *begin = reinterpret_cast<const uchar *>(utf8.data());
    const uchar *end = begin + utf8.size();
    const qsizetype runBytes = m_lastProbe.offset + 1;
    if (utf8.size() < runBytes)
        return;
    const ProbeTest first = probeTest(m_firstProbe.offset, m_firstProbe.values);
    const ProbeTest second = probeTest(m_lastProbe.offset, m_lastProbe.values);
    const uchar *last = end - runBytes;
    const char *literal = m_runLiteral.constData();
    // A keyword without case variants (kana, kanji) is its run: its bytes are the whole match.
    const bool wholeLiteral = !m_runLiteral.isEmpty() && m_anchorCount == m_positions.size();
    forEachCandidate(m_probedWithAvx512, begin, last, first, second, [&](const uchar *at) {
        // The probes looked at two bytes of the run only: the rest is compared as well, whole
        // when it is one byte string, else with the characters around it.
        std::optional<ByteMatch> match;
        if (m_runLiteral.isEmpty())
            match = matchAroundUtf8(begin, end, at, at, m_anchorFirst);
        else if (std::equal(at, at + runBytes, literal,
                            [](uchar a, char b) { return a == uchar(b); }))
            match = wholeLiteral ? ByteMatch{at, at + runBytes}
                                 : matchAroundUtf8(begin, end, at, at + runBytes,
                                                   m_anchorFirst + m_anchorCount);
        return !match || visit(*match);
    });
#else
    Q_UNUSED(utf8);
    Q_UNUSED(visit);
#endif
}

template <typename Visit>
void KeywordMatcher::forEachMatchUtf8(QByteArrayView utf8, Visit &&visit) const
{
    // Matches come in the order of their anchors, which is also the order of their starts: a
    // later anchor with an earlier start would need more characters before it than the keyword
    // has.
    if (m_probed) {
        forEachProbedMatchUtf8(utf8, std::forward<Visit>(visit));
        return;
    }
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
            if (const std::optional<ByteMatch> match = matchAroundUtf8(
                    begin, end, at, at + literalSize, m_anchorFirst + m_anchorCount)) {
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
                if (const std::optional<ByteMatch> match = matchAroundUtf8(
                        begin, end, at, at + variant.size(), m_anchorFirst + m_anchorCount)) {
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
