#include "history/historyrestore.h"

#include "notes/notenaming.h"
#include "platform/clock.h"
#include "storage/notestore.h"

#include <QDir>
#include <QFileInfo>

namespace HistoryRestore {

QString writeNew(const QString &path, const QByteArray &bytes, QString *error)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("フォルダを作れません: ") + folder;
        return {};
    }
    AtomicFile::Error failure;
    for (int n = 0; n < 1000; ++n) {
        const QString name = NoteNaming::numberedFileName(info.fileName(), n == 0 ? 0 : n + 1);
        if (NoteNaming::isTooLong(name))
            break;
        const QString target = folder + u'/' + name;
        bool taken = false;
        if (NoteStore::instance().createNote(target, bytes, &failure, &taken))
            return target;
        if (!taken)
            break;
    }
    if (error)
        *error = failure.reason().isEmpty() ? QStringLiteral("空いている名前がありません")
                                            : failure.reason();
    return {};
}

QString copyPath(const QString &path, const QDateTime &when)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString stamp =
        when.toTimeZone(Clock::current().timeZone()).toString(QStringLiteral("yyyy-MM-dd HHmm"));
    return info.absolutePath() + u'/' + info.completeBaseName() + QStringLiteral(" (復元 ") +
           stamp + u')' + (suffix.isEmpty() ? QString() : u'.' + suffix);
}

} // namespace HistoryRestore
