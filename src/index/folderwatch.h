#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

/// The kernel's reports (inotify) of what changes in a set of folders: a file written, created,
/// deleted or renamed, a folder created or gone. Nothing arrives on its own: drain() reads what
/// the kernel queued since the last call, without waiting, so a caller that drains right before
/// answering sees every change that ended before it asked.
///
/// It cannot tell everything: changes made on another machine to a network or user-space file
/// system, or through another link to the same file, are never reported. watch() refuses such
/// file systems, and the caller walks them instead.
class FolderWatch
{
public:
    struct Event
    {
        int watch = -1;
        std::uint32_t mask = 0;
        /// The entry's name inside the folder, in the file system's encoding; empty for the
        /// folder itself.
        QByteArray name;
    };

    FolderWatch();
    ~FolderWatch();
    FolderWatch(const FolderWatch &) = delete;
    FolderWatch &operator=(const FolderWatch &) = delete;

    bool isValid() const { return m_fd >= 0; }

    /// Watches the folder at `nativePath` (absolute). Its watch id (the same for a folder watched
    /// before), or -1 when it cannot be watched reliably: no more watches left, a file system
    /// whose changes may come from elsewhere, a folder that is gone. `isNew` tells whether it
    /// was not watched before.
    int watch(const QByteArray &nativePath, bool *isNew = nullptr);
    /// Stops watching; events already queued for it are not told.
    void unwatch(int watch);

    /// Appends every event queued so far. False when some were lost (the kernel's queue
    /// overflowed) or reading failed: whatever the watched folders hold must be walked again.
    bool drain(std::vector<Event> &events);

    /// Whether the event says the listing must be walked again: the queue overflowed, a watched
    /// folder went away or was moved, or a folder inside one appeared, went or was renamed.
    static bool needsWalk(std::uint32_t mask);

private:
    int m_fd = -1;
    /// The watch ids in use, sorted.
    std::vector<int> m_watches;
};
