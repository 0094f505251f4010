#include "platform/atomicfile.h"

#include "platform/regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Written on the POSIX calls rather than QSaveFile: Qt 6.4's QSaveFile::commit() reports
// success when its last flush fails (a full disk), and then renames an empty or partial file
// over the note. Here every step is checked and nothing is renamed unless it all succeeded.

namespace AtomicFile {
namespace {

// The temporary file is ".<target name>.quillmere-<pid>-<six letters or digits>": hidden, never
// ending in a note extension, and telling which process wrote it.
constexpr QLatin1String marker(".quillmere-");
constexpr int suffixLength = 6;
constexpr char suffixAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int nameMax = 255;
// Folders deeper than this below the starting one are left alone rather than exhaust the
// descriptors.
constexpr int maxDepth = 64;

/// A descriptor closed when it goes out of scope, unless taken with release().
class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

bool fail(Error *error, int code, const QString &text)
{
    if (error)
        *error = {code, text};
    return false;
}

/// A failed system call, told by its errno.
bool fail(Error *error, int code)
{
    return fail(error, code, qt_error_string(code));
}

bool isAlphanumeric(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

/// The writer's process id when `name` is one of our temporary names.
std::optional<pid_t> writerOf(QStringView name)
{
    const qsizetype at = name.lastIndexOf(marker);
    // A hidden name with something between its dot and the marker: the target's name.
    if (!name.startsWith(u'.') || at < 2)
        return std::nullopt;
    const QStringView rest = name.sliced(at + marker.size());
    const qsizetype dash = rest.indexOf(u'-');
    if (dash < 1 || dash > 10 || rest.size() - dash - 1 != suffixLength)
        return std::nullopt;
    for (const QChar c : rest.first(dash)) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    for (const QChar c : rest.sliced(dash + 1)) {
        if (!isAlphanumeric(c))
            return std::nullopt;
    }
    bool ok = false;
    const qint64 pid = rest.first(dash).toLongLong(&ok);
    if (!ok || pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return std::nullopt;
    return pid_t(pid);
}

/// A fresh temporary name for `targetName`. A long target name is cut (at a character boundary)
/// so that the whole name still fits the file system's limit.
QByteArray temporaryName(const QByteArray &targetName)
{
    QByteArray tail = marker.latin1() + QByteArray::number(qint64(::getpid())) + '-';
    for (int i = 0; i < suffixLength; ++i)
        tail += suffixAlphabet[QRandomGenerator::global()->bounded(int(sizeof suffixAlphabet) - 1)];
    qsizetype keep = std::min<qsizetype>(targetName.size(), nameMax - 1 - tail.size());
    while (keep > 0 && keep < targetName.size() && (uchar(targetName[keep]) & 0xC0) == 0x80)
        --keep;
    return '.' + targetName.first(keep) + tail;
}

bool locksUnsupported(int error)
{
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}

/// Creates a temporary file for `targetName` in the open folder, with O_EXCL so that it is ours
/// alone. `mode` goes through the umask as with any open(2).
int createTemporary(int dirFd, const QByteArray &targetName, mode_t mode, QByteArray *name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = temporaryName(targetName);
        const int fd = ::openat(dirFd, name->constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0 && errno != EEXIST)
            return fd;
        if (fd < 0)
            continue;
        // The lock tells a live writer from a dead one (removeLeftovers): unlike the process id
        // in the name, it ends with its holder and is never handed to another process. A
        // file system without locks writes unlocked (the cleaner then goes by the process id).
        struct stat info;
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0 && !locksUnsupported(errno)) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return -1;
        }
        if (::fstat(fd, &info) == 0 && info.st_nlink > 0)
            return fd;
        // A cleaner took the file in the moment before it was locked: start afresh.
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            // The kernel took nothing and gave no reason: do not spin, call it a full disk.
            errno = ENOSPC;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

bool syncDescriptor(int fd)
{
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

/// Flushes the folder's entries (the rename) to disk. File systems that cannot sync a folder
/// (EINVAL) have nothing more to do.
bool syncFolder(int dirFd)
{
    return syncDescriptor(dirFd) || errno == EINVAL || errno == EOPNOTSUPP;
}

/// Closes a written file; with a network file system this is where a failed write shows.
bool closeChecked(int fd)
{
    // On Linux the descriptor is gone even when close() is interrupted, and the data was
    // already synced, so EINTR is no failure.
    return ::close(fd) == 0 || errno == EINTR;
}

/// The temporary file being written; closed and unlinked when it goes out of scope unless its
/// name was handed over to the target.
class Temporary
{
public:
    explicit Temporary(int dirFd) : m_dirFd(dirFd) {}
    ~Temporary() { discard(); }
    Temporary(const Temporary &) = delete;
    Temporary &operator=(const Temporary &) = delete;

    bool create(const QByteArray &targetName, mode_t mode)
    {
        m_fd = createTemporary(m_dirFd, targetName, mode, &m_name);
        if (m_fd < 0)
            m_name.clear();
        else // holds the lock past finish(), until the name is the target's or removed
            m_lockFd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
        return m_fd >= 0;
    }

    int fd() const { return m_fd; }
    const QByteArray &name() const { return m_name; }

    /// Syncs and closes the file; false (errno set) when its data may not be on the disk.
    bool finish()
    {
        if (!syncDescriptor(m_fd))
            return false;
        return closeChecked(std::exchange(m_fd, -1));
    }

    /// The temporary name now belongs to the target: nothing to remove any more.
    void committed() { m_name.clear(); }

    /// Closes and removes the temporary file, keeping errno for the caller's message.
    void discard()
    {
        const int saved = errno;
        if (m_fd >= 0)
            ::close(std::exchange(m_fd, -1));
        if (!m_name.isEmpty())
            ::unlinkat(m_dirFd, m_name.constData(), 0);
        m_name.clear();
        if (m_lockFd >= 0)
            ::close(std::exchange(m_lockFd, -1));
        errno = saved;
    }

private:
    int m_dirFd;
    int m_fd = -1;
    int m_lockFd = -1;
    QByteArray m_name;
};

/// Gives the new file the group of the one it replaces where we may (a shared folder's group
/// may be one we cannot give away; the file then keeps ours).
void keepGroup(int fd, gid_t group)
{
    struct stat now;
    if (::fstat(fd, &now) != 0 || now.st_gid == group)
        return;
    if (::fchown(fd, uid_t(-1), group) != 0)
        return; // not ours to give: the file keeps our group
}

struct Target
{
    QString folder;
    QByteArray name;
};

Target splitPath(const QString &path)
{
    const QFileInfo info(path);
    return {info.absolutePath(), QFile::encodeName(info.fileName())};
}

/// The file a write to `path` should replace: a link's final target, so that the link stays.
QString resolvedTarget(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

Descriptor openFolder(const QString &folder)
{
    return Descriptor(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool isRunning(pid_t pid)
{
    return !(::kill(pid, 0) == -1 && errno == ESRCH);
}

/// Removes the temporary file `name` in the open folder when it is a dead writer's: a plain
/// file we could have written (a link or folder of that name is not ours) whose lock nobody
/// holds. A writer holds it from creating the file until it is renamed or removed; the file is
/// removed while the lock is held here, so a writer that takes it next sees it gone.
bool removeIfAbandoned(int dirFd, const QByteArray &name)
{
    const Descriptor file(
        ::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info;
    if (!file.isValid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        if (!locksUnsupported(errno))
            return false;
        const auto pid = writerOf(QFile::decodeName(name));
        if (!pid || isRunning(*pid))
            return false;
    }
    // Still the file that was locked, not one a new writer put under the same name.
    struct stat now;
    return ::fstatat(dirFd, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
           now.st_dev == info.st_dev && now.st_ino == info.st_ino &&
           ::unlinkat(dirFd, name.constData(), 0) == 0;
}

bool isFolder(int dirFd, const dirent *entry)
{
    if (entry->d_type != DT_UNKNOWN)
        return entry->d_type == DT_DIR;
    struct stat info;
    return ::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(info.st_mode);
}

/// Removes our dead writers' files in the open folder `dirFd` (taken over and closed).
int removeIn(int dirFd, bool recursive, int depth)
{
    DIR *dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return 0;
    }
    std::vector<QByteArray> leftovers;
    std::vector<QByteArray> folders;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (writerOf(QFile::decodeName(name)))
            leftovers.emplace_back(name);
        else if (recursive && depth < maxDepth && isFolder(::dirfd(dir), entry))
            folders.emplace_back(name);
    }
    const int fd = ::dirfd(dir);
    int removed = 0;
    for (const QByteArray &name : leftovers) {
        if (removeIfAbandoned(fd, name))
            ++removed;
    }
    for (const QByteArray &name : folders) {
        // O_NOFOLLOW: a link to a folder elsewhere is not walked into.
        const int child =
            ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child >= 0)
            removed += removeIn(child, true, depth + 1);
    }
    ::closedir(dir);
    return removed;
}

} // namespace

QString Error::reason() const
{
    switch (code) {
    case ENOSPC:
    case EDQUOT:
    // Past the largest file the file system (or the process's limit) allows: no room either.
    case EFBIG:
        return QStringLiteral("ディスクの空きがありません");
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("書き込みの権限がありません");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("フォルダがありません");
    default:
        return text;
    }
}

bool write(const QString &path, const QByteArray &bytes, Error *error)
{
    const Target target = splitPath(resolvedTarget(path));
    const Descriptor dir = openFolder(target.folder);
    if (!dir.isValid())
        return fail(error, errno);
    struct stat old;
    const bool replacing = ::fstatat(dir.get(), target.name.constData(), &old, 0) == 0;
    if (replacing && !S_ISREG(old.st_mode))
        return fail(error, 0, QStringLiteral("通常のファイルではありません"));
    // The rename needs only the folder's permission: without this, a file the user may not
    // change (mode 0444, another owner's) would be replaced all the same.
    if (replacing && !RegularFile::mayWrite(dir.get(), target.name.constData(), old))
        return fail(error, EACCES, QStringLiteral("書き込みの権限がありません"));

    Temporary temporary(dir.get());
    // A replacement starts private and takes the old file's mode once written.
    if (!temporary.create(target.name, replacing ? 0600 : 0666))
        return fail(error, errno);
    if (!writeAll(temporary.fd(), bytes))
        return fail(error, errno);
    if (replacing) {
        keepGroup(temporary.fd(), old.st_gid);
        if (::fchmod(temporary.fd(), old.st_mode & 07777) != 0)
            return fail(error, errno);
    }
    if (!temporary.finish())
        return fail(error, errno);
    const char *source = temporary.name().constData();
    if (::renameat(dir.get(), source, dir.get(), target.name.constData()) != 0)
        return fail(error, errno);
    temporary.committed();
    if (!syncFolder(dir.get()))
        return fail(error, errno);
    return true;
}

bool writeNew(const QString &path, const QByteArray &bytes, Error *error, bool *exists)
{
    if (exists)
        *exists = false;
    const Target target = splitPath(path);
    const Descriptor dir = openFolder(target.folder);
    if (!dir.isValid())
        return fail(error, errno);
    Temporary temporary(dir.get());
    if (!temporary.create(target.name, 0666))
        return fail(error, errno);
    if (!writeAll(temporary.fd(), bytes) || !temporary.finish())
        return fail(error, errno);

    const char *source = temporary.name().constData();
    const char *destination = target.name.constData();
    int result = ::renameat2(dir.get(), source, dir.get(), destination, RENAME_NOREPLACE);
    bool linked = false;
    if (result != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        // No renameat2 on this file system: a hard link also refuses an existing name.
        result = ::linkat(dir.get(), source, dir.get(), destination, 0);
        linked = result == 0;
    }
    if (result != 0) {
        if (errno == EEXIST && exists)
            *exists = true;
        return fail(error, errno);
    }
    // After a link the temporary name is a second name of the note: drop it.
    if (!linked)
        temporary.committed();
    temporary.discard();
    if (!syncFolder(dir.get()))
        return fail(error, errno);
    return true;
}

bool isTemporaryName(const QString &fileName)
{
    return writerOf(fileName).has_value();
}

int removeLeftovers(const QString &folder, bool recursive)
{
    Descriptor dir = openFolder(folder);
    if (!dir.isValid())
        return 0;
    return removeIn(dir.release(), recursive, 0);
}

} // namespace AtomicFile
