#include "common/testenvironment.h"

#include "editor/markdowneditor.h"
#include "editor/notetextedit.h"
#include "platform/appevents.h"
#include "platform/settingsstore.h"

#include <QApplication>
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
    const QString text = QStringLiteral("line %1 column %2 selection %3 of %4")
                             .arg(info.line)
                             .arg(info.column)
                             .arg(info.selectionLength)
                             .arg(info.totalLength);
    return qstrdup(text.toUtf8().constData());
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
        QTextCursor cursor(view()->document());
        cursor.setPosition(int(start));
        cursor.setPosition(int(start + length), QTextCursor::KeepAnchor);
        view()->setTextCursor(cursor);
    }

    // The screen with "|" at the caret, or "‹" and "›" around the selection.
    QString marked() const
    {
        const QTextCursor cursor = view()->textCursor();
        QString text = screen();
        if (!cursor.hasSelection())
            return text.insert(cursor.position(), u'|');
        text.insert(cursor.selectionEnd(), u'›');
        return text.insert(cursor.selectionStart(), u'‹');
    }

    void load(const QString &marked)
    {
        QString text = marked;
        const qsizetype caret = text.indexOf(u'|');
        const qsizetype open = text.indexOf(u'‹');
        text.remove(u'|').remove(u'‹').remove(u'›');
        editor->setDocumentOpen(true);
        editor->loadText(text);
        if (caret >= 0)
            select(caret, 0);
        else if (open >= 0)
            select(open, marked.indexOf(u'›') - open - 1);
    }
};

} // namespace

class TestMarkdownEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_environment = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_environment.reset(); }

    void loadedTextReplacesWhatWasTyped_data();
    void loadedTextReplacesWhatWasTyped();
    void newFileResetsSelectionUndoAndScroll();
    void replacedTextKeepsCaretSelectionAndUndo();
    void typingIsReadFromTheDocumentAtOnce();
    void listKeys_data();
    void listKeys();
    void listEditIsOneUndoStep();
    void decorationOnlyWhileTheEditorHasFocus();
    void searchHighlightsLeaveTheDocumentAlone();
    void typingRefreshesHighlightsKeepingTheCurrentMatch();
    void scrollToLine();
    void cursorInfo();
    void cursorInfoOfTheSelection_data();
    void cursorInfoOfTheSelection();
    void liveTextFollowsEveryKindOfEdit();
    void searchHighlightsFollowTheScreenWhileTheCountStaysExact();
    void steppingRightAfterTypingSearchesTheNewText();
    void readOnlyUntilAFileIsOpen();
    void compositionIsReportedWhenItEnds();
    void findKeysGoToTheSearchBar();
    void textKeepsNoBreakSpacesThroughCopyAndPaste();
    void caretWidthFollowsTheSetting();

private:
    std::unique_ptr<TestEnvironment> m_environment;
};

// Another document replaces the screen whoever has the keyboard focus: the editor never shows
// one document's text under another's name.
void TestMarkdownEditor::loadedTextReplacesWhatWasTyped_data()
{
    QTest::addColumn<bool>("focusElsewhere");
    QTest::addColumn<bool>("composing");
    QTest::newRow("while typing in the editor") << false << false;
    QTest::newRow("after the user left the editor") << true << false;
    QTest::newRow("in the middle of a composition") << false << true;
}

void TestMarkdownEditor::loadedTextReplacesWhatWasTyped()
{
    QFETCH(bool, focusElsewhere);
    QFETCH(bool, composing);
    Window w;
    w.load(QStringLiteral("note|"));
    QVERIFY(w.focusEditor());
    QTest::keyClicks(w.view(), QStringLiteral("!"));
    QSignalSpy edited(w.editor, &MarkdownEditor::textEdited);
    if (composing) {
        QInputMethodEvent event(QStringLiteral("か"), {});
        QCoreApplication::sendEvent(w.view(), &event);
    }
    if (focusElsewhere)
        w.elsewhere->setFocus();

    w.editor->loadText(QStringLiteral("pushed"));
    QCOMPARE(w.screen(), QStringLiteral("pushed"));
    QCOMPARE(w.editor->text(), QStringLiteral("pushed"));
    QCOMPARE(w.live.latestText(), QStringLiteral("pushed"));
    QVERIFY(!w.view()->document()->isUndoAvailable());
    QCOMPARE(edited.count(), 0);
    // Typing goes on in the new text.
    QVERIFY(w.focusEditor());
    QTest::keyClicks(w.view(), QStringLiteral("x"));
    QCOMPARE(w.editor->text(), QStringLiteral("xpushed"));
}

