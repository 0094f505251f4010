#include "common/testenvironment.h"

#include "app/contentview.h"
#include "calendar/calendarview.h"
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
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void writeText(const QString &path, const QString &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

QString bodyOf(const QString &path)
{
    return parseNoteDocument(readText(path)).body;
}

int postedCount(const QSignalSpy &spy, const QString &name)
{
    int count = 0;
    for (const QList<QVariant> &arguments : spy)
        count += arguments.value(0).toString() == name ? 1 : 0;
    return count;
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

    void startsOnTodaysMemo();
    void restoresLastPage_data();
    void restoresLastPage();
    void switchingPagesSavesFirst();
    void notesPageWithoutSelectionKeepsDocument();
    void failedSaveOnSwitchKeepsEdits();
    void searchPageWithoutHitEmptiesEditor();
    void focusWhenTheWindowComesBack_data();
    void focusWhenTheWindowComesBack();
    void renameFollowsIntoSelection();
    void deletedOpenNoteIsNotWrittenBack();
    void openNoteFollowsItsMovedFolder();
    void externalChangeAskedOncePerText();
    void checkboxToggleMarksModified();
    void baseFolderChangeReloadsSelectedDay();
    void saveNotificationSaves();
    void everyRouteShowsTheLoadedText_data();
    void everyRouteShowsTheLoadedText();
    void autosaveFollowsTheClock();
    void otherProgramsChangesWhileTyping();
    void closingAfterAFailedSaveAsks();
    void exitAfterAFailedSaveLeavesARecoveryFile();

private:
    void typeIntoEditor(const QString &text);
    /// A file stands where the daily memos' folder would be, so saving a memo fails.
    QString blockDailyFolder();
    QString notePath(const QString &name) const
    {
        return m_base + QStringLiteral("/Notes/") + name;
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

QString TestContentView::blockDailyFolder()
{
    const QString daily = m_base + QStringLiteral("/Daily");
    QDir(daily).removeRecursively();
    writeText(daily, QStringLiteral("in the way"));
    return daily;
}

void TestContentView::toggledCheckboxText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unchecked becomes checked")
        << "a\n- [ ] task\nb" << qint64(1) << "a\n- [x] task\nb";
    QTest::newRow("capital X becomes unchecked, indentation kept")
        << "  \t- [X] done" << qint64(0) << "  \t- [ ] done";
    QTest::newRow("line without checkbox") << "- plain" << qint64(0) << QString();
    QTest::newRow("other bullets are not toggled") << "* [ ] star" << qint64(0) << QString();
    QTest::newRow("checkbox without its space") << "- [ ]" << qint64(0) << QString();
    QTest::newRow("line past the end") << "- [ ] a" << qint64(1) << QString();
    QTest::newRow("negative line") << "- [ ] a" << qint64(-1) << QString();
}

void TestContentView::toggledCheckboxText()
{
    QFETCH(QString, text);
    QFETCH(qint64, line);
    QFETCH(QString, expected);
    const auto toggled = ContentView::toggledCheckboxText(text, line);
    QCOMPARE(toggled.value_or(QString()), expected);
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

void TestContentView::startsOnTodaysMemo()
{
    m_view->appear();
    QCOMPARE(m_view->selectedPage(), ContentView::Page::calendar);
    QCOMPARE(m_memo->currentFilePath(), m_base + QStringLiteral("/Daily/2025-03-05.txt"));
    typeIntoEditor(QStringLiteral("今日のこと"));
    QVERIFY(m_memo->isModified());
    m_view->saveCurrent();
    QCOMPARE(bodyOf(m_base + QStringLiteral("/Daily/2025-03-05.txt")),
             QStringLiteral("今日のこと"));
}

void TestContentView::restoresLastPage_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("notes") << "notes" << int(ContentView::Page::notes);
    QTest::newRow("search") << "search" << int(ContentView::Page::search);
    QTest::newRow("unknown value falls back to the calendar")
        << "diary" << int(ContentView::Page::calendar);
}

void TestContentView::restoresLastPage()
{
    QFETCH(QString, stored);
    QFETCH(int, expected);
    Settings::instance().setLastSelectedPage(stored);
    m_view->appear();
    QCOMPARE(int(m_view->selectedPage()), expected);
}

void TestContentView::switchingPagesSavesFirst()
{
    m_view->appear();
    m_view->setSelectedPage(ContentView::Page::notes);
    writeText(notePath(QStringLiteral("plan.md")), QStringLiteral("first"));
    m_view->notesFileSelected(notePath(QStringLiteral("plan.md")));
    typeIntoEditor(QStringLiteral(" and more"));

    m_view->setSelectedPage(ContentView::Page::calendar);

    QCOMPARE(bodyOf(notePath(QStringLiteral("plan.md"))), QStringLiteral("first and more"));
    QCOMPARE(m_memo->currentFilePath(), m_base + QStringLiteral("/Daily/2025-03-05.txt"));
    QCOMPARE(SettingsStore::instance().string(QStringLiteral("lastSelectedPage")),
             QStringLiteral("calendar"));
}

void TestContentView::notesPageWithoutSelectionKeepsDocument()
{
    m_view->appear();
    typeIntoEditor(QStringLiteral("memo text"));
    m_view->setSelectedPage(ContentView::Page::notes);
    QCOMPARE(m_memo->currentFilePath(), m_base + QStringLiteral("/Daily/2025-03-05.txt"));
    QVERIFY(!m_memo->isModified());
    QCOMPARE(bodyOf(m_memo->currentFilePath()), QStringLiteral("memo text"));
}

// Every way away from a document whose edits could not be written stays where it is: the
// document open, modified, with the message.
void TestContentView::failedSaveOnSwitchKeepsEdits()
{
    m_view->appear();
    typeIntoEditor(QStringLiteral("大事なこと"));
    const QString daily = blockDailyFolder();

    m_view->setSelectedPage(ContentView::Page::notes);
    QCOMPARE(m_view->selectedPage(), ContentView::Page::calendar);
    m_view->dateChanged(QDate(2025, 3, 6));
    QCOMPARE(m_view->selectedDate(), QDate(2025, 3, 5));
    QVERIFY(!m_view->loadDocument(notePath(QStringLiteral("any.md"))));
    QVERIFY(!m_view->saveAndClear());

    QCOMPARE(m_memo->currentFilePath(), daily + QStringLiteral("/2025-03-05.txt"));
    QVERIFY(m_memo->isModified());
    QCOMPARE(m_memo->temporaryMessage(), MemoManager::saveFailedMessage);
    QCOMPARE(m_view->editorText(), QStringLiteral("大事なこと"));
    QVERIFY(QFile::remove(daily));
    m_view->setSelectedPage(ContentView::Page::notes);
    QCOMPARE(m_view->selectedPage(), ContentView::Page::notes);
}

void TestContentView::searchPageWithoutHitEmptiesEditor()
{
    m_view->appear();
    typeIntoEditor(QStringLiteral("kept"));
    m_view->setSelectedPage(ContentView::Page::search);
    QCOMPARE(m_memo->currentFilePath(), QString());
    QCOMPARE(m_view->editorText(), QString());
    QCOMPARE(bodyOf(m_base + QStringLiteral("/Daily/2025-03-05.txt")), QStringLiteral("kept"));
}

// The window shown again (after it was hidden) brings the editor back on screen: it takes the
// keyboard focus on the calendar page, while on the search page the search field keeps it.
void TestContentView::focusWhenTheWindowComesBack_data()
{
    QTest::addColumn<int>("page");
    QTest::newRow("calendar page: the editor") << int(ContentView::Page::calendar);
    QTest::newRow("search page: the search field") << int(ContentView::Page::search);
}

void TestContentView::focusWhenTheWindowComesBack()
{
    QFETCH(int, page);
    const bool searching = ContentView::Page(page) == ContentView::Page::search;
    m_view->appear();
    m_view->setSelectedPage(ContentView::Page(page));
    settleQueuedSteps(this);
    QAbstractButton *picker = nullptr;
    for (QAbstractButton *button : m_view->findChildren<QAbstractButton *>()) {
        if (button->accessibleName() == QStringLiteral("日付"))
            picker = button;
    }
    QVERIFY(picker);
    picker->setFocus();
    QCOMPARE(m_window->focusWidget(), picker);

    QSignalSpy posted(&AppEvents::instance(), &AppEvents::posted);
    m_window->hide();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    settleQueuedSteps(this);

    auto *searchField = m_view->searchView()->findChild<QLineEdit *>();
    QVERIFY(searchField);
    QWidget *expected = searching
                            ? searchField
                            : static_cast<QWidget *>(m_view->editorView()->editor()->textEdit());
    QCOMPARE(m_window->focusWidget(), expected);
    QCOMPARE(postedCount(posted, Notifications::FocusEditor), searching ? 0 : 1);
}

void TestContentView::renameFollowsIntoSelection()
{
    m_view->appear();
    m_view->setSelectedPage(ContentView::Page::notes);
    writeText(notePath(QStringLiteral("old.md")), QStringLiteral("x"));
    m_view->notesFileSelected(notePath(QStringLiteral("old.md")));
    QVERIFY(m_view->renameFromTitle(QStringLiteral("new")));
    QCOMPARE(m_view->notesSelectedFile(), notePath(QStringLiteral("new.md")));
    QVERIFY(!m_view->renameFromTitle(QStringLiteral("")));
    QCOMPARE(m_view->notesSelectedFile(), notePath(QStringLiteral("new.md")));
}

void TestContentView::deletedOpenNoteIsNotWrittenBack()
{
    m_view->appear();
    m_view->setSelectedPage(ContentView::Page::notes);
    const QString path = notePath(QStringLiteral("gone.md"));
    writeText(path, QStringLiteral("x"));
    m_view->notesFileSelected(path);
    typeIntoEditor(QStringLiteral("unsaved"));
    QVERIFY(QFile::remove(path));

    AppEvents::instance().postFileDeleted(path);

    QCOMPARE(m_memo->currentFilePath(), QString());
    QCOMPARE(m_view->notesSelectedFile(), QString());
    m_view->saveCurrent();
    QVERIFY(!QFile::exists(path));
}

void TestContentView::openNoteFollowsItsMovedFolder()
{
    m_view->appear();
    m_view->setSelectedPage(ContentView::Page::notes);
    const QString oldPath = notePath(QStringLiteral("仕事/plan.md"));
    const QString newPath = notePath(QStringLiteral("業務/plan.md"));
    writeText(oldPath, QStringLiteral("v1"));
    m_view->notesFileSelected(oldPath);
    typeIntoEditor(QStringLiteral(" v2"));

    // What the notes page does when the folder is renamed: save, move, report.
    NotesView *notes = m_view->notesView();
    Q_EMIT notes->saveRequested();
    QVERIFY(QDir().rename(notePath(QStringLiteral("仕事")), notePath(QStringLiteral("業務"))));
    Q_EMIT notes->openFileMoved(oldPath, newPath);

    QCOMPARE(m_memo->currentFilePath(), newPath);
    QCOMPARE(m_view->notesSelectedFile(), newPath);
    QCOMPARE(bodyOf(newPath), QStringLiteral("v1 v2"));
    typeIntoEditor(QStringLiteral(" v3"));
    m_view->saveCurrent();
    QCOMPARE(bodyOf(newPath), QStringLiteral("v1 v2 v3"));
    QVERIFY(!QFileInfo::exists(notePath(QStringLiteral("仕事"))));
}

void TestContentView::externalChangeAskedOncePerText()
{
    int asked = 0;
    bool answer = false;
    m_view->setExternalChangePrompt([&](QWidget *) {
        ++asked;
        return answer;
    });
    m_view->appear();
    m_view->setSelectedPage(ContentView::Page::notes);
    const QString path = notePath(QStringLiteral("shared.md"));
    writeText(path, QStringLiteral("one"));
    m_view->notesFileSelected(path);

    // Without edits of its own the editor follows the file without asking.
    m_view->checkExternalChange();
    QCOMPARE(asked, 0);
    writeText(path, QStringLiteral("uno"));
    m_view->checkExternalChange();
    QCOMPARE(asked, 0);
    QCOMPARE(m_view->editorText(), QStringLiteral("uno"));

    // With edits, the question comes.
    typeIntoEditor(QStringLiteral("!"));
    writeText(path, QStringLiteral("two"));
    m_view->checkExternalChange();
    m_view->checkExternalChange();
    QCOMPARE(asked, 1); // declined: not asked again for the same text
    QCOMPARE(m_view->editorText(), QStringLiteral("uno!"));

    answer = true;
    writeText(path, QStringLiteral("three"));
    m_view->checkExternalChange();
    QCOMPARE(asked, 2);
    QCOMPARE(m_view->editorText(), QStringLiteral("three"));
    QVERIFY(!m_memo->isModified());
}

void TestContentView::checkboxToggleMarksModified()
{
    m_view->appear();
    typeIntoEditor(QStringLiteral("- [ ] buy tea"));
    m_view->saveCurrent();
    m_view->toggleCheckboxLine(0);
    QCOMPARE(m_view->editorText(), QStringLiteral("- [x] buy tea"));
    QVERIFY(m_memo->isModified());
    // One undo step, like an edit.
    m_view->editorView()->editor()->textEdit()->undo();
    QCOMPARE(m_view->editorText(), QStringLiteral("- [ ] buy tea"));
}

void TestContentView::baseFolderChangeReloadsSelectedDay()
{
    m_view->appear();
    m_view->dateChanged(QDate(2025, 1, 2));
    const QString other = m_env->makeFolder(QStringLiteral("other"));
    writeText(other + QStringLiteral("/Daily/2025-01-02.txt"), QStringLiteral("elsewhere"));
    PathManager::setBaseFolder(other);
    QCOMPARE(m_memo->currentFilePath(), other + QStringLiteral("/Daily/2025-01-02.txt"));
    QCOMPARE(m_view->editorText(), QStringLiteral("elsewhere"));
}

void TestContentView::saveNotificationSaves()
{
    m_view->appear();
    typeIntoEditor(QStringLiteral("saved by menu"));
    AppEvents::instance().postSaveCurrentMemo();
    QCOMPARE(bodyOf(m_base + QStringLiteral("/Daily/2025-03-05.txt")),
             QStringLiteral("saved by menu"));
    QVERIFY(!m_memo->isModified());
}

// The editor has the keyboard focus and holds typed text when another document is chosen: the
// editor must show the new document's text, and the next keystroke must land there.
void TestContentView::everyRouteShowsTheLoadedText_data()
{
    QTest::addColumn<QString>("route");
    QTest::newRow("明日 button") << "tomorrow";
    QTest::newRow("昨日 button") << "yesterday";
    QTest::newRow("page picker to the notes page") << "picker";
    QTest::newRow("note chosen on the notes page") << "note";
    QTest::newRow("search hit") << "hit";
    QTest::newRow("quick open") << "quickopen";
}

void TestContentView::everyRouteShowsTheLoadedText()
{
    QFETCH(QString, route);
    const QString today = m_base + QStringLiteral("/Daily/2025-03-05.txt");
    const QString tomorrow = m_base + QStringLiteral("/Daily/2025-03-06.txt");
    const QString yesterday = m_base + QStringLiteral("/Daily/2025-03-04.txt");
    const QString note = notePath(QStringLiteral("plan.md"));
    writeText(tomorrow, QStringLiteral("明日の予定"));
    writeText(yesterday, QStringLiteral("昨日の記録"));
    writeText(note, QStringLiteral("企画"));
    Settings::instance().setSelectedNotesFolder(notePath(QString()));
    m_view->appear();
    typeIntoEditor(QStringLiteral("今日のメモ"));
    QCOMPARE(m_window->focusWidget(), m_view->editorView()->editor()->textEdit());

    QString expectedPath;
    QString expectedText;
    const auto clickButton = [&](QWidget *within, const QString &text) {
        for (QAbstractButton *button : within->findChildren<QAbstractButton *>()) {
            if (button->text() == text) {
                QTest::mouseClick(button, Qt::LeftButton);
                return true;
            }
        }
        return false;
    };
    if (route == u"tomorrow" || route == u"yesterday") {
        QVERIFY(clickButton(m_view->calendarView(), route == u"tomorrow" ? QStringLiteral("明日")
                                                                         : QStringLiteral("昨日")));
        expectedPath = route == u"tomorrow" ? tomorrow : yesterday;
        expectedText =
            route == u"tomorrow" ? QStringLiteral("明日の予定") : QStringLiteral("昨日の記録");
    } else if (route == u"picker") {
        m_view->notesFileSelected(note);
        m_view->dateChanged(QDate(2025, 3, 5));
        typeIntoEditor(QStringLiteral("追記"));
        QVERIFY(clickButton(m_view, QStringLiteral("ノート")));
        expectedPath = note;
        expectedText = QStringLiteral("企画");
    } else if (route == u"note") {
        m_view->setSelectedPage(ContentView::Page::notes);
        typeIntoEditor(QStringLiteral("!"));
        m_view->notesFileSelected(note);
        expectedPath = note;
        expectedText = QStringLiteral("企画");
    } else if (route == u"hit") {
        m_view->searchHitSelected(note);
        expectedPath = note;
        expectedText = QStringLiteral("企画");
    } else {
        m_view->loadDocument(note);
        expectedPath = note;
        expectedText = QStringLiteral("企画");
    }

    QCOMPARE(m_memo->currentFilePath(), expectedPath);
    QCOMPARE(m_view->editorText(), expectedText);
    QVERIFY(!m_view->editorView()->editor()->textEdit()->document()->isUndoAvailable());
    QVERIFY(!bodyOf(today).isEmpty());
    QVERIFY(bodyOf(today).startsWith(QStringLiteral("今日のメモ")));

    // The next keystrokes go into the document on screen, and only there.
    const QString todayOnDisk = readText(today);
    typeIntoEditor(QStringLiteral("。"));
    QVERIFY(m_view->saveCurrent());
    QCOMPARE(bodyOf(expectedPath), expectedText + QStringLiteral("。"));
    QCOMPARE(readText(today), todayOnDisk);
}

void TestContentView::autosaveFollowsTheClock()
{
    m_view->appear();
    const QString today = m_base + QStringLiteral("/Daily/2025-03-05.txt");
    typeIntoEditor(QStringLiteral("a"));
    m_view->autosaveIfDue();
    QVERIFY(!QFile::exists(today));

    // Two seconds after the last keystroke.
    m_clock->advance(1);
    typeIntoEditor(QStringLiteral("b"));
    m_clock->advance(1);
    m_view->autosaveIfDue();
    QVERIFY(!QFile::exists(today));
    m_clock->advance(1);
    m_view->autosaveIfDue();
    QCOMPARE(bodyOf(today), QStringLiteral("ab"));
    QVERIFY(!m_memo->isModified());
    // Quietly: no "saved" message for an autosave.
    QCOMPARE(m_memo->temporaryMessage(), QString());

    // Typing that never pauses is still saved every 30 seconds.
    for (int second = 0; second < 30; ++second) {
        typeIntoEditor(QStringLiteral("c"));
        m_clock->advance(1);
        m_view->autosaveIfDue();
    }
    QVERIFY(bodyOf(today).startsWith(QStringLiteral("abccc")));
    QVERIFY(bodyOf(today).size() < m_view->editorText().size() + 1);
}

void TestContentView::otherProgramsChangesWhileTyping()
{
    m_memo->setWatchingFile(true);
    const QString path = notePath(QStringLiteral("shared.md"));
    writeText(path, QStringLiteral("---\ntitle: \"shared\"\n---\n\nfirst\nsecond\n"));
    m_view->appear();
    m_view->setSelectedPage(ContentView::Page::notes);
    m_view->notesFileSelected(path);

    // Without edits the editor follows the file as soon as it changes.
    writeText(path, readText(path) + QStringLiteral("third\n"));
    QTRY_COMPARE(m_view->editorText(), QStringLiteral("first\nsecond\nthird\n"));

    // With edits at the top, another program's line at the end is merged in on save.
    NoteTextEdit *textEdit = m_view->editorView()->editor()->textEdit();
    textEdit->setFocus();
    textEdit->moveCursor(QTextCursor::Start);
    QTest::sendKeyEvent(QTest::Click, textEdit, Qt::Key_unknown, QStringLiteral("*"),
                        Qt::NoModifier);
    writeText(path, readText(path) + QStringLiteral("fourth\n"));
    QTest::qWait(200);
    QCOMPARE(m_view->editorText(), QStringLiteral("*first\nsecond\nthird\n"));
    QVERIFY(m_view->saveCurrent());
    QCOMPARE(bodyOf(path), QStringLiteral("*first\nsecond\nthird\nfourth\n"));
    QCOMPARE(m_view->editorText(), QStringLiteral("*first\nsecond\nthird\nfourth\n"));
    // The caret stayed where the user was typing.
    QCOMPARE(textEdit->textCursor().position(), 1);
}

void TestContentView::closingAfterAFailedSaveAsks()
{
    int asked = 0;
    bool discard = false;
    m_view->setDiscardPrompt([&](QWidget *) {
        ++asked;
        return discard;
    });
    m_view->appear();
    QVERIFY(m_view->saveOrConfirmClose());
    QCOMPARE(asked, 0);

    typeIntoEditor(QStringLiteral("まだ保存されていない"));
    const QString daily = blockDailyFolder();
    QVERIFY(!m_view->saveOrConfirmClose());
    QCOMPARE(asked, 1);
    QCOMPARE(m_view->editorText(), QStringLiteral("まだ保存されていない"));
    discard = true;
    QVERIFY(m_view->saveOrConfirmClose());
}

void TestContentView::exitAfterAFailedSaveLeavesARecoveryFile()
{
    m_view->appear();
    typeIntoEditor(QStringLiteral("一時間分の文章"));
    const QString daily = blockDailyFolder();

    QVERIFY(!m_view->saveBeforeExit());
    const QStringList files = Recovery::files();
    QCOMPARE(files.size(), 1);
    QVERIFY(files.first().startsWith(Recovery::folder()));
    QVERIFY(files.first().endsWith(QStringLiteral(" 2025-03-05.txt")));
    QCOMPARE(Recovery::notePathOf(files.first()), daily + QStringLiteral("/2025-03-05.txt"));
    QCOMPARE(bodyOf(files.first()), QStringLiteral("一時間分の文章"));
}

QTEST_MAIN(TestContentView)
#include "tst_contentview.moc"
