// A note file from anywhere: its parts must survive being saved and read again.
#include "fuzzcheck.h"
#include "storage/notedocument.h"
#include "storage/notelines.h"

#include <QTimeZone>

namespace {

bool isOwnedOrContinuation(const QString &line)
{
    // Indented by any space the note format counts (a full-width one too): part of the value
    // above, which a save may rewrite whole.
    return line.startsWith(u"title") || line.startsWith(u"created") ||
           line.startsWith(u"updated") || (!line.isEmpty() && NoteLines::isSpaceOrTab(line[0])) ||
           line.trimmed().startsWith(u'-');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const NoteDocumentParts parts = parseNoteDocument(text);

    const QString firstLine = text.section(u'\n', 0, 0);
    FUZZ_CHECK(unquoteValue(quoteValue(firstLine)) == firstLine);

    const QDateTime now(QDate(2025, 3, 5), QTime(9, 5, 7), QTimeZone::utc());
    const NoteFrontMatter completed = completeHeaderForSave(parts.obsidian, QStringLiteral("note"),
                                                            parts.joplinYAML, std::nullopt, now);
    const QString saved =
        buildNoteSaveText(completed, parts.body, parts.joplinYAML, parts.joplinIsTrailing);
    const NoteDocumentParts reread = parseNoteDocument(saved);

    FUZZ_CHECK(reread.body == parts.body);
    FUZZ_CHECK(reread.joplinYAML == parts.joplinYAML);
    FUZZ_CHECK(!parts.joplinYAML || reread.joplinIsTrailing == parts.joplinIsTrailing);
    FUZZ_CHECK(reread.obsidian.has_value());
    FUZZ_CHECK(reread.obsidian->title == completed.title);
    FUZZ_CHECK(reread.obsidian->createdRaw == completed.createdRaw);
    FUZZ_CHECK(reread.obsidian->updatedRaw == completed.updatedRaw);
    // What was written is what a second save writes again.
    const QString header = renderFrontMatter(completed);
    FUZZ_CHECK(renderFrontMatter(*reread.obsidian) == header);
    FUZZ_CHECK(saved.startsWith(header));
    // Every line another application wrote is still there, in its order. This program's own
    // lines and the lines that continue a value may be rewritten.
    if (parts.obsidian) {
        qsizetype at = 0;
        for (const QString &line : parts.obsidian->lines) {
            if (isOwnedOrContinuation(line))
                continue;
            at = reread.obsidian->lines.indexOf(line, at);
            FUZZ_CHECK(at >= 0);
            ++at;
        }
    }
    return 0;
}
