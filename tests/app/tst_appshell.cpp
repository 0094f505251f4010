#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "app/appmenus.h"
#include "app/helpwindow.h"
#include "app/statusbarview.h"
#include "app/windowframe.h"
#include "app/windowframekeeper.h"
#include "preview/markdownpreviewview.h"
#include "storage/foldermanager.h"
#include "storage/settings.h"

#include <QActionGroup>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using WindowFrame::ScreenInfo;
using namespace Qt::StringLiterals;

namespace {

/// The application's menus on a bare window, over settings of their own.
struct Menus
{
    TestEnvironment env;
    QMainWindow window;
    FolderManager folders;
    AppMenus menus{window, folders};

    template <typename T> T *find(const QString &text) const
    {
        for (T *child : window.findChildren<T *>()) {
            if constexpr (std::is_same_v<T, QMenu>) {
                if (child->title() == text)
                    return child;
            } else if (child->text() == text) {
                return child;
            }
        }
        return nullptr;
    }
};

} // namespace

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
    void statusBarTexts();
    void sizeMenusStoreWhatTheyShow_data();
    void sizeMenusStoreWhatTheyShow();
    void thickCursorSwitchNotifies();
    void helpDocumentShips();
    void helpWindow_data();
    void helpWindow();
};

void TestAppShell::fitIntoVisibleArea_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QRect>("expected");
    const auto row = [](const char *name, QRect frame, QRect expected) {
        QTest::newRow(name) << frame << expected;
    };
    // Visible area: x 0…1919, y 25…1079 (a panel at the top).
    row("inside stays", {100, 100, 800, 600}, {100, 100, 800, 600});
    row("past the right edge moves left", {1500, 100, 800, 600}, {1120, 100, 800, 600});
    row("wider than the area keeps its left edge on the left", {300, 100, 2500, 600},
        {0, 100, 2500, 600});
    row("wholly outside goes to the origin first", {5000, 5000, 800, 600}, {0, 25, 800, 600});
    row("top reaching into the panel moves down", {100, 0, 800, 600}, {100, 25, 800, 600});
    row("below the bottom moves up", {100, 700, 800, 600}, {100, 480, 800, 600});
    row("taller than the area keeps the title bar reachable", {100, 100, 800, 1400},
        {100, 25, 800, 1400});
}

void TestAppShell::fitIntoVisibleArea()
{
    QFETCH(QRect, frame);
    QFETCH(QRect, expected);
    QCOMPARE(WindowFrame::fitIntoVisibleArea(frame, QRect(0, 25, 1920, 1055)), expected);
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
        {u"screen_A"_s, QRect(0, 0, 1920, 1080), QRect(0, 25, 1920, 1055)},
        {u"screen_B"_s, QRect(1920, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)}};
    QCOMPARE(WindowFrame::chooseScreen(frame, stored, screens, 0), expected);
    QCOMPARE(WindowFrame::chooseScreen(frame, stored, {}, 0), -1);
}

// Stored with the frame: a changed identifier loses every user's screen.
void TestAppShell::screenIdentifiers()
{
    QCOMPARE(WindowFrame::screenIdentifier(u"HDMI-1"_s, QPoint(0, 0)), u"screen_HDMI-1"_s);
    QCOMPARE(WindowFrame::screenIdentifier(QString(), QPoint(-1440, 0)), u"screen_-1440.0_0.0"_s);
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

void TestAppShell::statusBarTexts()
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
    Menus menus;
    QMenu *sizes = menus.find<QMenu>(title);
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
    Menus menus;
    QSignalSpy changed(&Settings::instance(), &Settings::thickEditorCursorChanged);
    QAction *thick = menus.find<QAction>(u"カーソルを太くする"_s);
    QVERIFY(thick && thick->isChecked());
    thick->trigger();
    QCOMPARE(SettingsStore::instance().boolean(u"thickEditorCursor"_s), false);
    QCOMPARE(changed.count(), 1);
}

void TestAppShell::helpDocumentShips()
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

void TestAppShell::helpWindow_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::newRow("Escape") << QKeySequence(Qt::Key_Escape);
    QTest::newRow("Ctrl+W") << QKeySequence(Qt::CTRL | Qt::Key_W);
}

// The help reads at the editor's size, also when it changes while open, and closes with its keys.
void TestAppShell::helpWindow()
{
    QFETCH(QKeySequence, keys);
    TestEnvironment env;
    HelpWindowController controller;
    controller.showHelp();
    QWidget *window = controller.window();
    auto *view = window->findChild<MarkdownPreviewView *>();
    QVERIFY(view);
    QCOMPARE(view->markdownText(), HelpWindowController::helpText());
    Settings::instance().setEditorFontSize(20);
    QCOMPARE(view->fontSize(), 20);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QWidget *focus = QApplication::focusWidget();
    QTest::keySequence(focus ? focus : window, keys);
    QVERIFY(!window->isVisible());
    // Closed, not gone: asking again shows the same window.
    controller.showHelp();
    QCOMPARE(controller.window(), window);
    QVERIFY(window->isVisible());
}

QTEST_MAIN(TestAppShell)
#include "tst_appshell.moc"
