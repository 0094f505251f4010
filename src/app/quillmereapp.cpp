#include "app/quillmereapp.h"

#include "app/appearance.h"
#include "app/contentview.h"
#include "app/mainwindow.h"
#include "app/translations.h"
#include "app/windowframekeeper.h"
#include "platform/quitsignals.h"
#include "storage/foldermanager.h"
#include "storage/leftovers.h"
#include "storage/memomanager.h"
#include "storage/pathmanager.h"
#include "storage/recovery.h"
#include "storage/settings.h"
#include "storage/viewcounts.h"
#include <QTimer>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSessionManager>

std::optional<QString> QuillmereApp::chooseFolderWithDialog()
{
    QFileDialog dialog(QApplication::activeWindow(), QStringLiteral("フォルダを開く"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // In the folder in use, not wherever the program happened to be started from.
    dialog.setDirectory(PathManager::baseFolderPath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

QuillmereApp::QuillmereApp()
    : m_memo(std::make_unique<MemoManager>()), m_folders(std::make_unique<FolderManager>())
{
    Translations::installQtJapanese(this);
    // What a killed writer left behind goes first, off the main thread.
    removeWriteLeftovers();
    m_memo->setWatchingFile(true);
    m_folders->setFolderChooser(chooseFolderWithDialog);
    Appearance::apply(Settings::instance().appearanceMode());
    connect(&Settings::instance(), &Settings::appearanceModeChanged, this, &Appearance::apply);
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
    connect(m_quitSignals.get(), &QuitSignals::quitRequested, this, [this, content] {
        // Nobody can be asked now: what cannot be saved goes to a recovery file.
        content->saveBeforeExit();
        m_window->closeUnattended();
        QApplication::quit();
    });
    connect(qApp, &QGuiApplication::commitDataRequest, content,
            [content](QSessionManager &) { content->saveBeforeExit(); });
    connect(qApp, &QCoreApplication::aboutToQuit, content, [this, content] {
        // A window the user closed has saved, or its edits were given up on purpose.
        if (!m_window->hasClosed())
            content->saveBeforeExit();
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
    QTimer::singleShot(0, m_window.get(), [this] { announceRecoveryFiles(); });
    const int status = QApplication::exec();
    ViewCounts::flushPendingWrites();
    return status;
}

void QuillmereApp::showWindow()
{
    m_window->bringToFront();
}

// Each recovery file is pointed out once, at the first start after it was written.
void QuillmereApp::announceRecoveryFiles()
{
    Settings &settings = Settings::instance();
    const QStringList announced = settings.announcedRecoveryFiles();
    const QStringList files = Recovery::files();
    QStringList fresh;
    for (const QString &file : files) {
        if (!announced.contains(file))
            fresh.append(file);
    }
    // Only files still there are remembered, so the list does not grow without end.
    QStringList kept;
    for (const QString &file : announced) {
        if (files.contains(file))
            kept.append(file);
    }
    settings.setAnnouncedRecoveryFiles(kept + fresh);
    if (fresh.isEmpty())
        return;
    const QString newest = fresh.constFirst();
    QMessageBox box(m_window.get());
    box.setIcon(QMessageBox::Information);
    box.setWindowTitle(QStringLiteral("Quillmere"));
    box.setText(recoveryTitle);
    const QString note = Recovery::notePathOf(newest);
    box.setInformativeText(QStringLiteral("復元ファイル: ") + newest +
                           (note.isEmpty() ? QString() : QStringLiteral("\n元のノート: ") + note));
    QPushButton *open = box.addButton(openRecoveryButtonText, QMessageBox::AcceptRole);
    QPushButton *close = box.addButton(closeRecoveryButtonText, QMessageBox::RejectRole);
    box.setDefaultButton(open);
    box.setEscapeButton(close);
    box.exec();
    if (box.clickedButton() == open)
        m_window->contentView()->loadDocument(newest);
}
