#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

/// Finds a note's body in the file's bytes, without decoding the file.
///
/// The search reads only bodies. Decoding every file and running parseNoteDocument costs most
/// of a search, and the parser's main work, the header's values (dates in the user's time
/// zone), is never looked at. This follows the same rules for where header, Joplin metadata and
/// body begin and end, decoding only the few lines those rules look at; the search tests hold
/// it to the parser's answer.
namespace NoteBody {

/// Scratch space reused between calls to spare allocations.
struct Scratch
{
    /// The lines decoded so far, by where they start: the first `decodedCount`. The strings
    /// after them are kept for their storage.
    std::vector<std::pair<qsizetype, QString>> decoded;
    size_t decodedCount = 0;
};

/// Where parseNoteDocument would find the body of the text in `utf8` (bytes that
/// Utf8Validation::decodableLength accepts in full): a byte range [first, second). Nothing when the
/// text holds a carriage return, whose line breaks the parser rewrites first; ask it instead.
std::optional<std::pair<qsizetype, qsizetype>> bodyRange(QByteArrayView utf8, Scratch &scratch);

} // namespace NoteBody
