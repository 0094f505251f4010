#include "storage/textfile.h"

#include "platform/atomicfile.h"
#include "platform/filenames.h"
#include "platform/regularfile.h"

#include <QByteArray>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>

namespace TextFile {
namespace {

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
    RegularFileRead file = RegularFile::read(path);
    TextFileRead result;
    if (file.hasInfo)
        result.stamp = stampFrom(file.info);
    switch (file.status) {
    case RegularFileRead::Status::Missing:
        return result;
    case RegularFileRead::Status::NotRegular:
    case RegularFileRead::Status::Failed:
        result.status = TextFileRead::Status::Unreadable;
        result.error = file.error;
        return result;
    case RegularFileRead::Status::Ok:
        break;
    }
    result.writable =
        RegularFile::mayWrite(AT_FDCWD, FileNames::encode(path).constData(), file.info);
    std::optional<QString> text = decodeStrictly(file.bytes);
    if (!text) {
        result.status = TextFileRead::Status::NotUtf8;
        result.error = QStringLiteral("UTF-8 ではありません");
        return result;
    }
    result.status = TextFileRead::Status::Ok;
    result.text = std::move(*text);
    result.byteOrderMark = file.bytes.startsWith("\xEF\xBB\xBF");
    return result;
}

FileStamp stampOf(const QString &path)
{
    struct stat info;
    if (::stat(FileNames::encode(path).constData(), &info) != 0)
        return {};
    return stampFrom(info);
}

bool writeUtf8(const QString &path, const QString &text, AtomicFile::Error *error)
{
    return AtomicFile::write(path, text.toUtf8(), error);
}

} // namespace TextFile
