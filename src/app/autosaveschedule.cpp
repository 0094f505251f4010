#include "app/autosaveschedule.h"

#include <algorithm>

AutosaveSchedule::AutosaveSchedule(qint64 idleMsec, qint64 maximumMsec)
    : m_idleMsec(idleMsec), m_maximumMsec(maximumMsec)
{
}

void AutosaveSchedule::edited(const QDateTime &now)
{
    if (!m_firstEdit.isValid())
        m_firstEdit = now;
    m_lastEdit = now;
}

void AutosaveSchedule::saved()
{
    m_firstEdit = QDateTime();
    m_lastEdit = QDateTime();
}

std::optional<qint64> AutosaveSchedule::msecUntilDue(const QDateTime &now) const
{
    if (!m_firstEdit.isValid())
        return std::nullopt;
    const QDateTime due =
        std::min(m_lastEdit.addMSecs(m_idleMsec), m_firstEdit.addMSecs(m_maximumMsec));
    return std::max<qint64>(0, now.msecsTo(due));
}
