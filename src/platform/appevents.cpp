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

void AppEvents::postActivateGlobalSearch()
{
    Q_EMIT activateGlobalSearch();
    Q_EMIT posted(Notifications::ActivateGlobalSearch);
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
