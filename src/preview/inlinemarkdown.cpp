#include "preview/inlinemarkdown.h"

#include "links/notelinks.h"
#include "preview/markdownblocks.h"

#include <QHash>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>

namespace {

constexpr QTextDocument::MarkdownFeatures markdownFeatures = QTextDocument::MarkdownFeatures(
    QTextDocument::MarkdownDialectGitHub | QTextDocument::MarkdownNoHTML);

/// An entity in front of a heading's content keeps the parser from reading "- x" or "1. x" in
/// it as block markers, without changing how emphasis next to it is recognised.
const QString blockGuard = QStringLiteral("&#8203;");
constexpr QChar zeroWidthSpace(0x200B);

bool sameFormat(const InlineRun &a, const InlineRun &b)
{
    return a.bold == b.bold && a.italic == b.italic && a.strikeOut == b.strikeOut &&
           a.emphasis == b.emphasis && a.link == b.link;
}

bool isPlain(const InlineRun &run)
{
    return !run.bold && !run.italic && !run.strikeOut && !run.emphasis && run.link.isEmpty();
}

void appendRun(InlineText &out, QString text, InlineRun format)
{
    if (text.isEmpty())
        return;
    format.start = out.text.size();
    format.length = text.size();
    out.text += text;
    if (isPlain(format))
        return;
    if (!out.runs.isEmpty()) {
        InlineRun &last = out.runs.last();
        if (last.start + last.length == format.start && sameFormat(last, format)) {
            last.length += format.length;
            return;
        }
    }
    out.runs.append(format);
}

/// Reads the parsed document back into text and runs. A heading's weight is the block's own,
/// not strong emphasis, so heading blocks are re-read from their content alone.
InlineText readDocument(const QTextDocument &document)
{
    InlineText out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin())
            appendRun(out, QStringLiteral(" "), {});
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat()) {
                // Images are not loaded: the preview shows their description.
                appendRun(out, format.property(QTextFormat::ImageAltText).toString(), {});
                continue;
            }
            InlineRun run;
            run.bold = format.fontWeight() > QFont::Medium;
            // Underscore emphasis arrives as underline from the GitHub dialect.
            run.italic = format.fontItalic() || format.fontUnderline();
            run.strikeOut = format.fontStrikeOut();
            run.emphasis = run.bold || run.italic;
            if (format.isAnchor() && !InlineMarkdown::isEmailLink(format.anchorHref()) &&
                !InlineMarkdown::isEmailLink(fragment.text()))
                run.link = format.anchorHref();
            appendRun(out, fragment.text(), run);
        }
    }
    return out;
}

bool anyEmphasis(const InlineText &text)
{
    return std::any_of(text.runs.cbegin(), text.runs.cend(),
                       [](const InlineRun &run) { return run.emphasis; });
}

/// Colours what looks like emphasis in the source when the parser recognised none: each
/// captured inner text is looked up in the rendered text after the previous hit.
void markSourceEmphasis(const QString &source, InlineText &out)
{
    static const QRegularExpression patterns[] = {
        QRegularExpression(QStringLiteral(R"(\*\*\*([^*\n]+)\*\*\*)")),
        QRegularExpression(QStringLiteral(R"(\*\*([^*\n]+)\*\*)")),
        QRegularExpression(QStringLiteral(R"((?<!\*)\*([^*\n]+)\*(?!\*))")),
    };
    QList<InlineRun> marks;
    for (const QRegularExpression &pattern : patterns) {
        qsizetype from = 0;
        for (auto it = pattern.globalMatch(source); it.hasNext();) {
            const QString inner = it.next().captured(1);
            const qsizetype hit = out.text.indexOf(inner, from);
            if (hit < 0)
                continue;
            InlineRun run;
            run.start = hit;
            run.length = inner.size();
            run.emphasis = true;
            marks.append(run);
            from = hit + inner.size();
        }
    }
    if (marks.isEmpty())
        return;
    // Rebuild the runs character by character so marks and links combine.
    QList<InlineRun> perChar(out.text.size());
    for (const InlineRun &run : std::as_const(out.runs))
        for (qsizetype i = run.start; i < run.start + run.length; ++i)
            perChar[i] = run;
    for (const InlineRun &mark : std::as_const(marks))
        for (qsizetype i = mark.start; i < mark.start + mark.length; ++i)
            perChar[i].emphasis = true;
    const QString text = out.text;
    out = {};
    for (qsizetype i = 0; i < text.size(); ++i)
        appendRun(out, QString(text[i]), perChar[i]);
}

InlineText parse(const QString &markdown)
{
    QTextDocument document;
    document.setMarkdown(markdown, markdownFeatures);
    const QTextBlock first = document.begin();
    if (document.blockCount() == 1 && first.blockFormat().headingLevel() > 0) {
        document.setMarkdown(blockGuard % MarkdownBlocks::atxHeadingContent(markdown),
                             markdownFeatures);
        InlineText out = readDocument(document);
        if (out.text.startsWith(zeroWidthSpace)) {
            out.text.remove(0, 1);
            for (InlineRun &run : out.runs) {
                if (run.start > 0)
                    --run.start;
                else
                    --run.length;
            }
            out.runs.removeIf([](const InlineRun &run) { return run.length <= 0; });
        }
        return out;
    }
    return readDocument(document);
}

} // namespace

QString InlineText::linkAt(qsizetype position) const
{
    for (const InlineRun &run : runs) {
        if (position >= run.start && position < run.start + run.length)
            return run.link;
    }
    return {};
}

namespace InlineMarkdown {

InlineText render(const QString &source)
{
    if (source.startsWith(u"    ") || source.startsWith(u'\t'))
        return {source, {}};
    // Links between notes are drawn as links, opened by the window.
    const QString markdown =
        source.contains(u"[[") ? NoteLinks::wikiLinksAsMarkdown(source) : source;
    InlineText out = parse(markdown);
    if (!anyEmphasis(out))
        markSourceEmphasis(markdown, out);
    return out;
}

InlineText cachedRender(const QString &markdown)
{
    static QHash<QString, InlineText> cache;
    // A note has a few thousand distinct lines at most in view over a session; dropping the
    // whole table now and then keeps memory bounded without bookkeeping per entry.
    if (cache.size() > 20000)
        cache.clear();
    auto it = cache.find(markdown);
    if (it == cache.end())
        it = cache.insert(markdown, render(markdown));
    return *it;
}

bool isEmailLink(const QString &urlOrText)
{
    static const QRegularExpression email(
        QStringLiteral(R"(^[a-zA-Z0-9._%+-]+@[a-zA-Z0-9.-]+\.[a-zA-Z]{2,}$)"));
    return urlOrText.startsWith(u"mailto:", Qt::CaseInsensitive) ||
           email.match(urlOrText).hasMatch();
}

bool isOpenableLink(const QUrl &url)
{
    if (!url.isValid() || url.isRelative())
        return false;
    static const QStringList refused = {
        QStringLiteral("file"), QStringLiteral("mailto"),   QStringLiteral("javascript"),
        QStringLiteral("data"), QStringLiteral("vbscript"), QString(NoteLinks::noteScheme)};
    return !refused.contains(url.scheme().toLower());
}

} // namespace InlineMarkdown
