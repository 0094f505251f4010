#include "app/contentview.h"
#include "app/mainwindow.h"
#include "platform/quitsignals.h"
#include "storage/foldermanager.h"
#include "storage/memomanager.h"
#include "storage/viewcounts.h"

#include <QApplication>
#include <QFileDialog>
#include <QSessionManager>

namespace {

std::optional<QString> chooseFolderWithDialog()
{
    QFileDialog dialog(nullptr, QStringLiteral("フォルダを開く"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillmere"));
    QApplication::setDesktopFileName(QStringLiteral("quillmere"));

    MemoManager memo;
    FolderManager folders;
    folders.setFolderChooser(chooseFolderWithDialog);

    MainWindow window(memo, folders);
    ContentView *content = window.contentView();

    // Every way out saves the open document first: the window's close button and Ctrl+Q go
    // through closeEvent; the session ending, SIGTERM and SIGINT through these.
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &app,
                     [] { QApplication::closeAllWindows(); QApplication::quit(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, content,
                     [content](QSessionManager &) { content->saveCurrent(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, content,
                     [content] { content->saveCurrent(); });
    QObject::connect(&app, &QGuiApplication::applicationStateChanged, content,
                     [content](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive)
                             content->checkExternalChange();
                     });

    window.show();
    content->appear();
    const int status = QApplication::exec();
    ViewCounts::flushPendingWrites();
    return status;
}
