// A note file from anywhere: its parts must survive being saved and read again.
#include "fuzzcheck.h"
#include "storage/notedocument.h"
#include "storage/notelines.h"

#include <QRegularExpression>
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
    const QString saved = buildNoteSaveText(completed, parts.body, parts.joplinYAML,
                                            parts.joplinIsTrailing, parts.layout);
    const NoteDocumentParts reread = parseNoteDocument(saved);

    // A header that needs no change and the same body give back the very text, line breaks and
    // byte-order mark included.
    if (parts.obsidian && renderFrontMatter(*parts.obsidian) ==
                              QStringList{QStringLiteral("---"), parts.obsidian->lines.join(u'\n'),
                                          QStringLiteral("---")}
                                  .join(u'\n')) {
        const QString same = buildNoteSaveText(*parts.obsidian, parts.body, parts.joplinYAML,
                                               parts.joplinIsTrailing, parts.layout);
        FUZZ_CHECK(restoreLineEnds(same, text) == text);
    }
    QString lineFeeds = text;
    lineFeeds.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    FUZZ_CHECK(restoreLineEnds(lineFeeds, text) == text);

    FUZZ_CHECK(reread.body == parts.body);
    FUZZ_CHECK(reread.joplinYAML == parts.joplinYAML);
    FUZZ_CHECK(!parts.joplinYAML || reread.joplinIsTrailing == parts.joplinIsTrailing);
    FUZZ_CHECK(reread.obsidian.has_value());
    // A key another application wrote with space before its colon is left to it, and no line of
    // this program's is added beside it.
    const auto spelledOtherwise = [&](const char *key) {
        const QRegularExpression spaced(QLatin1String("^") + QLatin1String(key) +
                                        QLatin1String("[ \t]+:"));
        return parts.obsidian && !parts.obsidian->lines.filter(spaced).isEmpty();
    };
    FUZZ_CHECK(spelledOtherwise("title") || reread.obsidian->title == completed.title);
    FUZZ_CHECK(spelledOtherwise("created") || reread.obsidian->createdRaw == completed.createdRaw);
    FUZZ_CHECK(spelledOtherwise("updated") || reread.obsidian->updatedRaw == completed.updatedRaw);
    // What was written is what a second save writes again.
    const QString header = renderFrontMatter(completed);
    FUZZ_CHECK(renderFrontMatter(*reread.obsidian) == header);
    FUZZ_CHECK(buildNoteSaveText(completed, reread.body, reread.joplinYAML, reread.joplinIsTrailing,
                                 reread.layout) == saved);
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
