#include "app/mainwindow.h"

#include "app/contentview.h"
#include "platform/notificationcenter.h"
#include "storage/foldermanager.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>

MainWindow::MainWindow(MemoManager &memo, FolderManager &folders, QWidget *parent)
    : QMainWindow(parent), m_folders(folders)
{
    setWindowTitle(QStringLiteral("Quillmere[*]"));
    m_content = new ContentView(memo, this);
    setCentralWidget(m_content);
    connect(m_content, &ContentView::windowWidthRequested, this,
            [this](int width) { resize(width, height()); });
    buildMenus();
    resize(1100, 700);
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("ファイル"));
    QAction *open = file->addAction(QStringLiteral("フォルダを開く…"));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, [this] {
        m_content->saveCurrent();
        m_folders.chooseFolder();
    });
    QAction *save = file->addAction(QStringLiteral("保存"));
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this,
            [] { NotificationCenter::defaultCenter().postSaveCurrentMemo(); });
    file->addSeparator();
    QAction *quit = file->addAction(QStringLiteral("終了"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, [] { QApplication::closeAllWindows(); });
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    m_content->saveCurrent();
    event->accept();
}
