#include "common/testenvironment.h"

#include "app/appearance.h"
#include "app/appmenus.h"
#include "app/helpwindow.h"
#include "app/statusbarview.h"
#include "app/windowframe.h"
#include "app/windowframekeeper.h"
#include "platform/appevents.h"
#include "preview/markdownpreviewview.h"
#include "storage/foldermanager.h"
#include "storage/settings.h"

#include <QActionGroup>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using WindowFrame::ScreenInfo;

class TestAppShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fitIntoVisibleArea_data();
    void fitIntoVisibleArea();
    void screenChoice_data();
    void screenChoice();
    void screenIdentifiers();
    void frameIsRecordedAfterMove();
    void statusBarTexts_data();
    void statusBarTexts();
    void modificationDateFormat();
    void appearancePalettes();
    void sizeMenusStoreWhatTheyShow_data();
    void sizeMenusStoreWhatTheyShow();
    void thickCursorSwitchNotifies();
    void helpDocumentShips();
    void helpWindowIsKeptAndReused();
    void helpWindowClosesWithItsKeys_data();
    void helpWindowClosesWithItsKeys();
    void findItemsShowAndPostWhatTheEditorKeysDo_data();
    void findItemsShowAndPostWhatTheEditorKeysDo();
};

void TestAppShell::fitIntoVisibleArea_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QRect>("expected");
    // Visible area: x 0…1919, y 25…1079 (a panel at the top).
    QTest::newRow("inside stays") << QRect(100, 100, 800, 600) << QRect(100, 100, 800, 600);
    QTest::newRow("past the right edge moves left")
        << QRect(1500, 100, 800, 600) << QRect(1120, 100, 800, 600);
    QTest::newRow("wider than the area keeps its left edge on the left")
        << QRect(300, 100, 2500, 600) << QRect(0, 100, 2500, 600);
    QTest::newRow("wholly outside goes to the origin first")
        << QRect(5000, 5000, 800, 600) << QRect(0, 25, 800, 600);
    QTest::newRow("top reaching into the panel moves down")
        << QRect(100, 0, 800, 600) << QRect(100, 25, 800, 600);
    QTest::newRow("below the bottom moves up")
        << QRect(100, 700, 800, 600) << QRect(100, 480, 800, 600);
    QTest::newRow("taller than the area keeps the title bar reachable")
        << QRect(100, 100, 800, 1400) << QRect(100, 25, 800, 1400);
}

void TestAppShell::fitIntoVisibleArea()
{
    QFETCH(QRect, frame);
    QFETCH(QRect, expected);
    const QRect fitted = WindowFrame::fitIntoVisibleArea(frame, QRect(0, 25, 1920, 1055));
    QCOMPARE(fitted, expected);
    QCOMPARE(fitted.size(), frame.size());
}

void TestAppShell::screenChoice_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("stored screen still attached") << QRect(0, 0, 100, 100) << "screen_B" << 1;
    QTest::newRow("unplugged screen: the one under the centre")
        << QRect(2000, 100, 400, 300) << "screen_gone" << 1;
    QTest::newRow("centre off every screen: the nearest")
        << QRect(-900, 100, 400, 300) << QString() << 0;
    QTest::newRow("equal distance: the earlier screen")
        << QRect(1910, 2000, 20, 20) << QString() << 0;
}

void TestAppShell::screenChoice()
{
    QFETCH(QRect, frame);
    QFETCH(QString, stored);
    QFETCH(int, expected);
    const QList<ScreenInfo> screens = {
        {QStringLiteral("screen_A"), QRect(0, 0, 1920, 1080), QRect(0, 25, 1920, 1055)},
        {QStringLiteral("screen_B"), QRect(1920, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)}};
    QCOMPARE(WindowFrame::chooseScreen(frame, stored, screens, 0), expected);
    QCOMPARE(WindowFrame::chooseScreen(frame, stored, {}, 0), -1);
}

void TestAppShell::screenIdentifiers()
{
    QCOMPARE(WindowFrame::screenIdentifier(QStringLiteral("HDMI-1"), QPoint(0, 0)),
             QStringLiteral("screen_HDMI-1"));
    QCOMPARE(WindowFrame::screenIdentifier(QString(), QPoint(-1440, 0)),
             QStringLiteral("screen_-1440.0_0.0"));
}