void TestMarkdownEditor::newFileResetsSelectionUndoAndScroll()
{
    Window w;
    const QString text = QStringLiteral("line\n").repeated(100);
    w.load(text);
    QTest::qWait(1);
    QVERIFY(w.focusEditor());
    w.select(text.size(), 0);
    QTest::keyClicks(w.view(), QStringLiteral("typed"));
    QVERIFY(w.view()->document()->isUndoAvailable());
    QTRY_VERIFY(w.live.scrollOffset() > 0);

    // The same text as another document still starts afresh.
    w.editor->loadText(text + QStringLiteral("typed"));
    QCOMPARE(w.marked().left(6), QStringLiteral("|line\n"));
    QVERIFY(!w.view()->document()->isUndoAvailable());
    QCOMPARE(w.view()->verticalScrollBar()->value(), 0);
    QTRY_COMPARE(w.live.scrollOffset(), 0.0);
}

void TestMarkdownEditor::replacedTextKeepsCaretSelectionAndUndo()
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

void TestMarkdownEditor::typingIsReadFromTheDocumentAtOnce()
{
    Window w;
    w.load(QStringLiteral("|"));
    QSignalSpy edited(w.editor, &MarkdownEditor::textEdited);
    QVERIFY(w.focusEditor());

    QTest::keyClicks(w.view(), QStringLiteral("abc"));
    QCOMPARE(edited.count(), 3);
    QCOMPARE(w.editor->text(), QStringLiteral("abc"));
    QCOMPARE(w.live.latestText(), QStringLiteral("abc"));
}

void TestMarkdownEditor::listKeys_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("after");

    const Qt::KeyboardModifiers none = Qt::NoModifier;
    QTest::newRow("return continues a numbered item")
        << "1. one|" << int(Qt::Key_Return) << none << "1. one\n2. |";
    QTest::newRow("shift+return is a plain newline, not a list item")
        << "- a|" << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ShiftModifier) << "- a\n|";
    QTest::newRow("tab on plain text types a tab") << "a|" << int(Qt::Key_Tab) << none << "a\t|";
    QTest::newRow("tab indents the item below other lines, selection kept")
        << "x\n- ‹a›\ny" << int(Qt::Key_Tab) << none << "x\n  - ‹a›\ny";
    QTest::newRow("shift+tab outdents the item")
        << "  - a|" << int(Qt::Key_Backtab) << Qt::KeyboardModifiers(Qt::ShiftModifier) << "- a|";
}

void TestMarkdownEditor::listKeys()
{
    QFETCH(QString, before);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, after);
    Window w;
    w.load(before);
    QVERIFY(w.focusEditor());
    QTest::keyClick(w.view(), Qt::Key(key), modifiers);
    QCOMPARE(w.marked(), after);
    QCOMPARE(w.live.latestText(), w.screen());
}

void TestMarkdownEditor::listEditIsOneUndoStep()
{
    Window w;
    w.load(QStringLiteral("- a|"));
    QTest::keyClick(w.view(), Qt::Key_Return);
    QTest::keyClick(w.view(), Qt::Key_Return);
    QCOMPARE(w.marked(), QStringLiteral("- a\n\n|"));
    w.view()->undo();
    QCOMPARE(w.screen(), QStringLiteral("- a\n- "));
    w.view()->undo();
    QCOMPARE(w.screen(), QStringLiteral("- a"));
}

void TestMarkdownEditor::decorationOnlyWhileTheEditorHasFocus()
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
    QCOMPARE(w.marked(), QStringLiteral("‹**abc**› def"));
    w.editor->applyDecoration(MarkdownDecoration::bold);
    QCOMPARE(w.marked(), QStringLiteral("‹****abc****› def"));
    w.editor->applyDecoration(MarkdownDecoration::link);
    QCOMPARE(w.marked(), QStringLiteral("[****abc****](‹url›) def"));
    w.view()->undo();
    QCOMPARE(w.screen(), QStringLiteral("****abc**** def"));
}

