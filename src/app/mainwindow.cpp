#include "app/mainwindow.h"

#include "app/appmenus.h"
#include "app/contentview.h"
#include "app/helpwindow.h"
#include "app/windowframekeeper.h"

#include <QCloseEvent>

MainWindow::MainWindow(MemoManager &memo, FolderManager &folders, QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Quillmere[*]"));
    m_content = new ContentView(memo, this);
    setCentralWidget(m_content);
    connect(m_content, &ContentView::windowWidthRequested, this,
            [this](int width) { resize(width, height()); });

    auto *menus = new AppMenus(*this, folders);
    connect(menus, &AppMenus::aboutToChangeFolder, m_content, &ContentView::saveCurrent);
    auto *help = new HelpWindowController(this);
    connect(menus, &AppMenus::helpRequested, help, &HelpWindowController::showHelp);

    m_frameKeeper = new WindowFrameKeeper(this);
    resize(1100, 720);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    m_content->saveCurrent();
    m_frameKeeper->saveWindowFrame();
    event->accept();
}
