#include "editor/editorlivestate.h"
#include "editor/textedits.h"
#include "editor/listlineparser.h"
#include "editor/markdowndecoration.h"
#include "editor/textsearch.h"

#include <QTest>

namespace {

// Texts with a selection are written with "|" for the caret, or "‹" and "›" around the
// selected characters, so a row reads like what the user sees.
struct Marked
{
    QString text;
    qsizetype start = 0;
    qsizetype length = 0;
};

Marked unmark(QString marked)
{
    const qsizetype caret = marked.indexOf(u'|');
    if (caret >= 0)
        return {marked.remove(caret, 1), caret, 0};
    const qsizetype open = marked.indexOf(u'‹');
    const qsizetype close = marked.indexOf(u'›');
    if (open < 0 || close < open)
        return {marked, 0, 0};
    marked.remove(close, 1);
    marked.remove(open, 1);
    return {marked, open, close - open - 1};
}

QString mark(QString text, qsizetype start, qsizetype length)
{
    if (length == 0)
        return text.insert(start, u'|');
    text.insert(start + length, u'›');
    return text.insert(start, u'‹');
}

void row(const char *name, const QString &first, const QString &second)
{
    QTest::newRow(name) << first << second;
}

QString applied(const Marked &before, const std::optional<TextReplacement> &edit)
{
    if (!edit)
        return mark(before.text, before.start, before.length);
    QString text = before.text;
    text.replace(edit->start, edit->length, edit->text);
    return mark(text, edit->selectionStart, edit->selectionLength);
}

} // namespace

class TestEditorLogic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseListLine_data();
    void parseListLine();
    void returnKey_data();
    void returnKey();
    void indentKey_data();
    void indentKey();
    void decoration_data();
    void decoration();
    void findMatches_data();
    void findMatches();
    void liveTextIsFetchedOnlyWhenReadAfterAChange();
    void replacedTextKeepsPositions_data();
    void replacedTextKeepsPositions();
};

void TestEditorLogic::parseListLine_data()
{
    // Expected: indent, marker, body, "box" for a checkbox, and the continuation, joined by "|";
    // empty for a line that is not a list item.
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");

    row("checked box continues indented, unchecked", "  - [x] done", "  |-|done|box|  - [ ] ");
    row("number continues with its successor", "9. nine", "|9.|nine||10. ");
    row("leading zeros are not kept", "007. x", "|007.|x||8. ");
    row("plus with tab indent", "\t+ plus", "\t|+|plus||\t+ ");
    row("bare marker is an empty item", "- ", "|-|||- ");
    row("box without its space is the body", "- [ ]", "|-|[ ]||- ");
    row("full-width digits keep their marker", "１２. 項目", "|１２.|項目||１２. ");
    row("largest number has no successor", "9223372036854775807. x",
        "|9223372036854775807.|x||9223372036854775807. ");
    row("hyphen without space", "-item", "");
    row("number without space", "1.item", "");
    row("number with parenthesis", "1) item", "");
    row("two lines never match", "- a\n- b", "");
}

void TestEditorLogic::parseListLine()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    const std::optional<ListLineParser::Info> info = ListLineParser::parse(line);
    const QString parsed = info ? QStringList{info->indent, info->marker, info->body,
                                              info->isCheckbox ? QStringLiteral("box") : QString(),
                                              info->continuationPrefix}
                                      .join(u'|')
                                : QString();
    QCOMPARE(parsed, expected);
}

void TestEditorLogic::returnKey_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("handled");
    QTest::addColumn<QString>("after");

    QTest::newRow("bullet continues") << "- a|" << true << "- a\n- |";
    QTest::newRow("number continues") << "x\n9. nine|\ny" << true << "x\n9. nine\n10. |\ny";
    QTest::newRow("checkbox continues unchecked")
        << "  - [x] done|" << true << "  - [x] done\n  - [ ] |";
    QTest::newRow("caret inside splits the item") << "- ab|cd" << true << "- ab\n- |cd";
    QTest::newRow("selection is replaced") << "- a‹bc›d" << true << "- a\n- |d";
    QTest::newRow("empty item ends the list") << "- a\n- |\n- c" << true << "- a\n\n|\n- c";
    QTest::newRow("empty checkbox item ends the list") << "  - [ ] |" << true << "\n|";
    QTest::newRow("box without space continues as bullet") << "- [ ]|" << true << "- [ ]\n- |";
    QTest::newRow("plain line: ordinary newline") << "text|" << false << "text|";
    QTest::newRow("selection over two items: ordinary newline")
        << "‹- a\n- b›" << false << "‹- a\n- b›";
}