void TestMarkdownEditor::searchHighlightsLeaveTheDocumentAlone()
{
    Window w;
    w.load(QStringLiteral("A x a x |a"));
    QTextDocument *document = w.view()->document();
    const int undoSteps = document->availableUndoSteps();
    const bool modified = document->isModified();
    QSignalSpy edited(w.editor, &MarkdownEditor::textEdited);
    QSignalSpy state(w.editor, &MarkdownEditor::searchStateChanged);

    w.editor->setSearchQuery(QStringLiteral("a"));
    QCOMPARE(w.editor->searchResultCount(), 3);
    QCOMPARE(w.editor->currentSearchIndex(), 0);
    QCOMPARE(w.marked(), QStringLiteral("|A x a x a"));
    QCOMPARE(w.view()->extraSelections().size(), 3);
    QCOMPARE(state.count(), 1);

    const QList<SearchDirection> steps{SearchDirection::next, SearchDirection::next,
                                       SearchDirection::next, SearchDirection::previous};
    QList<int> visited;
    for (const SearchDirection direction : steps) {
        w.editor->runSearchCommand({direction, QUuid::createUuid()});
        visited.append(w.editor->currentSearchIndex());
    }
    QCOMPARE(visited, QList<int>({1, 2, 0, 2}));
    QCOMPARE(w.marked(), QStringLiteral("A x a x |a"));

    // A command already obeyed is not obeyed twice.
    const SearchCommand command{SearchDirection::next, QUuid::createUuid()};
    w.editor->runSearchCommand(command);
    w.editor->runSearchCommand(command);
    QCOMPARE(w.editor->currentSearchIndex(), 0);

    w.editor->setSearchQuery(QString());
    QCOMPARE(w.view()->extraSelections().size(), 0);
    QCOMPARE(w.editor->searchResultCount(), 0);
    QCOMPARE(document->isModified(), modified);
    QCOMPARE(document->availableUndoSteps(), undoSteps);
    QCOMPARE(edited.count(), 0);
}

void TestMarkdownEditor::typingRefreshesHighlightsKeepingTheCurrentMatch()
{
    Window w;
    w.load(QStringLiteral("a a a|"));
    w.editor->setSearchQuery(QStringLiteral("a"));
    w.editor->runSearchCommand({SearchDirection::previous, QUuid::createUuid()});
    QCOMPARE(w.editor->currentSearchIndex(), 2);
    w.select(5, 0);
    QTest::keyClicks(w.view(), QStringLiteral(" A"));
    QTRY_COMPARE(w.editor->searchResultCount(), 4);
    QCOMPARE(w.editor->currentSearchIndex(), 2);
    QCOMPARE(w.marked(), QStringLiteral("a a a A|"));
}

void TestMarkdownEditor::scrollToLine()
{
    // No caret blinking: the repaint that could undo a settled request is made on purpose below.
    const int flashTime = QApplication::cursorFlashTime();
    QApplication::setCursorFlashTime(0);
    const auto restoreFlashTime =
        qScopeGuard([flashTime] { QApplication::setCursorFlashTime(flashTime); });
    Window w;
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines.append(QStringLiteral("line %1").arg(i));
    w.load(lines.join(u'\n') + u'\n');
    w.editor->setFontSize(10);

    w.editor->scrollToLine(50);
    QCOMPARE(w.view()->topVisibleLine(), 50);
    QCOMPARE(w.view()->textCursor().blockNumber(), 50);
    QCOMPARE(w.view()->textCursor().positionInBlock(), 0);
    QTRY_COMPARE(w.live.scrollOffset(), 10 * 1.5 * 50);

    // Past the end, the last line with text is shown and holds the caret.
    w.editor->scrollToLine(1000);
    QCOMPARE(w.view()->textCursor().blockNumber(), 199);
    QVERIFY(w.view()->viewport()->rect().contains(w.view()->cursorRect()));

    // Once the request has settled, the user's own scrolling is published again.
    QTRY_COMPARE(w.live.scrollOffset(), 10 * 1.5 * 1000);
    // A repaint (a caret blink) does not take the request back: the top line did not move.
    w.view()->viewport()->repaint();
    Q_EMIT w.view()->updateRequest(w.view()->viewport()->rect(), 0);
    QCOMPARE(w.live.scrollOffset(), 10 * 1.5 * 1000);
    w.view()->verticalScrollBar()->setValue(20);
    QCOMPARE(w.live.scrollOffset(), 10 * 1.5 * 20);
}

