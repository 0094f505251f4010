#include "app/appmenus.h"

#include "app/appearance.h"
#include "app/appsettings.h"
#include "platform/appevents.h"
#include "storage/foldermanager.h"
#include "storage/pathmanager.h"
#include "storage/settings.h"

#include <QActionGroup>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>

namespace {

// Runs an editing slot ("undo", "copy", …) on the focused text field or editor, if any.
void editFocused(const char *slot)
{
    QWidget *focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit *>(focus) || qobject_cast<QPlainTextEdit *>(focus))
        QMetaObject::invokeMethod(focus, slot);
}

} // namespace

AppMenus::AppMenus(QMainWindow &window, FolderManager &folders)
    : QObject(&window), m_window(window), m_folders(folders)
{
    buildFileMenu();
    buildEditMenu();
    buildViewMenu();
    buildHelpMenu();
    connect(&m_folders, &FolderManager::folderHistoryChanged, this,
            &AppMenus::rebuildFolderHistory);
}

void AppMenus::buildFileMenu()
{
    m_fileMenu = m_window.menuBar()->addMenu(QStringLiteral("ファイル"));
    QAction *open = m_fileMenu->addAction(QStringLiteral("フォルダを開く"));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, [this] {
        if (!m_beforeFolderChange())
            return;
        m_folders.chooseFolder();
    });
    m_fileMenu->addSeparator();
    m_historyEnd = m_fileMenu->addSeparator();
    QAction *clear = m_fileMenu->addAction(QStringLiteral("履歴を消去する"));
    connect(clear, &QAction::triggered, &m_folders, &FolderManager::clearFolderHistory);
    QAction *reset = m_fileMenu->addAction(QStringLiteral("デフォルトフォルダに戻す"));
    connect(reset, &QAction::triggered, this, [this] {
        if (!m_beforeFolderChange())
            return;
        PathManager::setBaseFolder(PathManager::defaultBaseFolderPath());
    });
    m_fileMenu->addSeparator();
    QAction *save = m_fileMenu->addAction(QStringLiteral("保存"));
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this, &AppMenus::saveRequested);
    m_fileMenu->addSeparator();
    // One main window only: the window items are shown for familiarity but stay disabled.
    m_fileMenu->addAction(QStringLiteral("新規ウインドウ"))->setEnabled(false);
    m_fileMenu->addAction(QStringLiteral("閉じる"))->setEnabled(false);
    m_fileMenu->addSeparator();
    QAction *quit = m_fileMenu->addAction(QStringLiteral("終了"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, [] { QApplication::closeAllWindows(); });
    rebuildFolderHistory();
}

void AppMenus::rebuildFolderHistory()
{
    qDeleteAll(m_historyActions);
    m_historyActions.clear();
    for (const QString &folder : m_folders.folderHistory()) {
        auto *action = new QAction(folder, m_fileMenu);
        connect(action, &QAction::triggered, this, [this, folder] {
            if (!m_beforeFolderChange())
                return;
            m_folders.switchToFolder(folder);
        });
        m_fileMenu->insertAction(m_historyEnd, action);
        m_historyActions.append(action);
    }
}

void AppMenus::buildEditMenu()
{
    QMenu *edit = m_window.menuBar()->addMenu(QStringLiteral("編集"));
    const struct
    {
        const char *title;
        QKeySequence::StandardKey key;
        const char *slot;
    } items[] = {{"元に戻す", QKeySequence::Undo, "undo"},
                 {"やり直す", QKeySequence::Redo, "redo"},
                 {nullptr, QKeySequence::UnknownKey, nullptr},
                 {"切り取り", QKeySequence::Cut, "cut"},
                 {"コピー", QKeySequence::Copy, "copy"},
                 {"貼り付け", QKeySequence::Paste, "paste"},
                 {"すべてを選択", QKeySequence::SelectAll, "selectAll"}};
    for (const auto &item : items) {
        if (!item.title) {
            edit->addSeparator();
            continue;
        }
        QAction *action = edit->addAction(QString::fromUtf8(item.title));
        // The focused text widget handles these keys itself; the shortcut is shown for
        // reference and the item acts when chosen with the mouse.
        action->setShortcut(item.key);
        action->setShortcutContext(Qt::WidgetShortcut);
        const char *slot = item.slot;
        connect(action, &QAction::triggered, this, [slot] { editFocused(slot); });
    }
    edit->addSeparator();
    addFindItems(edit);
    edit->addSeparator();
    QAction *search = edit->addAction(QStringLiteral("全体から検索"));
    search->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+F")));
    connect(search, &QAction::triggered, this,
            [] { AppEvents::instance().postActivateGlobalSearch(); });
}