void TestEditorLogic::returnKey()
{
    QFETCH(QString, before);
    QFETCH(bool, handled);
    QFETCH(QString, after);
    const Marked input = unmark(before);
    const ListEditing::KeyOutcome outcome =
        ListEditing::returnKey(input.text, input.start, input.length);
    QCOMPARE(outcome.handled, handled);
    QCOMPARE(applied(input, outcome.edit), after);
}

void TestEditorLogic::indentKey_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("outdent");
    QTest::addColumn<bool>("handled");
    QTest::addColumn<QString>("after");

    QTest::newRow("tab indents by two spaces") << "x\n- a|" << false << true << "x\n  - a|";
    QTest::newRow("tab keeps the selected text selected")
        << "- ‹ab›c" << false << true << "  - ‹ab›c";
    QTest::newRow("tab on plain line: ordinary tab") << "abc|" << false << false << "abc|";
    QTest::newRow("shift-tab removes two spaces") << "    - a|" << true << true << "  - a|";
    QTest::newRow("shift-tab removes a tab") << "\t- ‹a›" << true << true << "- ‹a›";
    QTest::newRow("shift-tab on one space: swallowed, unchanged")
        << " - a|" << true << true << " - a|";
    QTest::newRow("shift-tab with caret inside the indent") << " | - a" << true << true << "|- a";
    QTest::newRow("shift-tab keeps a selection that began in the removed indent")
        << " ‹ - a›" << true << true << "‹- a›";
    QTest::newRow("shift-tab on plain line: not ours") << "  abc|" << true << false << "  abc|";
    QTest::newRow("tab on lines ending in a line feed leaves the next line alone")
        << "‹- a\n›- b" << false << true << "  ‹- a\n›- b";
    QTest::newRow("shift-tab on lines ending in a line feed leaves the next line alone")
        << "  ‹- a\n›  - b" << true << true << "‹- a\n›  - b";
}

void TestEditorLogic::indentKey()
{
    QFETCH(QString, before);
    QFETCH(bool, outdent);
    QFETCH(bool, handled);
    QFETCH(QString, after);
    const Marked input = unmark(before);
    const auto direction =
        outdent ? ListEditing::IndentDirection::decrease : ListEditing::IndentDirection::increase;
    const ListEditing::KeyOutcome outcome =
        ListEditing::indentKey(input.text, input.start, input.length, direction);
    QCOMPARE(outcome.handled, handled);
    QCOMPARE(applied(input, outcome.edit), after);
}

void TestEditorLogic::decoration_data()
{
    QTest::addColumn<MarkdownDecoration>("decoration");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    const auto bold = MarkdownDecoration::bold;
    const auto italic = MarkdownDecoration::italic;
    const auto link = MarkdownDecoration::link;
    QTest::newRow("bold wraps and selects everything") << bold << "x‹abc›y"
                                                       << "x‹**abc**›y";
    QTest::newRow("bold again wraps once more") << bold << "‹**abc**›"
                                                << "‹****abc****›";
    QTest::newRow("bold placeholder selected") << bold << "x|"
                                               << "x**‹太字›**";
    QTest::newRow("italic placeholder selected") << italic << "|y"
                                                 << "*‹斜体›*y";
    QTest::newRow("link selects the url") << link << "see ‹docs›."
                                          << "see [docs](‹url›).";
    QTest::newRow("link placeholder selects the text") << link << "|"
                                                       << "[‹テキスト›](url)";
    QTest::newRow("line breaks are wrapped unchanged") << bold << "‹a\nb›"
                                                       << "‹**a\nb**›";
    QTest::newRow("lengths count UTF-16 units") << link << "‹😀›"
                                                << "[😀](‹url›)";
}

