#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "app/contentview.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "editor/notetextedit.h"
#include "notes/notesview.h"
#include "platform/appevents.h"
#include "platform/clock.h"
#include "search/searchview.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"
#include "storage/recovery.h"
#include "storage/settings.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QString readText(const QString &path)
{
    return QString::fromUtf8(TestFiles::read(path));
}

void writeText(const QString &path, const QString &text)
{
    QVERIFY(TestFiles::write(path, text.toUtf8()));
}

QString bodyOf(const QString &path)
{
    return parseNoteDocument(readText(path)).body;
}

/// Runs the event loop until everything already queued, such as the steps a widget defers
/// to the next turn when it is shown, has run.
void settleQueuedSteps(QObject *context)
{
    bool settled = false;
    QTimer::singleShot(0, context, [&settled] { settled = true; });
    QTRY_VERIFY(settled);
}

} // namespace

class TestContentView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void toggledCheckboxText_data();
    void toggledCheckboxText();
    void sidePaneWindowWidth_data();
    void sidePaneWindowWidth();
    void restoresLastPage_data();
    void restoresLastPage();
    void failedSaveOnSwitchKeepsEdits();
    void focusWhenTheWindowComesBack_data();
    void focusWhenTheWindowComesBack();
    void openNoteFollowsItsFolderAndTitle();
    void checkboxToggleMarksModified();
    void baseFolderChangeReloadsSelectedDay();
    void autosaveFollowsTheClock();
    void otherProgramsChangesWhileTyping();
    void quittingAfterAFailedSaveAsksAndKeepsARecoveryFile();

private:
    void typeIntoEditor(const QString &text);
    /// Shows the notes page with a note holding `text` open.
    QString openNote(const QString &name, const QString &text);
    /// A file stands where the daily memos' folder would be, so saving a memo fails.
    QString blockDailyFolder();
    QString notePath(const QString &name) const { return m_base + u"/Notes/"_s + name; }
    QString daily(const QString &day = u"2025-03-05"_s) const
    {
        return m_base + u"/Daily/"_s + day + u".txt"_s;
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<MemoManager> m_memo;
    std::unique_ptr<QMainWindow> m_window;
    ContentView *m_view = nullptr;
    QString m_base;
};

void TestContentView::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_clock = std::make_unique<FixedClock>(
        QDateTime(QDate(2025, 3, 5), QTime(9, 0), QTimeZone("Asia/Tokyo")),
        QTimeZone("Asia/Tokyo"));
    Clock::setCurrent(m_clock.get());
    m_base = m_env->useBaseFolder();
    m_memo = std::make_unique<MemoManager>();
    m_window = std::make_unique<QMainWindow>();
    m_view = new ContentView(*m_memo, m_window.get());
    m_window->setCentralWidget(m_view);
    m_window->resize(1000, 600);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestContentView::cleanup()
{
    // Hidden while everything is whole: hiding the editor saves.
    m_window->hide();
    m_window.reset();
    m_memo.reset();
    m_env.reset();
    m_clock.reset();
}

void TestContentView::typeIntoEditor(const QString &text)
{
    NoteTextEdit *textEdit = m_view->editorView()->editor()->textEdit();
    textEdit->setFocus();
    textEdit->moveCursor(QTextCursor::End);
    // keyClicks only knows ASCII; send each character as a typed key with its text.
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, textEdit, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QString TestContentView::openNote(const QString &name, const QString &text)
{
    const QString path = notePath(name);
    writeText(path, text);
    m_view->appear();
    m_view->setSelectedPage(ContentView::Page::notes);
    m_view->notesFileSelected(path);
    return path;
}

QString TestContentView::blockDailyFolder()
{
    const QString folder = m_base + u"/Daily"_s;
    QDir(folder).removeRecursively();
    writeText(folder, u"in the way"_s);
    return folder;
}

void TestContentView::toggledCheckboxText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<QString>("expected"); // empty: nothing to toggle
    const auto row = [](const char *name, const char *text, qint64 line, const char *expected) {
        QTest::newRow(name) << QString::fromUtf8(text) << line << QString::fromUtf8(expected);
    };
    row("unchecked becomes checked", "a\n- [ ] task\nb", 1, "a\n- [x] task\nb");
    row("capital X becomes unchecked, indentation kept", "  \t- [X] done", 0, "  \t- [ ] done");
    row("line without checkbox", "- plain", 0, "");
    row("other bullets are not toggled", "* [ ] star", 0, "");
    row("checkbox without its space", "- [ ]", 0, "");
    row("line past the end", "- [ ] a", 1, "");
    row("negative line", "- [ ] a", -1, "");
}

