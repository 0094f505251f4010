#include "common/heldfolderlock.h"
#include "common/inkrecorder.h"
#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "app/appearance.h"
#include "app/contentview.h"
#include "app/helpwindow.h"
#include "app/statusbarview.h"
#include "app/translations.h"
#include "calendar/calendarcolors.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "editor/notetextedit.h"
#include "links/backlinksview.h"
#include "links/tagsview.h"
#include "notes/notesbrowser.h"
#include "notes/notesview.h"
#include "platform/appevents.h"
#include "platform/clock.h"
#include "preview/markdownheaderinfoview.h"
#include "preview/markdownpreviewpane.h"
#include "preview/markdownpreviewview.h"
#include "search/searchview.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"
#include "storage/notestore.h"
#include "storage/recovery.h"
#include "storage/settings.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QHash>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

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

/// What a reader sees in a widget, as text (the colour that stands out most) on its background
/// (the most frequent colour): described when they contrast less than 4.5:1, else empty.
QString unreadable(QWidget *widget)
{
    // Grabbed from the window, so what lies behind a transparent widget is there too.
    QWidget *window = widget->window();
    const QImage image =
        window->grab(QRect(widget->mapTo(window, QPoint(0, 0)), widget->size())).toImage();
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000];
    }
    const QColor background =
        QColor::fromRgb(std::max_element(counts.cbegin(), counts.cend()).key());
    QColor text;
    double best = 0;
    // Antialiased edges are mixtures; the glyphs' cores carry the text colour itself.
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const double contrast =
            CalendarColors::contrastRatio(QColor::fromRgb(it.key()), background);
        if (it.value() >= 8 && contrast > best)
            std::tie(best, text) = std::pair(contrast, QColor::fromRgb(it.key()));
    }
    return best >= 4.5 ? QString()
                       : u"%1 on %2, contrast %3"_s.arg(text.name(), background.name()).arg(best);
}

} // namespace

class TestContentView : public QObject
{
    Q_OBJECT

private:
    QString notePath(const QString &name) const { return m_base + u"/Notes/"_s + name; }
    QString daily() const { return m_base + u"/Daily/2025-03-05.txt"_s; }

    void typeIntoEditor(const QString &text)
    {
        NoteTextEdit *textEdit = m_view->editorView()->editor()->textEdit();
        textEdit->setFocus();
        textEdit->moveCursor(QTextCursor::End);
        // keyClicks only knows ASCII; send each character as a typed key with its text.
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, textEdit, Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
    }

    /// Shows the notes page with a note holding `text` open.
    QString openNote(const QString &name, const QString &text)
    {
        const QString path = notePath(name);
        writeText(path, text);
        m_view->appear();
        m_view->setSelectedPage(ContentView::Page::notes);
        m_view->notesFileSelected(path);
        return path;
    }

private Q_SLOTS:
    void init()
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

    void cleanup()
    {
        // Hidden while everything is whole: hiding the editor saves.
        m_window->hide();
        m_window.reset();
        m_memo.reset();
        Appearance::apply(AppAppearanceMode::system);
        m_env.reset();
        m_clock.reset();
    }

    void toggledCheckboxText()
    {
        const auto toggled = [](const char *text, qint64 line) {
            return ContentView::toggledCheckboxText(QString::fromUtf8(text), line).value_or(u"-"_s);
        };
        // A capital X unchecks, the indent is kept. Nothing to toggle ("-"): another bullet, a box
        // without its space, lines past the ends.
        QCOMPARE((QStringList{toggled("a\n- [ ] task\nb", 1), toggled("  \t- [X] done", 0),
                              toggled("* [ ] star", 0), toggled("- [ ]", 0), toggled("- [ ] a", 1),
                              toggled("- [ ] a", -1)}),
                 (QStringList{u"a\n- [x] task\nb"_s, u"  \t- [ ] done"_s, u"-"_s, u"-"_s, u"-"_s,
                              u"-"_s}));
    }

    // Showing the pane adds the editor's width (600 while unmeasured); hiding removes it, down to
    // 400.
    void sidePaneWindowWidth()
    {
        const auto width = &ContentView::windowWidthForSidePane;
        QCOMPARE((QList<int>{width(true, 800, 500), width(true, 800, 0), width(false, 1200, 500),
                             width(false, 800, 500)}),
                 (QList<int>{1300, 1400, 700, 400}));
    }

