// Stand-ins for a few C library calls, defined in the test executable itself: the program's
// libraries are linked into it statically, so their calls land here first, and each stand-in
// passes on to the C library's function (looked up with RTLD_NEXT) unless a failure is armed.

// The stand-ins must be plain functions of these names, not the inline wrappers or 64-bit
// redirections that these options make the headers declare.
#undef _FORTIFY_SOURCE
#undef _FILE_OFFSET_BITS

#include "common/systemcallfaults.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

using Fsync = int (*)(int);
using Renameat = int (*)(int, const char *, int, const char *);
using Renameat2 = int (*)(int, const char *, int, const char *, unsigned);
using Linkat = int (*)(int, const char *, int, const char *, int);
using Openat = int (*)(int, const char *, int, ...);
using Open = int (*)(const char *, int, ...);
using Write = ssize_t (*)(int, const void *, size_t);
using Pwrite = ssize_t (*)(int, const void *, size_t, off_t);

template <typename Function> Function next(const char *name)
{
    void *found = ::dlsym(RTLD_NEXT, name);
    if (!found) {
        std::fprintf(stderr, "systemcallfaults: no %s after this executable\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(found);
}

struct Originals
{
    Fsync fsync = next<Fsync>("fsync");
    Renameat renameat = next<Renameat>("renameat");
    Renameat2 renameat2 = next<Renameat2>("renameat2");
    Linkat linkat = next<Linkat>("linkat");
    Openat openat = next<Openat>("openat");
    Openat openat64 = next<Openat>("openat64");
    Open open = next<Open>("open");
    Open open64 = next<Open>("open64");
    Write write = next<Write>("write");
    Pwrite pwrite = next<Pwrite>("pwrite");
    Pwrite pwrite64 = next<Pwrite>("pwrite64");
};

const Originals &originals()
{
    static const Originals found;
    return found;
}

constexpr int callCount = int(SystemCallFaults::Call::linkat) + 1;

struct Armed
{
    std::atomic<bool> any{false};
    pthread_t thread{};
    std::array<int, callCount> callsLeft{}; // 0: not armed; else the call that fails counts to 1
    std::array<int, callCount> error{};
    char refusedFolder[PATH_MAX] = {};
    int refusedError = 0;
    /// refuseWritingIn(), on every thread.
    std::atomic<int> writeRefusedError{0};
    char writeRefusedFolder[PATH_MAX] = {};
};

Armed armed;

bool onArmedThread()
{
    return armed.any.load(std::memory_order_acquire) && pthread_equal(armed.thread, pthread_self());
}

/// True (errno set) when this call of `call` is the one to fail.
bool failsNow(SystemCallFaults::Call call)
{
    if (!onArmedThread())
        return false;
    int &left = armed.callsLeft[size_t(call)];
    if (left == 0 || --left > 0)
        return false;
    errno = armed.error[size_t(call)];
    return true;
}

/// True (errno set) when creating `path` relative to `dirFd` is refused.
bool refusesCreating(int dirFd, const char *path)
{
    if (!onArmedThread() || armed.refusedError == 0)
        return false;
    char folder[PATH_MAX] = {};
    if (path[0] == '/') {
        std::strncpy(folder, path, sizeof folder - 1);
    } else {
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", dirFd);
        const ssize_t length = dirFd == AT_FDCWD ? -1 : ::readlink(link, folder, sizeof folder - 1);
        if (length < 0 && !::getcwd(folder, sizeof folder))
            return false;
    }
    const size_t prefix = std::strlen(armed.refusedFolder);
    if (std::strncmp(folder, armed.refusedFolder, prefix) != 0 ||
        (folder[prefix] != '\0' && folder[prefix] != '/'))
        return false;
    errno = armed.refusedError;
    return true;
}

bool isBelow(const char *path, const char *folder)
{
    const size_t prefix = std::strlen(folder);
    return prefix > 0 && std::strncmp(path, folder, prefix) == 0 &&
           (path[prefix] == '\0' || path[prefix] == '/');
}

/// True (errno set) when writing to `fd`, or creating `path` (fd < 0), is refused.
bool refusesWriting(int fd, const char *path)
{
    const int error = armed.writeRefusedError.load(std::memory_order_acquire);
    if (error == 0)
        return false;
    char target[PATH_MAX] = {};
    if (fd >= 0) {
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        if (::readlink(link, target, sizeof target - 1) < 0)
            return false;
    } else if (path[0] == '/') {
        std::strncpy(target, path, sizeof target - 1);
    } else {
        return false;
    }
    if (!isBelow(target, armed.writeRefusedFolder))
        return false;
    errno = error;
    return true;
}

int openWith(Openat original, int dirFd, const char *path, int flags, va_list arguments)
{
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE)
        mode = mode_t(va_arg(arguments, unsigned));
    if ((flags & O_CREAT) != 0 && refusesCreating(dirFd, path))
        return -1;
    if ((flags & O_CREAT) != 0 && dirFd == AT_FDCWD && refusesWriting(-1, path))
        return -1;
    return original(dirFd, path, flags, mode);
}

int openPath(Open original, const char *path, int flags, va_list arguments)
{
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE)
        mode = mode_t(va_arg(arguments, unsigned));
    if ((flags & O_CREAT) != 0 && refusesWriting(-1, path))
        return -1;
    return original(path, flags, mode);
}