void TestContentView::toggledCheckboxText()
{
    QFETCH(QString, text);
    QFETCH(qint64, line);
    QFETCH(QString, expected);
    QCOMPARE(ContentView::toggledCheckboxText(text, line).value_or(QString()), expected);
}

void TestContentView::sidePaneWindowWidth_data()
{
    QTest::addColumn<bool>("shown");
    QTest::addColumn<int>("window");
    QTest::addColumn<int>("editor");
    QTest::addColumn<int>("expected");
    QTest::newRow("showing adds the editor's width") << true << 800 << 500 << 1300;
    QTest::newRow("hiding never goes below 400") << false << 800 << 500 << 400;
    QTest::newRow("hiding removes the editor's width") << false << 1200 << 500 << 700;
    QTest::newRow("unmeasured editor counts as 600") << true << 800 << 0 << 1400;
}

void TestContentView::sidePaneWindowWidth()
{
    QFETCH(bool, shown);
    QFETCH(int, window);
    QFETCH(int, editor);
    QFETCH(int, expected);
    QCOMPARE(ContentView::windowWidthForSidePane(shown, window, editor), expected);
}

void TestContentView::restoresLastPage_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<ContentView::Page>("expected");
    QTest::newRow("search") << "search" << ContentView::Page::search;
    QTest::newRow("unknown value falls back to the calendar")
        << "diary" << ContentView::Page::calendar;
}

// The page shown at the start is the one chosen last; a page chosen is stored for the next start.
void TestContentView::restoresLastPage()
{
    QFETCH(QString, stored);
    QFETCH(ContentView::Page, expected);
    Settings::instance().setLastSelectedPage(stored);
    m_view->appear();
    QCOMPARE(m_view->selectedPage(), expected);
    m_view->setSelectedPage(ContentView::Page::notes);
    QCOMPARE(Settings::instance().lastSelectedPage(), u"notes"_s);
}

// Every way away from a document whose edits could not be written stays where it is: the
// document open, modified, with the message.
void TestContentView::failedSaveOnSwitchKeepsEdits()
{
    m_view->appear();
    typeIntoEditor(u"大事なこと"_s);
    const QString folder = blockDailyFolder();

    m_view->setSelectedPage(ContentView::Page::notes);
    QCOMPARE(m_view->selectedPage(), ContentView::Page::calendar);
    m_view->dateChanged(QDate(2025, 3, 6));
    QCOMPARE(m_view->selectedDate(), QDate(2025, 3, 5));
    QVERIFY(!m_view->loadDocument(notePath(u"any.md"_s)));
    QVERIFY(!m_view->saveAndClear());

    QCOMPARE(m_memo->currentFilePath(), folder + u"/2025-03-05.txt"_s);
    QVERIFY(m_memo->isModified());
    QCOMPARE(m_memo->temporaryMessage(), MemoManager::saveFailedMessage);
    QCOMPARE(m_view->editorText(), u"大事なこと"_s);
    QVERIFY(QFile::remove(folder));
    m_view->setSelectedPage(ContentView::Page::notes);
    QCOMPARE(m_view->selectedPage(), ContentView::Page::notes);
}

