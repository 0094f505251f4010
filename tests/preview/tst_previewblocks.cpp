#include "preview/inlinemarkdown.h"
#include "preview/markdownblocks.h"

#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTest>

using namespace MarkdownBlocks;

Q_DECLARE_METATYPE(QList<HeadingItem>)

namespace {

/// A compact picture of parsed items: "0:standard", "0-1:setext1", "2-4:code[json]F.F" (a row
/// per line: F fence, . text, _ empty), "5-6:quote(1,2)" (row depths).
QString describe(const QList<PreviewItem> &items)
{
    QStringList parts;
    for (const PreviewItem &item : items) {
        QString range = QString::number(item.id);
        if (item.lastLineIndex() != item.id)
            range += u'-' + QString::number(item.lastLineIndex());
        switch (item.kind) {
        case PreviewItem::Kind::setextHeading:
            parts.append(range + u":setext" + QString::number(item.level));
            break;
        case PreviewItem::Kind::codeBlock: {
            QString rows;
            for (const CodeRow &row : item.codeRows)
                rows += row.isFence ? u'F' : row.text.isEmpty() ? u'_' : u'.';
            parts.append(range + u":code[" + item.language + u"]" + rows);
            break;
        }
        case PreviewItem::Kind::blockquote: {
            QStringList depths;
            for (const QuoteRow &row : item.quoteRows)
                depths.append(QString::number(row.depth));
            parts.append(range + u":quote(" + depths.join(u',') + u")");
            break;
        }
        case PreviewItem::Kind::emptyLine:
            parts.append(range + u":empty");
            break;
        case PreviewItem::Kind::hidden:
            parts.append(range + u":hidden");
            break;
        case PreviewItem::Kind::horizontalRule:
            parts.append(range + u":rule");
            break;
        case PreviewItem::Kind::standard:
            parts.append(range + u":standard");
            break;
        }
    }
    return parts.join(u' ');
}

QString describeStandard(const QStringList &lines, qint64 index)
{
    const StandardLine line = classifyStandardLine(lines, index);
    switch (line.kind) {
    case StandardLine::Kind::delimiterRow:
        return QStringLiteral("delimiter");
    case StandardLine::Kind::tableRow:
        return line.isHeaderRow ? QStringLiteral("header row") : QStringLiteral("body row");
    case StandardLine::Kind::heading:
        return QStringLiteral("h%1").arg(line.headingLevel);
    case StandardLine::Kind::unorderedItem:
    case StandardLine::Kind::orderedItem:
        return QStringLiteral("%1 %2|%3|")
            .arg(line.listItem.indent)
            .arg(line.listItem.marker, line.listItem.itemText);
    case StandardLine::Kind::paragraph:
        return QStringLiteral("paragraph");
    }
    return {};
}

/// The top-level blocks of CommonMark's expected HTML: "hr", "h2", "pre", "p", "ul", …
QStringList htmlBlocks(const QString &html)
{
    static const QRegularExpression tag(
        QStringLiteral(R"(<(/?)(hr|h[1-6]|pre|p|ul|ol|blockquote)\b[^>]*>)"));
    QStringList blocks;
    int depth = 0;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto match = it.next();
        const bool closing = !match.captured(1).isEmpty();
        const QString name = match.captured(2);
        const bool container =
            name == u"pre" || name == u"ul" || name == u"ol" || name == u"blockquote";
        if (closing) {
            if (container)
                --depth;
            continue;
        }
        if (depth == 0)
            blocks.append(name);
        if (container)
            ++depth;
    }
    return blocks;
}

