#pragma once

#include <QString>

/// An advisory lock (flock) on a folder, held for the lifetime of the object, so that two
/// processes writing notes in the same folder (the window and `quillmere today --append`) take
/// turns across read, merge and write instead of losing each other's lines.
///
/// The folder itself is locked, not a lock file: nothing extra appears beside the notes, and the
/// lock survives the atomic replace of any file inside it. Reentrant within a process: a second
/// FolderLock on a folder this process already holds returns at once (the kernel would otherwise
/// block on our own lock). The constructor blocks until the lock is held. A folder that cannot
/// be opened or locked (it does not exist, a file system without flock) leaves isLocked() false
/// with error() set; callers go on without the lock rather than refuse to save.
class FolderLock
{
public:
    explicit FolderLock(const QString &folderPath);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool isLocked() const { return m_locked; }
    const QString &error() const { return m_error; }

private:
    QString m_key;
    bool m_locked = false;
    QString m_error;
};
