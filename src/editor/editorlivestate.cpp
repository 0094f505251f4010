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

QString EditorLiveState::latestText() const
{
    return m_textProvider ? m_textProvider() : QString();
}

void EditorLiveState::setTextSource(const QObject *owner, TextProvider provider)
{
    m_textOwner = owner;
    m_textProvider = std::move(provider);
    ++m_textRevision;
}

void EditorLiveState::releaseTextSource(const QObject *owner)
{
    if (owner != m_textOwner)
        return;
    m_textOwner = nullptr;
    m_textProvider = nullptr;
    ++m_textRevision;
}

void EditorLiveState::markTextChanged()
{
    ++m_textRevision;
}