void TestMarkdownEditor::cursorInfo()
{
    Window w;
    w.load(QStringLiteral("abc|"));
    QTRY_COMPARE(w.live.cursorInfo(), EditorCursorInfo({1, 4, 0, 3}));
    w.load(QString());
    QTRY_COMPARE(w.live.cursorInfo(), EditorCursorInfo({1, 1, 0, 0}));

    w.load(QStringLiteral("ab\ncd\n|"));
    QTRY_COMPARE(w.live.cursorInfo(), EditorCursorInfo({3, 1, 0, 6}));
    w.select(4, 0);
    QTRY_COMPARE(w.live.cursorInfo(), EditorCursorInfo({2, 2, 0, 6}));

    // Backspace at the start of a line joins it to the line above.
    w.select(3, 0);
    QTest::keyClick(w.view(), Qt::Key_Backspace);
    QTRY_COMPARE(w.live.cursorInfo(), EditorCursorInfo({1, 3, 0, 5}));
}

void TestMarkdownEditor::cursorInfoOfTheSelection_data()
{
    QTest::addColumn<QString>("marked");
    QTest::addColumn<EditorCursorInfo>("expected");

    QTest::newRow("empty text") << "|" << EditorCursorInfo{1, 1, 0, 0};
    QTest::newRow("start of the second line") << "ab\n|cd" << EditorCursorInfo{2, 1, 0, 5};
    QTest::newRow("end of the text") << "ab\ncd|" << EditorCursorInfo{2, 3, 0, 5};
    QTest::newRow("after a final line feed: new empty line, column 1")
        << "ab\n|" << EditorCursorInfo{2, 1, 0, 3};
    QTest::newRow("selection across lines: measured from its start")
        << "a‹b\nc›d" << EditorCursorInfo{1, 2, 3, 5};
    QTest::newRow("columns count UTF-16 units") << "😀x|" << EditorCursorInfo{1, 4, 0, 3};
    QTest::newRow("line feeds only after a no-break space")
        << "\u00a0\n\n\u00a0|" << EditorCursorInfo{3, 2, 0, 4};
}

void TestMarkdownEditor::cursorInfoOfTheSelection()
{
    QFETCH(QString, marked);
    QFETCH(EditorCursorInfo, expected);
    Window w;
    // Another file first, so the info has to change to the expected one.
    w.load(QStringLiteral("x\ny\nz|"));
    QTRY_COMPARE(w.live.cursorInfo(), EditorCursorInfo({3, 2, 0, 5}));
    w.load(marked);
    QTRY_COMPARE(w.live.cursorInfo(), expected);
}

// The live text is fetched from the screen only when read; whatever changed the screen, it
// must read the same as the screen, and only real edits count as edits.
void TestMarkdownEditor::liveTextFollowsEveryKindOfEdit()
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
    QCOMPARE(w.live.latestText(), QStringLiteral("abc"));
    QCOMPARE(edited.count(), 1);

    compose(QStringLiteral("か"), QString());
    QCOMPARE(w.live.latestText(), QStringLiteral("abc"));
    compose(QString(), QStringLiteral("漢"));
    QCOMPARE(w.live.latestText(), QStringLiteral("abc漢"));
    QCOMPARE(edited.count(), 2);

    // A composition given up without committing anything is no edit, not even a changed text.
    const quint64 revision = w.live.textRevision();
    compose(QStringLiteral("じ"), QString());
    compose(QString(), QString());
    QCOMPARE(w.live.textRevision(), revision);
    QCOMPARE(edited.count(), 2);

    w.view()->undo();
    QCOMPARE(w.screen(), QStringLiteral("abc"));
    QCOMPARE(w.live.latestText(), w.screen());
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

void TestMarkdownEditor::searchHighlightsFollowTheScreenWhileTheCountStaysExact()
{
    Window w;
    QStringList lines;
    for (int i = 0; i < 3000; ++i)
        lines.append(QStringLiteral("word %1").arg(i));
    w.load(lines.join(u'\n'));
    // The highlighted lines, the current match's line first.
    const auto highlighted = [&] {
        QList<int> shown;
        const QList<QTextEdit::ExtraSelection> selections = w.view()->extraSelections();
        for (const QTextEdit::ExtraSelection &selection : selections) {
            const int line = selection.cursor.blockNumber();
            const bool current =
                selection.format.background() != selections.constFirst().format.background() ||
                selections.size() == 1;
            current ? shown.prepend(line) : shown.append(line);
        }
        return shown;
    };

    w.editor->setSearchQuery(QStringLiteral("WORD"));
    QCOMPARE(w.editor->searchResultCount(), 3000);
    QList<int> shown = highlighted();
    QVERIFY(shown.size() > 20 && shown.size() < 1000);
    QVERIFY(shown.contains(0) && !shown.contains(2999));

    w.editor->runSearchCommand({SearchDirection::previous, QUuid::createUuid()});
    QCOMPARE(w.editor->currentSearchIndex(), 2999);
    shown = highlighted();
    QCOMPARE(shown.first(), 2999);
    QVERIFY(!shown.contains(0));

    // Scrolling by hand brings the matches on screen into view.
    w.view()->verticalScrollBar()->setValue(1500);
    const int top = w.view()->topVisibleLine();
    shown = highlighted();
    QVERIFY(shown.contains(top) && shown.contains(top + 5));
    QVERIFY(!shown.contains(0) && !shown.contains(2999));
    QCOMPARE(w.editor->searchResultCount(), 3000);
}

