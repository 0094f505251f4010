#pragma once

#include <QMainWindow>

class ContentView;
class FolderManager;
class HelpWindowController;
class MemoManager;
class WindowFrameKeeper;

/// The one main window: the content view under the menu bar.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(MemoManager &memo, FolderManager &folders, QWidget *parent = nullptr);
    ~MainWindow() override;

    ContentView *contentView() const { return m_content; }
    WindowFrameKeeper *frameKeeper() const { return m_frameKeeper; }
    /// Closes without asking anything (the open document was dealt with already).
    void closeUnattended();
    /// The window was closed, with the document saved or its edits given up by the user.
    bool hasClosed() const { return m_discardConfirmed; }
    /// Shows the window in front of the others, also when it was minimized (a second start
    /// asks for this).
    void bringToFront();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    ContentView *m_content = nullptr;
    WindowFrameKeeper *m_frameKeeper = nullptr;
    HelpWindowController *m_help = nullptr;
    bool m_closingUnattended = false;
    bool m_discardConfirmed = false;
};
