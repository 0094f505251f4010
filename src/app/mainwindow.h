#pragma once

#include <QMainWindow>

class ContentView;
class FolderManager;
class MemoManager;
class WindowFrameKeeper;

/// The one main window: the content view under the menu bar.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(MemoManager &memo, FolderManager &folders, QWidget *parent = nullptr);

    ContentView *contentView() const { return m_content; }
    WindowFrameKeeper *frameKeeper() const { return m_frameKeeper; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    ContentView *m_content = nullptr;
    WindowFrameKeeper *m_frameKeeper = nullptr;
};
