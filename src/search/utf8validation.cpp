#include "search/utf8validation.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUILLMERE_UTF8_AVX2 1
#include <immintrin.h>
#endif

namespace Utf8Validation {
namespace {

bool isContinuation(uchar byte)
{
    return (byte & 0xC0) == 0x80;
}

#ifdef QUILLMERE_UTF8_AVX2

// Checking 32 bytes at once by table lookups on the high and low nibbles of each byte and its
// predecessor, after Keiser and Lemire, "Validating UTF-8 in less than one instruction per byte"
// (2021). Each table entry is a set of error classes; a byte pair is wrong when all three
// lookups share a class.
constexpr uchar tooShort = 1 << 0;  // lead or ASCII followed by lead or ASCII
constexpr uchar tooLong = 1 << 1;   // ASCII followed by a continuation
constexpr uchar overlong3 = 1 << 2; // E0 80..9F
constexpr uchar tooLarge = 1 << 3;  // F4 90.. and above
constexpr uchar surrogate = 1 << 4; // ED A0..BF
constexpr uchar overlong2 = 1 << 5; // C0, C1
constexpr uchar tooLarge1000 = 1 << 6;
constexpr uchar overlong4 = 1 << 6; // F0 80..8F
constexpr uchar twoContinuations = 1 << 7;
constexpr uchar carry = tooShort | tooLong | twoContinuations;

// The three lookup tables, by nibble.
alignas(16) constexpr uchar byte1HighTable[16] = {tooLong,
                                                  tooLong,
                                                  tooLong,
                                                  tooLong,
                                                  tooLong,
                                                  tooLong,
                                                  tooLong,
                                                  tooLong,
                                                  twoContinuations,
                                                  twoContinuations,
                                                  twoContinuations,
                                                  twoContinuations,
                                                  tooShort | overlong2,
                                                  tooShort,
                                                  tooShort | overlong3 | surrogate,
                                                  tooShort | tooLarge | tooLarge1000 | overlong4};
alignas(16) constexpr uchar byte1LowTable[16] = {carry | overlong3 | overlong2 | overlong4,
                                                 carry | overlong2,
                                                 carry,
                                                 carry,
                                                 carry | tooLarge,
                                                 carry | tooLarge | tooLarge1000,
                                                 carry | tooLarge | tooLarge1000,
                                                 carry | tooLarge | tooLarge1000,
                                                 carry | tooLarge | tooLarge1000,
                                                 carry | tooLarge | tooLarge1000,
                                                 carry | tooLarge | tooLarge1000,
                                                 carry | tooLarge | tooLarge1000,
                                                 carry | tooLarge | tooLarge1000,
                                                 carry | tooLarge | tooLarge1000 | surrogate,
                                                 carry | tooLarge | tooLarge1000,
                                                 carry | tooLarge | tooLarge1000};
alignas(16) constexpr uchar byte2HighTable[16] = {
    tooShort,
    tooShort,
    tooShort,
    tooShort,
    tooShort,
    tooShort,
    tooShort,
    tooShort,
    tooLong | overlong2 | twoContinuations | overlong3 | tooLarge1000 | overlong4,
    tooLong | overlong2 | twoContinuations | overlong3 | tooLarge,
    tooLong | overlong2 | twoContinuations | surrogate | tooLarge,
    tooLong | overlong2 | twoContinuations | surrogate | tooLarge,
    tooShort,
    tooShort,
    tooShort,
    tooShort};

inline __m128i table(const uchar (&entries)[16])
{
    return _mm_load_si128(reinterpret_cast<const __m128i *>(entries));
}

__attribute__((target("avx2"))) inline __m256i lookup(__m256i table, __m256i nibbles)
{
    return _mm256_shuffle_epi8(table, nibbles);
}

__attribute__((target("avx2"))) inline __m256i highNibbles(__m256i bytes)
{
    return _mm256_and_si256(_mm256_srli_epi16(bytes, 4), _mm256_set1_epi8(0x0F));
}

template <int N>
__attribute__((target("avx2"))) inline __m256i previous(__m256i input, __m256i prior)
{
    return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(prior, input, 0x21), 16 - N);
}

struct Tables
{
    __m256i byte1High;
    __m256i byte1Low;
    __m256i byte2High;
    __m256i incompleteLimit;
};

struct Scan
{
    __m256i error;
    __m256i prior;
    __m256i priorIncomplete;
};

__attribute__((target("avx2"))) inline void step(Scan &scan, const Tables &tables, __m256i input)
{
    if (_mm256_movemask_epi8(input) == 0) {
        scan.error = _mm256_or_si256(scan.error, scan.priorIncomplete);
        scan.prior = input;
        return;
    }
    const __m256i prev1 = previous<1>(input, scan.prior);
    const __m256i lowNibbles = _mm256_and_si256(prev1, _mm256_set1_epi8(0x0F));
    const __m256i special =
        _mm256_and_si256(_mm256_and_si256(lookup(tables.byte1High, highNibbles(prev1)),
                                          lookup(tables.byte1Low, lowNibbles)),
                         lookup(tables.byte2High, highNibbles(input)));
    // Where the byte two or three back started a three- or four-byte character, this one must
    // be a continuation: exactly the places the lookups above leave unexplained.
    const __m256i third = _mm256_subs_epu8(previous<2>(input, scan.prior), _mm256_set1_epi8(0x60));
    const __m256i fourth = _mm256_subs_epu8(previous<3>(input, scan.prior), _mm256_set1_epi8(0x70));
    const __m256i mustContinue =
        _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
    scan.error = _mm256_or_si256(scan.error, _mm256_xor_si256(mustContinue, special));
    scan.priorIncomplete = _mm256_subs_epu8(input, tables.incompleteLimit);
    scan.prior = input;
}

// Whether the bytes in [data, data + length) are complete, valid UTF-8.
__attribute__((target("avx2"))) bool isCompleteUtf8Avx2(const uchar *data, qsizetype length)
{
    const __m256i byte1High = _mm256_broadcastsi128_si256(table(byte1HighTable));
    const __m256i byte1Low = _mm256_broadcastsi128_si256(table(byte1LowTable));
    const __m256i byte2High = _mm256_broadcastsi128_si256(table(byte2HighTable));
    // A chunk ending in a lead byte that needs more bytes than the chunk has left.
    const __m256i incompleteLimit = _mm256_setr_epi8(
        -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
        -1, -1, -1, -1, -1, -1, char(0xF0 - 1), char(0xE0 - 1), char(0xC0 - 1));

    const Tables tables{byte1High, byte1Low, byte2High, incompleteLimit};
    Scan scan{_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
    qsizetype i = 0;
    for (; i + 32 <= length; i += 32)
        step(scan, tables, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + i)));
    if (i < length) {
        // Spaces after the end: a character cut off there shows up as too short.
        alignas(32) uchar last[32];
        std::memset(last, ' ', sizeof last);
        std::memcpy(last, data + i, size_t(length - i));
        step(scan, tables, _mm256_load_si256(reinterpret_cast<const __m256i *>(last)));
    }
    const __m256i error = _mm256_or_si256(scan.error, scan.priorIncomplete);
    return _mm256_testz_si256(error, error);
}