/// The same picture of the preview's parse: paragraph lines in a row make one "p", list lines
/// one list; blank and hidden lines separate paragraphs.
QStringList previewBlocks(const QString &markdown)
{
    const QStringList lines = splitLines(markdown);
    QStringList blocks;
    QString previous;
    for (const PreviewItem &item : parsePreviewItems(lines)) {
        QString name;
        switch (item.kind) {
        case PreviewItem::Kind::setextHeading:
            name = QStringLiteral("h%1").arg(item.level);
            break;
        case PreviewItem::Kind::codeBlock:
            name = QStringLiteral("pre");
            break;
        case PreviewItem::Kind::blockquote:
            name = QStringLiteral("blockquote");
            break;
        case PreviewItem::Kind::horizontalRule:
            name = QStringLiteral("hr");
            break;
        case PreviewItem::Kind::emptyLine:
        case PreviewItem::Kind::hidden:
            previous.clear();
            continue;
        case PreviewItem::Kind::standard: {
            const StandardLine line = classifyStandardLine(lines, item.id);
            name = line.kind == StandardLine::Kind::heading
                       ? QStringLiteral("h%1").arg(line.headingLevel)
                   : line.kind == StandardLine::Kind::unorderedItem ? QStringLiteral("ul")
                   : line.kind == StandardLine::Kind::orderedItem   ? QStringLiteral("ol")
                                                                    : QStringLiteral("p");
            break;
        }
        }
        const bool merges = name == previous && (name == u"p" || name == u"ul" || name == u"ol");
        if (!merges)
            blocks.append(name);
        previous = name;
    }
    return blocks;
}

/// Examples where the preview's line-by-line rules deliberately part from CommonMark, by
/// example number, with the reason.
const QHash<int, const char *> &commonMarkDifferences()
{
    static const QHash<int, const char *> differences = {
        {49, "an indented line after a paragraph is code: no paragraph continuation"},
        {70, "an indented line after a paragraph is code: no paragraph continuation"},
        {79, "a lone \"#\" needs a space after it to be a heading"},
        {81, "setext content is one line: the line above it stays a paragraph"},
        {82, "setext content is one line: the line above it stays a paragraph"},
        {87, "an indented line after a paragraph is code: no paragraph continuation"},
        {92, "a quote line followed by \"---\" is setext content"},
        {93, "no lazy continuation: a line without \">\" ends the quote"},
        {94, "a list line followed by \"---\" is setext content"},
        {95, "setext content is one line: the line above it stays a paragraph"},
        {99, "a list line followed by \"-----\" is setext content"},
        {101, "a quote line followed by \"-----\" is setext content"},
        {108, "list items are single lines: the indented continuation is code"},
        {109, "list items are single lines: the indented sub-list is code"},
        {113, "an indented line after a paragraph is code: no paragraph continuation"},
    };
    return differences;
}

} // namespace

class TestPreviewBlocks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void predicates_data();
    void predicates();
    void blockQuoteLines_data();
    void blockQuoteLines();
    void parseItems_data();
    void parseItems();
    void codeRowTexts();
    void standardLines_data();
    void standardLines();
    void tableCells_data();
    void tableCells();
    void headings_data();
    void headings();
    void scrollOffsetToLine_data();
    void scrollOffsetToLine();
    void commonMarkExamples_data();
    void commonMarkExamples();
    void inlineRendering_data();
    void inlineRendering();
    void openableLinks_data();
    void openableLinks();
};

void TestPreviewBlocks::predicates_data()
{
    // What each predicate makes of the line: "h2" ATX level, "fence(`3,info)", "rule",
    // "underline1" setext level, "comment" line, indented "code", setext "content" line.
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const QString &line, const char *expected) {
        QTest::newRow(name) << line << QString::fromLatin1(expected);
    };
    row("heading needs a space after the hashes", "#Title", "content");
    row("heading level 1", "# Title", "h1");
    row("empty heading", "# ", "h1");
    row("lone hash is text", "#", "content");
    row("seven hashes are text", "####### x", "content");
    row("tab after hashes is text", "#\tx", "content");
    row("three spaces still a heading", "   ## x", "h2");
    row("four spaces are code", "    # Title", "code");
    row("tab start is code", "\tcode", "code");
    row("backtick fence with info", "```json title=x", "fence(`3,json title=x)");
    row("tilde fence", "~~~~", "fence(~4,)");
    row("backtick in backtick info is no fence", "``` a`b", "content");
    row("backtick in tilde info is a fence", "~~~ a`b", "fence(~3,a`b)");
    row("two backticks are text", "``", "content");
    row("dash rule is also an underline", "---", "rule underline2");
    row("spaced stars", "* * *", "rule");
    row("spaced underscores", "_  _  _", "rule");
    row("two dashes are a short underline", "--", "underline2 content");
    row("mixed rule characters", "-*-", "content");
    row("equals underline", "===", "underline1 content");
    row("underline with inner space", "= =", "content");
    row("comment", "[comment]: #", "comment");
    row("comment in capitals with text", "[COMMENT]: # (hidden text)", "comment");
    row("comment without spaces", "[comment]:#()", "comment");
    row("comment target other than #", "[comment]: x", "content");
    row("ideographic space line is blank", "\u3000 ", "");
}

