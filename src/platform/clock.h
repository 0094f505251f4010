#pragma once

#include <QDateTime>
#include <QTimeZone>

/// The source of "now" and of the user's current time zone. Everything that stamps a date or
/// formats one in local time asks the current clock, so tests can fix both.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    virtual QTimeZone timeZone() const = 0;

    /// The clock in use: the system clock unless a test installed another one.
    static const Clock &current();
    /// Installs `clock` (not owned) as the current clock; nullptr restores the system clock.
    static void setCurrent(const Clock *clock);
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
    QTimeZone timeZone() const override;
};

/// A clock that stands still until told otherwise.
class FixedClock final : public Clock
{
public:
    explicit FixedClock(QDateTime now, QTimeZone zone = QTimeZone::utc());
    QDateTime now() const override { return m_now; }
    QTimeZone timeZone() const override { return m_zone; }
    void setNow(const QDateTime &now) { m_now = now; }
    void setTimeZone(const QTimeZone &zone) { m_zone = zone; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
    QTimeZone m_zone;
};