// The window shown again (after it was hidden) brings the editor back on screen: it takes the
// keyboard focus on the calendar page, while on the search page the search field keeps it.
void TestContentView::focusWhenTheWindowComesBack_data()
{
    QTest::addColumn<ContentView::Page>("page");
    QTest::newRow("calendar page: the editor") << ContentView::Page::calendar;
    QTest::newRow("search page: the search field") << ContentView::Page::search;
}

void TestContentView::focusWhenTheWindowComesBack()
{
    QFETCH(ContentView::Page, page);
    const bool searching = page == ContentView::Page::search;
    m_view->appear();
    m_view->setSelectedPage(page);
    settleQueuedSteps(this);
    QAbstractButton *picker = nullptr;
    for (QAbstractButton *candidate : m_view->findChildren<QAbstractButton *>())
        picker = picker ? picker : candidate->accessibleName() == u"日付" ? candidate : nullptr;
    QVERIFY(picker);
    picker->setFocus();
    QCOMPARE(m_window->focusWidget(), picker);

    QSignalSpy posted(&AppEvents::instance(), &AppEvents::posted);
    m_window->hide();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    settleQueuedSteps(this);

    QWidget *expected = searching
                            ? static_cast<QWidget *>(m_view->searchView()->findChild<QLineEdit *>())
                            : m_view->editorView()->editor()->textEdit();
    QVERIFY(expected);
    QCOMPARE(m_window->focusWidget(), expected);
    const QList<QVariant> focusEditor{Notifications::FocusEditor};
    QCOMPARE(posted.count(focusEditor), searching ? 0 : 1);
}

// The open note moves under edits, with its folder and by a new title; edits land where it went.
void TestContentView::openNoteFollowsItsFolderAndTitle()
{
    const QString oldPath = openNote(u"仕事/plan.md"_s, u"v1"_s);
    const QString newPath = notePath(u"業務/plan.md"_s);
    typeIntoEditor(u" v2"_s);

    // What the notes page does when the folder is renamed: save, move, report.
    Q_EMIT m_view->notesView()->saveRequested();
    QVERIFY(QDir().rename(notePath(u"仕事"_s), notePath(u"業務"_s)));
    Q_EMIT m_view->notesView()->openFileMoved(oldPath, newPath);

    QCOMPARE(m_memo->currentFilePath(), newPath);
    QCOMPARE(m_view->notesSelectedFile(), newPath);
    QCOMPARE(bodyOf(newPath), u"v1 v2"_s);
    typeIntoEditor(u" v3"_s);
    m_view->saveCurrent();
    QCOMPARE(bodyOf(newPath), u"v1 v2 v3"_s);
    QVERIFY(!QFileInfo::exists(notePath(u"仕事"_s)));

    QVERIFY(!m_view->renameFromTitle(QString()));
    QVERIFY(m_view->renameFromTitle(u"計画"_s));
    QCOMPARE(m_view->notesSelectedFile(), notePath(u"業務/計画.md"_s));
    QCOMPARE(bodyOf(m_view->notesSelectedFile()), u"v1 v2 v3"_s);
}

void TestContentView::checkboxToggleMarksModified()
{
    m_view->appear();
    typeIntoEditor(u"- [ ] buy tea"_s);
    m_view->saveCurrent();
    m_view->toggleCheckboxLine(0);
    QCOMPARE(m_view->editorText(), u"- [x] buy tea"_s);
    QVERIFY(m_memo->isModified());
    // One undo step, like an edit.
    m_view->editorView()->editor()->textEdit()->undo();
    QCOMPARE(m_view->editorText(), u"- [ ] buy tea"_s);
}

void TestContentView::baseFolderChangeReloadsSelectedDay()
{
    m_view->appear();
    m_view->dateChanged(QDate(2025, 1, 2));
    const QString other = m_env->makeFolder(u"other"_s);
    writeText(other + u"/Daily/2025-01-02.txt"_s, u"elsewhere"_s);
    PathManager::setBaseFolder(other);
    QCOMPARE(m_memo->currentFilePath(), other + u"/Daily/2025-01-02.txt"_s);
    QCOMPARE(m_view->editorText(), u"elsewhere"_s);
}

