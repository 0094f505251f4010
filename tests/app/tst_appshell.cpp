#include "common/systemcallfaults.h"
#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "app/contentview.h"
#include "app/helpwindow.h"
#include "app/mainwindow.h"
#include "app/quillmereapp.h"
#include "app/statusbarview.h"
#include "app/windowframe.h"
#include "app/windowframekeeper.h"
#include "calendar/daycellbutton.h"
#include "editor/editorsearchbar.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "editor/notetextedit.h"
#include "notes/notesbrowser.h"
#include "notes/notesview.h"
#include "platform/clock.h"
#include "preview/markdownpreviewview.h"
#include "search/quickopenview.h"
#include "search/searchcontroller.h"
#include "search/searchview.h"
#include "storage/foldermanager.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"
#include "storage/recovery.h"
#include "storage/settings.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QActionGroup>
#include <QApplication>
#include <QListView>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <csignal>

using WindowFrame::ScreenInfo;
using namespace Qt::StringLiterals;

namespace {

/// The whole window over a small base folder and settings of its own, as the application shows it.
class Desk
{
public:
    Desk()
        : m_clock(QDateTime(QDate(2025, 3, 5), QTime(9, 0), QTimeZone("Asia/Tokyo")),
                  QTimeZone("Asia/Tokyo"))
    {
        Clock::setCurrent(&m_clock);
        m_base = m_env.useBaseFolder();
        const auto note = [this](const QString &path, const QByteArray &text, qint64 seconds) {
            QVERIFY(TestFiles::write(m_base + u'/' + path, text, seconds));
        };
        note(u"Daily/2025-03-03.txt"_s, "月曜の会議\n", 1740900000);
        note(u"Daily/2025-03-04.txt"_s, "火曜のメモ\n", 1741000000);
        note(u"Notes/議事録.md"_s, "# 会議\n\n本文\n", 1741100000);
        note(u"Notes/仕事/計画.md"_s, "計画の会議\n", 1741050000);
        m_memo = std::make_unique<MemoManager>();
        m_window = std::make_unique<MainWindow>(*m_memo, m_folders);
        m_window->resize(1100, 720);
        m_window->show();
        content()->appear();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    ~Desk()
    {
        // Hidden while everything is whole: hiding the editor saves.
        m_window->hide();
        m_window.reset();
        Clock::setCurrent(nullptr);
    }

    ContentView *content() const { return m_window->contentView(); }
    const QString &base() const { return m_base; }
    QWidget *window() const { return m_window.get(); }

    /// Brings the page and list into the state a row is acted on in.
    void prepare(const QString &page, const QString &setup)
    {
        content()->setSelectedPage(*ContentView::pageFromString(page));
        SearchController &search = content()->searchView()->controller();
        if (setup == u"search" || setup == u"history") {
            search.setKeyword(u"会議"_s);
            search.runSearch();
        }
        if (setup == u"history")
            search.clearSearch();
        if (setup == u"quick open")
            content()->showQuickOpen();
    }

    /// Waits for the quick-open palette, when one was chosen from, to hand over its file.
    void settle() const { QTRY_VERIFY(!m_window->findChild<QuickOpenView *>()); }

    /// The first child of type T that `matches`.
    template <typename T, typename Matches> T *child(Matches matches) const
    {
        const QList<T *> all = m_window->findChildren<T *>();
        const auto found = std::find_if(all.cbegin(), all.cend(), matches);
        return found == all.cend() ? nullptr : *found;
    }
    /// An action by its text; a menu's action by the menu's title.
    QAction *action(const QString &text) const
    {
        return child<QAction>([&text](QAction *action) { return action->text() == text; });
    }
    QAbstractButton *pageButton(const QString &title) const
    {
        return child<QAbstractButton>([&title](QAbstractButton *button) {
            return button->text() == title && button->isCheckable();
        });
    }
    QListView *list(const QString &name) const
    {
        return child<QListView>([&name](QListView *view) {
            return view->accessibleName() == name && view->isVisible();
        });
    }

    /// Clicks the page button titled `target` (`row` < 0) or a row of the list so named.
    void click(const QString &target, int row)
    {
        if (row < 0)
            return QTest::mouseClick(pageButton(target), Qt::LeftButton);
        QListView *view = list(target);
        QVERIFY2(view, qPrintable(target));
        const QModelIndex index = view->model()->index(row, 0);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    }

    /// What a screen reader finds for the same; null unless a list shows a screen reader its
    /// rows as they are.
    QAccessibleInterface *accessible(const QString &target, int row) const
    {
        if (row < 0)
            return QAccessible::queryAccessibleInterface(pageButton(target));
        QListView *view = list(target);
        QAccessibleInterface *rows = view ? QAccessible::queryAccessibleInterface(view) : nullptr;
        if (!rows || rows->role() != QAccessible::List ||
            rows->childCount() != view->model()->rowCount())
            return nullptr;
        QAccessibleInterface *item = rows->child(row);
        const bool whole =
            item && item->role() == QAccessible::ListItem && rows->indexOfChild(item) == row;
        return whole ? item : nullptr;
    }

    /// Everything a click in the page column can change, with paths below the base folder.
    QString state() const
    {
        const auto relative = [this](const QString &path) {
            return path.isEmpty() ? QString() : QDir(m_base).relativeFilePath(path);
        };
        ContentView *c = content();
        return QStringList{ContentView::pageToString(c->selectedPage()),
                           c->selectedDate().toString(Qt::ISODate),
                           relative(c->notesSelectedFile()),
                           relative(c->searchSelectedFile()),
                           relative(c->notesView()->browser().selectedFolder()),
                           c->searchView()->controller().keyword(),
                           c->editorText()}
            .join(u'|');
    }

private:
    TestEnvironment m_env;
    FixedClock m_clock;
    QString m_base;
    FolderManager m_folders;
    std::unique_ptr<MemoManager> m_memo;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace

class TestAppShell : public QObject
{
    Q_OBJECT
    // Page, setup, target (a list's accessible name, or a page button's title), row (-1 for the
    // page button), accessibility action.
    using Click = std::tuple<QString, QString, QString, int, QString>;

private Q_SLOTS:
    void actsAsClicked_data()
    {
        QTest::addColumn<Click>("click");
        const auto row = [](const char *name, const char *page, const char *setup,
                            const char *target, int index, const QString &action) {
            QTest::newRow(name) << Click{page, setup, target, index, action};
        };
        const QString toggle = QAccessibleActionInterface::toggleAction();
        const QString press = QAccessibleActionInterface::pressAction();
        row("page button, Toggle", "calendar", "", "ノート", -1, toggle);
        row("page button, Press", "calendar", "", "検索", -1, press);
        row("page button of the page shown, Toggle keeps it", "calendar", "", "日付", -1, toggle);
        row("note list, Press", "notes", "", "ノート一覧", 1, press);
        row("folder list", "notes", "", "フォルダ一覧", 1, toggle);
        row("search results", "search", "search", "検索結果", 1, press);
        row("search history", "search", "history", "検索履歴", 0, toggle);
        row("quick open", "calendar", "quick open", "ファイル", 2, press);
        row("calendar day list", "calendar", "", "日ごとのメモ", 2, toggle);
    }

    // The same target is clicked with the mouse in one window and acted on through its
    // accessibility interface in another one made alike: both must end in the same state, a list
    // row's a changed one.
    void actsAsClicked()
    {
        QFETCH(Click, click);
        const auto &[page, setup, target, row, action] = click;

        QString before;
        QString clicked;
        {
            Desk desk;
            desk.prepare(page, setup);
            before = desk.state();
            desk.click(target, row);
            desk.settle();
            clicked = desk.state();
        }
        QVERIFY2(clicked != before || row < 0, qPrintable(clicked));

        Desk desk;
        desk.prepare(page, setup);
        QAccessibleInterface *item = desk.accessible(target, row);
        QVERIFY(item && item->actionInterface() && !item->text(QAccessible::Name).isEmpty());
        QVERIFY(item->actionInterface()->actionNames().contains(action));
        item->actionInterface()->doAction(action);
        desk.settle();
        QCOMPARE(desk.state(), clicked);
        if (row >= 0)
            return;
        // One of a group where exactly one is on: the button of the page shown.
        QCOMPARE(item->role(), QAccessible::RadioButton);
        QVERIFY(item->state().checkable);
        for (const QString &title : {u"日付"_s, u"ノート"_s, u"検索"_s})
            QCOMPARE(desk.pageButton(title)->isChecked(), title == target);
    }

    // The 編集 menu shows the editor's find keys; a press must still reach the search once, not
    // twice and not never (two shortcuts for one key would make it ambiguous), as must its items.
    void findKeysAndItemsActOnce()
    {
        Desk desk;
        MemoEditorView *editor = desk.content()->editorView();
        EditorSearchBar *bar = editor->searchBar();
        QSignalSpy requests(bar, &EditorSearchBar::searchRequested);
        editor->editor()->focusEditor();
        QWidget *text = QApplication::focusWidget();
        const auto choose = [&desk](const QString &title) { desk.action(title)->trigger(); };

        QTest::keyClicks(text, u"ab ab ab"_s);
        QTest::keyClick(text, Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(bar->isSearchFieldFocused());
        QTest::keyClicks(bar->searchField(), u"ab"_s);
        QTRY_COMPARE(bar->state().resultCount, 3);
        editor->editor()->focusEditor();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_G, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_G,
                        Qt::ControlModifier | Qt::ShiftModifier);
        choose(u"次を検索"_s);
        choose(u"前を検索"_s);
        QCOMPARE(requests.size(), 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(requests.at(i).at(0).value<SearchCommand>().direction,
                     i % 2 ? SearchDirection::previous : SearchDirection::next);

        // Ctrl+S, the file menu's 保存, writes what was typed.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
        const QByteArray saved = TestFiles::read(desk.base() + u"/Daily/2025-03-05.txt"_s);
        QCOMPARE(parseNoteDocument(QString::fromUtf8(saved)).body, u"ab ab ab"_s);
        choose(u"検索…"_s);
        QTRY_VERIFY(bar->isSearchFieldFocused());

        // A search on the search page hands its trimmed keyword to the editor's search bar.
        desk.prepare(u"search"_s, u"search"_s);
        QCOMPARE(bar->searchField()->text(), u"会議"_s);
        SearchController &search = desk.content()->searchView()->controller();
        search.setKeyword(u"   "_s);
        search.runSearch();
        QCOMPARE(bar->searchField()->text(), QString());
    }

    // A button that shows only an icon (or a sign such as "<") says what it does: as a tooltip
    // for the mouse and as its accessible name for a screen reader.
    void iconOnlyButtonsAreNamed()
    {
        Desk desk;
        desk.content()->showQuickOpen();
        const QRegularExpression word(u"[\\p{L}\\p{N}]"_s);
        int checked = 0;
        for (QAbstractButton *button : desk.window()->findChildren<QAbstractButton *>()) {
            const auto *tool = qobject_cast<QToolButton *>(button);
            const bool iconOnly = !button->text().contains(word) ||
                                  (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly &&
                                   !button->icon().isNull());
            // Day cells are read by their dates; a tab bar's scroll arrows and the menu bar's
            // overflow button are Qt's own, named by Qt.
            const bool qtsOwn = qobject_cast<QTabBar *>(button->parentWidget()) ||
                                button->objectName().startsWith(u"qt_"_s);
            if (!iconOnly || qobject_cast<DayCellButton *>(button) || qtsOwn)
                continue;
            ++checked;
            const QByteArray what = button->metaObject()->className() + QByteArray(" ") +
                                    button->objectName().toUtf8() + " " +
                                    button->parentWidget()->metaObject()->className();
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(button);
            QVERIFY2(!button->toolTip().isEmpty() && accessible &&
                         !accessible->text(QAccessible::Name).isEmpty(),
                     what.constData());
        }
        QVERIFY(checked >= 8);
    }

    // The note list's sort button pops its menu up at once when clicked; its accessibility actions
    // must open it too, and an item chosen there sorts as when clicked.
    void sortButtonOpensItsMenu()
    {
        for (const QString &action : {QAccessibleActionInterface::showMenuAction(),
                                      QAccessibleActionInterface::pressAction()}) {
            Desk desk;
            desk.content()->setSelectedPage(ContentView::Page::notes);
            QToolButton *sort = desk.child<QToolButton>(
                [](QToolButton *button) { return button->toolTip().startsWith(u"並べ替え: "_s); });
            QVERIFY(sort && sort->menu());
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(sort);
            QCOMPARE(accessible->role(), QAccessible::ButtonMenu);
            QVERIFY2(accessible->actionInterface()->actionNames().contains(action),
                     qPrintable(action));

            // The menu runs its own loop; it is read and an item chosen from inside it.
            bool shown = false;
            QTimer::singleShot(0, sort, [&] {
                QMenu *menu = sort->menu();
                shown = menu->isVisible();
                QAccessibleInterface *items = QAccessible::queryAccessibleInterface(menu);
                for (int i = 0; i < items->childCount(); ++i) {
                    QAccessibleInterface *item = items->child(i);
                    if (item->text(QAccessible::Name) == u"閲覧順"_s)
                        item->actionInterface()->doAction(
                            QAccessibleActionInterface::pressAction());
                }
                menu->close();
            });
            accessible->actionInterface()->doAction(action);
            QVERIFY2(shown, qPrintable(action));
            QCOMPARE(desk.content()->notesView()->browser().sortMode(),
                     NotesFileSortMode::viewCount);
        }
    }

    void fitIntoVisibleArea()
    {
        // Visible area: x 0…1919, y 25…1079 (a panel at the top).
        const auto fit = [](QRect frame) {
            return WindowFrame::fitIntoVisibleArea(frame, QRect(0, 25, 1920, 1055));
        };
        QCOMPARE(fit({100, 100, 800, 600}), QRect(100, 100, 800, 600));
        QCOMPARE(fit({1500, 100, 800, 600}), QRect(1120, 100, 800, 600)); // past the right edge
        // Wider than the area: the left edge stays on screen.
        QCOMPARE(fit({300, 100, 2500, 600}), QRect(0, 100, 2500, 600));
        QCOMPARE(fit({5000, 5000, 800, 600}), QRect(0, 25, 800, 600));  // wholly outside: origin
        QCOMPARE(fit({100, 0, 800, 600}), QRect(100, 25, 800, 600));    // top into the panel
        QCOMPARE(fit({100, 700, 800, 600}), QRect(100, 480, 800, 600)); // below the bottom
        // Taller than the area: the title bar stays reachable.
        QCOMPARE(fit({100, 100, 800, 1400}), QRect(100, 25, 800, 1400));
    }

    void screenChoice()
    {
        const QList<ScreenInfo> screens = {
            {u"screen_A"_s, QRect(0, 0, 1920, 1080), QRect(0, 25, 1920, 1055)},
            {u"screen_B"_s, QRect(1920, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)}};
        const auto choose = [&screens](QRect frame, const QString &stored) {
            return WindowFrame::chooseScreen(frame, stored, screens, 0);
        };
        QCOMPARE(choose({0, 0, 100, 100}, u"screen_B"_s), 1); // the stored one, still attached
        QCOMPARE(choose({2000, 100, 400, 300}, u"screen_gone"_s), 1); // the one under the centre
        QCOMPARE(choose({-900, 100, 400, 300}, {}), 0); // centre off every screen: the nearest
        QCOMPARE(choose({1910, 2000, 20, 20}, {}), 0);  // equally near: the earlier
        QCOMPARE(WindowFrame::chooseScreen({0, 0, 100, 100}, u"screen_A"_s, {}, 0), -1);
        // Stored with the frame: a changed identifier loses every user's screen.
        QCOMPARE(WindowFrame::screenIdentifier(u"HDMI-1"_s, QPoint(0, 0)), u"screen_HDMI-1"_s);
        QCOMPARE(WindowFrame::screenIdentifier(QString(), QPoint(-1440, 0)),
                 u"screen_-1440.0_0.0"_s);
    }

    void frameIsRecordedAfterMove()
    {
        TestEnvironment env;
        QWidget window;
        window.resize(640, 480);
        WindowFrameKeeper keeper(&window);
        QVERIFY(!keeper.restoreWindowPosition());
        window.show();
        window.move(40, 60);
        QTRY_VERIFY(Settings::instance().windowFrame().has_value());
        QCOMPARE(Settings::instance().windowFrame()->size(), QSize(640, 480));

        Settings::instance().setWindowFrame(QRect(30, 40, 500, 400));
        QWidget second;
        WindowFrameKeeper secondKeeper(&second);
        QVERIFY(secondKeeper.restoreWindowPosition());
        QVERIFY(secondKeeper.hasRestoredWindowPosition());
        QCOMPARE(second.size(), QSize(500, 400));
    }

    void statusBarTexts()
    {
        QCOMPARE(StatusBarView::cursorText({3, 5, 0, 120}), u"行 3, 列 5  ・  全 120 文字"_s);
        QCOMPARE(StatusBarView::cursorText({3, 5, 3, 120}),
                 u"行 3, 列 5  ・  選択 3 文字  ・  全 120 文字"_s);
        // In the clock's zone, with the Japanese weekday.
        FixedClock clock(QDateTime::currentDateTime(), QTimeZone("Asia/Tokyo"));
        Clock::setCurrent(&clock);
        const QDateTime friday(QDate(2026, 12, 4), QTime(0, 5, 7), Qt::UTC);
        QCOMPARE(StatusBarView::formatModificationDate(friday), u"2026年12月4日(金) 9:05:07"_s);
        QCOMPARE(StatusBarView::formatModificationDate(QDateTime()), QString());
        Clock::setCurrent(nullptr);
    }

    // The view menu stores what it shows: the size marked is the stored one, a size chosen is
    // stored as shown; the thick cursor goes thin in the editor and is stored under the name
    // other installations read.
    void viewMenuStoresWhatItShows()
    {
        Desk desk;
        Settings &settings = Settings::instance();
        const auto shown = [](const QAction *action) { return action->text().section(u' ', 0, 0); };
        for (const bool editor : {false, true}) {
            QAction *menu = desk.action(editor ? u"エディタの文字サイズ"_s : u"UIの文字サイズ"_s);
            QVERIFY(menu && menu->menu());
            QMenu *sizes = menu->menu();
            const auto stored = [&] {
                return QString::number(editor ? settings.editorFontSize()
                                              : settings.listFontSize());
            };
            QCOMPARE(shown(sizes->actions().constFirst()->actionGroup()->checkedAction()),
                     stored());
            for (QAction *action : sizes->actions()) {
                action->trigger();
                QCOMPARE(stored(), shown(action));
                QVERIFY(action->isChecked());
            }
        }
        QAction *thick = desk.action(u"カーソルを太くする"_s);
        const NoteTextEdit *text = desk.content()->editorView()->editor()->textEdit();
        QVERIFY(thick && thick->isChecked());
        QCOMPARE(text->cursorWidth(), 2);
        thick->trigger();
        QCOMPARE(SettingsStore::instance().boolean(u"thickEditorCursor"_s), false);
        QCOMPARE(text->cursorWidth(), 1);
    }

    void helpDocumentShips()
    {
        QVERIFY(HelpWindowController::helpText() != HelpWindowController::fallbackText);

        // An empty or unreadable document counts as missing; a source-tree copy or the fallback
        // text stands in, never an empty window.
        QTemporaryDir dir;
        const QString empty = dir.filePath(u"detail.md"_s);
        QVERIFY(TestFiles::write(empty, {}));
        QVERIFY(!HelpWindowController::helpText(empty).trimmed().isEmpty());

        // Without the copy compiled in, an installed program reads the installed document.
        const QString installed = dir.filePath(u"installed.md"_s);
        QVERIFY(TestFiles::write(installed, "# インストール版\n"));
        QCOMPARE(HelpWindowController::helpText(empty, installed), u"# インストール版\n"_s);
        QCOMPARE(HelpWindowController::installedHelpPath(),
                 QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                 u"/../share/quillmere/help/detail.md"_s));
    }

    // SIGTERM (a logout, `kill`) ends the application as any other way out does: the text typed
    // is saved, or, when the note's folder takes no file, kept in a recovery file.
    void quitSignalKeepsTheText_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("writable folder: saved") << true;
        QTest::newRow("folder refuses files: recovery file") << false;
    }
    void quitSignalKeepsTheText()
    {
        QFETCH(bool, writable);
        TestEnvironment env;
        FixedClock clock(QDateTime(QDate(2025, 3, 5), QTime(9, 0), QTimeZone("Asia/Tokyo")),
                         QTimeZone("Asia/Tokyo"));
        Clock::setCurrent(&clock);
        const QString base = env.useBaseFolder();
        const QString memo = base + u"/Daily/2025-03-05.txt"_s;
        QVERIFY(TestFiles::write(memo, "朝\n"));
        const SystemCallFaults::Guard faults;
        {
            QuillmereApp app;
            // Typed once the window is up, then the signal comes while the event loop runs.
            MainWindow *window = nullptr;
            QTimer::singleShot(0, &app, [&] {
                for (QWidget *top : QApplication::topLevelWidgets())
                    window = window ? window : qobject_cast<MainWindow *>(top);
                if (!window)
                    return QApplication::quit();
                NoteTextEdit *edit = window->contentView()->editorView()->editor()->textEdit();
                edit->moveCursor(QTextCursor::End);
                edit->insertPlainText(u"大事なこと"_s);
                if (!writable)
                    SystemCallFaults::refuseCreatingIn(base, EACCES);
                std::raise(SIGTERM);
            });
            QCOMPARE(app.run(), 0);
            QVERIFY(window);
        }
        SystemCallFaults::reset();
        const auto body = [](const QString &path) {
            return parseNoteDocument(QString::fromUtf8(TestFiles::read(path))).body;
        };
        QCOMPARE(body(memo), writable ? u"朝\n大事なこと"_s : u"朝\n"_s);
        const QStringList recovered = Recovery::files();
        QCOMPARE(recovered.size(), writable ? 0 : 1);
        if (!writable) {
            QCOMPARE(body(recovered.first()), u"朝\n大事なこと"_s);
            QCOMPARE(Recovery::notePathOf(recovered.first()), memo);
        }
    }

    // The help reads at the editor's size, also when it changes while open, and closes with its
    // keys; closed, not gone: asking again shows the same window.
    void helpWindow()
    {
        TestEnvironment env;
        HelpWindowController controller;
        QWidget *first = nullptr;
        int size = 20;
        for (const QKeySequence &keys :
             {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
            controller.showHelp();
            QWidget *window = controller.window();
            QCOMPARE(window, first ? first : window);
            first = window;
            auto *view = window->findChild<MarkdownPreviewView *>();
            QVERIFY(view && window->isVisible());
            QCOMPARE(view->markdownText(), HelpWindowController::helpText());
            Settings::instance().setEditorFontSize(size += 2);
            QCOMPARE(view->fontSize(), size);
            QVERIFY(QTest::qWaitForWindowActive(window));
            QWidget *focus = QApplication::focusWidget();
            QTest::keySequence(focus ? focus : window, keys);
            QVERIFY2(!window->isVisible(), qPrintable(keys.toString()));
        }
    }
};

QTEST_MAIN(TestAppShell)
#include "tst_appshell.moc"
