#include "platform/appevents.h"

AppEvents &AppEvents::instance()
{
    static AppEvents events;
    return events;
}

void AppEvents::postBaseFolderChanged()
{
    Q_EMIT baseFolderChanged();
    Q_EMIT posted(Notifications::BaseFolderChanged);
}

void AppEvents::postMemoSaved()
{
    Q_EMIT memoSaved();
    Q_EMIT posted(Notifications::MemoSaved);
}

void AppEvents::postFileMoved(const QString &newFilePath)
{
    Q_EMIT fileMoved(newFilePath);
    Q_EMIT posted(Notifications::FileMoved);
}

void AppEvents::postFileDeleted(const QString &filePath)
{
    Q_EMIT fileDeleted(filePath);
    Q_EMIT posted(Notifications::FileDeleted);
}

void AppEvents::postSaveCurrentMemo()
{
    Q_EMIT saveCurrentMemo();
    Q_EMIT posted(Notifications::SaveCurrentMemo);
}

void AppEvents::postActivateGlobalSearch()
{
    Q_EMIT activateGlobalSearch();
    Q_EMIT posted(Notifications::ActivateGlobalSearch);
}

void AppEvents::postFocusGlobalSearchField()
{
    Q_EMIT focusGlobalSearchField();
    Q_EMIT posted(Notifications::FocusGlobalSearchField);
}

void AppEvents::postFocusEditor()
{
    Q_EMIT focusEditor();
    Q_EMIT posted(Notifications::FocusEditor);
}

void AppEvents::postFocusEditorSearchBar()
{
    Q_EMIT focusEditorSearchBar();
    Q_EMIT posted(Notifications::FocusEditorSearchBar);
}

void AppEvents::postEditorSearchNavigate(SearchDirection direction)
{
    Q_EMIT editorSearchNavigate(direction);
    Q_EMIT posted(Notifications::EditorSearchNavigate);
}

void AppEvents::postSearchKeywordSynced(const QString &keyword)
{
    Q_EMIT searchKeywordSynced(keyword);
    Q_EMIT posted(Notifications::SearchKeywordSynced);
}
