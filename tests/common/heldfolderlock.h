#pragma once

#include <QFile>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

/// The lock on a folder held as another program holds it: on a descriptor of its own, which the
/// program's FolderLock cannot share. Let go at release() or destruction, and at the latest
/// after `limit`, so that code that wrongly waits for it makes its test fail instead of hang.
class HeldFolderLock
{
public:
    explicit HeldFolderLock(const QString &folder,
                            std::chrono::seconds limit = std::chrono::seconds(15))
        : m_fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        m_held = m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
        if (!m_held)
            return;
        m_watchdog = std::thread([this, limit] {
            std::unique_lock lock(m_mutex);
            m_changed.wait_for(lock, limit, [this] { return m_released; });
            ::flock(m_fd, LOCK_UN);
        });
    }
    ~HeldFolderLock()
    {
        release();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    HeldFolderLock(const HeldFolderLock &) = delete;
    HeldFolderLock &operator=(const HeldFolderLock &) = delete;

    bool isHeld() const { return m_held; }

    void release()
    {
        if (!m_watchdog.joinable())
            return;
        {
            const std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_all();
        m_watchdog.join();
    }

private:
    int m_fd = -1;
    bool m_held = false;
    bool m_released = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_watchdog;
};