void TestMarkdownEditor::steppingRightAfterTypingSearchesTheNewText()
{
    Window w;
    w.load(QStringLiteral("a a"));
    w.editor->setSearchQuery(QStringLiteral("a"));
    QCOMPARE(w.editor->searchResultCount(), 2);
    w.select(3, 0);
    QTest::keyClicks(w.view(), QStringLiteral(" a"));
    // Before the pause that refreshes the highlights.
    w.editor->runSearchCommand({SearchDirection::previous, QUuid::createUuid()});
    QCOMPARE(w.editor->searchResultCount(), 3);
    QCOMPARE(w.editor->currentSearchIndex(), 2);
    QCOMPARE(w.marked(), QStringLiteral("a a |a"));
}

void TestMarkdownEditor::readOnlyUntilAFileIsOpen()
{
    Window w;
    QVERIFY(w.view()->isReadOnly());
    QTest::keyClicks(w.view(), QStringLiteral("x"));
    QCOMPARE(w.screen(), QString());

    w.editor->setDocumentOpen(true);
    QVERIFY(!w.view()->isReadOnly());
    w.editor->setDocumentReadOnly(true);
    QVERIFY(w.view()->isReadOnly());
    w.editor->setDocumentReadOnly(false);
    w.editor->setDocumentOpen(false);
    QVERIFY(w.view()->isReadOnly());
}

void TestMarkdownEditor::compositionIsReportedWhenItEnds()
{
    Window w;
    w.load(QStringLiteral("|"));
    QVERIFY(w.focusEditor());
    QSignalSpy edited(w.editor, &MarkdownEditor::textEdited);
    const auto send = [&](const QString &preedit, const QString &commit) {
        QInputMethodEvent event(preedit, {});
        event.setCommitString(commit);
        QCoreApplication::sendEvent(w.view(), &event);
    };

    send(QStringLiteral("か"), QString());
    send(QStringLiteral("じ"), QStringLiteral("漢"));
    QCOMPARE(edited.count(), 0);

    // Cancelling the rest still reports what was committed on the way.
    send(QString(), QString());
    QCOMPARE(edited.count(), 1);
    QCOMPARE(w.live.latestText(), QStringLiteral("漢"));
}

void TestMarkdownEditor::findKeysGoToTheSearchBar()
{
    Window w;
    w.load(QStringLiteral("text|"));
    AppEvents &center = AppEvents::instance();
    QSignalSpy posted(&center, &AppEvents::posted);
    QSignalSpy navigate(&center, &AppEvents::editorSearchNavigate);

    QTest::keySequence(w.view(), QKeySequence::Find);
    QTest::keySequence(w.view(), QKeySequence::FindNext);
    QTest::keySequence(w.view(), QKeySequence::FindPrevious);
    QCOMPARE(posted.count(), 3);
    QCOMPARE(posted.at(0).at(0).toString(), Notifications::FocusEditorSearchBar);
    QCOMPARE(navigate.at(0).at(0).value<SearchDirection>(), SearchDirection::next);
    QCOMPARE(navigate.at(1).at(0).value<SearchDirection>(), SearchDirection::previous);
    QCOMPARE(w.screen(), QStringLiteral("text"));
}

void TestMarkdownEditor::textKeepsNoBreakSpacesThroughCopyAndPaste()
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

void TestMarkdownEditor::caretWidthFollowsTheSetting()
{
    Window w;
    QCOMPARE(w.view()->cursorWidth(), 2);
    SettingsStore::instance().setValue(QStringLiteral("thickEditorCursor"), false);
    QCOMPARE(w.view()->cursorWidth(), 1);
    SettingsStore::instance().remove(QStringLiteral("thickEditorCursor"));
    QCOMPARE(w.view()->cursorWidth(), 2);
}

QTEST_MAIN(TestMarkdownEditor)
#include "tst_markdowneditor.moc"
