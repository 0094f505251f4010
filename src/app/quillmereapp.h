#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class FolderManager;
class MainWindow;
class MemoManager;
class QuitSignals;

/// The application: owns the document store and the folder history, applies the appearance
/// setting, opens the main window and makes sure every way out saves the open document.
class QuillmereApp : public QObject
{
    Q_OBJECT

public:
    QuillmereApp();
    ~QuillmereApp() override;

    /// Shows the window and runs the event loop; returns the exit status.
    int run();

    /// Asks for a base folder, starting in the current one; nothing when cancelled.
    static std::optional<QString> chooseFolderWithDialog();

    /// Brings the window to the front (a second start asked for it).
    void showWindow();

    /// Tells about recovery files written since the last start and offers to open the newest.
    void announceRecoveryFiles();

    static inline const QString recoveryTitle =
        QStringLiteral("前回保存できなかった変更を復元ファイルに残しました。");
    static inline const QString openRecoveryButtonText = QStringLiteral("開く");
    static inline const QString closeRecoveryButtonText = QStringLiteral("閉じる");

private:
    void connectQuitPaths();

    std::unique_ptr<MemoManager> m_memo;
    std::unique_ptr<FolderManager> m_folders;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QuitSignals> m_quitSignals;
};
