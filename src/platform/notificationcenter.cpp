#include "platform/notificationcenter.h"

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

void NotificationCenter::postBaseFolderChanged()
{
    Q_EMIT baseFolderChanged();
    Q_EMIT posted(Notifications::BaseFolderChanged);
}

void NotificationCenter::postMemoSaved()
{
    Q_EMIT memoSaved();
    Q_EMIT posted(Notifications::MemoSaved);
}

void NotificationCenter::postFileMoved(const QString &newFilePath)
{
    Q_EMIT fileMoved(newFilePath);
    Q_EMIT posted(Notifications::FileMoved);
}

void NotificationCenter::postFileDeleted(const QString &filePath)
{
    Q_EMIT fileDeleted(filePath);
    Q_EMIT posted(Notifications::FileDeleted);
}

void NotificationCenter::postSaveCurrentMemo()
{
    Q_EMIT saveCurrentMemo();
    Q_EMIT posted(Notifications::SaveCurrentMemo);
}

void NotificationCenter::postActivateGlobalSearch()
{
    Q_EMIT activateGlobalSearch();
    Q_EMIT posted(Notifications::ActivateGlobalSearch);
}

void NotificationCenter::postFocusGlobalSearchField()
{
    Q_EMIT focusGlobalSearchField();
    Q_EMIT posted(Notifications::FocusGlobalSearchField);
}

void NotificationCenter::postFocusEditor()
{
    Q_EMIT focusEditor();
    Q_EMIT posted(Notifications::FocusEditor);
}

void NotificationCenter::postFocusEditorSearchBar()
{
    Q_EMIT focusEditorSearchBar();
    Q_EMIT posted(Notifications::FocusEditorSearchBar);
}

void NotificationCenter::postEditorSearchNavigate(SearchDirection direction)
{
    Q_EMIT editorSearchNavigate(direction);
    Q_EMIT posted(Notifications::EditorSearchNavigate);
}

void NotificationCenter::postEditorApplyDecoration(MarkdownDecoration decoration)
{
    Q_EMIT editorApplyDecoration(decoration);
    Q_EMIT posted(Notifications::EditorApplyDecoration);
}

void NotificationCenter::postSearchKeywordSynced(const QString &keyword)
{
    Q_EMIT searchKeywordSynced(keyword);
    Q_EMIT posted(Notifications::SearchKeywordSynced);
}

void NotificationCenter::postThickEditorCursorPreferenceChanged()
{
    Q_EMIT thickEditorCursorPreferenceChanged();
    Q_EMIT posted(Notifications::ThickEditorCursorPreferenceChanged);
}
