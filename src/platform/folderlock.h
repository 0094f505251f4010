#pragma once

#include <QString>

#include <chrono>

/// An advisory lock (flock) on a folder, held for the lifetime of the object, so that two
/// processes writing notes in the same folder (the window and `quillmere today --append`) take
/// turns across read, merge and write instead of losing each other's lines.
///
/// The folder itself is locked, not a lock file: nothing extra appears beside the notes, and the
/// lock survives the atomic replace of any file inside it. Reentrant within a process: a second
/// FolderLock on a folder this process already holds returns at once (the kernel would otherwise
/// block on our own lock).
///
/// The constructor waits at most `patience` for another holder (another process, or another
/// open description of the folder) to let go; noWait only tries, which is what the GUI thread
/// must do: a stuck holder would otherwise freeze the window. isBusy() then tells that the lock
/// is taken. A folder that cannot be opened or locked for any other reason (it does not exist, a
/// file system without flock) leaves isLocked() false with error() set; callers go on without the
/// lock rather than refuse to save.
class FolderLock
{
public:
    static constexpr std::chrono::milliseconds noWait{0};
    static constexpr std::chrono::milliseconds waitForever = std::chrono::milliseconds::max();

    explicit FolderLock(const QString &folderPath,
                        std::chrono::milliseconds patience = waitForever);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool isLocked() const { return m_locked; }
    /// Someone else held the lock for longer than the constructor would wait.
    bool isBusy() const { return m_busy; }
    const QString &error() const { return m_error; }

private:
    QString m_key;
    bool m_locked = false;
    bool m_busy = false;
    QString m_error;
};
