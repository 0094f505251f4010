#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "app/contentview.h"
#include "app/mainwindow.h"
#include "calendar/daycellbutton.h"
#include "editor/editorsearchbar.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "notes/notesbrowser.h"
#include "notes/notesview.h"
#include "platform/clock.h"
#include "search/quickopenview.h"
#include "search/searchcontroller.h"
#include "search/searchview.h"
#include "storage/foldermanager.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QListView>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

/// The whole window over a small base folder of its own, as the application shows it.
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
        note(QStringLiteral("Daily/2025-03-03.txt"), "月曜の会議\n", 1740900000);
        note(QStringLiteral("Daily/2025-03-04.txt"), "火曜のメモ\n", 1741000000);
        note(QStringLiteral("Notes/議事録.md"), "# 会議\n\n本文\n", 1741100000);
        note(QStringLiteral("Notes/仕事/計画.md"), "計画の会議\n", 1741050000);
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
            search.setKeyword(QStringLiteral("会議"));
            search.runSearch();
        }
        if (setup == u"history")
            search.clearSearch();
        if (setup == u"quick open")
            content()->showQuickOpen();
    }

    /// Waits for the quick-open palette, when one was chosen from, to hand over its file.
    void settle() const { QTRY_VERIFY(!m_window->findChild<QuickOpenView *>()); }

    QListView *list(const QString &accessibleName) const
    {
        for (QListView *view : m_window->findChildren<QListView *>()) {
            if (view->accessibleName() == accessibleName && view->isVisible())
                return view;
        }
        return nullptr;
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

QAbstractButton *pageButton(QWidget *window, const QString &title)
{
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (button->text() == title && button->isCheckable())
            return button;
    }
    return nullptr;
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pagePickerFollowsAccessibilityActions_data();
    void pagePickerFollowsAccessibilityActions();
    void listRowsActAsClicked_data();
    void listRowsActAsClicked();
    void findKeysActOnceWithTheMenuShowingThem();
    void iconOnlyButtonsAreNamed();
    void sortButtonOpensItsMenu_data();
    void sortButtonOpensItsMenu();
};

void TestAccessibility::pagePickerFollowsAccessibilityActions_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("page");
    const auto row = [](const char *name, const QString &action, const char *title,
                        const char *page) {
        QTest::newRow(name) << action << QString::fromUtf8(title) << QString::fromUtf8(page);
    };
    const QString toggle = QAccessibleActionInterface::toggleAction();
    const QString press = QAccessibleActionInterface::pressAction();
    row("Toggle on notes", toggle, "ノート", "notes");
    row("Press on notes", press, "ノート", "notes");
    row("Toggle on search", toggle, "検索", "search");
    row("Toggle on the page shown keeps it", toggle, "日付", "calendar");
}

void TestAccessibility::pagePickerFollowsAccessibilityActions()
{
    QFETCH(QString, action);
    QFETCH(QString, title);
    QFETCH(QString, page);
    Desk desk;
    QAbstractButton *button = pageButton(desk.window(), title);
    QVERIFY(button);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(button);
    QVERIFY(accessible && accessible->actionInterface());
    QVERIFY(accessible->actionInterface()->actionNames().contains(action));

    accessible->actionInterface()->doAction(action);
    QCOMPARE(ContentView::pageToString(desk.content()->selectedPage()), page);
    // One of a group where exactly one is on: the button of the page shown.
    QCOMPARE(accessible->role(), QAccessible::RadioButton);
    QVERIFY(accessible->state().checkable && accessible->state().checked);
    int checked = 0;
    for (const char *other : {"日付", "ノート", "検索"})
        checked += pageButton(desk.window(), QString::fromUtf8(other))->isChecked() ? 1 : 0;
    QCOMPARE(checked, 1);
}