void TestPreviewBlocks::predicates()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QStringList found;
    if (const auto level = atxHeadingLevel(line))
        found.append(QStringLiteral("h%1").arg(*level));
    if (const auto fence = fenceOpening(line))
        found.append(QStringLiteral("fence(%1%2,%3)")
                         .arg(fence->character)
                         .arg(fence->length)
                         .arg(fence->info));
    if (isThematicBreak(line))
        found.append(QStringLiteral("rule"));
    if (const auto level = setextUnderlineLevel(line))
        found.append(QStringLiteral("underline%1").arg(*level));
    if (isCommentLine(line))
        found.append(QStringLiteral("comment"));
    if (isIndentedCodeLine(line))
        found.append(QStringLiteral("code"));
    if (isSetextContentLine(line))
        found.append(QStringLiteral("content"));
    QCOMPARE(found.join(u' '), expected);
}

void TestPreviewBlocks::blockQuoteLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("depth");
    QTest::addColumn<double>("indent");
    QTest::addColumn<QString>("body");

    QTest::newRow("simple") << "> a" << 1 << 0.0 << "a";
    QTest::newRow("nested with space") << "> > a" << 2 << 0.0 << "a";
    QTest::newRow("nested glued") << ">>a" << 2 << 0.0 << "a";
    QTest::newRow("only one space is consumed") << ">  a" << 1 << 0.0 << " a";
    QTest::newRow("indented by three") << "   > a" << 1 << 12.0 << "a";
    QTest::newRow("empty quote line") << ">" << 1 << 0.0 << "";
    QTest::newRow("no marker") << "a > b" << 0 << 0.0 << "";
    QTest::newRow("four spaces are code") << "    > a" << 0 << 0.0 << "";
}

void TestPreviewBlocks::blockQuoteLines()
{
    QFETCH(QString, line);
    QFETCH(int, depth);
    QFETCH(double, indent);
    QFETCH(QString, body);
    const auto quote = blockQuoteLine(line);
    QCOMPARE(quote ? quote->depth : 0, depth);
    if (quote) {
        QCOMPARE(quote->leadingIndent, indent);
        QCOMPARE(quote->body, body);
    }
}

void TestPreviewBlocks::parseItems_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("items");
    const auto row = [](const char *name, const QString &body, const QString &items) {
        QTest::newRow(name) << body << items;
    };
    row("one line", "abc", "0:standard");
    row("setext level 1 and the next item", "Title\n===\nnext", "0-1:setext1 2:standard");
    row("dash underline is a heading, not a rule", "Title\n---", "0-1:setext2");
    row("rule alone", "---", "0:rule");
    row("list line under an underline is heading text", "- item\n---", "0-1:setext2");
    row("fenced code keeps fence rows", "```json\nlet a = 1\n```", "0-2:code[json]F.F");
    row("four backticks are not closed by three", "````\na\n```\nb\n````", "0-4:code[]F...F");
    row("tilde fence is not closed by backticks", "~~~\na\n```\n~~~", "0-3:code[]F..F");
    row("closing fence takes no info string", "```\na\n``` x\n```", "0-3:code[]F..F");
    row("unclosed fence runs to the end", "```\n# a\n\nb", "0-3:code[]F._.");
    row("indented code across a blank line", "    code\n\n    more", "0-2:code[]._.");
    row("trailing blank lines leave indented code", "    code\n\n", "0:code[]. 1:empty 2:empty");
    row("quote ends at a line without marker", "> a\n> b\nc", "0-1:quote(1,1) 2:standard");
    row("quote ends at a blank line", "> a\n\n> > b", "0:quote(1) 1:empty 2:quote(2)");
    row("comments are hidden, other targets are text",
        "[comment]: #\n[COMMENT]: # (x)\n[comment]: x", "0:hidden 1:hidden 2:standard");
    row("no setext heading across a blank line", "Title\n\n===", "0:standard 1:empty 2:standard");
    row("heading line is not setext content", "# a\n---", "0:standard 1:rule");
    row("carriage return stays on its line", "a\r\n\r", "0:standard 1:standard");
}

