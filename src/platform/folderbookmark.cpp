#include "platform/folderbookmark.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

namespace FolderBookmark {
namespace {

const QString kindValue = QStringLiteral("quillmere-folder-bookmark");

struct Identity
{
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const Identity &) const = default;
};

std::optional<Identity> folderIdentity(const QString &path)
{
    struct stat info{};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::nullopt;
    return Identity{quint64(info.st_dev), quint64(info.st_ino)};
}

// A folder renamed inside its parent keeps its inode: look for it among its former siblings.
std::optional<QString> findRenamedSibling(const QString &path, const Identity &identity)
{
    const QString parent = QFileInfo(path).absolutePath();
    QDirIterator it(parent, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    while (it.hasNext()) {
        const QString candidate = it.next();
        if (folderIdentity(candidate) == identity)
            return candidate;
    }
    return std::nullopt;
}

} // namespace

std::optional<QByteArray> create(const QString &folderPath, QString *error)
{
    const QString path = QFileInfo(folderPath).absoluteFilePath();
    const auto identity = folderIdentity(path);
    if (!identity) {
        if (error)
            *error = QStringLiteral("フォルダが見つかりません: ") + folderPath;
        return std::nullopt;
    }
    QJsonObject object{{QStringLiteral("kind"), kindValue},
                       {QStringLiteral("path"), path},
                       {QStringLiteral("device"), QString::number(identity->device)},
                       {QStringLiteral("inode"), QString::number(identity->inode)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Resolution> resolve(const QByteArray &data)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    if (object.value(QStringLiteral("kind")).toString() != kindValue)
        return std::nullopt;
    const QString path = object.value(QStringLiteral("path")).toString();
    if (path.isEmpty())
        return std::nullopt;
    bool deviceOk = false;
    bool inodeOk = false;
    const Identity recorded{object.value(QStringLiteral("device")).toString().toULongLong(&deviceOk),
                            object.value(QStringLiteral("inode")).toString().toULongLong(&inodeOk)};
    const auto current = folderIdentity(path);
    if (current)
        return Resolution{path, !(deviceOk && inodeOk && *current == recorded)};
    if (!deviceOk || !inodeOk)
        return std::nullopt;
    if (const auto renamed = findRenamedSibling(path, recorded))
        return Resolution{*renamed, true};
    return std::nullopt;
}

bool startAccess(const QString &folderPath)
{
    const QFileInfo info(folderPath);
    return info.isDir() && info.isReadable();
}

void stopAccess(const QString &folderPath)
{
    Q_UNUSED(folderPath);
}

} // namespace FolderBookmark