void TestAccessibility::listRowsActAsClicked_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("action");
    const auto row = [](const char *name, const char *page, const char *setup, const char *list,
                        int index, const QString &action) {
        QTest::newRow(name) << QString::fromUtf8(page) << QString::fromUtf8(setup)
                            << QString::fromUtf8(list) << index << action;
    };
    const QString toggle = QAccessibleActionInterface::toggleAction();
    const QString press = QAccessibleActionInterface::pressAction();
    row("note list, Press", "notes", "", "ノート一覧", 1, press);
    row("note list, Toggle", "notes", "", "ノート一覧", 1, toggle);
    row("folder list", "notes", "", "フォルダ一覧", 1, toggle);
    row("search results", "search", "search", "検索結果", 1, press);
    row("search history", "search", "history", "検索履歴", 0, toggle);
    row("quick open", "calendar", "quick open", "ファイル", 2, press);
    row("calendar day list", "calendar", "", "日ごとのメモ", 2, toggle);
}

// The same row is clicked with the mouse in one window and acted on through its accessibility
// interface in another one made alike: both must end in the same state, and a changed one.
void TestAccessibility::listRowsActAsClicked()
{
    QFETCH(QString, page);
    QFETCH(QString, setup);
    QFETCH(QString, list);
    QFETCH(int, row);
    QFETCH(QString, action);

    QString before;
    QString clicked;
    {
        Desk desk;
        desk.prepare(page, setup);
        before = desk.state();
        QListView *view = desk.list(list);
        QVERIFY2(view, qPrintable(list));
        const QModelIndex index = view->model()->index(row, 0);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
        desk.settle();
        clicked = desk.state();
    }
    QVERIFY2(clicked != before, qPrintable(clicked));

    Desk desk;
    desk.prepare(page, setup);
    QCOMPARE(desk.state(), before);
    QListView *view = desk.list(list);
    QVERIFY(view);
    QAccessibleInterface *accessibleList = QAccessible::queryAccessibleInterface(view);
    QVERIFY(accessibleList);
    QCOMPARE(accessibleList->role(), QAccessible::List);
    QCOMPARE(accessibleList->childCount(), view->model()->rowCount());
    QAccessibleInterface *rowInterface = accessibleList->child(row);
    QVERIFY(rowInterface && rowInterface->actionInterface());
    QCOMPARE(rowInterface->role(), QAccessible::ListItem);
    QCOMPARE(accessibleList->indexOfChild(rowInterface), row);
    QVERIFY(!rowInterface->text(QAccessible::Name).isEmpty());
    rowInterface->actionInterface()->doAction(action);
    desk.settle();
    QCOMPARE(desk.state(), clicked);
}

// The 編集 menu shows the editor's find keys; a press must still reach the search once, not
// twice and not never (two shortcuts for one key would make it ambiguous).
void TestAccessibility::findKeysActOnceWithTheMenuShowingThem()
{
    Desk desk;
    MemoEditorView *editor = desk.content()->editorView();
    EditorSearchBar *bar = editor->searchBar();
    QSignalSpy requests(bar, &EditorSearchBar::searchRequested);
    editor->editor()->focusEditor();
    QWidget *text = QApplication::focusWidget();
    QVERIFY(text && editor->isAncestorOf(text));

    QTest::keyClicks(text, QStringLiteral("ab ab ab"));
    QTest::keyClick(text, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(bar->isSearchFieldFocused());
    QTest::keyClicks(bar->searchField(), QStringLiteral("ab"));
    QTRY_COMPARE(bar->state().resultCount, 3);
    editor->editor()->focusEditor();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_G, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_G,
                    Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.at(0).at(0).value<SearchCommand>().direction, SearchDirection::next);
    QCOMPARE(requests.at(1).at(0).value<SearchCommand>().direction, SearchDirection::previous);

    // Ctrl+S, the file menu's 保存, writes what was typed.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
    const QByteArray saved = TestFiles::read(desk.base() + QStringLiteral("/Daily/2025-03-05.txt"));
    QCOMPARE(parseNoteDocument(QString::fromUtf8(saved)).body, QStringLiteral("ab ab ab"));

    // A search on the search page hands its trimmed keyword to the editor's search bar.
    desk.prepare(QStringLiteral("search"), QStringLiteral("search"));
    QCOMPARE(bar->searchField()->text(), QStringLiteral("会議"));
    SearchController &search = desk.content()->searchView()->controller();
    search.setKeyword(QStringLiteral("   "));
    search.runSearch();
    QCOMPARE(bar->searchField()->text(), QString());
}

