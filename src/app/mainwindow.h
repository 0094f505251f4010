#pragma once

#include <QMainWindow>

class ContentView;
class FolderManager;
class MemoManager;

/// The main window: the content view and a small menu bar (the full one follows with the
/// application shell).
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(MemoManager &memo, FolderManager &folders, QWidget *parent = nullptr);

    ContentView *contentView() const { return m_content; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();

    FolderManager &m_folders;
    ContentView *m_content = nullptr;
};
