#include "platform/folderlock.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

/// One folder this process locks: the descriptor holding the kernel's lock and how many
/// FolderLock objects share it. `pending` while the first of them is still waiting for it.
struct Holding
{
    int fd = -1;
    int holders = 0;
    bool pending = true;
    bool busy = false;
    QString error;
};

// Keyed by canonical path, so that two spellings of one folder share one lock: flock on a
// second descriptor of the same folder would wait for our own lock forever.
std::mutex registryMutex;
std::condition_variable registryChanged;
std::map<QString, Holding> registry;

struct Acquired
{
    int fd = -1;
    bool busy = false;
    QString error;
};

using Clock = std::chrono::steady_clock;

QString busyText()
{
    return QStringLiteral("他のプログラムがロックしています");
}

/// Tries the lock until `patience` is over, at short and then longer intervals: flock cannot
/// wait with a time limit itself.
int lockWithin(int fd, std::chrono::milliseconds patience)
{
    const Clock::time_point deadline = Clock::now() + patience;
    std::chrono::milliseconds pause(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 0;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return -1;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            errno = EWOULDBLOCK;
            return -1;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(25));
    }
}

Acquired acquire(const QString &folder, std::chrono::milliseconds patience)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {-1, false, qt_error_string(errno)};
    int result;
    if (patience == FolderLock::waitForever) {
        do {
            result = ::flock(fd, LOCK_EX);
        } while (result != 0 && errno == EINTR);
    } else {
        result = lockWithin(fd, patience);
    }
    if (result != 0) {
        const bool busy = errno == EWOULDBLOCK;
        const QString error = busy ? busyText() : qt_error_string(errno);
        ::close(fd);
        return {-1, busy, error};
    }
    return {fd, false, QString()};
}

} // namespace

FolderLock::FolderLock(const QString &folderPath, std::chrono::milliseconds patience)
    : m_key(QFileInfo(folderPath).canonicalFilePath())
{
    if (m_key.isEmpty()) {
        m_error = QStringLiteral("フォルダが見つかりません: ") + folderPath;
        return;
    }
    std::unique_lock lock(registryMutex);
    auto [it, first] = registry.try_emplace(m_key);
    Holding &holding = it->second;
    ++holding.holders;
    if (first) {
        // Wait for the kernel's lock without holding the registry, so that other folders (and
        // the release of this one by another thread) are not held up meanwhile.
        lock.unlock();
        const Acquired acquired = acquire(m_key, patience);
        lock.lock();
        holding.fd = acquired.fd;
        holding.busy = acquired.busy;
        holding.error = acquired.error;
        holding.pending = false;
        registryChanged.notify_all();
    } else {
        // Another thread of ours is getting the kernel's lock: its answer is ours too, if it
        // comes within our patience.
        const auto settled = [&holding] { return !holding.pending; };
        if (patience == waitForever) {
            registryChanged.wait(lock, settled);
        } else if (!registryChanged.wait_for(lock, patience, settled)) {
            // Still pending: the thread getting it removes the entry if it fails.
            --holding.holders;
            m_busy = true;
            m_error = busyText();
            return;
        }
    }
    m_locked = holding.fd >= 0;
    m_busy = holding.busy;
    m_error = holding.error;
    if (!m_locked && --holding.holders == 0)
        registry.erase(it);
}

FolderLock::~FolderLock()
{
    if (!m_locked)
        return;
    const std::lock_guard lock(registryMutex);
    const auto it = registry.find(m_key);
    if (it == registry.end() || --it->second.holders > 0)
        return;
    ::flock(it->second.fd, LOCK_UN);
    ::close(it->second.fd);
    registry.erase(it);
}
