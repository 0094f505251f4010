#include "editor/editorlivestate.h"

void EditorLiveState::setScrollOffset(double offset)
{
    if (m_scrollOffset == offset)
        return;
    m_scrollOffset = offset;
    Q_EMIT scrollOffsetChanged(offset);
}

void EditorLiveState::setCursorInfo(const EditorCursorInfo &info)
{
    if (m_cursorInfo == info)
        return;
    m_cursorInfo = info;
    Q_EMIT cursorInfoChanged(info);
}
