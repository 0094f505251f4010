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

const QString &EditorLiveState::latestText() const
{
    if (m_textStale) {
        m_textStale = false;
        if (m_textProvider)
            m_latestText = m_textProvider();
    }
    return m_latestText;
}

void EditorLiveState::setLatestText(const QString &text)
{
    m_latestText = text;
    m_textStale = false;
    ++m_textRevision;
}

void EditorLiveState::setTextSource(const QObject *owner, TextProvider provider)
{
    m_textOwner = owner;
    m_textProvider = std::move(provider);
}

void EditorLiveState::releaseTextSource(const QObject *owner)
{
    if (owner != m_textOwner)
        return;
    latestText();
    m_textOwner = nullptr;
    m_textProvider = nullptr;
}

void EditorLiveState::markTextChanged()
{
    m_textStale = true;
    ++m_textRevision;
}
