#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <iterator>
#include <mutex>
#include <optional>
#include <vector>

/// Tasks shared by a few worker threads, where running a task may add more (a folder walk: a
/// folder's listing finds its subfolders). Last in, first out, so the walk runs ahead of the
/// work it finds. take() waits while tasks are still running that may add more, and answers
/// nothing once every task added has finished.
template <typename Task>
class WorkQueue
{
public:
    void add(std::vector<Task> tasks)
    {
        if (tasks.empty())
            return;
        std::lock_guard lock(m_mutex);
        m_unfinished += qsizetype(tasks.size());
        std::move(tasks.begin(), tasks.end(), std::back_inserter(m_tasks));
        m_changed.notify_all();
    }

    std::optional<Task> take()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_tasks.empty() || m_unfinished == 0; });
        if (m_tasks.empty())
            return std::nullopt;
        Task task = std::move(m_tasks.back());
        m_tasks.pop_back();
        return task;
    }

    /// A task taken earlier is done (after adding whatever it found).
    void finish()
    {
        std::lock_guard lock(m_mutex);
        if (--m_unfinished == 0)
            m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Task> m_tasks;
    /// Tasks waiting or running: none left means the work is over.
    qsizetype m_unfinished = 0;
};
