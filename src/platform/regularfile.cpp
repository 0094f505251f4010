#include "platform/regularfile.h"

#include "platform/clock.h"
#include "platform/filenames.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace RegularFile {
namespace {

const QString notRegularMessage = QStringLiteral("通常のファイルではありません");

RegularFileRead failed(RegularFileRead::Status status, const QString &error)
{
    RegularFileRead result;
    result.status = status;
    result.error = error;
    return result;
}

/// Reads to the end of the file (which may have grown since it was looked at).
bool readAll(int fd, qint64 sizeHint, QByteArray &bytes)
{
    bytes.reserve(qsizetype(sizeHint) + 1);
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        bytes.append(buffer, qsizetype(got));
    }
}

} // namespace

RegularFileRead read(const QString &path)
{
    const QByteArray nativePath = FileNames::encode(path);
    // Looked at before opening: opening a device can have effects of its own.
    struct stat info;
    if (::stat(nativePath.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {};
        return failed(RegularFileRead::Status::Failed, qt_error_string(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        RegularFileRead result =
            failed(RegularFileRead::Status::NotRegular,
                   S_ISDIR(info.st_mode) ? QStringLiteral("フォルダです") : notRegularMessage);
        result.hasInfo = true;
        result.info = info;
        return result;
    }
    // O_NONBLOCK: should a pipe have taken the file's place meanwhile, opening it cannot wait
    // for a writer; it is then turned away below like any other file that is not regular.
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        RegularFileRead result = failed(RegularFileRead::Status::Failed, qt_error_string(errno));
        result.hasInfo = true;
        result.info = info;
        return result;
    }
    RegularFileRead result;
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const bool read = regular && readAll(fd, qint64(info.st_size), result.bytes);
    const int readError = errno;
    ::close(fd);
    if (!regular)
        return failed(RegularFileRead::Status::NotRegular, notRegularMessage);
    result.hasInfo = true;
    result.info = info;
    if (!read) {
        result.bytes.clear();
        result.status = RegularFileRead::Status::Failed;
        result.error = qt_error_string(readError);
        return result;
    }
    result.status = RegularFileRead::Status::Ok;
    return result;
}

bool mayWrite(int dirFd, const char *name, const struct stat &info)
{
    if (::geteuid() == 0)
        return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    return ::faccessat(dirFd, name, W_OK, AT_EACCESS) == 0;
}

QString setAside(const QString &path)
{
    const QString stem = path + QStringLiteral(".damaged-") +
                         Clock::current()
                             .now()
                             .toTimeZone(Clock::current().timeZone())
                             .toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QByteArray from = FileNames::encode(path);
    for (int attempt = 1; attempt < 100; ++attempt) {
        const QString kept = attempt == 1 ? stem : stem + u'-' + QString::number(attempt);
        const QByteArray to = FileNames::encode(kept);
        // Never over an earlier damaged copy: it holds what an older file held.
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) ==
            0)
            return kept;
        if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
            // No renameat2 on this file system: a hard link also refuses an existing name.
            if (::link(from.constData(), to.constData()) == 0) {
                ::unlink(from.constData());
                return kept;
            }
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

} // namespace RegularFile
