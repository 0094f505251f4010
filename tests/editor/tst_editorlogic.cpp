#include "editor/markedtext.h"

#include "editor/editorlivestate.h"
#include "editor/listlineparser.h"
#include "editor/markdowndecoration.h"
#include "editor/textedits.h"
#include "editor/textsearch.h"

#include <QTest>

using namespace MarkedText;

namespace {

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
    using Edit = std::tuple<QString, QString, QString, bool>;    // action, before, after, handled
    using Find = std::tuple<QString, QString, QList<qsizetype>>; // text, query, starts
    using Keeps = std::tuple<QString, QString, QString>;         // before, after, expected

private Q_SLOTS:
    void parseListLine_data()
    {
        // Expected: indent, marker, body, "box" for a checkbox, and the continuation, joined by
        // "|"; empty for a line that is not a list item.
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
    void parseListLine()
    {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        const auto info = ListLineParser::parse(line);
        const QString parsed =
            info ? QStringList{info->indent, info->marker, info->body,
                               info->isCheckbox ? QStringLiteral("box") : QString(),
                               info->continuationPrefix}
                       .join(u'|')
                 : QString();
        QCOMPARE(parsed, expected);
    }

    // Return, Tab and Shift+Tab in lists, and the decoration commands: what the text and the
    // selection are afterwards, and whether the key was taken from the ordinary editing.
    void keysAndDecorations_data()
    {
        QTest::addColumn<Edit>("edit");
        const auto edit = [](const char *name, const char *action, const char *before,
                             const char *after, bool handled = true) {
            QTest::newRow(name) << Edit{action, before, after, handled};
        };
        edit("return: bullet continues", "return", "- a|", "- a\n- |");
        edit("return: number continues", "return", "x\n9. nine|\ny", "x\n9. nine\n10. |\ny");
        edit("return: caret inside splits the item", "return", "- ab|cd", "- ab\n- |cd");
        edit("return: selection is replaced", "return", "- a‹bc›d", "- a\n- |d");
        edit("return: empty item ends the list", "return", "- a\n- |\n- c", "- a\n\n|\n- c");
        edit("return: empty checkbox item ends the list", "return", "  - [ ] |", "\n|");
        edit("return on plain line: ordinary newline", "return", "text|", "text|", false);
        edit("return over two items: ordinary newline", "return", "‹- a\n- b›", "‹- a\n- b›",
             false);
        edit("tab keeps the selected text selected", "tab", "- ‹ab›c", "  - ‹ab›c");
        edit("tab on plain line: ordinary tab", "tab", "abc|", "abc|", false);
        edit("shift-tab removes two spaces", "backtab", "    - a|", "  - a|");
        edit("shift-tab removes a tab", "backtab", "\t- ‹a›", "- ‹a›");
        edit("shift-tab on one space: swallowed, unchanged", "backtab", " - a|", " - a|");
        edit("shift-tab with caret inside the indent", "backtab", " | - a", "|- a");
        edit("shift-tab keeps a selection that began in the removed indent", "backtab", " ‹ - a›",
             "‹- a›");
        edit("tab on lines ending in a line feed leaves the next line alone", "tab", "‹- a\n›- b",
             "  ‹- a\n›- b");
        edit("shift-tab on lines ending in a line feed leaves the next line alone", "backtab",
             "  ‹- a\n›  - b", "‹- a\n›  - b");
        edit("bold wraps and selects everything", "bold", "x‹abc›y", "x‹**abc**›y");
        edit("bold placeholder selected", "bold", "x|", "x**‹太字›**");
        edit("italic placeholder selected", "italic", "|y", "*‹斜体›*y");
        edit("link selects the url", "link", "see ‹docs›.", "see [docs](‹url›).");
        edit("link placeholder selects the text", "link", "|", "[‹テキスト›](url)");
        edit("decoration lengths count UTF-16 units", "link", "‹😀›", "[😀](‹url›)");
    }
    void keysAndDecorations()
    {
        QFETCH(Edit, edit);
        const auto &[action, before, after, handled] = edit;
        const Marked in = unmark(before);
        const QHash<QString, MarkdownDecoration> decorations{
            {QStringLiteral("bold"), MarkdownDecoration::bold},
            {QStringLiteral("italic"), MarkdownDecoration::italic},
            {QStringLiteral("link"), MarkdownDecoration::link}};
        ListEditing::KeyOutcome outcome;
        if (decorations.contains(action)) {
            const auto result = MarkdownDecorations::apply(
                decorations.value(action), in.text.sliced(in.start, in.length), in.start);
            outcome = {true, TextReplacement{in.start, in.length, result.replacement,
                                             result.selectionStart, result.selectionLength}};
        } else if (action == u"return") {
            outcome = ListEditing::returnKey(in.text, in.start, in.length);
        } else {
            outcome =
                ListEditing::indentKey(in.text, in.start, in.length,
                                       action == u"tab" ? ListEditing::IndentDirection::increase
                                                        : ListEditing::IndentDirection::decrease);
        }
        QCOMPARE(outcome.handled, handled);
        QCOMPARE(applied(in, outcome.edit), after);
    }

    void findMatches_data()
    {
        QTest::addColumn<Find>("find");
        QTest::newRow("matches never overlap") << Find{"aaaa", "aa", {0, 2}};
        QTest::newRow("capitals find every case")
            << Find{"Word word WORD wOrD", "WORD", {0, 5, 10, 15}};
        QTest::newRow("pattern characters are literal") << Find{"a.b axb (x)", ".", {1}};
        QTest::newRow("japanese") << Find{"日本語の日本", "日本", {0, 4}};
        QTest::newRow("empty query finds nothing") << Find{"abc", "", {}};
    }
    void findMatches()
    {
        QFETCH(Find, find);
        const auto &[text, query, starts] = find;
        QList<qsizetype> found;
        for (const TextSearch::Match &match : TextSearch::findMatches(text, query)) {
            QCOMPARE(match.length, query.size());
            found.append(match.start);
        }
        QCOMPARE(found, starts);
    }

    void liveTextIsFetchedOnlyWhenReadAfterAChange()
    {
        EditorLiveState live;
        QObject editor;
        int fetches = 0;
        live.setTextSource(&editor, [&] {
            ++fetches;
            return QStringLiteral("typed");
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

    void replacedTextKeepsPositions_data()
    {
        // "|" marks the position in `before` and where it must land in `after`.
        QTest::addColumn<Keeps>("keeps");
        const auto keeps = [](const char *name, const char *before, const char *after,
                              const char *expected) {
            QTest::newRow(name) << Keeps{before, after, expected};
        };
        keeps("change below stays put", "one|\ntwo\n", "one\ntwo\nthree\n", "one|\ntwo\nthree\n");
        keeps("insertion above moves it down", "one\ntw|o\n", "zero\none\ntwo\n",
              "zero\none\ntw|o\n");
        keeps("changes above and below: same line found again", "a\nb\nmi|ddle\nc\nd\n",
              "A\nb\nmiddle\nc\nD\n", "A\nb\nmi|ddle\nc\nD\n");
        keeps("repeated line: the nearest one", "x\n-\na\n-|\nb\n-\ny\n", "X\n-\na\n-\nb\n-\nY\n",
              "X\n-\na\n-|\nb\n-\nY\n");
        keeps("own line rewritten: end of the change", "a\nbe|fore\nc\n", "A\nafter\nc\n",
              "A\nafter|\nc\n");
        keeps("surrogate pair is not split", "😀|x", "😁x", "😁|x");
    }
    void replacedTextKeepsPositions()
    {
        QFETCH(Keeps, keeps);
        auto [before, after, expected] = keeps;
        const qsizetype position = before.indexOf(u'|');
        before.remove(position, 1);
        const TextReplacement change = TextEdits::differingRange(before, after);
        QCOMPARE(before.left(change.start) + change.text + before.mid(change.start + change.length),
                 after);
        QString placed = after;
        placed.insert(TextEdits::mapPosition(before, after, change, position), u'|');
        QCOMPARE(placed, expected);
    }
};

QTEST_GUILESS_MAIN(TestEditorLogic)
#include "tst_editorlogic.moc"
