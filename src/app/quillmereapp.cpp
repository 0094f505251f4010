#include "app/quillmereapp.h"

#include "app/appearance.h"
#include "app/contentview.h"
#include "app/mainwindow.h"
#include "app/windowframekeeper.h"
#include "platform/mainqueue.h"
#include "platform/quitsignals.h"
#include "platform/userdefaults.h"
#include "storage/foldermanager.h"
#include "storage/memomanager.h"
#include "storage/viewcounts.h"

#include <QApplication>
#include <QFileDialog>
#include <QSessionManager>

namespace {

std::optional<QString> chooseFolderWithDialog()
{
    QFileDialog dialog(QApplication::activeWindow(), QStringLiteral("フォルダを開く"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

QuillmereApp::QuillmereApp()
    : m_memo(std::make_unique<MemoManager>()), m_folders(std::make_unique<FolderManager>())
{
    m_folders->setFolderChooser(chooseFolderWithDialog);
    Appearance::apply(Appearance::current());
    connect(&UserDefaults::standard(), &UserDefaults::valueChanged, this, [](const QString &key) {
        if (key == Appearance::settingsKey)
            Appearance::apply(Appearance::current());
    });
    m_window = std::make_unique<MainWindow>(*m_memo, *m_folders);
    connectQuitPaths();
}

QuillmereApp::~QuillmereApp() = default;

void QuillmereApp::connectQuitPaths()
{
    ContentView *content = m_window->contentView();
    // The close button and Ctrl+Q reach MainWindow::closeEvent; the session ending, SIGTERM,
    // SIGINT and SIGHUP come through here. Each saves before the process goes.
    m_quitSignals = std::make_unique<QuitSignals>();
    connect(m_quitSignals.get(), &QuitSignals::quitRequested, this, [] {
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    connect(qApp, &QGuiApplication::commitDataRequest, content,
            [content](QSessionManager &) { content->saveCurrent(); });
    connect(qApp, &QCoreApplication::aboutToQuit, content, [this, content] {
        content->saveCurrent();
        m_window->frameKeeper()->saveWindowFrame();
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, content,
            [content](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive)
                    content->checkExternalChange();
            });
}

int QuillmereApp::run()
{
    m_window->frameKeeper()->restoreWindowPosition();
    m_window->show();
    m_window->contentView()->appear();
    const int status = QApplication::exec();
    ViewCounts::flushPendingWrites();
    return status;
}
