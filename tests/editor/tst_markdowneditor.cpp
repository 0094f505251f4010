#include "common/testenvironment.h"
#include "editor/markedtext.h"

#include "editor/markdowneditor.h"
#include "editor/notetextedit.h"
#include "platform/appevents.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QVBoxLayout>

char *toString(const EditorCursorInfo &info)
{
    return QTest::toString(QStringLiteral("line %1 column %2 selection %3 of %4")
                               .arg(info.line)
                               .arg(info.column)
                               .arg(info.selectionLength)
                               .arg(info.totalLength));
}

namespace {

// An editor in a shown window, next to a line edit that can take the focus away from it.
struct Window
{
    EditorLiveState live;
    QWidget window;
    MarkdownEditor *editor = new MarkdownEditor(live);
    QLineEdit *elsewhere = new QLineEdit;

    Window()
    {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(elsewhere);
        layout->addWidget(editor);
        window.resize(400, 300);
        window.show();
    }

    NoteTextEdit *view() const { return editor->textEdit(); }
    QString screen() const { return view()->plainText(); }
    QTextDocument *document() const { return view()->document(); }
    void search(SearchDirection direction) const
    {
        editor->runSearchCommand({direction, QUuid::createUuid()});
    }

    bool focusEditor()
    {
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            return false;
        editor->focusEditor();
        return view()->hasFocus();
    }

    void select(qsizetype start, qsizetype length)
    {
        QTextCursor cursor(document());
        cursor.setPosition(int(start));
        cursor.setPosition(int(start + length), QTextCursor::KeepAnchor);
        view()->setTextCursor(cursor);
    }

    QString marked() const
    {
        const QTextCursor cursor = view()->textCursor();
        return MarkedText::mark(screen(), cursor.selectionStart(),
                                cursor.selectionEnd() - cursor.selectionStart());
    }

    void load(const QString &marked)
    {
        const MarkedText::Marked loaded = MarkedText::unmark(marked);
        editor->setDocumentOpen(true);
        editor->loadText(loaded.text);
        select(loaded.start, loaded.length);
    }
};

} // namespace

class TestMarkdownEditor : public QObject
{
    Q_OBJECT
    using Key = std::tuple<QString, Qt::Key, bool, QString>; // before, key, shift, after

private Q_SLOTS:
    void init() { m_environment = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_environment.reset(); }

    // Another document replaces the screen in the middle of typing: the editor never shows one
    // document's text under another's name, nor keeps its caret, undo or scrolling; the same text
    // as another document still starts afresh. (Unfocused and composing: tst_documentroad.)
    void loadedTextStartsAfresh()
    {
        Window w;
        const QString text = QStringLiteral("line\n").repeated(100);
        w.load(text);
        QTest::qWait(1);
        QVERIFY(w.focusEditor());
        w.select(text.size(), 0);
        QTest::keyClicks(w.view(), QStringLiteral("typed"));
        QTRY_VERIFY(w.live.scrollOffset() > 0);
        QSignalSpy edited(w.editor, &MarkdownEditor::textEdited);

        w.editor->loadText(text + QStringLiteral("typed"));
        QCOMPARE(w.marked().left(6), QStringLiteral("|line\n"));
        QVERIFY(!w.document()->isUndoAvailable());
        QCOMPARE(w.view()->verticalScrollBar()->value(), 0);
        QTRY_COMPARE(w.live.scrollOffset(), 0.0);
        w.editor->loadText(QStringLiteral("pushed"));
        QCOMPARE(w.live.latestText(), QStringLiteral("pushed"));
        QCOMPARE(edited.count(), 0);
        QTest::keyClicks(w.view(), QStringLiteral("x"));
        QCOMPARE(w.editor->text(), QStringLiteral("xpushed"));
    }