// A button that shows only an icon (or a sign such as "<") says what it does: as a tooltip
// for the mouse and as its accessible name for a screen reader.
void TestAccessibility::iconOnlyButtonsAreNamed()
{
    Desk desk;
    desk.content()->showQuickOpen();
    const QRegularExpression word(QStringLiteral("[\\p{L}\\p{N}]"));
    int checked = 0;
    for (QAbstractButton *button : desk.window()->findChildren<QAbstractButton *>()) {
        const auto *tool = qobject_cast<QToolButton *>(button);
        const bool iconOnly =
            !button->text().contains(word) ||
            (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly && !button->icon().isNull());
        // Day cells are read by their dates; a tab bar's scroll arrows and the menu bar's
        // overflow button are Qt's own, named by Qt.
        const bool qtsOwn = qobject_cast<QTabBar *>(button->parentWidget()) ||
                            button->objectName().startsWith(QStringLiteral("qt_"));
        if (!iconOnly || qobject_cast<DayCellButton *>(button) || qtsOwn)
            continue;
        ++checked;
        const QByteArray what = button->metaObject()->className() + QByteArray(" ") +
                                button->objectName().toUtf8() + " " +
                                button->parentWidget()->metaObject()->className();
        QVERIFY2(!button->toolTip().isEmpty(), what.constData());
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(button);
        QVERIFY2(accessible && !accessible->text(QAccessible::Name).isEmpty(), what.constData());
    }
    QVERIFY(checked >= 8);
}

void TestAccessibility::sortButtonOpensItsMenu_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("ShowMenu") << QAccessibleActionInterface::showMenuAction();
    QTest::newRow("Press") << QAccessibleActionInterface::pressAction();
}

// The note list's sort button pops its menu up at once when clicked; its accessibility actions
// must open it too, and an item chosen there sorts as when clicked.
void TestAccessibility::sortButtonOpensItsMenu()
{
    QFETCH(QString, action);
    Desk desk;
    desk.content()->setSelectedPage(ContentView::Page::notes);
    QToolButton *sort = nullptr;
    for (QToolButton *button : desk.window()->findChildren<QToolButton *>()) {
        if (button->toolTip().startsWith(QStringLiteral("並べ替え: ")))
            sort = button;
    }
    QVERIFY(sort && sort->menu());
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(sort);
    QCOMPARE(accessible->role(), QAccessible::ButtonMenu);
    QVERIFY(accessible->actionInterface()->actionNames().contains(action));

    // The menu runs its own loop; it is read and an item chosen from inside it.
    bool shown = false;
    QTimer::singleShot(0, sort, [&] {
        QMenu *menu = sort->menu();
        shown = menu->isVisible();
        QAccessibleInterface *items = QAccessible::queryAccessibleInterface(menu);
        for (int i = 0; i < items->childCount(); ++i) {
            QAccessibleInterface *item = items->child(i);
            if (item->text(QAccessible::Name) == QStringLiteral("閲覧順"))
                item->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        }
        menu->close();
    });
    accessible->actionInterface()->doAction(action);
    QVERIFY(shown);
    QCOMPARE(desk.content()->notesView()->browser().sortMode(), NotesFileSortMode::viewCount);
    QCOMPARE(sort->toolTip(), QStringLiteral("並べ替え: 閲覧順"));
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