// The same check 64 bytes at a time, where the processor has AVX-512: half the instructions.

__attribute__((target("avx512f,avx512bw"))) inline __m512i highNibbles512(__m512i bytes)
{
    return _mm512_and_si512(_mm512_srli_epi16(bytes, 4), _mm512_set1_epi8(0x0F));
}

/// A table in each 16-byte lane.
__attribute__((target("avx512f,avx512bw"))) inline __m512i repeated(const uchar (&entries)[16])
{
    alignas(64) uchar lanes[64];
    for (int lane = 0; lane < 4; ++lane)
        std::memcpy(lanes + 16 * lane, entries, sizeof entries);
    return _mm512_load_si512(lanes);
}

struct Tables512
{
    __m512i byte1High;
    __m512i byte1Low;
    __m512i byte2High;
    __m512i incompleteLimit;
    __m512i lanesBefore; // for each 16-byte lane of a block, the lane before it
};

struct Scan512
{
    __m512i error;
    __m512i prior;
    __m512i priorIncomplete;
};

__attribute__((target("avx512f,avx512bw"))) inline void
step512(Scan512 &scan, const Tables512 &tables, __m512i input)
{
    if (_mm512_movepi8_mask(input) == 0) {
        scan.error = _mm512_or_si512(scan.error, scan.priorIncomplete);
        scan.prior = input;
        return;
    }
    // Each lane of `before` is the lane preceding the input's, the last of `prior` for the first.
    const __m512i before = _mm512_permutex2var_epi64(scan.prior, tables.lanesBefore, input);
    const __m512i prev1 = _mm512_alignr_epi8(input, before, 15);
    const __m512i lowNibbles = _mm512_and_si512(prev1, _mm512_set1_epi8(0x0F));
    const __m512i special = _mm512_and_si512(
        _mm512_and_si512(_mm512_shuffle_epi8(tables.byte1High, highNibbles512(prev1)),
                         _mm512_shuffle_epi8(tables.byte1Low, lowNibbles)),
        _mm512_shuffle_epi8(tables.byte2High, highNibbles512(input)));
    const __m512i third =
        _mm512_subs_epu8(_mm512_alignr_epi8(input, before, 14), _mm512_set1_epi8(0x60));
    const __m512i fourth =
        _mm512_subs_epu8(_mm512_alignr_epi8(input, before, 13), _mm512_set1_epi8(0x70));
    const __m512i mustContinue =
        _mm512_and_si512(_mm512_or_si512(third, fourth), _mm512_set1_epi8(char(0x80)));
    scan.error = _mm512_or_si512(scan.error, _mm512_xor_si512(mustContinue, special));
    scan.priorIncomplete = _mm512_subs_epu8(input, tables.incompleteLimit);
    scan.prior = input;
}

