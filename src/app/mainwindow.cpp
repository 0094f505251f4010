#include "app/mainwindow.h"

#include "app/appmenus.h"
#include "app/contentview.h"
#include "app/helpwindow.h"
#include "app/windowframekeeper.h"
#include "platform/accessibleclicks.h"

#include <QCloseEvent>
#include <QIcon>

MainWindow::MainWindow(MemoManager &memo, FolderManager &folders, QWidget *parent)
    : QMainWindow(parent)
{
    // Before any control is read by an assistive technology.
    AccessibleClicks::install();
    setWindowTitle(ContentView::windowTitleFor(QString()));
    // The icon installed with the desktop entry, for window managers that show a window's own.
    setWindowIcon(QIcon::fromTheme(QStringLiteral("io.github.quillmere.Quillmere")));
    m_content = new ContentView(memo, this);
    setCentralWidget(m_content);
    connect(m_content, &ContentView::windowWidthRequested, this,
            [this](int width) { resize(width, height()); });

    auto *menus = new AppMenus(*this, folders);
    menus->setBeforeFolderChange([this] { return m_content->saveCurrent(); });
    m_help = new HelpWindowController(this);
    connect(menus, &AppMenus::helpRequested, m_help, &HelpWindowController::showHelp);
    connect(menus, &AppMenus::saveRequested, m_content, [this] { m_content->saveCurrent(); });
    connect(menus, &AppMenus::newNoteRequested, m_content, &ContentView::createNote);
    connect(menus, &AppMenus::deletedNotesRequested, m_content, &ContentView::showDeletedNotes);

    m_frameKeeper = new WindowFrameKeeper(this);
    resize(1100, 720);
}

// Hidden while the whole window still exists: hiding the editor saves, and a save updates
// views that would otherwise be half torn down.
MainWindow::~MainWindow()
{
    if (isVisible())
        hide();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A quit nobody can be asked about (a signal, the session ending) has saved or kept a
    // recovery file already.
    if (!m_closingUnattended && !m_content->saveOrConfirmClose()) {
        event->ignore();
        return;
    }
    m_discardConfirmed = true;
    m_frameKeeper->saveWindowFrame();
    event->accept();
    // The help alone would keep the program running without its window.
    if (QWidget *help = m_help->window())
        help->close();
}

void MainWindow::bringToFront()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::closeUnattended()
{
    m_closingUnattended = true;
    close();
}
