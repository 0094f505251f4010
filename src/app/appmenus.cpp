#include "app/appmenus.h"

#include "app/appearance.h"
#include "app/appsettings.h"
#include "platform/appevents.h"
#include "storage/foldermanager.h"
#include "storage/pathmanager.h"
#include "storage/settings.h"

#include <QActionGroup>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QShortcut>

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
    // F10, and Alt pressed and released alone, open the first menu; Alt with a title's access
    // key opens that menu (the menu bar's own shortcut).
    auto *f10 = new QShortcut(QKeySequence(Qt::Key_F10), &m_window);
    connect(f10, &QShortcut::activated, this, &AppMenus::openFirstMenu);
    m_window.installEventFilter(this);
}

AppMenus::~AppMenus()
{
    qApp->removeEventFilter(this);
}

void AppMenus::openFirstMenu()
{
    m_window.menuBar()->setActiveAction(m_fileMenu->menuAction());
}

void AppMenus::setWatchingAlt(bool watching)
{
    if (watching == m_altAlone)
        return;
    m_altAlone = watching;
    if (watching)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

// An Alt press reaches the window as a shortcut override; from then on every event of the
// program is watched until Alt is released (open the menu) or anything else happens first
// (Alt was a modifier, or the user went elsewhere). Styles that move the menu bar into its
// keyboard mode on Alt (Fusion among them) show nothing there until an arrow key is pressed:
// the open menu shows where the keyboard is.
bool AppMenus::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Whether the press itself carries the Alt modifier differs between window systems.
        if (watched == &m_window && key->key() == Qt::Key_Alt &&
            (key->modifiers() & ~Qt::AltModifier) == Qt::NoModifier &&
            !QApplication::activePopupWidget())
            setWatchingAlt(true);
        else if (key->key() != Qt::Key_Alt)
            setWatchingAlt(false);
        break;
    }
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() != Qt::Key_Alt)
            setWatchingAlt(false);
        break;
    case QEvent::KeyRelease:
        if (m_altAlone && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Alt) {
            setWatchingAlt(false);
            openFirstMenu();
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::WindowDeactivate:
    case QEvent::ApplicationStateChange:
        setWatchingAlt(false);
        break;
    default:
        break;
    }
    return false;
}

void AppMenus::buildFileMenu()
{
    m_fileMenu = m_window.menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    QAction *newNote = m_fileMenu->addAction(QStringLiteral("新規ノート"));
    newNote->setShortcut(QKeySequence::New);
    connect(newNote, &QAction::triggered, this, &AppMenus::newNoteRequested);
    QAction *deleted = m_fileMenu->addAction(QStringLiteral("削除したノート…"));
    connect(deleted, &QAction::triggered, this, &AppMenus::deletedNotesRequested);
    m_fileMenu->addSeparator();
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
    // The one window: closing it ends the program, saving first as the close button does.
    QAction *close = m_fileMenu->addAction(QStringLiteral("閉じる"));
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(close, &QAction::triggered, &m_window, &QWidget::close);
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
    QMenu *edit = m_window.menuBar()->addMenu(QStringLiteral("編集(&E)"));
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
    QMenu *view = m_window.menuBar()->addMenu(QStringLiteral("表示(&V)"));
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
    QMenu *help = m_window.menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    QAction *show = help->addAction(QStringLiteral("Quillmereヘルプ"));
    show->setShortcuts({QKeySequence(QStringLiteral("Ctrl+?")), QKeySequence::HelpContents});
    connect(show, &QAction::triggered, this, &AppMenus::helpRequested);
    help->addSeparator();
    QAction *about = help->addAction(aboutTitle);
    connect(about, &QAction::triggered, this, &AppMenus::showAbout);
}

QString AppMenus::aboutText()
{
    return QStringLiteral("<h3>Quillmere %1</h3>"
                          "<p>日付ごとのメモとノートを、手元のフォルダに Markdown のテキスト"
                          "ファイルとして書きためるアプリケーションです。</p>"
                          "<p>ライセンス: GNU 一般公衆利用許諾書 第 3 版以降"
                          " (GPL-3.0-or-later)<br>"
                          "このプログラムはフリーソフトウェアです。ライセンスの条件のもとで"
                          "再配布や改変ができます。保証は一切ありません。</p>")
        .arg(QStringLiteral(QUILLMERE_VERSION));
}

void AppMenus::showAbout()
{
    // Modeless to the program's loop, like the other questions of this window, and gone when
    // closed.
    auto *box = new QMessageBox(&m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(aboutTitle);
    box->setTextFormat(Qt::RichText);
    box->setText(aboutText());
    const QIcon icon = m_window.windowIcon();
    if (!icon.isNull())
        box->setIconPixmap(icon.pixmap(64, 64));
    box->setStandardButtons(QMessageBox::Ok);
    box->open();
}
