#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

/// Small file helpers shared by the notes tests.
namespace NotesTestUtil {

/// Writes `text` to `path` (folders created), dated `modified` when that is valid. False
/// unless the file holds the text and, when a date is given, carries exactly that date.
inline bool writeNote(const QString &path, const QByteArray &text = "body\n",
                      const QDateTime &modified = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return false;
    // Buffered text written out later would stamp the file with the time of that write.
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

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// A fixed date `minutes` after a common origin, for ordering notes by date.
inline QDateTime minute(int minutes)
{
    return QDateTime(QDate(2025, 3, 1), QTime(9, 0), QTimeZone::utc()).addSecs(minutes * 60);
}

/// The paths below `root`, relative to it, in their given order.
inline QStringList relativeTo(const QString &root, const QStringList &paths)
{
    QStringList relative;
    for (const QString &path : paths)
        relative.append(path == root ? QStringLiteral(".") : path.mid(root.size() + 1));
    return relative;
}

} // namespace NotesTestUtil
