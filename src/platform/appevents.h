#pragma once

#include "platform/editorcommands.h"

#include <QObject>
#include <QString>

/// Names of the notifications passed between views, as they appear in logs and tests.
namespace Notifications {
inline const QString BaseFolderChanged = QStringLiteral("BaseFolderChanged");
inline const QString MemoSaved = QStringLiteral("MemoSaved");
inline const QString FileMoved = QStringLiteral("FileMoved");
inline const QString FileDeleted = QStringLiteral("FileDeleted");
inline const QString SaveCurrentMemo = QStringLiteral("SaveCurrentMemo");
inline const QString ActivateGlobalSearch = QStringLiteral("ActivateGlobalSearch");
inline const QString FocusGlobalSearchField = QStringLiteral("FocusGlobalSearchField");
inline const QString FocusEditor = QStringLiteral("FocusEditor");
inline const QString FocusEditorSearchBar = QStringLiteral("FocusEditorSearchBar");
inline const QString EditorSearchNavigate = QStringLiteral("EditorSearchNavigate");
inline const QString SearchKeywordSynced = QStringLiteral("SearchKeywordSynced");
} // namespace Notifications

/// The process's one hub for application-wide events. Each notification is a typed signal, so a
/// wrong payload does not compile; post through the post… functions, which also emit `posted` with
/// the notification's name for logging and tests. Main thread only.
class AppEvents : public QObject
{
    Q_OBJECT

public:
    static AppEvents &instance();

    void postBaseFolderChanged();
    void postMemoSaved();
    /// `newFilePath` is the moved file's new path, or empty when the poster names no file.
    void postFileMoved(const QString &newFilePath = {});
    void postFileDeleted(const QString &filePath);
    void postSaveCurrentMemo();
    void postActivateGlobalSearch();
    void postFocusGlobalSearchField();
    void postFocusEditor();
    void postFocusEditorSearchBar();
    void postEditorSearchNavigate(SearchDirection direction);
    void postSearchKeywordSynced(const QString &keyword);

Q_SIGNALS:
    void posted(const QString &name);

    void baseFolderChanged();
    void memoSaved();
    void fileMoved(const QString &newFilePath);
    void fileDeleted(const QString &filePath);
    void saveCurrentMemo();
    void activateGlobalSearch();
    void focusGlobalSearchField();
    void focusEditor();
    void focusEditorSearchBar();
    void editorSearchNavigate(SearchDirection direction);
    void searchKeywordSynced(const QString &keyword);

private:
    using QObject::QObject;
};
