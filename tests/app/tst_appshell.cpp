#include "common/systemcallfaults.h"
#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "app/appmenus.h"
#include "app/contentview.h"
#include "app/helpwindow.h"
#include "app/mainwindow.h"
#include "app/quillmereapp.h"
#include "app/singleinstance.h"
#include "app/statusbarview.h"
#include "app/translations.h"
#include "app/windowframe.h"
#include "app/windowframekeeper.h"
#include "calendar/daycellbutton.h"
#include "editor/editorsearchbar.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "editor/notetextedit.h"
#include "notes/filelistview.h"
#include "notes/namedialog.h"
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
#include <QFileDialog>
#include <QHash>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
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
    MainWindow *mainWindow() const { return m_window.get(); }

    /// Makes the window the active one, as a user's click would, with the keyboard in the editor.
    void activate() const
    {
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        content()->editorView()->editor()->focusEditor();
        QTRY_VERIFY(QApplication::focusWidget() == textEdit());
    }
    NoteTextEdit *textEdit() const { return content()->editorView()->editor()->textEdit(); }
    /// Presses keys where the keyboard is.
    void press(const QKeySequence &keys) const
    {
        QTest::keySequence(QApplication::focusWidget(), keys);
    }

    /// Brings the page and list into the state a row is acted on in.
    void prepare(const QString &page, const QString &setup)
    {
        content()->setSelectedPage(*ContentView::pageFromString(page));
        SearchController &search = content()->searchView()->controller();
        if (setup == u"search" || setup == u"history") {
            search.setKeyword(u"会議"_s);
            search.runSearch();
            QTRY_VERIFY(!search.isSearching());
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

// The objects of an accessibility tree that say they have the keyboard focus, by class (rows
// and other parts without an object of their own as "item"). Parts of the focused widget
// itself (a scroll area's viewport, the current row of a focused list) count as it; so do the
// tabs of a tab bar, which Qt's own interface marks as focused whenever they are current.
void collectFocused(QAccessibleInterface *node, const QWidget *focus, QStringList &claiming)
{
    const auto *widget = qobject_cast<const QWidget *>(node->object());
    const QAccessibleInterface *parent = node->parent();
    const bool tab = parent && qobject_cast<const QTabBar *>(parent->object());
    const bool partOfFocus = (widget && widget != focus && focus->isAncestorOf(widget)) ||
                             (!widget && parent && parent->object() == focus);
    if (node->state().focused && !tab && !partOfFocus)
        claiming.append(widget ? QString::fromLatin1(widget->metaObject()->className())
                               : u"item"_s);
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface *child = node->child(i))
            collectFocused(child, focus, claiming);
    }
}

