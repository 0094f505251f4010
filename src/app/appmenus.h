#pragma once

#include <QList>
#include <QObject>

#include <functional>

class FolderManager;
class Settings;
class QMainWindow;
class QAction;
class QMenu;

/// The menu bar: folders and saving, editing and global search, appearance and sizes, help.
/// Holds no logic beyond the settings it writes; everything else is a call or a notification.
class AppMenus : public QObject
{
    Q_OBJECT

public:
    AppMenus(QMainWindow &window, FolderManager &folders);

    /// Runs before the base folder changes (saving the open document); false keeps the
    /// folder as it is.
    void setBeforeFolderChange(std::function<bool()> check)
    {
        m_beforeFolderChange = std::move(check);
    }

Q_SIGNALS:
    void helpRequested();

private:
    void buildFileMenu();
    void buildEditMenu();
    /// 検索…, 次を検索 and 前を検索, posting what the editor's keys post.
    void addFindItems(QMenu *edit);
    void buildViewMenu();
    void buildHelpMenu();
    void rebuildFolderHistory();
    /// A menu of font sizes that stores the chosen one and marks the size stored, whoever
    /// stored it.
    QMenu *sizeMenu(const QString &title, const QList<int> &sizes, int (Settings::*current)() const,
                    void (Settings::*store)(const int &), void (Settings::*changed)(const int &));

    QMainWindow &m_window;
    FolderManager &m_folders;
    QMenu *m_fileMenu = nullptr;
    QList<QAction *> m_historyActions;
    QAction *m_historyEnd = nullptr;
    std::function<bool()> m_beforeFolderChange = [] { return true; };
};