    void replacedTextKeepsCaretSelectionAndUndo()
    {
        Window w;
        w.load(QStringLiteral("head\nbody|\n"));
        QVERIFY(w.focusEditor());
        QTest::keyClicks(w.view(), QStringLiteral(" typed"));
        QSignalSpy edited(w.editor, &MarkdownEditor::textEdited);

        // Another program's lines above and below, merged in while the user types.
        w.editor->replaceText(QStringLiteral("top\nhead\nbody typed\ntail\n"));
        QCOMPARE(w.marked(), QStringLiteral("top\nhead\nbody typed|\ntail\n"));
        QCOMPARE(edited.count(), 0);
        QTest::keyClicks(w.view(), QStringLiteral("!"));
        QCOMPARE(w.editor->text(), QStringLiteral("top\nhead\nbody typed!\ntail\n"));

        // A selection clear of the change survives it.
        w.select(0, 3);
        w.editor->replaceText(QStringLiteral("top\nhead\nbody typed!\ntail\nmore\n"));
        QCOMPARE(w.marked().left(6), QStringLiteral("‹top›\n"));

        // Undo walks back through the replaced texts to what was typed.
        w.view()->undo();
        QCOMPARE(w.screen(), QStringLiteral("top\nhead\nbody typed!\ntail\n"));
        w.view()->undo();
        w.view()->undo();
        QCOMPARE(w.screen(), QStringLiteral("head\nbody typed\n"));
    }