void arm()
{
    armed.thread = pthread_self();
    armed.any.store(true, std::memory_order_release);
}

} // namespace

namespace SystemCallFaults {

void failNth(Call call, int nth, int error)
{
    armed.callsLeft[size_t(call)] = nth;
    armed.error[size_t(call)] = error;
    arm();
}

void refuseCreatingIn(const QString &folder, int error)
{
    // Compared with the folder a descriptor names, which is its real path.
    const QByteArray real = QFile::encodeName(QFileInfo(folder).canonicalFilePath());
    std::strncpy(armed.refusedFolder, real.constData(), sizeof armed.refusedFolder - 1);
    armed.refusedError = error;
    arm();
}

void refuseWritingIn(const QString &folder, int error)
{
    const QByteArray real = QFile::encodeName(QFileInfo(folder).canonicalFilePath());
    std::strncpy(armed.writeRefusedFolder, real.constData(), sizeof armed.writeRefusedFolder - 1);
    armed.writeRefusedError.store(error, std::memory_order_release);
}

void reset()
{
    armed.writeRefusedError.store(0, std::memory_order_release);
    armed.any.store(false, std::memory_order_release);
    armed.callsLeft.fill(0);
    armed.refusedError = 0;
    armed.refusedFolder[0] = '\0';
}

} // namespace SystemCallFaults

using SystemCallFaults::Call;

extern "C" {

int fsync(int fd)
{
    return failsNow(Call::fsync) ? -1 : originals().fsync(fd);
}

int renameat(int fromDir, const char *from, int toDir, const char *to) noexcept
{
    return failsNow(Call::renameat) ? -1 : originals().renameat(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned flags) noexcept
{
    return failsNow(Call::renameat2) ? -1 : originals().renameat2(fromDir, from, toDir, to, flags);
}

int linkat(int fromDir, const char *from, int toDir, const char *to, int flags) noexcept
{
    return failsNow(Call::linkat) ? -1 : originals().linkat(fromDir, from, toDir, to, flags);
}

int openat(int dirFd, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const int fd = openWith(originals().openat, dirFd, path, flags, arguments);
    va_end(arguments);
    return fd;
}

int openat64(int dirFd, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const int fd = openWith(originals().openat64, dirFd, path, flags, arguments);
    va_end(arguments);
    return fd;
}

int open(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const int fd = openPath(originals().open, path, flags, arguments);
    va_end(arguments);
    return fd;
}

int open64(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const int fd = openPath(originals().open64, path, flags, arguments);
    va_end(arguments);
    return fd;
}

ssize_t write(int fd, const void *data, size_t size)
{
    return refusesWriting(fd, nullptr) ? -1 : originals().write(fd, data, size);
}

ssize_t pwrite(int fd, const void *data, size_t size, off_t offset)
{
    return refusesWriting(fd, nullptr) ? -1 : originals().pwrite(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void *data, size_t size, off_t offset)
{
    return refusesWriting(fd, nullptr) ? -1 : originals().pwrite64(fd, data, size, offset);
}

} // extern "C"