    // The page shown at the start is the one chosen last (with none stored, every test here starts
    // on the calendar); a page chosen is stored for the next start.
    void restoresLastPage()
    {
        Settings::instance().setLastSelectedPage(u"search"_s);
        m_view->appear();
        QCOMPARE(m_view->selectedPage(), ContentView::Page::search);
        m_view->setSelectedPage(ContentView::Page::notes);
        QCOMPARE(Settings::instance().lastSelectedPage(), u"notes"_s);
    }

    // Every way away from edits that could not be written stays where it is: the document open,
    // its text, the message. Closing asks before they are dropped; quitting keeps them in a
    // recovery file that names the note.
    void failedSaveKeepsTheEdits()
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
        typeIntoEditor(u"大事なこと"_s);
        // A file stands where the daily memos' folder would be, so saving the memo fails.
        QDir(m_base + u"/Daily"_s).removeRecursively();
        writeText(m_base + u"/Daily"_s, u"in the way"_s);
        const QString memo = daily();

        m_view->setSelectedPage(ContentView::Page::notes);
        QCOMPARE(m_view->selectedPage(), ContentView::Page::calendar);
        QVERIFY(!m_view->loadDocument(notePath(u"any.md"_s)));
        QVERIFY(!m_view->saveAndClear());
        QVERIFY(!m_view->saveOrConfirmClose());
        QCOMPARE(asked, 1);
        QCOMPARE(m_memo->currentFilePath(), memo);
        QCOMPARE(m_memo->temporaryMessage(),
                 MemoManager::saveFailedMessage + u": フォルダがありません"_s);
        QCOMPARE(m_view->editorText(), u"大事なこと"_s);

