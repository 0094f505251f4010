#include "platform/atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace AtomicFile {

bool write(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool writeNew(const QString &path, const QByteArray &bytes, QString *error, bool *exists)
{
    if (exists)
        *exists = false;
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    QTemporaryFile temporary(QFileInfo(path).absolutePath() + QStringLiteral("/.quillmere-XXXXXX"));
    temporary.setAutoRemove(true);
    if (!temporary.open())
        return fail(temporary.errorString());
    if (temporary.write(bytes) != bytes.size() || !temporary.flush() ||
        ::fsync(temporary.handle()) != 0)
        return fail(temporary.errorString());
    const QByteArray source = QFile::encodeName(temporary.fileName());
    const QByteArray target = QFile::encodeName(path);
    int result =
        ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // No renameat2 on this file system: a hard link also refuses an existing name.
        result = ::link(source.constData(), target.constData());
    }
    if (result != 0) {
        if (errno == EEXIST && exists)
            *exists = true;
        return fail(qt_error_string(errno));
    }
    // After a rename the temporary name is gone and removing it does nothing; after a link it
    // drops the second name.
    return true;
}

} // namespace AtomicFile
