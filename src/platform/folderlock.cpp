#include "platform/folderlock.h"

#include <QFile>
#include <QFileInfo>

#include <condition_variable>
#include <map>
#include <mutex>

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
    QString error;
};

Acquired acquire(const QString &folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {-1, qt_error_string(errno)};
    int result;
    do {
        result = ::flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const QString error = qt_error_string(errno);
        ::close(fd);
        return {-1, error};
    }
    return {fd, QString()};
}

} // namespace

FolderLock::FolderLock(const QString &folderPath) : m_key(QFileInfo(folderPath).canonicalFilePath())
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
        const Acquired acquired = acquire(m_key);
        lock.lock();
        holding.fd = acquired.fd;
        holding.error = acquired.error;
        holding.pending = false;
        registryChanged.notify_all();
    } else {
        registryChanged.wait(lock, [&holding] { return !holding.pending; });
    }
    m_locked = holding.fd >= 0;
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
