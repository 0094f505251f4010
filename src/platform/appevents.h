#pragma once

#include "platform/editorcommands.h"

#include <QObject>
#include <QString>

/// Names of the notifications passed between views, as they appear in logs and tests.
namespace Notifications {
inline const QString BaseFolderChanged = QStringLiteral("BaseFolderChanged");
inline const QString MemoSaved = QStringLiteral("MemoSaved");
inline const QString FileMoved = QStringLiteral("FileMoved");
inline const QString ActivateGlobalSearch = QStringLiteral("ActivateGlobalSearch");
inline const QString FocusEditor = QStringLiteral("FocusEditor");
inline const QString FocusEditorSearchBar = QStringLiteral("FocusEditorSearchBar");
inline const QString EditorSearchNavigate = QStringLiteral("EditorSearchNavigate");
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
    void postActivateGlobalSearch();
    void postFocusEditor();
    void postFocusEditorSearchBar();
    void postEditorSearchNavigate(SearchDirection direction);

Q_SIGNALS:
    void posted(const QString &name);

    void baseFolderChanged();
    void memoSaved();
    void fileMoved(const QString &newFilePath);
    void activateGlobalSearch();
    void focusEditor();
    void focusEditorSearchBar();
    void editorSearchNavigate(SearchDirection direction);

private:
    using QObject::QObject;
};
