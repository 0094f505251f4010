#pragma once

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

/// One worker thread that runs submitted jobs one at a time, in the order they were submitted.
/// Used for writes that must reach the disk in call order without blocking the main thread.
class SerialQueue
{
public:
    explicit SerialQueue(QString label);
    /// Finishes every job already submitted, then stops the worker.
    ~SerialQueue();

    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    const QString &label() const { return m_label; }
    void submit(std::function<void()> job);
    /// Blocks until every job submitted so far has finished.
    void waitUntilIdle();

private:
    void run();

    QString m_label;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_jobs;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_worker;
};
