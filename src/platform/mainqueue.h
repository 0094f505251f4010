#pragma once

#include <QObject>
#include <QTimer>

#include <utility>

namespace MainQueue {

/// Runs `work` on the main thread's event loop after `msec` milliseconds. The step is bound to
/// `context`: once that object is gone, the step is dropped instead of touching freed state.
template <typename Work> void asyncAfter(const QObject *context, int msec, Work &&work)
{
    QTimer::singleShot(msec, context, std::forward<Work>(work));
}

/// Runs `work` on the next turn of the main event loop.
template <typename Work> void async(const QObject *context, Work &&work)
{
    asyncAfter(context, 0, std::forward<Work>(work));
}

} // namespace MainQueue
