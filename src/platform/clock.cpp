#include "platform/clock.h"

#include <atomic>

namespace {
const SystemClock systemClock;
std::atomic<const Clock *> installedClock{nullptr};
} // namespace

const Clock &Clock::current()
{
    const Clock *clock = installedClock.load();
    return clock ? *clock : systemClock;
}

void Clock::setCurrent(const Clock *clock)
{
    installedClock.store(clock);
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

QTimeZone SystemClock::timeZone() const
{
    // Asking the system looks at /etc/localtime every time; date parsing asks per header line.
    static const QTimeZone zone = QTimeZone::systemTimeZone();
    return zone;
}

FixedClock::FixedClock(QDateTime now, QTimeZone zone) : m_now(std::move(now)), m_zone(std::move(zone))
{
}