        QVERIFY(!m_view->saveBeforeExit());
        const QStringList files = Recovery::files();
        QCOMPARE(files.size(), 1);
        QVERIFY(files.first().startsWith(Recovery::folder()));
        QVERIFY(files.first().endsWith(u" 2025-03-05.txt"_s));
        QCOMPARE(Recovery::notePathOf(files.first()), memo);
        QCOMPARE(bodyOf(files.first()), u"大事なこと"_s);
        discard = true;
        QVERIFY(m_view->saveOrConfirmClose());
    }

    // Another program holding the folder's lock never freezes the window: the save does not
    // happen, the status bar says why, and it comes again by itself once the lock is free. A quit
    // meanwhile keeps the text in a recovery file.
    void saveWaitsForAnotherWriterWithoutFreezing()
    {
        const QString path = openNote(u"shared.md"_s, u"one\n"_s);
        typeIntoEditor(u"two"_s);
        HeldFolderLock other(m_base + u"/Notes"_s);
        QVERIFY(other.isHeld());
        auto *bar = m_view->findChild<StatusBarView *>();

        QVERIFY(!m_view->saveCurrent());
        QVERIFY(!m_view->saveBeforeExit());
        QCOMPARE(readText(path), u"one\n"_s);
        QCOMPARE(bar->notice(), MemoManager::busyMessage);
        QVERIFY(m_memo->isModified());
        QCOMPARE(m_view->editorText(), u"one\ntwo"_s);
        const QStringList recovered = Recovery::files();
        QCOMPARE(recovered.size(), 1);
        QCOMPARE(bodyOf(recovered.first()), u"one\ntwo"_s);

        other.release();
        QTRY_COMPARE(bodyOf(path), u"one\ntwo"_s);
        QVERIFY(!m_memo->isModified());
        QCOMPARE(bar->notice(), QString());
    }

    // Another program deleted the open file, or moved its folder away. Without edits it closes
    // (the day's memo shows the day empty again) and nothing brings it back; with edits they are
    // written back where the file was, and the status bar says so.
    void openFileGoneMeanwhile_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("edited");
        QTest::newRow("note deleted, no edits: closed") << u"delete"_s << false;
        QTest::newRow("its folder moved away, no edits: closed") << u"move"_s << false;
        QTest::newRow("the day's memo deleted, no edits: the day empty") << u"daily"_s << false;
        QTest::newRow("note deleted with edits: written back") << u"delete"_s << true;
        QTest::newRow("its folder moved away with edits: written back") << u"move"_s << true;
    }
    void openFileGoneMeanwhile()
    {
        QFETCH(QString, change);
        QFETCH(bool, edited);
        m_memo->setWatchingFile(true);
        const bool isDaily = change == u"daily";
        QString path = daily();
        if (isDaily) {
            writeText(path, u"plan\n"_s);
            m_view->appear();
        } else {
            path = openNote(u"仕事/plan.md"_s, u"plan\n"_s);
        }
        QCOMPARE(m_view->editorText(), u"plan\n"_s);
        if (edited)
            typeIntoEditor(u"追記"_s);
        if (change == u"move")
            QVERIFY(QDir().rename(notePath(u"仕事"_s), notePath(u"業務"_s)));
        else
            QVERIFY(QFile::remove(path));
        auto *bar = m_view->findChild<StatusBarView *>();

        if (!edited) {
            QTRY_COMPARE(bar->notice(), MemoManager::goneMessage);
            QCOMPARE(m_memo->currentFilePath(), isDaily ? path : QString());
            QCOMPARE(m_view->notesSelectedFile(), QString());
            QCOMPARE(m_view->editorText(), QString());
            QVERIFY(m_view->saveCurrent());
            QVERIFY(!QFile::exists(path));
            QCOMPARE(QFileInfo::exists(notePath(u"仕事"_s)), change == u"delete");
            return;
        }
        QVERIFY(m_view->saveCurrent(SaveAnnouncement::quiet));
        QCOMPARE(bodyOf(path), u"plan\n追記"_s);
        QCOMPARE(bar->notice(), MemoManager::restoredMessage);
        QCOMPARE(m_memo->currentFilePath(), path);
        if (change == u"move") // the other program's copy is theirs
            QCOMPARE(readText(notePath(u"業務/plan.md"_s)), u"plan\n"_s);
    }

    // The window shown again (after it was hidden) brings the editor back on screen: it takes the
    // keyboard focus on the calendar page, while on the search page the search field keeps it.
    void focusWhenTheWindowComesBack_data()
    {
        QTest::addColumn<ContentView::Page>("page");
        QTest::newRow("calendar page: the editor") << ContentView::Page::calendar;
        QTest::newRow("search page: the search field") << ContentView::Page::search;
    }

    void focusWhenTheWindowComesBack()
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

        QWidget *expected =
            searching ? static_cast<QWidget *>(m_view->searchView()->findChild<QLineEdit *>())
                      : m_view->editorView()->editor()->textEdit();
        QCOMPARE(m_window->focusWidget(), expected);
        QCOMPARE(posted.count(QList<QVariant>{Notifications::FocusEditor}), searching ? 0 : 1);
    }

    // The notes list follows the open note to its new folder and its new title (what the files
    // hold then is checked on the document road).
    void notesListFollowsTheOpenNote()
    {
        const QString oldPath = openNote(u"仕事/plan.md"_s, u"v1"_s);
        const QString newPath = notePath(u"業務/plan.md"_s);
        QVERIFY(QDir().rename(notePath(u"仕事"_s), notePath(u"業務"_s)));
        Q_EMIT m_view->notesView()->openFileMoved(oldPath, newPath);
        QCOMPARE(m_view->notesSelectedFile(), newPath);
        // Edited, then renamed: the edits are saved on the way, without a word of their own.
        typeIntoEditor(u" v2"_s);
        QVERIFY(m_view->renameFromTitle(u"計画"_s));
        QCOMPARE(m_view->notesSelectedFile(), notePath(u"業務/計画.md"_s));
        QCOMPARE(bodyOf(notePath(u"業務/計画.md"_s)), u"v1 v2"_s);
        QCOMPARE(m_memo->temporaryMessage(), QString());
    }

    void baseFolderChangeReloadsSelectedDay()
    {
        m_view->appear();
        m_view->dateChanged(QDate(2025, 1, 2));
        const QString other = m_env->makeFolder(u"other"_s);
        writeText(other + u"/Daily/2025-01-02.txt"_s, u"elsewhere"_s);
        PathManager::setBaseFolder(other);
        QCOMPARE(m_memo->currentFilePath(), other + u"/Daily/2025-01-02.txt"_s);
        QCOMPARE(m_view->editorText(), u"elsewhere"_s);
    }

    void autosaveFollowsTheClock()
    {
        m_view->appear();
        typeIntoEditor(u"a"_s);
        // Two seconds after the last keystroke, not the first.
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

    void otherProgramsChangesWhileTyping()
    {
        m_memo->setWatchingFile(true);
        const QString path =
            openNote(u"shared.md"_s, u"---\ntitle: \"shared\"\n---\n\nfirst\nsecond\n"_s);

        // Without edits the editor follows the file as soon as it changes.
        writeText(path, readText(path) + u"third\n"_s);
        QTRY_COMPARE(m_view->editorText(), u"first\nsecond\nthird\n"_s);

        // With edits at the top, another program's line at the end waits for the save and is
        // merged in then (what the editor shows after a merge is the document road's check).
        NoteTextEdit *textEdit = m_view->editorView()->editor()->textEdit();
        textEdit->setFocus();
        textEdit->moveCursor(QTextCursor::Start);
        QTest::sendKeyEvent(QTest::Click, textEdit, Qt::Key_unknown, u"*"_s, Qt::NoModifier);
        writeText(path, readText(path) + u"fourth\n"_s);
        QTest::qWait(200);
        QCOMPARE(m_view->editorText(), u"*first\nsecond\nthird\n"_s);
        QVERIFY(m_view->saveCurrent());
        QCOMPARE(bodyOf(path), u"*first\nsecond\nthird\nfourth\n"_s);
    }

    // Nothing is written while a new name is half typed in the title: the autosave waits until
    // the rename is done or given up.
    void autosaveWaitsForTheTitle()
    {
        const QString path = openNote(u"plan.md"_s, u"v1"_s);
        typeIntoEditor(u"+"_s);
        auto *titleButton = m_view->editorView()->findChild<QPushButton *>(u"titleButton"_s);
        QTest::mouseClick(titleButton, Qt::LeftButton);
        QVERIFY(m_view->editorView()->isEditingTitle());
        m_clock->advance(60);
        m_view->autosaveIfDue();
        QCOMPARE(bodyOf(path), u"v1"_s);
        QVERIFY(m_memo->isModified());

        QTest::keyClick(m_view->editorView()->findChild<QLineEdit *>(u"titleField"_s),
                        Qt::Key_Escape);
        QVERIFY(!m_view->editorView()->isEditingTitle());
        m_view->autosaveIfDue();
        QCOMPARE(bodyOf(path), u"v1+"_s);
    }

    // A save writes what was typed and the header's update time; the rest of the file stays as
    // it was: characters the editor would take for line ends, the line breaks, the fences.
    void saveKeepsWhatNobodyTyped()
    {
        const QString header = u"--- \r\ntitle: \"kept\"\r\ncreated: \"2020-01-01T00:00:00\"\r\n"
                               u"updated: \"%1\"\r\n---\t\r\n\r\n"_s;
        const QString body = u"one\u2029two\u2028three\r\n\uFDD0four\r\n"_s;
        const QString path = openNote(u"kept.md"_s, header.arg(u"2020-01-01T00:00:00"_s) + body);
        typeIntoEditor(u"x"_s);
        QVERIFY(m_view->saveCurrent());
        QCOMPARE(readText(path), header.arg(u"2025-03-05T09:00:00"_s) + body + u"x"_s);
        QCOMPARE(m_view->editorText(), QString(body).remove(u'\r') + u"x"_s);
    }

    void qtTextsAreJapanese()
    {
        m_view->appear();
        QObject owner;
        QVERIFY(Translations::installQtJapanese(&owner));
        // The editor's context menu, as the user opens it.
        NoteTextEdit *text = m_view->editorView()->editor()->textEdit();
        std::unique_ptr<QMenu> menu(text->createStandardContextMenu());
        QStringList shown;
        for (const QAction *action : menu->actions())
            shown.append(action->text());
        const QString texts = shown.join(u'|');
        const QRegularExpression english(u"&Undo|&Redo|Cu&t|&Copy|&Paste|Delete|Select All"_s);
        QVERIFY2(texts.contains(u"元に戻す"_s) && !texts.contains(english), qPrintable(texts));
        QCOMPARE(
            QDialogButtonBox(QDialogButtonBox::Cancel).button(QDialogButtonBox::Cancel)->text(),
            u"キャンセル"_s);
    }

    void messagesSayWhatTheyMean()
    {
        // Both colours read well on the light and the dark window.
        for (const auto mode : {AppAppearanceMode::light, AppAppearanceMode::dark}) {
            Appearance::apply(mode);
            const QPalette palette = QApplication::palette();
            for (bool failure : {true, false}) {
                const double contrast = CalendarColors::contrastRatio(
                    MessageColors::color(failure, palette), palette.color(QPalette::Window));
                QVERIFY2(contrast >= 4.5, qPrintable(QString::number(contrast)));
            }
        }

        // A file that cannot be read: a lasting read-only mark, a failure message, and no promise
        // of a header added on save.
        const QString odd = notePath(u"latin1.txt"_s);
        QVERIFY(TestFiles::write(odd, "caf\xe9\n"));
        m_view->appear();
        m_view->loadDocument(odd);
        auto *mark = m_view->editorView()->findChild<QLabel *>(u"readOnlyMark"_s);
        QVERIFY(mark && mark->isVisible());
        auto *status = m_view->editorView()->findChild<QLabel *>(u"statusMessage"_s);
        QCOMPARE(status->palette().color(QPalette::WindowText),
                 MessageColors::color(true, m_view->palette()));
        for (QLabel *label : m_view->sidePane()->infoView()->findChildren<QLabel *>())
            QVERIFY2(!label->text().contains(u"保存"_s), qPrintable(label->text()));

        // A readable day again: the mark goes, and a save reports success in its colour.
        m_view->dateChanged(QDate(2025, 3, 5));
        QVERIFY(!mark->isVisible());
        m_view->editorView()->replaceText(u"今日"_s);
        m_memo->markModified();
        QVERIFY(m_view->saveCurrent());
        QCOMPARE(status->palette().color(QPalette::WindowText),
                 MessageColors::color(false, m_view->palette()));
    }

    // Quick open, left from the search field, gives the keyboard back to it; a note chosen there
    // takes it to the editor (that the note opens is the app shell test's).
    void focusReturnsAfterQuickOpen_data()
    {
        QTest::addColumn<Qt::Key>("key");
        QTest::newRow("Return opens the note, into the editor") << Qt::Key_Return;
        QTest::newRow("Escape, back to the search field") << Qt::Key_Escape;
    }

    void focusReturnsAfterQuickOpen()
    {
        QFETCH(Qt::Key, key);
        writeText(notePath(u"plan.md"_s), u"plan\n"_s);
        m_view->appear();
        m_view->setSelectedPage(ContentView::Page::search);
        QWidget *start = m_view->searchView()->findChild<QLineEdit *>();
        start->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), start);

        m_view->showQuickOpen();
        QWidget *query = QApplication::focusWidget();
        QVERIFY(query && query != start);
        QTest::keyClicks(query, u"plan"_s);
        QTest::keyClick(query, key);

        QWidget *expected =
            key == Qt::Key_Return ? m_view->editorView()->editor()->textEdit() : start;
        QTRY_COMPARE(QApplication::focusWidget(), expected);
    }

    // Every mode is checked from the start and after the other one.
    void appearanceSwitchKeepsTextReadable()
    {
        openNote(u"会議メモ.md"_s, u"# 見出し\n\n本文の文字 text ■■■■■■■■■■\n"_s);
        auto *titleButton = m_view->editorView()->findChild<QPushButton *>(u"titleButton"_s);
        auto *titleField = m_view->editorView()->findChild<QLineEdit *>(u"titleField"_s);
        QStringList unreadable;
        for (int mode : {int(AppAppearanceMode::light), int(AppAppearanceMode::dark),
                         int(AppAppearanceMode::light), int(AppAppearanceMode::dark)}) {
            const auto readable = [&unreadable, mode](const QString &name, QWidget *widget) {
                if (const QString seen = ::unreadable(widget); !seen.isEmpty())
                    unreadable.append(u"%1 in mode %2: %3"_s.arg(name).arg(mode).arg(seen));
            };
            Appearance::apply(AppAppearanceMode(mode));
            QCoreApplication::processEvents();
            const bool dark = QApplication::palette().color(QPalette::Window).lightness() < 128;
            QCOMPARE(dark, AppAppearanceMode(mode) == AppAppearanceMode::dark);
            readable(u"title"_s, titleButton);
            // The title in its rename field.
            QTest::mouseClick(titleButton, Qt::LeftButton);
            QVERIFY(titleField->isVisible());
            QCoreApplication::processEvents();
            titleField->deselect();
            readable(u"title field"_s, titleField);
            readable(u"preview"_s, m_view->sidePane()->previewView()->viewport());
            readable(u"editor"_s, m_view->editorView()->editor()->textEdit()->viewport());
            for (QListView *list : m_view->findChildren<QListView *>()) {
                if (list->isVisible() && list->model() && list->model()->rowCount() > 0)
                    readable(list->accessibleName(), list->viewport());
            }
            QTest::keyClick(titleField, Qt::Key_Escape);
        }
        QVERIFY2(unreadable.isEmpty(), qPrintable(unreadable.join(u'\n')));
    }

    // Every text drawn in the preview, the help window and the editor's search highlights reads
    // on what it is drawn on, in both appearances: headings, emphasis, links, quotes, code,
    // lists, tables, the current match and the others.
    void everyTextReadsOnItsGround_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("light") << int(AppAppearanceMode::light);
        QTest::newRow("dark") << int(AppAppearanceMode::dark);
    }
    void everyTextReadsOnItsGround()
    {
        QFETCH(int, mode);
        Appearance::apply(AppAppearanceMode(mode));
        const auto restore = qScopeGuard([] { Appearance::apply(AppAppearanceMode::system); });
        openNote(u"look.md"_s, u"# Heading one\n## Heading two\n### Heading three\n"
                               "#### Heading four\n##### Heading five\n###### Heading six\n"
                               "Plain **bold words**, *italic words* and [a link](https://a.b).\n"
                               "> quoted text with **bold** and [a link](https://a.b)\n\n"
                               "```swift\nlet code = 1\n```\n- list item\n2. numbered item\n"
                               "- [x] done item\n- [ ] open item\n\n| head | **bold head** |\n"
                               "|---|---|\n| cell | *italic cell* |\n\nmatch and match\n"_s);
        MarkdownEditor *editor = m_view->editorView()->editor();
        editor->setSearchQuery(u"match"_s);
        QCOMPARE(editor->searchResultCount(), 2);
        HelpWindowController help;
        help.showHelp();
        const QPalette palette = QApplication::palette();
        const std::pair<QString, QWidget *> views[] = {
            {u"preview"_s, m_view->sidePane()->previewView()->viewport()},
            {u"help"_s, help.window()->findChild<MarkdownPreviewView *>()->viewport()},
            {u"editor"_s, editor->textEdit()->viewport()},
        };
        QStringList unreadable;
        QSet<QString> seen;
        for (const auto &[name, widget] : views) {
            widget->window()->resize(900, 1400);
            QCoreApplication::processEvents();
            for (const InkRecorder::Text &text :
                 InkRecorder::textsOf(widget, palette.color(widget->backgroundRole()))) {
                seen.insert(name == u"editor" && text.ground != palette.color(QPalette::Base)
                                ? u"highlighted "_s + text.text
                                : text.text);
                if (text.contrast() < TextContrast::minimumTextContrast)
                    unreadable.append(u"%1: \"%2\" %3 on %4, %5:1"_s.arg(
                        name, text.text, text.ink.name(), text.ground.name(),
                        QString::number(text.contrast(), 'f', 2)));
            }
        }
        // What should be there was looked at.
        for (const QString &expected :
             {u"Heading three"_s, u"bold words"_s, u"italic words"_s, u"a link"_s,
              u"quoted text with"_s, u"let code = 1"_s, u"swift"_s, u"bold head"_s,
              u"highlighted match and match"_s})
            QVERIFY2(seen.contains(expected), qPrintable(expected));
        QVERIFY2(unreadable.isEmpty(), qPrintable(unreadable.join(u'\n')));
    }

    // A link opens its note through the document road (the open note saved first); Alt+Left
    // and Alt+Right go back and forward; the 「リンク」 tab lists the linking note by name and
    // line, and its row opens it at that line.
    void followsLinksAndShowsBacklinks()
    {
        const QString b = notePath(u"b.md"_s);
        writeText(b, u"本文\n"_s);
        writeText(notePath(u"c.md"_s), u"一行目\nb について\n"_s);
        const QString a = openNote(u"a.md"_s, u"前\n[[B]] と [x](c.md)\n"_s);
        typeIntoEditor(u"追記"_s);
        Q_EMIT m_view->sidePane()->previewView()->linkActivated(QUrl(u"quillmere-note:B"_s));
        QCOMPARE(m_memo->currentFilePath(), b);
        QCOMPARE(bodyOf(a), u"前\n[[B]] と [x](c.md)\n追記"_s);
        QTest::keyClick(m_window.get(), Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(m_memo->currentFilePath(), a);
        QTest::keyClick(m_window.get(), Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(m_memo->currentFilePath(), b);
        QTest::keyClick(m_window.get(), Qt::Key_Left, Qt::AltModifier);
        // Ctrl+click on the markdown link in the editor.
        NoteTextEdit *edit = m_view->editorView()->editor()->textEdit();
        QTextCursor cursor(edit->document());
        cursor.setPosition(int(m_view->editorView()->text().indexOf(u"[x]"_s)) + 1);
        QTest::mouseClick(edit->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          edit->cursorRect(cursor).center());
        QCOMPARE(m_memo->currentFilePath(), notePath(u"c.md"_s));

        m_view->sidePane()->previewView()->linkActivated(QUrl(u"quillmere-note:b"_s));
        QCOMPARE(m_memo->currentFilePath(), b);
        m_view->setShowMarkdownPreview(true);
        m_view->sidePane()->setSelectedTab(MarkdownPreviewPane::SideTab::links);
        BacklinksView *view = m_view->sidePane()->backlinksView();
        QTRY_COMPARE(view->linksList()->count(), 1);
        QListWidgetItem *row = view->linksList()->item(0);
        QCOMPARE(row->data(Qt::AccessibleTextRole).toString(), u"a、2 行目: [[B]] と [x](c.md)"_s);
        QCOMPARE(view->mentionsList()->count(), 1);
        QCOMPARE(view->mentionsList()->item(0)->data(Qt::AccessibleTextRole).toString(),
                 u"c、2 行目: b について"_s);
        Q_EMIT view->linksList()->itemActivated(row);
        QCOMPARE(m_memo->currentFilePath(), a);
    }

    // The preview draws links to notes that do not exist apart (asked of the index when the
    // note opens), and draws them as links again once their note is made.
    void previewTellsMissingLinks()
    {
        writeText(notePath(u"b.md"_s), u"本文\n"_s);
        openNote(u"a.md"_s, u"[[B]] と [[無い]] と [x](gone.md) と [y](b.md)\n"_s);
        m_view->setShowMarkdownPreview(true);
        MarkdownPreviewView *preview = m_view->sidePane()->previewView();
        const auto missing = [preview] {
            QStringList names;
            for (const PreviewDocument::Element &element : preview->visibleElements()) {
                if (element.type == PreviewDocument::Element::Type::link && element.missing)
                    names.append(element.name);
            }
            return names;
        };
        QTRY_COMPARE(missing(), (QStringList{u"無い"_s, u"x"_s}));
        AtomicFile::Error error;
        bool taken = false;
        QVERIFY(
            NoteStore::instance().createNote(notePath(u"無い.md"_s), QByteArray(), &error, &taken));
        QTRY_COMPARE(missing(), QStringList{u"x"_s});
    }

    // After a committed "[[" the notes are listed, narrowed as committed text comes; while an
    // input method composes, nothing is listed and its Return is not a choice. Return on the
    // list puts in the name and the closing brackets.
    void completesNoteNamesAroundComposition()
    {
        writeText(notePath(u"会議メモ.md"_s), u"x"_s);
        writeText(notePath(u"会議録.md"_s), u"x"_s);
        writeText(notePath(u"other.md"_s), u"x #読書"_s);
        const QString a = openNote(u"a.md"_s, u""_s);
        NoteTextEdit *edit = m_view->editorView()->editor()->textEdit();
        edit->setFocus();
        QCompleter *completer = edit->findChild<QCompleter *>(); // parented elsewhere: search
        if (!completer)
            completer = m_view->findChild<QCompleter *>();
        QVERIFY(completer);
        const auto commit = [&](const QString &text) {
            QInputMethodEvent event(QString(), {});
            event.setCommitString(text);
            QApplication::sendEvent(edit, &event);
        };
        const auto compose = [&](const QString &text) {
            QInputMethodEvent event(text, {});
            QApplication::sendEvent(edit, &event);
        };
        compose(u"["_s);
        QVERIFY(!completer->popup()->isVisible());
        commit(u"[["_s);
        QTRY_VERIFY(completer->popup()->isVisible());
        QCOMPARE(completer->model()->rowCount(), 4); // a, 会議メモ, 会議録, other
        compose(u"かいぎ"_s);
        QVERIFY(!completer->popup()->isVisible());
        // Return while composing belongs to the input method: no name goes in.
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(!m_view->editorView()->text().contains(u"会議メモ"_s));
        // A real input method keeps that Return; the synthetic one went into the text.
        QTest::keyClick(edit, Qt::Key_Backspace);
        commit(u"会議"_s);
        QTRY_VERIFY(completer->popup()->isVisible());
        QCOMPARE(completer->model()->rowCount(), 2);
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        QCOMPARE(m_view->editorView()->text(), u"[[会議メモ]]"_s);
        QVERIFY(!completer->popup()->isVisible());
        // Tags after a committed "#", once the page has read them.
        QTRY_COMPARE(m_view->notesView()->tagsView()->tree()->topLevelItemCount(), 1);
        commit(u" ＃"_s);
        QTRY_VERIFY(completer->popup()->isVisible());
        commit(u"読"_s);
        QTRY_COMPARE(completer->model()->rowCount(), 1);
        QTRY_VERIFY(completer->popup()->isVisible());
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        QCOMPARE(m_view->editorView()->text(), u"[[会議メモ]] ＃読書"_s);
        Q_UNUSED(a);
    }

    // The notes page's tags: a tree along "/" with counts, one tag whatever its width and case,
    // in its first spelling; ticking tags lists the notes carrying all of them.
    void tagsTreeFiltersTheNoteList()
    {
        writeText(notePath(u"a.md"_s), u"#仕事/会議 と #読書\n"_s);
        writeText(notePath(u"b.md"_s), u"＃仕事/会議\n"_s);
        writeText(m_base + u"/Daily/2025-03-01.txt"_s, u"#読書 #仕事\n"_s);
        m_view->appear();
        m_view->setSelectedPage(ContentView::Page::notes);
        QTreeWidget *tree = m_view->notesView()->tagsView()->tree();
        QTRY_COMPARE(tree->topLevelItemCount(), 2);
        QTreeWidgetItem *work = tree->topLevelItem(0);
        QCOMPARE(work->text(0), u"仕事（1）"_s);
        QCOMPARE(work->childCount(), 1);
        QCOMPARE(work->child(0)->text(0), u"会議（2）"_s);
        QCOMPARE(work->child(0)->data(0, Qt::AccessibleTextRole).toString(), u"仕事/会議、2 件"_s);
        // "仕事" counts its nested tag: a, b and the memo; with "読書" as well, a and the memo.
        work->setCheckState(0, Qt::Checked);
        QTRY_COMPARE(m_view->notesView()->browser().notes().size(), 3);
        tree->topLevelItem(1)->setCheckState(0, Qt::Checked);
        QTRY_COMPARE(m_view->notesView()->browser().notes().size(), 2);
        QStringList shown = m_view->notesView()->browser().notes();
        shown.sort();
        QCOMPARE(shown, (QStringList{m_base + u"/Daily/2025-03-01.txt"_s, notePath(u"a.md"_s)}));
        // The tree is filled afresh as the list changes; the ticks stay.
        QCOMPARE(tree->topLevelItem(0)->checkState(0), Qt::Checked);
        tree->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        tree->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        QVERIFY(!m_view->notesView()->browser().hasTagFilter());
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<MemoManager> m_memo;
    std::unique_ptr<QMainWindow> m_window;
    ContentView *m_view = nullptr;
    QString m_base;
};

QTEST_MAIN(TestContentView)
#include "tst_contentview.moc"
