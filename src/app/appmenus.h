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
    ~AppMenus() override;

    /// Runs before the base folder changes (saving the open document); false keeps the
    /// folder as it is.
    void setBeforeFolderChange(std::function<bool()> check)
    {
        m_beforeFolderChange = std::move(check);
    }

    static inline const QString aboutTitle = QStringLiteral("Quillmere について");
    /// What 「Quillmere について」 says: name, version, purpose and licence.
    static QString aboutText();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

Q_SIGNALS:
    void helpRequested();
    /// 新規ノート was chosen: a note is made as the notes page's "+" makes one.
    void newNoteRequested();
    /// 保存 was chosen: the open note is saved now.
    void saveRequested();
    /// 削除したノート was chosen: the notes gone from the base folder are listed.
    void deletedNotesRequested();

private:
    void buildFileMenu();
    void buildEditMenu();
    /// 検索…, 次を検索 and 前を検索, posting what the editor's keys post.
    void addFindItems(QMenu *edit);
    void buildViewMenu();
    void buildHelpMenu();
    void showAbout();
    void openFirstMenu();
    /// Watches the program's events for the end of an Alt press (or stops watching).
    void setWatchingAlt(bool watching);
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
    bool m_altAlone = false;
};
