#include "storage/textfile.h"

#include "platform/atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace TextFile {

TextFileRead readUtf8(const QString &path)
{
    TextFileRead result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.status = TextFileRead::Status::Missing;
        return result;
    }
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        result.status = TextFileRead::Status::Unreadable;
        result.error = info.isDir() ? QStringLiteral("フォルダです") : file.errorString();
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.status = TextFileRead::Status::Unreadable;
        result.error = file.errorString();
        return result;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        result.status = TextFileRead::Status::NotUtf8;
        result.error = QStringLiteral("UTF-8 ではありません");
        return result;
    }
    result.status = TextFileRead::Status::Ok;
    result.text = std::move(text);
    return result;
}

bool writeUtf8(const QString &path, const QString &text, QString *error)
{
    return AtomicFile::write(path, text.toUtf8(), error);
}

} // namespace TextFile
