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

#define QUILLMERE_TABLE(...) _mm256_setr_epi8(__VA_ARGS__, __VA_ARGS__)

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
    const __m256i byte1High = QUILLMERE_TABLE(
        char(tooLong), char(tooLong), char(tooLong), char(tooLong), char(tooLong), char(tooLong),
        char(tooLong), char(tooLong), char(twoContinuations), char(twoContinuations),
        char(twoContinuations), char(twoContinuations), char(tooShort | overlong2), char(tooShort),
        char(tooShort | overlong3 | surrogate),
        char(tooShort | tooLarge | tooLarge1000 | overlong4));
    const __m256i byte1Low = QUILLMERE_TABLE(
        char(carry | overlong3 | overlong2 | overlong4), char(carry | overlong2), char(carry),
        char(carry), char(carry | tooLarge), char(carry | tooLarge | tooLarge1000),
        char(carry | tooLarge | tooLarge1000), char(carry | tooLarge | tooLarge1000),
        char(carry | tooLarge | tooLarge1000), char(carry | tooLarge | tooLarge1000),
        char(carry | tooLarge | tooLarge1000), char(carry | tooLarge | tooLarge1000),
        char(carry | tooLarge | tooLarge1000), char(carry | tooLarge | tooLarge1000 | surrogate),
        char(carry | tooLarge | tooLarge1000), char(carry | tooLarge | tooLarge1000));
    const __m256i byte2High = QUILLMERE_TABLE(
        char(tooShort), char(tooShort), char(tooShort), char(tooShort), char(tooShort),
        char(tooShort), char(tooShort), char(tooShort),
        char(tooLong | overlong2 | twoContinuations | overlong3 | tooLarge1000 | overlong4),
        char(tooLong | overlong2 | twoContinuations | overlong3 | tooLarge),
        char(tooLong | overlong2 | twoContinuations | surrogate | tooLarge),
        char(tooLong | overlong2 | twoContinuations | surrogate | tooLarge), char(tooShort),
        char(tooShort), char(tooShort), char(tooShort));
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

#undef QUILLMERE_TABLE

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

std::optional<qsizetype> decodableLength(QByteArrayView bytes)
{
#ifdef QUILLMERE_UTF8_AVX2
    static const bool hasAvx2 = __builtin_cpu_supports("avx2");
    if (hasAvx2 && bytes.size() >= 64) {
        // The last character alone goes the slow way, where a cut-off ending is told apart.
        const auto *data = reinterpret_cast<const uchar *>(bytes.data());
        qsizetype split = bytes.size();
        for (int i = 0; i < 4; ++i) {
            --split;
            if (!isContinuation(data[split]))
                break;
        }
        if (!isCompleteUtf8Avx2(data, split))
            return std::nullopt;
        const std::optional<qsizetype> tail = decodableLengthScalar(bytes.sliced(split));
        if (!tail)
            return std::nullopt;
        return split + *tail;
    }
#endif
    return decodableLengthScalar(bytes);
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
