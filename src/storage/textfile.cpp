#include "storage/textfile.h"

#include "platform/atomicfile.h"

#include <QByteArray>
#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TextFile {
namespace {

const QString notRegularMessage = QStringLiteral("通常のファイルではありません");

FileStamp stampFrom(const struct stat &info)
{
    FileStamp stamp;
    stamp.exists = true;
    stamp.size = qint64(info.st_size);
    stamp.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.device = quint64(info.st_dev);
    stamp.inode = quint64(info.st_ino);
    return stamp;
}

TextFileRead unreadable(const QString &error, const FileStamp &stamp = {})
{
    TextFileRead result;
    result.status = TextFileRead::Status::Unreadable;
    result.error = error;
    result.stamp = stamp;
    return result;
}

/// Reads to the end of the file (which may have grown since it was stamped).
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

/// Strict UTF-8 to text, without a leading byte-order mark. Stateless: in Qt 6.4 a decoder
/// with state keeps an unfinished last character back for a next call that never comes and
/// reports nothing, while a stateless one reports it as an error, as it does overlong forms,
/// surrogates and code points above U+10FFFF.
std::optional<QString> decodeStrictly(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

TextFileRead readUtf8(const QString &path)
{
    const QByteArray nativePath = QFile::encodeName(path);
    // Looked at before opening: opening a device can have effects of its own.
    struct stat info;
    if (::stat(nativePath.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {};
        return unreadable(qt_error_string(errno));
    }
    if (S_ISDIR(info.st_mode))
        return unreadable(QStringLiteral("フォルダです"), stampFrom(info));
    if (!S_ISREG(info.st_mode))
        return unreadable(notRegularMessage, stampFrom(info));

    // O_NONBLOCK: should a pipe have taken the file's place meanwhile, opening it cannot wait
    // for a writer; it is then turned away below like any other file that is not regular.
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        return unreadable(qt_error_string(errno));
    }
    QByteArray bytes;
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const bool read = regular && readAll(fd, qint64(info.st_size), bytes);
    const int readError = errno;
    ::close(fd);
    if (!regular)
        return unreadable(notRegularMessage);
    const FileStamp stamp = stampFrom(info);
    if (!read)
        return unreadable(qt_error_string(readError), stamp);

    TextFileRead result;
    result.stamp = stamp;
    std::optional<QString> text = decodeStrictly(bytes);
    if (!text) {
        result.status = TextFileRead::Status::NotUtf8;
        result.error = QStringLiteral("UTF-8 ではありません");
        return result;
    }
    result.status = TextFileRead::Status::Ok;
    result.text = std::move(*text);
    result.byteOrderMark = bytes.startsWith("\xEF\xBB\xBF");
    return result;
}

FileStamp stampOf(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return stampFrom(info);
}

bool writeUtf8(const QString &path, const QString &text, AtomicFile::Error *error)
{
    return AtomicFile::write(path, text.toUtf8(), error);
}

} // namespace TextFile
