#pragma once

#include <QDateTime>

#include <optional>

/// When the open document is saved without being asked: a little after typing stops, and at
/// least every so often while typing goes on, so a crash loses at most those seconds. Times come
/// from the caller (the current clock), so the rule is tested without waiting.
class AutosaveSchedule
{
public:
    explicit AutosaveSchedule(qint64 idleMsec = 2000, qint64 maximumMsec = 30000);

    /// The user changed the text at `now`.
    void edited(const QDateTime &now);
    /// The text was saved (or nothing is left to save).
    void saved();
    /// Milliseconds from `now` until the save is due (0 when overdue); nothing when no edit
    /// waits.
    std::optional<qint64> msecUntilDue(const QDateTime &now) const;

private:
    qint64 m_idleMsec;
    qint64 m_maximumMsec;
    QDateTime m_firstEdit; ///< the first edit not saved yet; invalid when none waits
    QDateTime m_lastEdit;
};