void TestPreviewBlocks::parseItems()
{
    QFETCH(QString, body);
    QFETCH(QString, items);
    QCOMPARE(describe(parsePreviewItems(splitLines(body))), items);
}

void TestPreviewBlocks::codeRowTexts()
{
    const auto items = parsePreviewItems(splitLines(QStringLiteral("\tcode\n      six\n\n    x")));
    QCOMPARE(items.size(), 1);
    QList<CodeRow> expected = {{0, QStringLiteral("code"), false},
                               {1, QStringLiteral("  six"), false},
                               {2, QString(), false},
                               {3, QStringLiteral("x"), false}};
    QCOMPARE(items[0].codeRows, expected);

    const auto fenced = parsePreviewItems(splitLines(QStringLiteral("  ```\n  a\n```")));
    QCOMPARE(fenced[0].codeRows[1].text, QStringLiteral("  a"));
}

void TestPreviewBlocks::standardLines_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("kind");

    const QString table = QStringLiteral("| a | b |\n|---|---|\n| 1 | 2 |");
    QTest::newRow("table header row") << table << 0 << "header row";
    QTest::newRow("table delimiter row") << table << 1 << "delimiter";
    QTest::newRow("table body row") << table << 2 << "body row";
    QTest::newRow("aligned delimiter") << "| :-: | --: |" << 0 << "delimiter";
    QTest::newRow("empty corner cell keeps the header row")
        << "| | Mon |\n|---|---|" << 0 << "header row";
    QTest::newRow("blank cells are no delimiter") << "|  |" << 0 << "body row";
    QTest::newRow("pipe inside text is a paragraph") << "a | b" << 0 << "paragraph";
    QTest::newRow("heading") << "### x" << 0 << "h3";
    QTest::newRow("unchecked box") << "- [ ] task" << 0 << "0 ☐|task|";
    QTest::newRow("checked box, capital X") << "  - [X] done" << 0 << "8 ☑|done|";
    QTest::newRow("box without text is a bullet") << "- [ ]" << 0 << "0 •|[ ]|";
    QTest::newRow("plus bullet") << "+ a" << 0 << "0 •|a|";
    QTest::newRow("numbered") << "3. three" << 0 << "0 3.|three|";
    QTest::newRow("numbered keeps further spaces") << " 12.  x" << 0 << "4 12.| x|";
    QTest::newRow("parenthesis number is a paragraph") << "3) three" << 0 << "paragraph";
    QTest::newRow("hash without space is a paragraph") << "#Title" << 0 << "paragraph";
}

void TestPreviewBlocks::standardLines()
{
    QFETCH(QString, body);
    QFETCH(int, line);
    QFETCH(QString, kind);
    QCOMPARE(describeStandard(splitLines(body), line), kind);
}

void TestPreviewBlocks::tableCells_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QStringList>("cells");
    QTest::newRow("two cells") << "| a | b |" << QStringList{"a", "b"};
    QTest::newRow("empty middle cell") << "|a||b|" << QStringList{"a", "", "b"};
    QTest::newRow("lone pipe") << "|" << QStringList{""};
    QTest::newRow("no closing pipe is one cell") << "| a | b" << QStringList{"| a | b"};
    QTest::newRow("full-width spaces trimmed") << "|\u3000a\u3000|" << QStringList{"a"};
}