void TestContentView::autosaveFollowsTheClock()
{
    m_view->appear();
    typeIntoEditor(u"a"_s);
    m_view->autosaveIfDue();
    QVERIFY(!QFile::exists(daily()));

    // Two seconds after the last keystroke.
    m_clock->advance(1);
    typeIntoEditor(u"b"_s);
    m_clock->advance(1);
    m_view->autosaveIfDue();
    QVERIFY(!QFile::exists(daily()));
    m_clock->advance(1);
    m_view->autosaveIfDue();
    QCOMPARE(bodyOf(daily()), u"ab"_s);
    QVERIFY(!m_memo->isModified());
    // Quietly: no "saved" message for an autosave.
    QCOMPARE(m_memo->temporaryMessage(), QString());

    // Typing that never pauses is still saved every 30 seconds.
    for (int second = 0; second < 30; ++second) {
        typeIntoEditor(u"c"_s);
        m_clock->advance(1);
        m_view->autosaveIfDue();
    }
    QVERIFY(bodyOf(daily()).startsWith(u"abccc"_s));
}

void TestContentView::otherProgramsChangesWhileTyping()
{
    m_memo->setWatchingFile(true);
    const QString path =
        openNote(u"shared.md"_s, u"---\ntitle: \"shared\"\n---\n\nfirst\nsecond\n"_s);

    // Without edits the editor follows the file as soon as it changes.
    writeText(path, readText(path) + u"third\n"_s);
    QTRY_COMPARE(m_view->editorText(), u"first\nsecond\nthird\n"_s);

    // With edits at the top, another program's line at the end is merged in on save.
    NoteTextEdit *textEdit = m_view->editorView()->editor()->textEdit();
    textEdit->setFocus();
    textEdit->moveCursor(QTextCursor::Start);
    QTest::sendKeyEvent(QTest::Click, textEdit, Qt::Key_unknown, u"*"_s, Qt::NoModifier);
    writeText(path, readText(path) + u"fourth\n"_s);
    QTest::qWait(200);
    QCOMPARE(m_view->editorText(), u"*first\nsecond\nthird\n"_s);
    QVERIFY(m_view->saveCurrent());
    QCOMPARE(bodyOf(path), u"*first\nsecond\nthird\nfourth\n"_s);
    QCOMPARE(m_view->editorText(), bodyOf(path));
    // The caret stayed where the user was typing.
    QCOMPARE(textEdit->textCursor().position(), 1);
}

// Closing asks before edits that could not be written are dropped; quitting keeps them in a
// recovery file that names the note.
void TestContentView::quittingAfterAFailedSaveAsksAndKeepsARecoveryFile()
{
    int asked = 0;
    bool discard = false;
    m_view->setDiscardPrompt([&](QWidget *) { return ++asked, discard; });
    m_view->appear();
    QVERIFY(m_view->saveOrConfirmClose());
    QCOMPARE(asked, 0);

    typeIntoEditor(u"一時間分の文章"_s);
    const QString folder = blockDailyFolder();
    QVERIFY(!m_view->saveOrConfirmClose());
    QCOMPARE(asked, 1);
    QCOMPARE(m_view->editorText(), u"一時間分の文章"_s);

    QVERIFY(!m_view->saveBeforeExit());
    const QStringList files = Recovery::files();
    QCOMPARE(files.size(), 1);
    QVERIFY(files.first().startsWith(Recovery::folder()));
    QVERIFY(files.first().endsWith(u" 2025-03-05.txt"_s));
    QCOMPARE(Recovery::notePathOf(files.first()), folder + u"/2025-03-05.txt"_s);
    QCOMPARE(bodyOf(files.first()), u"一時間分の文章"_s);
    discard = true;
    QVERIFY(m_view->saveOrConfirmClose());
}

QTEST_MAIN(TestContentView)
#include "tst_contentview.moc"