    // The keys reach the list editing, each edit one undo step; what each edit does is covered by
    // tst_editorlogic.
    void listKeys_data()
    {
        QTest::addColumn<Key>("key");
        const auto key = [](const char *name, const char *before, Qt::Key key, bool shift,
                            const char *after) {
            QTest::newRow(name) << Key{before, key, shift, after};
        };
        key("return continues a numbered item", "1. one|", Qt::Key_Return, false, "1. one\n2. |");
        key("shift+return is a plain newline", "- a|", Qt::Key_Return, true, "- a\n|");
        key("tab on plain text types a tab", "a|", Qt::Key_Tab, false, "a\t|");
        key("tab indents the item, selection kept", "x\n- ‹a›\ny", Qt::Key_Tab, false,
            "x\n  - ‹a›\ny");
        key("shift+tab outdents the item", "  - a|", Qt::Key_Backtab, true, "- a|");
    }
    void listKeys()
    {
        QFETCH(Key, key);
        const auto &[before, pressed, shift, after] = key;
        Window w;
        w.load(before);
        QVERIFY(w.focusEditor());
        QTest::keyClick(w.view(), pressed, shift ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(w.marked(), after);
        QCOMPARE(w.live.latestText(), w.screen());
        w.view()->undo();
        QCOMPARE(w.screen(), MarkedText::unmark(before).text);
    }

    void decorationOnlyWhileTheEditorHasFocus()
    {
        Window w;
        w.load(QStringLiteral("‹abc› def"));
        QVERIFY(w.focusEditor());
        w.elsewhere->setFocus();
        w.editor->applyDecoration(MarkdownDecoration::bold);
        QCOMPARE(w.screen(), QStringLiteral("abc def"));

        w.editor->focusEditor();
        w.select(0, 3);
        w.editor->applyDecoration(MarkdownDecoration::bold);
        w.editor->applyDecoration(MarkdownDecoration::link);
        QCOMPARE(w.marked(), QStringLiteral("[**abc**](‹url›) def"));
        w.view()->undo();
        QCOMPARE(w.screen(), QStringLiteral("**abc** def"));
    }

    void searchHighlightsLeaveTheDocumentAlone()
    {
        Window w;
        w.load(QStringLiteral("A x a x |a"));
        const qsizetype undoSteps = w.document()->availableUndoSteps();
        const qsizetype modified = w.document()->isModified();
        QSignalSpy edited(w.editor, &MarkdownEditor::textEdited);
        QSignalSpy state(w.editor, &MarkdownEditor::searchStateChanged);

        w.editor->setSearchQuery(QStringLiteral("a"));
        QCOMPARE(w.marked(), QStringLiteral("|A x a x a"));
        // Matches counted, highlighted, and one state change reported.
        QCOMPARE((QList<qsizetype>{w.editor->searchResultCount(),
                                   w.view()->extraSelections().size(), state.count()}),
                 (QList<qsizetype>{3, 3, 1}));

        QList<int> visited{w.editor->currentSearchIndex()};
        for (const SearchDirection direction : {SearchDirection::next, SearchDirection::next,
                                                SearchDirection::next, SearchDirection::previous}) {
            w.search(direction);
            visited.append(w.editor->currentSearchIndex());
        }
        QCOMPARE(visited, QList<int>({0, 1, 2, 0, 2}));
        QCOMPARE(w.marked(), QStringLiteral("A x a x |a"));

        // A command already obeyed is not obeyed twice.
        const SearchCommand command{SearchDirection::next, QUuid::createUuid()};
        w.editor->runSearchCommand(command);
        w.editor->runSearchCommand(command);
        QCOMPARE(w.editor->currentSearchIndex(), 0);

        w.editor->setSearchQuery(QString());
        // No highlight left; modified flag, undo steps and edits as before the search.
        QCOMPARE((QList<qsizetype>{w.view()->extraSelections().size(), w.document()->isModified(),
                                   w.document()->availableUndoSteps(), edited.count()}),
                 (QList<qsizetype>{0, modified, undoSteps, 0}));
    }

    // A step right after typing, before the pause that refreshes the highlights, searches the
    // new text; the refresh then keeps the current match.
    void searchFollowsTyping()
    {
        Window w;
        w.load(QStringLiteral("a a"));
        w.editor->setSearchQuery(QStringLiteral("a"));
        QCOMPARE(w.editor->searchResultCount(), 2);
        w.select(3, 0);
        QTest::keyClicks(w.view(), QStringLiteral(" a"));
        w.search(SearchDirection::previous);
        QCOMPARE(w.editor->searchResultCount(), 3);
        QCOMPARE(w.editor->currentSearchIndex(), 2);
        QCOMPARE(w.marked(), QStringLiteral("a a |a"));

        w.select(5, 0);
        QTest::keyClicks(w.view(), QStringLiteral(" A"));
        QTRY_COMPARE(w.editor->searchResultCount(), 4);
        QCOMPARE(w.editor->currentSearchIndex(), 2);
        QCOMPARE(w.marked(), QStringLiteral("a a a A|"));
    }

    void scrollToLine()
    {
        // No caret blinking: the repaint that could undo a settled request is made on purpose.
        const int flashTime = QApplication::cursorFlashTime();
        QApplication::setCursorFlashTime(0);
        const auto restore =
            qScopeGuard([flashTime] { QApplication::setCursorFlashTime(flashTime); });
        Window w;
        QStringList lines;
        for (int i = 0; i < 200; ++i)
            lines.append(QStringLiteral("line %1").arg(i));
        w.load(lines.join(u'\n') + u'\n');
        w.editor->setFontSize(10);

        w.editor->scrollToLine(50);
        QCOMPARE(w.view()->topVisibleLine(), 50);
        QCOMPARE(w.marked().indexOf(u'|'), w.screen().indexOf(QStringLiteral("line 50")));
        QTRY_COMPARE(w.live.scrollOffset(), 10 * 1.5 * 50);

        // Past the end, the last line with text is shown and holds the caret.
        w.editor->scrollToLine(1000);
        QCOMPARE(w.view()->textCursor().blockNumber(), 199);
        QVERIFY(w.view()->viewport()->rect().contains(w.view()->cursorRect()));

        // Once the request has settled, the user's own scrolling is published again; a repaint
        // (a caret blink) does not take the request back: the top line did not move.
        QTRY_COMPARE(w.live.scrollOffset(), 10 * 1.5 * 1000);
        w.view()->viewport()->repaint();
        Q_EMIT w.view()->updateRequest(w.view()->viewport()->rect(), 0);
        QCOMPARE(w.live.scrollOffset(), 10 * 1.5 * 1000);
        w.view()->verticalScrollBar()->setValue(20);
        QCOMPARE(w.live.scrollOffset(), 10 * 1.5 * 20);
    }

    void cursorInfo_data()
    {
        QTest::addColumn<QString>("marked");
        QTest::addColumn<EditorCursorInfo>("expected");
        const auto at = [](const char *name, const char *marked, const EditorCursorInfo &info) {
            QTest::newRow(name) << QString::fromUtf8(marked) << info;
        };
        at("empty text", "|", {1, 1, 0, 0});
        at("after a final line feed: new empty line, column 1", "ab\n|", {2, 1, 0, 3});
        at("selection across lines: measured from its start", "a‹b\nc›d", {1, 2, 3, 5});
        at("columns count UTF-16 units", "😀x|", {1, 4, 0, 3});
        at("line feeds only after a no-break space", "\u00a0\n\n\u00a0|", {3, 2, 0, 4});
    }
    void cursorInfo()
    {
        QFETCH(QString, marked);
        QFETCH(EditorCursorInfo, expected);
        Window w;
        // Another file first, so the info has to change to the expected one.
        w.load(QStringLiteral("x\ny\nz|"));
        QTRY_COMPARE(w.live.cursorInfo(), EditorCursorInfo({3, 2, 0, 5}));
        w.load(marked);
        QTRY_COMPARE(w.live.cursorInfo(), expected);
        // An edit moves it too: Backspace at the start of a line joins it to the line above.
        w.load(QStringLiteral("ab\n|cd"));
        QTest::keyClick(w.view(), Qt::Key_Backspace);
        QTRY_COMPARE(w.live.cursorInfo(), EditorCursorInfo({1, 3, 0, 4}));
    }

    // The live text is fetched from the screen only when read; whatever changed the screen, it
    // must read the same as the screen, and only real edits count as edits.
    void liveTextFollowsEveryKindOfEdit()
    {
        Window w;
        w.load(QStringLiteral("ab|"));
        QVERIFY(w.focusEditor());
        QSignalSpy edited(w.editor, &MarkdownEditor::textEdited);
        const auto compose = [&](const QString &preedit, const QString &commit) {
            QInputMethodEvent event(preedit, {});
            event.setCommitString(commit);
            QCoreApplication::sendEvent(w.view(), &event);
        };

        QTest::keyClicks(w.view(), QStringLiteral("c"));
        QCOMPARE(edited.count(), 1);

        // A composition is reported when it ends, with what was committed on the way.
        compose(QStringLiteral("か"), QString());
        QCOMPARE(w.live.latestText(), QStringLiteral("abc"));
        compose(QStringLiteral("じ"), QStringLiteral("漢"));
        QCOMPARE(edited.count(), 1);
        compose(QString(), QString());
        QCOMPARE(w.live.latestText(), QStringLiteral("abc漢"));
        QCOMPARE(edited.count(), 2);

        // A composition given up without committing anything is no edit, not even a changed text.
        const quint64 revision = w.live.textRevision();
        compose(QStringLiteral("じ"), QString());
        compose(QString(), QString());
        QCOMPARE(w.live.textRevision(), revision);
        QCOMPARE(edited.count(), 2);

        w.view()->undo();
        QCOMPARE(w.live.latestText(), QStringLiteral("abc"));
        w.view()->redo();
        QCOMPARE(w.live.latestText(), QStringLiteral("abc漢"));
        QCOMPARE(edited.count(), 4);

        // Replacing a selection with as many characters is an edit as well.
        w.select(1, 1);
        QTest::keyClicks(w.view(), QStringLiteral("B"));
        QCOMPARE(w.live.latestText(), QStringLiteral("aBc漢"));
        QTest::keyClick(w.view(), Qt::Key_Backspace);
        QCOMPARE(w.live.latestText(), QStringLiteral("ac漢"));
        QCOMPARE(edited.count(), 6);
    }

    void searchHighlightsFollowTheScreenWhileTheCountStaysExact()
    {
        Window w;
        QStringList lines;
        for (int i = 0; i < 3000; ++i)
            lines.append(QStringLiteral("word %1").arg(i));
        w.load(lines.join(u'\n'));
        const auto highlighted = [&] {
            QSet<int> lines;
            for (const QTextEdit::ExtraSelection &selection : w.view()->extraSelections())
                lines.insert(selection.cursor.blockNumber());
            return lines;
        };

        w.editor->setSearchQuery(QStringLiteral("WORD"));
        QCOMPARE(w.editor->searchResultCount(), 3000);
        QSet<int> shown = highlighted();
        QVERIFY(shown.size() > 20 && shown.size() < 1000);
        QVERIFY(shown.contains(0) && !shown.contains(2999));

        w.search(SearchDirection::previous);
        QCOMPARE(w.editor->currentSearchIndex(), 2999);
        shown = highlighted();
        QVERIFY(shown.contains(2999) && !shown.contains(0));

        // Scrolling by hand brings the matches on screen into view.
        w.view()->verticalScrollBar()->setValue(1500);
        const int top = w.view()->topVisibleLine();
        shown = highlighted();
        QVERIFY(shown.contains(top) && shown.contains(top + 5));
        QVERIFY(!shown.contains(0) && !shown.contains(2999));
        QCOMPARE(w.editor->searchResultCount(), 3000);
    }

    void readOnlyUntilAFileIsOpen()
    {
        Window w;
        QVERIFY(w.view()->isReadOnly());
        QTest::keyClicks(w.view(), QStringLiteral("x"));
        QCOMPARE(w.screen(), QString());
        w.editor->setDocumentOpen(true);
        QVERIFY(!w.view()->isReadOnly());
        w.editor->setDocumentOpen(false);
        QVERIFY(w.view()->isReadOnly());
    }

    void textKeepsNoBreakSpacesThroughCopyAndPaste()
    {
        Window w;
        const QString text = QStringLiteral("a\u00a0b\nc");
        w.load(u'‹' + text + u'›');
        w.view()->copy();
        w.select(text.size(), 0);
        w.view()->paste();
        QCOMPARE(w.screen(), text + text);
        QCOMPARE(w.live.latestText(), text + text);
    }

    // Characters the document would take for line ends, though a note does not, stay what they
    // are, one line, through loading, typing elsewhere, a change from outside and copying.
    void keepsCharactersTheDocumentBreaksAt_data()
    {
        QTest::addColumn<QChar>("character");
        QTest::newRow("paragraph separator") << QChar(QChar::ParagraphSeparator);
        QTest::newRow("line separator") << QChar(QChar::LineSeparator);
        QTest::newRow("frame start") << QChar(0xFDD0);
        QTest::newRow("frame end") << QChar(0xFDD1);
    }
    void keepsCharactersTheDocumentBreaksAt()
    {
        QFETCH(QChar, character);
        Window w;
        const QString line = QStringLiteral("one") + character + QStringLiteral("two");
        w.load("top\n" + line + "\nend|");
        QCOMPARE(w.document()->blockCount(), 3);
        QVERIFY(w.focusEditor());
        QTest::keyClicks(w.view(), QStringLiteral("!"));
        QCOMPARE(w.editor->text(), "top\n" + line + "\nend!");

        const QString merged = line + "\ntop\n" + line + "\nend!";
        w.editor->replaceText(merged);
        QCOMPARE(w.editor->text(), merged);
        QCOMPARE(w.live.latestText(), merged);
        QCOMPARE(w.document()->blockCount(), 4);
        w.select(0, line.size());
        w.view()->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), line);
    }

private:
    std::unique_ptr<TestEnvironment> m_environment;
};

QTEST_MAIN(TestMarkdownEditor)
#include "tst_markdowneditor.moc"
