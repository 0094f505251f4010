#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

/// The base folders the user opened through the folder chooser, newest first and at most five,
/// kept across launches as paths ("FolderHistory") and as folder bookmarks
/// ("FolderHistoryBookmarks"). Switching itself is left to PathManager. One instance for the
/// process, owned by the application. Main thread only.
class FolderManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList folderHistory READ folderHistory NOTIFY folderHistoryChanged)

public:
    /// Asks the user for a folder; nothing when the user cancelled. The application supplies a
    /// dialog-based one, so this library stays free of widgets.
    using FolderChooser = std::function<std::optional<QString>()>;

    static constexpr int maximumHistoryCount = 5;

    /// Loads the stored history and resumes access to its bookmarked folders.
    explicit FolderManager(QObject *parent = nullptr);
    /// Ends access to the current base folder.
    ~FolderManager() override;

    /// The remembered folders, most recently added first.
    QStringList folderHistory() const { return m_folderHistory; }

    void setFolderChooser(FolderChooser chooser) { m_chooser = std::move(chooser); }

    /// Runs the folder chooser; a chosen folder becomes the base folder and joins the history.
    /// Without a chooser, or when the user cancels, nothing happens.
    void chooseFolder();

    /// Makes `path` the base folder. When it is an entry of the history (same spelling), that
    /// entry moves to the front.
    void switchToFolder(const QString &path);

    /// Puts a folder at the front of the history, dropping the oldest beyond five. A folder
    /// already in the history (by standardized path) leaves the history as it is.
    void addFolderToHistory(const QString &path);

    /// Empties the history and removes both stored values. The base folder stays as it is.
    void clearFolderHistory();

Q_SIGNALS:
    void folderHistoryChanged();

private:
    void loadFolderHistory();
    void saveFolderHistoryPaths();
    void saveFolderHistoryBookmarks();

    QStringList m_folderHistory;
    FolderChooser m_chooser;
};
