// The vectorised UTF-8 check against Qt's decoder deciding what is valid.
#include "fuzzcheck.h"
#include "search/utf8validation.h"

#include <QStringDecoder>

namespace {

bool decodesCleanly(QByteArrayView bytes, QStringDecoder::Flags flags)
{
    QStringDecoder decoder(QStringDecoder::Utf8, flags);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

// Whole characters only, with the unfinished one at the very end (at most three bytes) left
// out, as a decoder that waits for more input leaves it.
std::optional<qsizetype> referenceLength(QByteArrayView bytes)
{
    if (!decodesCleanly(bytes, QStringDecoder::Flag::Default))
        return std::nullopt;
    for (qsizetype cut = 0; cut <= std::min<qsizetype>(3, bytes.size()); ++cut) {
        if (decodesCleanly(bytes.first(bytes.size() - cut), QStringDecoder::Flag::Stateless))
            return bytes.size() - cut;
    }
    FUZZ_CHECK(!"a stateful decoder accepted what no cut of it decodes");
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<qsizetype> expected = referenceLength(bytes);
    FUZZ_CHECK(Utf8Validation::decodableLength(bytes) == expected);
    FUZZ_CHECK(Utf8Validation::decodableLengthAvx2(bytes) == expected);
    FUZZ_CHECK(Utf8Validation::decodableLengthScalar(bytes) == expected);
    // Every start and end inside the buffer, as the search's pieces of a file have them.
    if (size > 1) {
        const QByteArrayView inner = bytes.sliced(1, bytes.size() - 2);
        FUZZ_CHECK(Utf8Validation::decodableLength(inner) == referenceLength(inner));
    }
    if (!expected)
        return 0;
    const QByteArrayView valid = bytes.first(*expected);
    const QString reference =
        QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(valid);
    FUZZ_CHECK(Utf8Validation::decodePiece(valid) == reference);
    QString reused(qsizetype(size % 7) * 13, QChar(u'x'));
    Utf8Validation::decodePieceInto(valid, reused);
    FUZZ_CHECK(reused == reference);
    return 0;
}
