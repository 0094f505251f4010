#include "index/folderwatch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t watchedChanges = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_FROM |
                                         IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_DELETE_SELF |
                                         IN_MOVE_SELF | IN_ONLYDIR;

/// File systems whose files may change without this machine's kernel seeing it: a remote
/// machine's writes, a user-space file system's own doings.
bool changesElsewhere(const QByteArray &nativePath)
{
    struct statfs info = {};
    if (::statfs(nativePath.constData(), &info) != 0)
        return true;
    switch (static_cast<unsigned long>(info.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x65735546UL: // FUSE
    case V9FS_MAGIC:
    case CODA_SUPER_MAGIC:
    case AFS_SUPER_MAGIC:
    case 0x00C36400UL: // Ceph
    case 0x6B414653UL: // AFS (kernel client)
        return true;
    default:
        return false;
    }
}

} // namespace

FolderWatch::FolderWatch() : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

FolderWatch::~FolderWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int FolderWatch::watch(const QByteArray &nativePath, bool *isNew)
{
    if (isNew)
        *isNew = false;
    if (m_fd < 0 || changesElsewhere(nativePath))
        return -1;
    const int watch = inotify_add_watch(m_fd, nativePath.constData(), watchedChanges);
    if (watch < 0)
        return -1;
    const auto at = std::lower_bound(m_watches.begin(), m_watches.end(), watch);
    if (at == m_watches.end() || *at != watch) {
        m_watches.insert(at, watch);
        if (isNew)
            *isNew = true;
    }
    return watch;
}

void FolderWatch::unwatch(int watch)
{
    const auto at = std::lower_bound(m_watches.begin(), m_watches.end(), watch);
    if (at == m_watches.end() || *at != watch)
        return;
    m_watches.erase(at);
    inotify_rm_watch(m_fd, watch);
}

bool FolderWatch::drain(std::vector<Event> &events)
{
    if (m_fd < 0)
        return false;
    alignas(inotify_event) char buffer[64 * 1024];
    bool complete = true;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return complete && errno == EAGAIN;
        if (got == 0)
            return false;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char *name = buffer + at + sizeof event;
            at += ssize_t(sizeof event) + ssize_t(event.len);
            if (event.mask & IN_Q_OVERFLOW)
                complete = false;
            if (event.mask & IN_IGNORED) {
                // The kernel dropped the watch: its folder is gone, or unwatch() asked for it
                // (then nothing is to be told).
                const auto gone = std::lower_bound(m_watches.begin(), m_watches.end(), event.wd);
                if (gone == m_watches.end() || *gone != event.wd)
                    continue;
                m_watches.erase(gone);
            }
            events.push_back(
                {event.wd, event.mask,
                 event.len ? QByteArray(name, qsizetype(strnlen(name, event.len))) : QByteArray()});
        }
    }
}

bool FolderWatch::needsWalk(std::uint32_t mask)
{
    if (mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED))
        return true;
    return (mask & IN_ISDIR) != 0;
}