void TestEditorLogic::decoration()
{
    QFETCH(MarkdownDecoration, decoration);
    QFETCH(QString, before);
    QFETCH(QString, after);
    const Marked input = unmark(before);
    const MarkdownDecorations::Result result = MarkdownDecorations::apply(
        decoration, input.text.sliced(input.start, input.length), input.start);
    const TextReplacement edit{input.start, input.length, result.replacement, result.selectionStart,
                               result.selectionLength};
    QCOMPARE(applied(input, edit), after);
}

void TestEditorLogic::findMatches_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QList<qsizetype>>("starts");

    QTest::newRow("matches never overlap") << "aaaa"
                                           << "aa" << QList<qsizetype>{0, 2};
    QTest::newRow("capitals find every case") << "Word word WORD wOrD"
                                              << "WORD" << QList<qsizetype>{0, 5, 10, 15};
    QTest::newRow("pattern characters are literal") << "a.b axb (x)"
                                                    << "." << QList<qsizetype>{1};
    QTest::newRow("japanese") << "日本語の日本"
                              << "日本" << QList<qsizetype>{0, 4};
    QTest::newRow("empty query finds nothing") << "abc"
                                               << "" << QList<qsizetype>{};
}

void TestEditorLogic::findMatches()
{
    QFETCH(QString, text);
    QFETCH(QString, query);
    QFETCH(QList<qsizetype>, starts);
    QList<qsizetype> found;
    for (const TextSearch::Match &match : TextSearch::findMatches(text, query)) {
        QCOMPARE(match.length, query.size());
        found.append(match.start);
    }
    QCOMPARE(found, starts);
}

void TestEditorLogic::liveTextIsFetchedOnlyWhenReadAfterAChange()
{
    EditorLiveState live;
    QObject editor;
    QString source = QStringLiteral("typed");
    int fetches = 0;
    live.setTextSource(&editor, [&] {
        ++fetches;
        return source;
    });

    // Changes cost nothing until someone reads; every read asks the editor, which holds the
    // one copy.
    const quint64 before = live.textRevision();
    live.markTextChanged();
    live.markTextChanged();
    QCOMPARE(fetches, 0);
    QVERIFY(live.textRevision() > before);
    QCOMPARE(live.latestText(), QStringLiteral("typed"));
    QCOMPARE(fetches, 1);

    // Another source took over: the first one's release changes nothing.
    QObject other;
    live.setTextSource(&other, [] { return QStringLiteral("other"); });
    live.releaseTextSource(&editor);
    QCOMPARE(live.latestText(), QStringLiteral("other"));

    // Without a source there is no text, rather than an old copy of it.
    live.releaseTextSource(&other);
    QCOMPARE(live.latestText(), QString());
}

void TestEditorLogic::replacedTextKeepsPositions_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("expected");
    // "|" marks the position in `before` and where it must land in `after`.
    QTest::newRow("change below stays put") << "one|\ntwo\n" << "one\ntwo\nthree\n"
                                            << "one|\ntwo\nthree\n";
    QTest::newRow("insertion above moves it down") << "one\ntw|o\n" << "zero\none\ntwo\n"
                                                   << "zero\none\ntw|o\n";
    QTest::newRow("changes above and below: same line found again")
        << "a\nb\nmi|ddle\nc\nd\n" << "A\nb\nmiddle\nc\nD\n" << "A\nb\nmi|ddle\nc\nD\n";
    QTest::newRow("repeated line: the nearest one")
        << "x\n-\na\n-|\nb\n-\ny\n" << "X\n-\na\n-\nb\n-\nY\n" << "X\n-\na\n-|\nb\n-\nY\n";
    QTest::newRow("own line rewritten: end of the change")
        << "a\nbe|fore\nc\n" << "A\nafter\nc\n" << "A\nafter|\nc\n";
    QTest::newRow("surrogate pair is not split") << "😀|x" << "😁x" << "😁|x";
}

void TestEditorLogic::replacedTextKeepsPositions()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QString, expected);
    const qsizetype position = before.indexOf(u'|');
    before.remove(position, 1);
    const TextReplacement change = TextEdits::differingRange(before, after);
    QCOMPARE(before.left(change.start) + change.text +
                 before.mid(change.start + change.length),
             after);
    QString placed = after;
    placed.insert(TextEdits::mapPosition(before, after, change, position), u'|');
    QCOMPARE(placed, expected);
}

QTEST_GUILESS_MAIN(TestEditorLogic)
#include "tst_editorlogic.moc"
