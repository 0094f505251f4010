#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

/// Small file helpers shared by the notes tests.
namespace NotesTestUtil {

/// Writes `text` to `path` (folders created), dated `modified` when that is valid.
inline bool writeNote(const QString &path, const QByteArray &text = "body\n",
                      const QDateTime &modified = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return false;
    if (modified.isValid() && !file.setFileTime(modified, QFileDevice::FileModificationTime))
        return false;
    return true;
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
