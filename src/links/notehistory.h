#pragma once

#include <QString>
#include <QStringList>

#include <optional>

/// Back and forward along the notes opened by following links, as a browser keeps them.
class NoteHistory
{
public:
    /// A link led from the note at `from` (empty: none open) to another: `from` is where back
    /// returns to; anything ahead is dropped.
    void followed(const QString &from);
    /// The note to return to from `current`, which becomes the way forward; nothing when none.
    std::optional<QString> back(const QString &current);
    /// The note `back` left, with `current` the way back again; nothing when none.
    std::optional<QString> forward(const QString &current);
    /// A note moved: every mention of it follows.
    void moved(const QString &from, const QString &to);
    /// A note is gone: it is dropped from both ways.
    void removed(const QString &path);

    bool canGoBack() const { return !m_back.isEmpty(); }
    bool canGoForward() const { return !m_forward.isEmpty(); }

    /// The most kept each way.
    static constexpr qsizetype limit = 100;

private:
    QStringList m_back;
    QStringList m_forward;
};
