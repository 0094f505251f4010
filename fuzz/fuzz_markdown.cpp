// A note's body as the preview and the outline read it: every line in exactly one item, every
// range and piece inside the text it came from.
#include "fuzzcheck.h"
#include "preview/inlinemarkdown.h"
#include "preview/markdownblocks.h"

#include <QGuiApplication>

namespace {

using namespace MarkdownBlocks;

bool isInside(QStringView piece, QStringView whole)
{
    return piece.isEmpty() || (piece.data() >= whole.data() &&
                               piece.data() + piece.size() <= whole.data() + whole.size());
}

void checkItems(const QStringList &lines)
{
    qint64 next = 0;
    for (const PreviewItem &item : parsePreviewItems(lines)) {
        FUZZ_CHECK(item.id == next);
        FUZZ_CHECK(item.lastLineIndex() >= item.id && item.lastLineIndex() < lines.size());
        if (item.kind == PreviewItem::Kind::setextHeading)
            FUZZ_CHECK(item.underlineIndex == item.id + 1);
        qint64 row = item.id;
        for (const CodeRow &code : item.codeRows)
            FUZZ_CHECK(code.lineIndex == row++);
        row = item.id;
        for (const QuoteRow &quote : item.quoteRows)
            FUZZ_CHECK(quote.lineIndex == row++ && quote.depth >= 1);
        if (item.kind == PreviewItem::Kind::standard)
            classifyStandardLine(lines, item.id);
        next = item.lastLineIndex() + 1;
    }
    FUZZ_CHECK(next == lines.size());
}

void checkLine(const QString &line)
{
    FUZZ_CHECK(isInside(trimHorizontal(line), line));
    FUZZ_CHECK(isInside(stripIndent(line), line));
    FUZZ_CHECK(isInside(atxHeadingContent(line), line));
    FUZZ_CHECK(leadingSpaceCount(line) <= line.size());
    if (const auto level = atxHeadingLevel(line))
        FUZZ_CHECK(*level >= 1 && *level <= 6);
    tableCells(line);
    atxHeadingTitle(line);
}

void checkInline(const QString &piece)
{
    const InlineText rendered = InlineMarkdown::render(piece);
    qsizetype end = 0;
    for (const InlineRun &run : rendered.runs) {
        FUZZ_CHECK(run.start >= end && run.length > 0);
        end = run.start + run.length;
        FUZZ_CHECK(end <= rendered.text.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The inline parser reads fonts' weights from a text document, which wants a GUI application.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList lines = splitLines(text);
    checkItems(lines);
    qint64 lastHeading = -1;
    for (const HeadingItem &heading : extractHeadings(text)) {
        FUZZ_CHECK(heading.id > lastHeading && heading.id < lines.size());
        FUZZ_CHECK(heading.level >= 1 && heading.level <= 6);
        lastHeading = heading.id;
    }
    for (const QString &line : lines)
        checkLine(line);
    // The text document behind the inline parser is slow: the first lines and the whole.
    for (qsizetype i = 0; i < std::min<qsizetype>(lines.size(), 4); ++i)
        checkInline(lines[i]);
    checkInline(text);
    return 0;
}