__attribute__((target("avx512f,avx512bw"))) bool isCompleteUtf8Avx512(const uchar *data,
                                                                      qsizetype length)
{
    alignas(64) uchar incompleteLimit[64];
    std::memset(incompleteLimit, 0xFF, sizeof incompleteLimit);
    incompleteLimit[61] = 0xF0 - 1;
    incompleteLimit[62] = 0xE0 - 1;
    incompleteLimit[63] = 0xC0 - 1;
    const Tables512 tables{repeated(byte1HighTable), repeated(byte1LowTable),
                           repeated(byte2HighTable), _mm512_load_si512(incompleteLimit),
                           _mm512_setr_epi64(6, 7, 8, 9, 10, 11, 12, 13)};
    Scan512 scan{_mm512_setzero_si512(), _mm512_setzero_si512(), _mm512_setzero_si512()};
    qsizetype i = 0;
    for (; i + 64 <= length; i += 64)
        step512(scan, tables, _mm512_loadu_si512(data + i));
    if (i < length) {
        // Spaces after the end: a character cut off there shows up as too short.
        alignas(64) uchar last[64];
        std::memset(last, ' ', sizeof last);
        std::memcpy(last, data + i, size_t(length - i));
        step512(scan, tables, _mm512_load_si512(last));
    }
    const __m512i error = _mm512_or_si512(scan.error, scan.priorIncomplete);
    return _mm512_test_epi8_mask(error, error) == 0;
}

#endif

} // namespace

std::optional<qsizetype> decodableLengthScalar(QByteArrayView bytes)
{
    const auto *begin = reinterpret_cast<const uchar *>(bytes.data());
    const uchar *end = begin + bytes.size();
    const uchar *p = begin;
    while (p < end) {
        const uchar lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        const int length = lead >= 0xC2 && lead <= 0xDF   ? 2
                           : lead >= 0xE0 && lead <= 0xEF ? 3
                           : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                          : 0;
        if (length == 0)
            return std::nullopt;
        const qsizetype available = std::min<qsizetype>(length, end - p);
        for (qsizetype i = 1; i < available; ++i) {
            if (!isContinuation(p[i]))
                return std::nullopt;
        }
        // The decoder waits for the rest of a character cut off by the end, without judging it.
        if (available < length)
            return qsizetype(p - begin);
        const uchar second = p[1];
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
            (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
            return std::nullopt; // overlong forms, surrogates, beyond U+10FFFF
        p += length;
    }
    return bytes.size();
}

namespace {

enum class Vectors { none, avx2, avx512 };

Vectors bestVectors()
{
#ifdef QUILLMERE_UTF8_AVX2
    static const Vectors best = __builtin_cpu_supports("avx512bw") ? Vectors::avx512
                                : __builtin_cpu_supports("avx2")   ? Vectors::avx2
                                                                   : Vectors::none;
    return best;
#else
    return Vectors::none;
#endif
}

std::optional<qsizetype> decodableLength(QByteArrayView bytes, Vectors vectors)
{
#ifdef QUILLMERE_UTF8_AVX2
    if (vectors != Vectors::none && bytes.size() >= 64) {
        // The last character alone goes the slow way, where a cut-off ending is told apart.
        const auto *data = reinterpret_cast<const uchar *>(bytes.data());
        qsizetype split = bytes.size();
        for (int i = 0; i < 4; ++i) {
            --split;
            if (!isContinuation(data[split]))
                break;
        }
        const bool complete = vectors == Vectors::avx512 ? isCompleteUtf8Avx512(data, split)
                                                         : isCompleteUtf8Avx2(data, split);
        if (!complete)
            return std::nullopt;
        const std::optional<qsizetype> tail = decodableLengthScalar(bytes.sliced(split));
        if (!tail)
            return std::nullopt;
        return split + *tail;
    }
#else
    Q_UNUSED(vectors);
#endif
    return decodableLengthScalar(bytes);
}

} // namespace

std::optional<qsizetype> decodableLength(QByteArrayView bytes)
{
    return decodableLength(bytes, bestVectors());
}

std::optional<qsizetype> decodableLengthAvx2(QByteArrayView bytes)
{
    return decodableLength(bytes, bestVectors() == Vectors::none ? Vectors::none : Vectors::avx2);
}

QString decodePiece(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom |
                                                     QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

void decodePieceInto(QByteArrayView bytes, QString &text)
{
    // UTF-8 never takes fewer bytes than UTF-16 takes units.
    text.resize(bytes.size());
    char16_t *const start = reinterpret_cast<char16_t *>(text.data());
    char16_t *out = start;
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    const uchar *end = p + bytes.size();
    while (p < end) {
        const uchar lead = *p;
        if (lead < 0x80) {
            *out++ = lead;
            p += 1;
        } else if (lead < 0xE0) {
            *out++ = char16_t(((lead & 0x1F) << 6) | (p[1] & 0x3F));
            p += 2;
        } else if (lead < 0xF0) {
            *out++ = char16_t(((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            p += 3;
        } else {
            const char32_t c = ((lead & 0x07) << 18) | ((p[1] & 0x3F) << 12) |
                               ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
            *out++ = QChar::highSurrogate(c);
            *out++ = QChar::lowSurrogate(c);
            p += 4;
        }
    }
    text.truncate(out - start);
}

} // namespace Utf8Validation
