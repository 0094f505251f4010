#include "pictures/pictureassets.h"

#include "pictures/picturepath.h"
#include "pictures/picturereference.h"
#include "platform/atomicfile.h"
#include "platform/filenames.h"
#include "platform/regularfile.h"
#include "storage/noteassets.h"
#include "storage/notestore.h"
#include "storage/textfile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace PictureAssets {
namespace {

Stored failed(const QString &reason)
{
    return {{}, {}, reason.isEmpty() ? saveFailedMessage : saveFailedMessage + u": " + reason};
}

/// Makes the assets folder (and, for a memo whose day folder does not exist yet, its parent).
bool ensureFolder(const QString &folder, bool *created, AtomicFile::Error *error)
{
    *created = false;
    const QFileInfo info(folder);
    if (info.isDir())
        return true;
    const QString parent = info.absolutePath();
    if (!QFileInfo(parent).isDir() && !QDir().mkpath(parent)) {
        *error = {ENOENT, qt_error_string(ENOENT)};
        return false;
    }
    if (NoteStore::instance().createFolder(folder, error)) {
        *created = true;
        return true;
    }
    return error->code == EEXIST && QFileInfo(folder).isDir();
}

void removeWritten(const QStringList &paths, const QString &folder, bool folderCreated)
{
    for (const QString &path : paths)
        ::unlink(FileNames::encode(path).constData());
    if (folderCreated)
        ::rmdir(FileNames::encode(folder).constData());
}

} // namespace

QString pastedName(const QDateTime &now)
{
    return now.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".png");
}

QString numberedName(const QString &name, int n)
{
    if (n <= 1)
        return name;
    const QFileInfo info(name);
    const QString suffix = info.suffix();
    const QString stem = suffix.isEmpty() ? name : name.chopped(suffix.size() + 1);
    return stem + u'-' + QString::number(n) + (suffix.isEmpty() ? QString() : u'.' + suffix);
}

bool isPictureFileName(const QString &fileName)
{
    static const QStringList suffixes = {QStringLiteral("png"),  QStringLiteral("jpg"),
                                         QStringLiteral("jpeg"), QStringLiteral("gif"),
                                         QStringLiteral("webp"), QStringLiteral("bmp"),
                                         QStringLiteral("svg")};
    return suffixes.contains(QFileInfo(fileName).suffix().toLower());
}

QByteArray readPictureFile(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (info.isFile() && info.size() > PictureLimits::maxFileBytes) {
        *error = PictureProblems::text(PictureProblem::tooLarge);
        return {};
    }
    RegularFileRead read = RegularFile::read(path);
    if (!read.ok()) {
        *error = read.status == RegularFileRead::Status::Missing
                     ? PictureProblems::text(PictureProblem::missing)
                     : read.error;
        return {};
    }
    if (read.bytes.size() > PictureLimits::maxFileBytes) {
        *error = PictureProblems::text(PictureProblem::tooLarge);
        return {};
    }
    return std::move(read.bytes);
}

Stored store(const QString &notePath, const QList<NewPicture> &pictures)
{
    if (notePath.isEmpty() || pictures.isEmpty())
        return failed({});
    const QString folder = NoteAssets::folderOf(notePath);
    bool folderCreated = false;
    AtomicFile::Error error;
    if (!ensureFolder(folder, &folderCreated, &error))
        return failed(error.reason());
    Stored stored;
    QStringList lines;
    for (const NewPicture &picture : pictures) {
        const QString name = QFileInfo(picture.name).fileName();
        bool written = false;
        for (int n = 1; n < 10000 && !written; ++n) {
            const QString candidate = numberedName(name, n);
            if (NoteStore::isNameTooLong(candidate)) {
                removeWritten(stored.paths, folder, folderCreated);
                return failed(NoteStore::nameTooLongMessage());
            }
            const QString path = folder + u'/' + candidate;
            bool exists = false;
            if (AtomicFile::writeNew(path, picture.bytes, &error, &exists)) {
                stored.paths.append(path);
                lines.append(markdownFor(notePath, path));
                written = true;
            } else if (!exists) {
                // Only a flush of the folder failing leaves the file in place: ours, by its bytes.
                if (TextFile::stampOf(path).exists &&
                    RegularFile::read(path).bytes == picture.bytes)
                    stored.paths.append(path);
                removeWritten(stored.paths, folder, folderCreated);
                return failed(error.reason());
            }
        }
        if (!written) {
            removeWritten(stored.paths, folder, folderCreated);
            return failed({});
        }
    }
    stored.markdown = lines.join(u'\n');
    return stored;
}

QString markdownFor(const QString &notePath, const QString &picturePath)
{
    const QString relative =
        PicturePath::relativePath(QFileInfo(notePath).absolutePath(), picturePath);
    return QStringLiteral("![](") + PictureReferences::destinationText(relative) + u')';
}

} // namespace PictureAssets