QString bodyOf(const QString &path)
{
    return parseNoteDocument(QString::fromUtf8(TestFiles::read(path))).body;
}

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

    // The 編集 menu and the editor's context menu (Qt's own words) name each command alike.
    void editMenuSpeaksAsTheContextMenu()
    {
        QObject owner;
        QVERIFY(Translations::installQtJapanese(&owner));
        Desk desk;
        // The words alone: no access key, no shortcut after a tab.
        const auto words = [](QString text) {
            static const QRegularExpression accessKey(u"\\(&.\\)|&|\\t.*$"_s);
            return text.remove(accessKey);
        };
        NoteTextEdit *text = desk.content()->editorView()->editor()->textEdit();
        const std::unique_ptr<QMenu> context(text->createStandardContextMenu());
        QHash<QString, QString> contextWords;
        for (const QAction *action : context->actions())
            contextWords.insert(action->text().section(u'\t', 1), words(action->text()));
        QStringList differ;
        int compared = 0;
        for (const QKeySequence::StandardKey key :
             {QKeySequence::Undo, QKeySequence::Redo, QKeySequence::Cut, QKeySequence::Copy,
              QKeySequence::Paste, QKeySequence::SelectAll}) {
            const QString keys = QKeySequence(key).toString(QKeySequence::NativeText);
            const QAction *item = desk.child<QAction>([&keys](QAction *action) {
                return !action->menu() &&
                       action->shortcut().toString(QKeySequence::NativeText) == keys;
            });
            QVERIFY2(item && contextWords.contains(keys), qPrintable(keys));
            ++compared;
            if (words(item->text()) != contextWords.value(keys))
                differ.append(words(item->text()) + u" / "_s + contextWords.value(keys));
        }
        QCOMPARE(compared, 6);
        QVERIFY2(differ.isEmpty(), qPrintable(differ.join(u", "_s)));
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

    void menuKeys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("menu");
        QTest::newRow("F10") << u"F10"_s << u"ファイル(&F)"_s;
        QTest::newRow("Alt alone") << u"Alt"_s << u"ファイル(&F)"_s;
        QTest::newRow("Alt as a modifier") << u"Alt, Left"_s << QString();
        QTest::newRow("Alt+F") << u"Alt+F"_s << u"ファイル(&F)"_s;
        QTest::newRow("Alt+E") << u"Alt+E"_s << u"編集(&E)"_s;
        QTest::newRow("Alt+V") << u"Alt+V"_s << u"表示(&V)"_s;
        QTest::newRow("Alt+H") << u"Alt+H"_s << u"ヘルプ(&H)"_s;
    }

    // The menus open from the keyboard: F10 and Alt pressed alone the first, Alt with a title's
    // access key that menu. None of these keys reaches the note as text.
    void menuKeys()
    {
        QFETCH(QString, keys);
        QFETCH(QString, menu);
        Desk desk;
        desk.activate();
        QWidget *focus = QApplication::focusWidget();
        if (keys.startsWith(u"Alt"_s) && !keys.contains(u'+')) {
            QTest::sendKeyEvent(QTest::Press, focus, Qt::Key_Alt, QString(), Qt::AltModifier);
            if (keys.contains(u"Left"_s))
                QTest::keyClick(focus, Qt::Key_Left, Qt::AltModifier);
            QTest::sendKeyEvent(QTest::Release, focus, Qt::Key_Alt, QString(), Qt::NoModifier);
        } else {
            desk.press(QKeySequence(keys));
        }
        const auto openMenu = [] {
            const auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            return popup ? popup->title() : QString();
        };
        QTRY_COMPARE(openMenu(), menu);
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
        QCOMPARE(desk.content()->editorText(), QString());
    }

    void editorTabKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("direction");
        QTest::newRow("Tab indents a list line") << int(Qt::Key_Tab) << 0 << 0;
        QTest::newRow("Ctrl+Tab: the next control")
            << int(Qt::Key_Tab) << int(Qt::ControlModifier) << 1;
        QTest::newRow("Ctrl+Shift+Tab: the previous control")
            << int(Qt::Key_Tab) << int(Qt::ControlModifier | Qt::ShiftModifier) << -1;
        // What X11 sends for the same keys.
        QTest::newRow("Ctrl+Shift+Backtab: the previous control")
            << int(Qt::Key_Backtab) << int(Qt::ControlModifier | Qt::ShiftModifier) << -1;
    }

    // Tab keeps its list meaning in the editor; Ctrl+Tab and Ctrl+Shift+Tab leave it for the
    // neighbouring controls, from where Shift+Tab or Tab lead back.
    void editorTabKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, direction);
        Desk desk;
        desk.activate();
        QTest::keyClicks(desk.textEdit(), u"- a"_s);
        QTest::keyClick(desk.textEdit(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(desk.content()->editorText() != u"- a"_s, direction == 0);
        if (direction == 0) {
            QCOMPARE(QApplication::focusWidget(), desk.textEdit());
            return;
        }
        QWidget *reached = QApplication::focusWidget();
        QVERIFY(reached && reached != desk.textEdit());
        QTest::keyClick(reached, Qt::Key_Tab, direction > 0 ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(QApplication::focusWidget(), desk.textEdit());
    }

    void pageKeys_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("page");
        QTest::newRow("Ctrl+2: notes") << u"calendar"_s << u"Ctrl+2"_s << u"notes"_s;
        QTest::newRow("Ctrl+3: search") << u"calendar"_s << u"Ctrl+3"_s << u"search"_s;
        QTest::newRow("Ctrl+1: calendar") << u"notes"_s << u"Ctrl+1"_s << u"calendar"_s;
    }

    // Ctrl+1, Ctrl+2 and Ctrl+3 choose the pages from wherever the keyboard is; the search page
    // gives its field the keyboard, the others the editor.
    void pageKeys()
    {
        QFETCH(QString, start);
        QFETCH(QString, keys);
        QFETCH(QString, page);
        Desk desk;
        desk.prepare(start, QString());
        desk.activate();
        desk.press(QKeySequence(keys));
        QCOMPARE(ContentView::pageToString(desk.content()->selectedPage()), page);
        QWidget *field = desk.content()->searchView();
        QWidget *expected = page == u"search" ? field : desk.textEdit();
        QTRY_VERIFY(expected == QApplication::focusWidget() ||
                    expected->isAncestorOf(QApplication::focusWidget()));
        QVERIFY(qobject_cast<QLineEdit *>(QApplication::focusWidget()) || page != u"search");
    }

    void newNote_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("how");
        QTest::newRow("Ctrl+N on the calendar page")
            << u"calendar"_s << u"Notes/仕事"_s << u"Ctrl+N"_s;
        QTest::newRow("＋ on the notes page") << u"notes"_s << u"Notes/仕事"_s << u"+"_s;
        QTest::newRow("Ctrl+N with every note listed: in Notes")
            << u"notes"_s << QString() << u"Ctrl+N"_s;
    }

    // 新規ノート (Ctrl+N) makes a note as the notes page's ＋ does, from any page: named in the
    // same dialog, in the selected folder (Notes while every note is listed), and opened with the
    // caret after its title line, ready for typing.
    void newNote()
    {
        QFETCH(QString, page);
        QFETCH(QString, folder);
        QFETCH(QString, how);
        Desk desk;
        desk.prepare(u"notes"_s, QString());
        NotesBrowser &browser = desk.content()->notesView()->browser();
        browser.selectFolder(folder.isEmpty() ? QString() : desk.base() + u'/' + folder);
        desk.prepare(page, QString());
        desk.activate();
        desk.content()->notesView()->fileList()->listView()->setFocus();
        if (how == u"+")
            QTest::mouseClick(desk.content()->notesView()->fileList()->addButton(), Qt::LeftButton);
        else
            desk.press(QKeySequence(how));

        NameDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = desk.window()->findChild<NameDialog *>()) && dialog->isVisible());
        dialog->nameField()->setText(u"買い物.md"_s);
        QTest::keyClick(dialog->nameField(), Qt::Key_Return);
        const QString made =
            desk.base() + (folder.isEmpty() ? u"/Notes"_s : u'/' + folder) + u"/買い物.md"_s;
        QTRY_COMPARE(desk.content()->notesSelectedFile(), made);
        QVERIFY(QFileInfo::exists(made));
        // Where the keyboard goes as soon as the window is active again.
        QTRY_COMPARE(desk.window()->focusWidget(), desk.textEdit());
        QVERIFY(desk.textEdit()->textCursor().atEnd());
        QVERIFY(!desk.content()->editorText().isEmpty());
    }

    // The window's title names the open note before the program, with the modified mark; a name
    // ending in the program's name keeps the window system from adding it a second time. A
    // "[*]" in a note's name stays text.
    void windowTitleFollowsTheNote()
    {
        Desk desk;
        desk.activate();
        const auto title = [&desk] { return desk.window()->windowHandle()->title(); };
        QCOMPARE(title(), u"2025-03-05 — Quillmere"_s);
        QTest::keyClicks(desk.textEdit(), u"x"_s);
        QCOMPARE(title(), u"2025-03-05* — Quillmere"_s);
        desk.press(QKeySequence(u"Ctrl+S"_s));
        QCOMPARE(title(), u"2025-03-05 — Quillmere"_s);
        desk.content()->setSelectedPage(ContentView::Page::notes);
        desk.content()->notesFileSelected(desk.base() + u"/Notes/議事録.md"_s);
        QCOMPARE(title(), u"議事録 — Quillmere"_s);
        QVERIFY(TestFiles::write(desk.base() + u"/Notes/v1.2 x[*].md"_s, "x\n"));
        desk.content()->notesFileSelected(desk.base() + u"/Notes/v1.2 x[*].md"_s);
        QTest::keyClicks(desk.textEdit(), u"y"_s);
        QCOMPARE(title(), u"v1.2 x[*]* — Quillmere"_s);
    }

    // 「Quillmere について」 says which version this is and under which licence.
    void aboutNamesVersionAndLicence()
    {
        Desk desk;
        QAction *about = desk.action(u"Quillmere について"_s);
        QVERIFY(about);
        about->trigger();
        QMessageBox *box = nullptr;
        QTRY_VERIFY((box = desk.window()->findChild<QMessageBox *>()) && box->isVisible());
        QCOMPARE(box->windowTitle(), u"Quillmere について"_s);
        QVERIFY2(box->text().contains(QStringLiteral(QUILLMERE_VERSION)), qPrintable(box->text()));
        QVERIFY(box->text().contains(u"GPL-3.0-or-later"_s));
        box->close();
    }

    // Every menu item can be used. 閉じる (Ctrl+W) closes the window as its close button does,
    // with the typed text saved, and the help window goes with it: nothing is left to keep the
    // program running without its window.
    void closeItemSavesAndEndsEverything()
    {
        Desk desk;
        const QList<QAction *> titles = desk.mainWindow()->menuBar()->actions();
        for (QAction *title : titles) {
            for (QAction *item : title->menu()->actions())
                QVERIFY2(item->isSeparator() || item->isEnabled(), qPrintable(item->text()));
        }
        desk.action(u"Quillmereヘルプ"_s)->trigger();
        const QWidgetList windows = QApplication::topLevelWidgets();
        const auto help = std::find_if(windows.cbegin(), windows.cend(), [](QWidget *window) {
            return window->windowTitle() == HelpWindowController::windowTitle;
        });
        QVERIFY(help != windows.cend() && (*help)->isVisible());
        desk.activate();
        QTest::keyClicks(desk.textEdit(), u"bye"_s);
        desk.press(QKeySequence(u"Ctrl+W"_s));
        QVERIFY(!desk.window()->isVisible());
        QVERIFY(!(*help)->isVisible());
        QCOMPARE(bodyOf(desk.base() + u"/Daily/2025-03-05.txt"_s), u"bye"_s);
    }

    // The chooser of 「フォルダを開く」 opens in the base folder in use.
    void folderChooserStartsInTheBaseFolder()
    {
        Desk desk;
        QString shown;
        QTimer::singleShot(0, desk.window(), [&shown] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                shown = dialog->directory().absolutePath();
                dialog->reject();
            }
        });
        QCOMPARE(QuillmereApp::chooseFolderWithDialog(), std::nullopt);
        QCOMPARE(shown, desk.base());
    }

    // A second start finds the first on the session bus and brings its window forward (here
    // from minimized) instead of opening another; once the first is gone, the next start is the
    // first again. Without a bus every start runs on its own.
    void secondStartBringsTheWindowForward()
    {
        {
            SingleInstance noBus(
                QDBusConnection::connectToBus(u"unix:path=/nonexistent/bus"_s, u"nobus"_s));
            QCOMPARE(noBus.claim(), SingleInstance::Role::alone);
        }
        QDBusConnection::disconnectFromBus(u"nobus"_s);

        const QString daemon = QStandardPaths::findExecutable(u"dbus-daemon"_s);
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed: no private session bus can be started");
        QProcess bus;
        bus.start(daemon, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
        QVERIFY2(bus.waitForStarted() && bus.waitForReadyRead(), "dbus-daemon did not start");
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();
        const auto connect = [&address](const QString &name) {
            return QDBusConnection::connectToBus(address, name);
        };
        {
            Desk desk;
            SingleInstance first(connect(u"first"_s));
            SingleInstance second(connect(u"second"_s));
            QCOMPARE(first.claim(), SingleInstance::Role::first);
            QObject::connect(&first, &SingleInstance::activationRequested, desk.mainWindow(),
                             &MainWindow::bringToFront);
            desk.mainWindow()->showMinimized();
            QCOMPARE(second.claim(), SingleInstance::Role::handedOver);
            QVERIFY(!desk.mainWindow()->isMinimized() && desk.mainWindow()->isVisible());
        }
        {
            SingleInstance next(connect(u"next"_s));
            QCOMPARE(next.claim(), SingleInstance::Role::first);
        }
        for (const QString &name : {u"first"_s, u"second"_s, u"next"_s})
            QDBusConnection::disconnectFromBus(name);
        bus.terminate();
        QVERIFY(bus.waitForFinished());
    }

    // Moving through the window with Tab (Ctrl+Tab out of the editor), one control at a time
    // tells screen readers it has the focus: the one that has it, never also a box around it.
    // The calendar's days are among the stops.
    void oneFocusAtATime()
    {
        Desk desk;
        desk.activate();
        QList<QWidget *> visited;
        QWidget *focus = QApplication::focusWidget();
        while (focus && !visited.contains(focus) && visited.size() < 100) {
            visited.append(focus);
            QStringList claiming;
            collectFocused(QAccessible::queryAccessibleInterface(desk.window()), focus, claiming);
            QCOMPARE(claiming.join(u' '), QString::fromLatin1(focus->metaObject()->className()));
            QTest::keyClick(focus, Qt::Key_Tab,
                            focus == desk.textEdit() ? Qt::ControlModifier : Qt::NoModifier);
            focus = QApplication::focusWidget();
        }
        QVERIFY(std::any_of(visited.cbegin(), visited.cend(), [](QWidget *widget) {
            return qobject_cast<DayCellButton *>(widget) != nullptr;
        }));
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

    // On a screen 1,000 pixels high the help keeps its size and room for its title bar; on a
    // smaller one it shrinks to fit.
    void helpWindowGeometry()
    {
        const QRect tall(0, 0, 1920, 1000);
        const QRect small(0, 24, 1024, 576);
        QCOMPARE(HelpWindowController::windowGeometry(tall).size(), QSize(720, 640));
        for (const QRect &screen : {tall, small}) {
            const QRect frame = HelpWindowController::windowGeometry(screen);
            QVERIFY(screen.adjusted(0, 40, 0, 0).contains(frame));
        }
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
            // Whole on its screen.
            QVERIFY(window->screen()->availableGeometry().contains(window->geometry()));
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
