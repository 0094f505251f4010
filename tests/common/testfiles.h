#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

/// Files for tests to start from and to read back.
namespace TestFiles {

/// Writes `bytes` to `path` (folders created), dated `modified` when that is valid. False
/// unless the file holds the bytes and, when a date is given, carries exactly that date.
inline bool write(const QString &path, const QByteArray &bytes, const QDateTime &modified = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    // Buffered bytes written out later would stamp the file with the time of that write.
    file.close();
    if (file.error() != QFileDevice::NoError)
        return false;
    if (!modified.isValid())
        return true;
    if (!file.open(QIODevice::ReadOnly) ||
        !file.setFileTime(modified, QFileDevice::FileModificationTime))
        return false;
    file.close();
    return QFileInfo(path).lastModified() == modified;
}

/// As above, dated `seconds` after the epoch.
inline bool write(const QString &path, const QByteArray &bytes, qint64 seconds)
{
    return write(path, bytes, QDateTime::fromSecsSinceEpoch(seconds));
}

/// The file's bytes; empty when it cannot be read.
inline QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace TestFiles
