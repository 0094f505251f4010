#include "links/notehistory.h"

void NoteHistory::followed(const QString &from)
{
    m_forward.clear();
    if (from.isEmpty() || (!m_back.isEmpty() && m_back.last() == from))
        return;
    m_back.append(from);
    if (m_back.size() > limit)
        m_back.removeFirst();
}

std::optional<QString> NoteHistory::back(const QString &current)
{
    if (m_back.isEmpty())
        return std::nullopt;
    if (!current.isEmpty())
        m_forward.append(current);
    return m_back.takeLast();
}

std::optional<QString> NoteHistory::forward(const QString &current)
{
    if (m_forward.isEmpty())
        return std::nullopt;
    if (!current.isEmpty())
        m_back.append(current);
    return m_forward.takeLast();
}

void NoteHistory::moved(const QString &from, const QString &to)
{
    for (QStringList *list : {&m_back, &m_forward}) {
        for (QString &path : *list) {
            if (path == from)
                path = to;
        }
    }
}

void NoteHistory::removed(const QString &path)
{
    m_back.removeAll(path);
    m_forward.removeAll(path);
}