void TestPreviewBlocks::tableCells()
{
    QFETCH(QString, row);
    QFETCH(QStringList, cells);
    QCOMPARE(MarkdownBlocks::tableCells(row), cells);
}

void TestPreviewBlocks::headings_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QList<HeadingItem>>("headings");

    QTest::newRow("closing sequence removed")
        << "## C# notes ##" << QList<HeadingItem>{{0, 2, "C# notes"}};
    QTest::newRow("sharp glued to the title stays") << "## C#" << QList<HeadingItem>{{0, 2, "C#"}};
    QTest::newRow("only hashes is untitled") << "# #" << QList<HeadingItem>{{0, 1, "(無題)"}};
    QTest::newRow("empty heading is untitled") << "# " << QList<HeadingItem>{{0, 1, "(無題)"}};
    QTest::newRow("setext title is trimmed")
        << "intro\n  Title  \n---" << QList<HeadingItem>{{1, 2, "Title"}};
    QTest::newRow("heading inside a fence is skipped")
        << "```\n# not\n```\n# yes" << QList<HeadingItem>{{3, 1, "yes"}};
    QTest::newRow("unclosed fence hides the rest")
        << "# a\n~~~\n# b" << QList<HeadingItem>{{0, 1, "a"}};
    QTest::newRow("indented code and comments are skipped")
        << "    # code\n[comment]: #\n### c" << QList<HeadingItem>{{2, 3, "c"}};
    QTest::newRow("underline right after a heading line is a rule")
        << "# a\n---" << QList<HeadingItem>{{0, 1, "a"}};
}

void TestPreviewBlocks::headings()
{
    QFETCH(QString, body);
    QFETCH(QList<HeadingItem>, headings);
    QCOMPARE(extractHeadings(body), headings);
}

void TestPreviewBlocks::scrollOffsetToLine_data()
{
    QTest::addColumn<double>("offset");
    QTest::addColumn<double>("fontSize");
    QTest::addColumn<qint64>("lines");
    QTest::addColumn<qint64>("line");
    QTest::newRow("inside the first line") << 20.9 << 14.0 << qint64(10) << qint64(0);
    QTest::newRow("second line starts at 21") << 21.0 << 14.0 << qint64(10) << qint64(1);
    QTest::newRow("beyond the end is the last line") << 5000.0 << 14.0 << qint64(10) << qint64(9);
    QTest::newRow("negative is the first line") << -40.0 << 14.0 << qint64(10) << qint64(0);
    QTest::newRow("no font size") << 100.0 << 0.0 << qint64(10) << qint64(0);
    QTest::newRow("empty body") << 100.0 << 14.0 << qint64(0) << qint64(0);
}

void TestPreviewBlocks::scrollOffsetToLine()
{
    QFETCH(double, offset);
    QFETCH(double, fontSize);
    QFETCH(qint64, lines);
    QFETCH(qint64, line);
    QCOMPARE(lineIndexForScrollOffset(offset, fontSize, lines), line);
}

void TestPreviewBlocks::commonMarkExamples_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("html");

    QFile file(QStringLiteral(QUILLMERE_TEST_DATA "/commonmark/commonmark-0.31.2-examples.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    const QString fence = QString(32, u'`');
    const QStringList sections = {QStringLiteral("Thematic breaks"), QStringLiteral("ATX headings"),
                                  QStringLiteral("Setext headings"),
                                  QStringLiteral("Indented code blocks"),
                                  QStringLiteral("Fenced code blocks")};
    QString section;
    int number = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].startsWith(u"## "))
            section = lines[i].mid(3);
        if (lines[i] != fence + QStringLiteral(" example"))
            continue;
        ++number;
        QStringList markdown;
        QStringList html;
        bool inHtml = false;
        for (++i; i < lines.size() && lines[i] != fence; ++i) {
            if (!inHtml && lines[i] == u".") {
                inHtml = true;
                continue;
            }
            (inHtml ? html : markdown).append(QString(lines[i]).replace(u'→', u'\t'));
        }
        if (sections.contains(section)) {
            QTest::addRow("example %d (%s)", number, qPrintable(section))
                << number << markdown.join(u'\n') << html.join(u'\n');
        }
    }
    QCOMPARE(number, 652);
}