void AppMenus::addFindItems(QMenu *edit)
{
    AppEvents *center = &AppEvents::instance();
    const struct
    {
        const char *title;
        QKeySequence keys;
        std::function<void()> post;
    } items[] = {
        {"検索…", QKeySequence(Qt::CTRL | Qt::Key_F),
         [center] { center->postFocusEditorSearchBar(); }},
        {"次を検索", QKeySequence(Qt::CTRL | Qt::Key_G),
         [center] { center->postEditorSearchNavigate(SearchDirection::next); }},
        {"前を検索", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G),
         [center] { center->postEditorSearchNavigate(SearchDirection::previous); }},
    };
    for (const auto &item : items) {
        QAction *action = edit->addAction(QString::fromUtf8(item.title));
        // The editor's page owns these keys (its shortcuts and the text view's key handling);
        // a second, window-wide shortcut would make each press ambiguous. The menu shows the
        // keys and, chosen, asks for the same thing the keys do.
        action->setShortcut(item.keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, item.post);
    }
}

QMenu *AppMenus::sizeMenu(const QString &title, const QList<int> &sizes,
                          int (Settings::*current)() const, void (Settings::*store)(const int &),
                          void (Settings::*changed)(const int &))
{
    auto *menu = new QMenu(title, &m_window);
    auto *group = new QActionGroup(menu);
    const auto refresh = [menu, current] {
        const int size = (Settings::instance().*current)();
        for (QAction *action : menu->actions())
            action->setChecked(action->data().toInt() == size);
    };
    for (int size : sizes) {
        QAction *action = menu->addAction(QString::number(size) + QStringLiteral(" pt"));
        action->setCheckable(true);
        action->setData(size);
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [store, size] { (Settings::instance().*store)(size); });
    }
    connect(&Settings::instance(), changed, menu, refresh);
    refresh();
    return menu;
}

void AppMenus::buildViewMenu()
{
    QMenu *view = m_window.menuBar()->addMenu(QStringLiteral("表示"));
    QMenu *appearance = view->addMenu(QStringLiteral("外観"));
    auto *modes = new QActionGroup(appearance);
    const QList<std::pair<AppAppearanceMode, QString>> items = {
        {AppAppearanceMode::system, QStringLiteral("自動")},
        {AppAppearanceMode::light, QStringLiteral("ライトモード")},
        {AppAppearanceMode::dark, QStringLiteral("ダークモード")}};
    for (const auto &[mode, title] : items) {
        QAction *action = appearance->addAction(title);
        action->setCheckable(true);
        action->setChecked(Settings::instance().appearanceMode() == mode);
        modes->addAction(action);
        const AppAppearanceMode chosen = mode;
        connect(action, &QAction::triggered, this,
                [chosen] { Settings::instance().setAppearanceMode(chosen); });
    }
    view->addMenu(sizeMenu(QStringLiteral("UIの文字サイズ"), AppSettings::offeredListFontSizes,
                           &Settings::listFontSize, &Settings::setListFontSize,
                           &Settings::listFontSizeChanged));
    view->addMenu(sizeMenu(QStringLiteral("エディタの文字サイズ"),
                           AppSettings::offeredEditorFontSizes, &Settings::editorFontSize,
                           &Settings::setEditorFontSize, &Settings::editorFontSizeChanged));
    view->addSeparator();
    QAction *thick = view->addAction(QStringLiteral("カーソルを太くする"));
    thick->setCheckable(true);
    thick->setChecked(Settings::instance().thickEditorCursor());
    connect(thick, &QAction::toggled, this,
            [](bool on) { Settings::instance().setThickEditorCursor(on); });
}

void AppMenus::buildHelpMenu()
{
    QMenu *help = m_window.menuBar()->addMenu(QStringLiteral("ヘルプ"));
    QAction *show = help->addAction(QStringLiteral("Quillmereヘルプ"));
    show->setShortcuts({QKeySequence(QStringLiteral("Ctrl+?")), QKeySequence::HelpContents});
    connect(show, &QAction::triggered, this, &AppMenus::helpRequested);
}