void TestAppShell::frameIsRecordedAfterMove()
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

void TestAppShell::statusBarTexts_data()
{
    QTest::addColumn<qint64>("selection");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no selection") << qint64(0) << "行 3, 列 5  ・  全 120 文字";
    QTest::newRow("three characters selected")
        << qint64(3) << "行 3, 列 5  ・  選択 3 文字  ・  全 120 文字";
}

void TestAppShell::statusBarTexts()
{
    QFETCH(qint64, selection);
    QFETCH(QString, expected);
    QCOMPARE(StatusBarView::cursorText({3, 5, selection, 120}), expected);
}

void TestAppShell::modificationDateFormat()
{
    FixedClock clock(QDateTime::currentDateTime(), QTimeZone("Asia/Tokyo"));
    Clock::setCurrent(&clock);
    const QDateTime friday(QDate(2026, 12, 4), QTime(9, 5, 7), QTimeZone("Asia/Tokyo"));
    QCOMPARE(StatusBarView::formatModificationDate(friday),
             QStringLiteral("2026年12月4日(金) 9:05:07"));
    QCOMPARE(StatusBarView::formatModificationDate(QDateTime()), QString());
    Clock::setCurrent(nullptr);
}

void TestAppShell::appearancePalettes()
{
    Appearance::apply(AppAppearanceMode::dark);
    QVERIFY(QApplication::palette().color(QPalette::Window).lightness() < 100);
    Appearance::apply(AppAppearanceMode::light);
    QVERIFY(QApplication::palette().color(QPalette::Window).lightness() > 150);
}

void TestAppShell::sizeMenusStoreWhatTheyShow_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("editor");
    QTest::newRow("list text") << "UIの文字サイズ" << false;
    QTest::newRow("editor text") << "エディタの文字サイズ" << true;
}

void TestAppShell::sizeMenusStoreWhatTheyShow()
{
    QFETCH(QString, title);
    QFETCH(bool, editor);
    TestEnvironment env;
    QMainWindow window;
    FolderManager folders;
    AppMenus menus(window, folders);
    QMenu *sizes = nullptr;
    for (QMenu *menu : window.findChildren<QMenu *>()) {
        if (menu->title() == title)
            sizes = menu;
    }
    QVERIFY(sizes);
    const auto stored = [editor] {
        return editor ? Settings::instance().editorFontSize() : Settings::instance().listFontSize();
    };
    const auto shown = [](const QAction *action) { return action->text().section(u' ', 0, 0); };
    // The mark sits on the stored size; whatever is offered is stored as shown.
    QCOMPARE(shown(sizes->actions().constFirst()->actionGroup()->checkedAction()),
             QString::number(stored()));
    for (QAction *action : sizes->actions()) {
        action->trigger();
        QCOMPARE(QString::number(stored()), shown(action));
        QVERIFY(action->isChecked());
    }
}

void TestAppShell::thickCursorSwitchNotifies()
{
    TestEnvironment env;
    QMainWindow window;
    FolderManager folders;
    AppMenus menus(window, folders);
    QSignalSpy changed(&Settings::instance(), &Settings::thickEditorCursorChanged);
    const QList<QAction *> all = window.findChildren<QAction *>();
    auto thick = std::find_if(all.begin(), all.end(), [](QAction *a) {
        return a->text() == QStringLiteral("カーソルを太くする");
    });
    QVERIFY(thick != all.end());
    QVERIFY((*thick)->isChecked()); // on by default
    (*thick)->trigger();
    QCOMPARE(SettingsStore::instance().boolean(QStringLiteral("thickEditorCursor")), false);
    QCOMPARE(changed.count(), 1);
}

void TestAppShell::helpDocumentShips()
{
    const QString text = HelpWindowController::helpText();
    QVERIFY(text.startsWith(QStringLiteral("# Quillmereヘルプ")));
    QVERIFY(text.contains(QStringLiteral("Ctrl+P")));
    QVERIFY(text != HelpWindowController::fallbackText);

    // An empty or unreadable document counts as missing; a source-tree copy or the fallback
    // text stands in, never an empty window.
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("detail.md"));
    QFile file(empty);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(!HelpWindowController::helpText(empty).trimmed().isEmpty());

    // Without the copy compiled in, an installed program reads the installed document.
    const QString installed = dir.filePath(QStringLiteral("installed.md"));
    QFile installedFile(installed);
    QVERIFY(installedFile.open(QIODevice::WriteOnly));
    installedFile.write("# インストール版\n");
    installedFile.close();
    QCOMPARE(HelpWindowController::helpText(empty, installed),
             QStringLiteral("# インストール版\n"));
    QCOMPARE(HelpWindowController::installedHelpPath(),
             QDir::cleanPath(QCoreApplication::applicationDirPath() +
                             QStringLiteral("/../share/quillmere/help/detail.md")));
}

