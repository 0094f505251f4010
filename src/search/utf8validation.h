#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

/// Checking a file's bytes the way the search's reading of it would judge them, without
/// decoding: a file that is not UTF-8 is searched as empty text.
namespace Utf8Validation {

/// How many leading bytes of `bytes` a QStringDecoder for UTF-8 turns into text, or nothing when
/// it reports an error. Like the decoder, an unfinished character at the very end is dropped
/// silently. Uses AVX-512 or AVX2 where the processor has them; the answer is the same without.
std::optional<qsizetype> decodableLength(QByteArrayView bytes);

/// The same answer with AVX2 even where AVX-512 is there (one character at a time where neither
/// is): tests hold every way to the others.
std::optional<qsizetype> decodableLengthAvx2(QByteArrayView bytes);

/// The same answer, one character at a time (the reference the tests hold the fast way to).
std::optional<qsizetype> decodableLengthScalar(QByteArrayView bytes);

/// Decodes a piece of valid UTF-8 exactly as it stands. Unlike QString::fromUtf8 a leading
/// byte-order mark is kept: inside a file it is an ordinary character.
QString decodePiece(QByteArrayView bytes);

/// decodePiece() for valid UTF-8 (complete characters, as decodableLength() accepts them) into
/// `text`, whose storage is reused when it is large enough. Faster than Qt's decoder, which
/// checks every character again and calls out for each one that is not ASCII.
void decodePieceInto(QByteArrayView bytes, QString &text);

} // namespace Utf8Validation
