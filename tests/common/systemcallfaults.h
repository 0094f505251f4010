#pragma once

#include <QString>

/// Makes chosen system calls of this test process fail, to see that every step of a write is
/// checked. A test executable that lists systemcallfaults.cpp among its sources calls these
/// stand-ins instead of the C library's: they pass every call on unchanged unless a failure is
/// armed here. Failures are armed for the calling thread only; other threads' calls pass.
namespace SystemCallFaults {

enum class Call { fsync, renameat, renameat2, linkat };

/// The `nth` call (counted from 1) of `call` from now on fails with `error`, without reaching
/// the system; the others pass.
void failNth(Call call, int nth, int error);

/// Creating a file with openat(O_CREAT), as the program's writes do, in `folder` or below fails
/// with `error`: a folder the user may not write to (root may write anywhere, so a mode would
/// not do).
void refuseCreatingIn(const QString &folder, int error);

/// Creating a file in `folder` or below by its absolute path (open, openat with O_CREAT) and
/// writing to a file there (write, pwrite) fail with `error`, on every thread: a full (ENOSPC)
/// or read-only (EROFS) disk under a folder that only the code under test uses.
void refuseWritingIn(const QString &folder, int error);

/// Disarms everything.
void reset();

/// Disarms everything when it goes out of scope.
class Guard
{
public:
    Guard() = default;
    ~Guard() { reset(); }
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;
};

} // namespace SystemCallFaults