void TestAppShell::helpWindowIsKeptAndReused()
{
    TestEnvironment env;
    HelpWindowController controller;
    controller.showHelp();
    QWidget *first = controller.window();
    QVERIFY(first);
    auto *view = first->findChild<MarkdownPreviewView *>();
    QVERIFY(view);
    QCOMPARE(view->markdownText(), HelpWindowController::helpText());
    // The help reads at the editor's size, also when it changes while open.
    Settings::instance().setEditorFontSize(20);
    QCOMPARE(view->fontSize(), 20);
    first->close();
    controller.showHelp();
    QCOMPARE(controller.window(), first);
    QVERIFY(first->isVisible());
}

void TestAppShell::helpWindowClosesWithItsKeys_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::newRow("Escape") << QKeySequence(Qt::Key_Escape);
    QTest::newRow("Ctrl+W") << QKeySequence(Qt::CTRL | Qt::Key_W);
}

void TestAppShell::helpWindowClosesWithItsKeys()
{
    QFETCH(QKeySequence, keys);
    TestEnvironment env;
    HelpWindowController controller;
    controller.showHelp();
    QWidget *window = controller.window();
    QCOMPARE(window->windowTitle(), QStringLiteral("Quillmereヘルプ"));
    QVERIFY(QTest::qWaitForWindowActive(window));
    QWidget *focus = QApplication::focusWidget();
    QTest::keySequence(focus ? focus : window, keys);
    QVERIFY(!window->isVisible());
    // Closed, not gone: asking again shows the same window.
    controller.showHelp();
    QCOMPARE(controller.window(), window);
    QVERIFY(window->isVisible());
}

void TestAppShell::findItemsShowAndPostWhatTheEditorKeysDo_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("notification");
    QTest::addColumn<int>("direction"); // -1: none
    QTest::newRow("find") << "検索…"
                          << "Ctrl+F" << Notifications::FocusEditorSearchBar << -1;
    QTest::newRow("find next") << "次を検索"
                               << "Ctrl+G" << Notifications::EditorSearchNavigate
                               << int(SearchDirection::next);
    QTest::newRow("find previous")
        << "前を検索"
        << "Ctrl+Shift+G" << Notifications::EditorSearchNavigate << int(SearchDirection::previous);
}

void TestAppShell::findItemsShowAndPostWhatTheEditorKeysDo()
{
    QFETCH(QString, title);
    QFETCH(QString, keys);
    QFETCH(QString, notification);
    QFETCH(int, direction);
    TestEnvironment env;
    QMainWindow window;
    FolderManager folders;
    AppMenus menus(window, folders);
    QMenu *edit = nullptr;
    for (QAction *menu : window.menuBar()->actions()) {
        if (menu->text() == QStringLiteral("編集"))
            edit = menu->menu();
    }
    QVERIFY(edit);
    QAction *item = nullptr;
    for (QAction *action : edit->actions()) {
        if (action->text() == title)
            item = action;
    }
    QVERIFY(item);
    QCOMPARE(item->shortcut().toString(QKeySequence::PortableText), keys);
    // Shown only: the editor's page owns the keys, so a press is handled once.
    QCOMPARE(item->shortcutContext(), Qt::WidgetShortcut);

    AppEvents &center = AppEvents::instance();
    QSignalSpy posted(&center, &AppEvents::posted);
    QSignalSpy navigate(&center, &AppEvents::editorSearchNavigate);
    item->trigger();
    QCOMPARE(posted.count(), 1);
    QCOMPARE(posted.at(0).at(0).toString(), notification);
    QCOMPARE(navigate.count(), direction < 0 ? 0 : 1);
    if (direction >= 0)
        QCOMPARE(navigate.at(0).at(0).value<SearchDirection>(), SearchDirection(direction));
}

QTEST_MAIN(TestAppShell)
#include "tst_appshell.moc"
