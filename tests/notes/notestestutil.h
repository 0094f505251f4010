#pragma once

#include "common/testfiles.h"

#include <QDateTime>
#include <QString>

/// Small file helpers shared by the notes tests.
namespace NotesTestUtil {

inline bool writeNote(const QString &path, const QByteArray &text = "body\n",
                      const QDateTime &modified = {})
{
    return TestFiles::write(path, text, modified);
}

inline QByteArray readBytes(const QString &path)
{
    return TestFiles::read(path);
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