void TestPreviewBlocks::commonMarkExamples()
{
    QFETCH(int, number);
    QFETCH(QString, markdown);
    QFETCH(QString, html);
    // The file's inputs end with a line feed; the editor's body has no extra line for it.
    if (markdown.endsWith(u'\n'))
        markdown.chop(1);
    const QStringList ours = previewBlocks(markdown);
    const QStringList theirs = htmlBlocks(html);
    if (commonMarkDifferences().contains(number)) {
        // Listed as a deliberate difference: it must still differ, or the list is stale.
        QVERIFY2(ours != theirs, commonMarkDifferences().value(number));
        return;
    }
    QCOMPARE(ours.join(u' '), theirs.join(u' '));
}

void TestPreviewBlocks::inlineRendering_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("emphasised"); // emphasised stretches joined by "|"
    QTest::addColumn<QString>("links");      // link targets joined by "|"
    const auto row = [](const char *name, const QString &markdown, const QString &text,
                        const QString &emphasised, const QString &links) {
        QTest::newRow(name) << markdown << text << emphasised << links;
    };
    row("strong and emphasis are coloured", "a **b** *c* ***d***", "a b c d", "b|c|d", "");
    row("underscore emphasis too", "_x_ y", "x y", "x", "");
    row("link", "see [site](https://example.com)", "see site", "", "https://example.com");
    row("bare e-mail is plain", "mail a@example.com", "mail a@example.com", "", "");
    row("mailto link is plain", "[me](mailto:a@b.co)", "me", "", "");
    row("link whose text is an address is plain", "[a@b.co](https://x.org)", "a@b.co", "", "");
    row("heading marker consumed, weight is not emphasis", "## Title *x*", "Title x", "x", "");
    row("heading content is not read as a list", "# - item", "- item", "", "");
    row("list marker consumed", "- [link](http://a.b)", "link", "", "http://a.b");
    row("four spaces shown literally", "    *not* [x](y)", "    *not* [x](y)", "", "");
    row("emphasis the parser refused is still coloured", "** spaced **", "** spaced **", " spaced ",
        "");
    row("code span without backticks", "`a+b`", "a+b", "", "");
    row("image shows its description", "![a cat](cat.png)", "a cat", "", "");
    row("raw html is text", "<b>x</b>", "<b>x</b>", "", "");
}

void TestPreviewBlocks::inlineRendering()
{
    QFETCH(QString, markdown);
    QFETCH(QString, text);
    QFETCH(QString, emphasised);
    QFETCH(QString, links);
    const InlineText rendered = InlineMarkdown::render(markdown);
    QCOMPARE(rendered.text, text);
    QStringList emphasis;
    QStringList targets;
    for (const InlineRun &run : rendered.runs) {
        if (run.emphasis)
            emphasis.append(rendered.text.mid(run.start, run.length));
        if (!run.link.isEmpty())
            targets.append(run.link);
    }
    QCOMPARE(emphasis.join(u'|'), emphasised);
    QCOMPARE(targets.join(u'|'), links);
}

void TestPreviewBlocks::openableLinks_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("openable");
    QTest::newRow("web") << "https://example.com" << true;
    QTest::newRow("another application's scheme") << "obsidian://open?vault=x" << true;
    QTest::newRow("relative link has nothing to open against") << "other.md" << false;
    QTest::newRow("local file could start a program") << "file:///usr/bin/xterm" << false;
    QTest::newRow("script") << "javascript:alert(1)" << false;
    QTest::newRow("data") << "data:text/html,x" << false;
    QTest::newRow("mail") << "mailto:a@b.co" << false;
}

void TestPreviewBlocks::openableLinks()
{
    QFETCH(QString, url);
    QFETCH(bool, openable);
    QCOMPARE(InlineMarkdown::isOpenableLink(QUrl(url)), openable);
}

QTEST_MAIN(TestPreviewBlocks)
#include "tst_previewblocks.moc"
