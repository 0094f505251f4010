#pragma once

#include <QMainWindow>

class FolderManager;
class MemoManager;
class QLabel;
class QPlainTextEdit;

/// A plain window around today's daily memo: one text box, save, and the folder chooser.
class SimpleWindow : public QMainWindow
{
    Q_OBJECT

public:
    SimpleWindow(MemoManager &memo, FolderManager &folders, QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void loadToday();
    void showDocument();
    void updateStatus();
    void save();

    MemoManager &m_memo;
    FolderManager &m_folders;
    QPlainTextEdit *m_editor = nullptr;
    QLabel *m_pathLabel = nullptr;
    QLabel *m_messageLabel = nullptr;
    bool m_updatingEditor = false;
};
