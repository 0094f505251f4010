#include "notes/notescan.h"

#include "platform/naturalorder.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>

#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

// The listing works on the POSIX directory calls rather than QDir: "すべて" reads every note
// below the Notes folder on each refresh, and QDirIterator's per-entry QFileInfo costs about
// three times as much as readdir with one fstatat per candidate note.

namespace NoteScan {
namespace {

class Directory
{
public:
    /// Opens `name` relative to `parentFd` (or an absolute path with AT_FDCWD). Only the
    /// starting folder may be reached through a symbolic link.
    Directory(int parentFd, const QByteArray &name)
    {
        const int follow = parentFd == AT_FDCWD ? 0 : O_NOFOLLOW;
        const int fd =
            ::openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | follow);
        if (fd < 0)
            return;
        m_dir = ::fdopendir(fd);
        if (!m_dir)
            ::close(fd);
    }
    ~Directory()
    {
        if (m_dir)
            ::closedir(m_dir);
    }
    Directory(const Directory &) = delete;
    Directory &operator=(const Directory &) = delete;

    bool isOpen() const { return m_dir != nullptr; }
    int fd() const { return ::dirfd(m_dir); }
    dirent *next() { return ::readdir(m_dir); }

private:
    DIR *m_dir = nullptr;
};

bool isHidden(const char *name)
{
    return name[0] == '.';
}

bool isTrash(const char *name)
{
    return ::strcasecmp(name, "trash") == 0;
}

bool hasNoteExtension(const char *name, size_t length)
{
    const char *dot = static_cast<const char *>(::memrchr(name, '.', length));
    if (!dot)
        return false;
    const char *extension = dot + 1;
    return ::strcasecmp(extension, "md") == 0 || ::strcasecmp(extension, "txt") == 0;
}

/// Whether the entry is a folder itself (not a link to one).
bool isFolderEntry(int dirFd, const dirent *entry)
{
    if (entry->d_type == DT_DIR)
        return true;
    if (entry->d_type != DT_UNKNOWN)
        return false;
    struct stat info;
    return ::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(info.st_mode);
}

void appendNoteIfFile(int dirFd, const QString &folder, const dirent *entry,
                      QList<NoteFileItem> &items)
{
    // Links are followed here: a linked note is still a note, dated by its target.
    struct stat info;
    if (::fstatat(dirFd, entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode))
        return;
    const qint64 modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    items.append({folder + u'/' + QString::fromUtf8(entry->d_name), modified});
}

void collectNotes(int parentFd, const QByteArray &name, const QString &folder, bool recursive,
                  QList<NoteFileItem> &items)
{
    Directory dir(parentFd, name);
    if (!dir.isOpen())
        return;
    while (const dirent *entry = dir.next()) {
        const char *entryName = entry->d_name;
        if (isHidden(entryName))
            continue;
        const size_t length = ::strlen(entryName);
        if (entry->d_type == DT_REG || entry->d_type == DT_LNK) {
            if (hasNoteExtension(entryName, length))
                appendNoteIfFile(dir.fd(), folder, entry, items);
            continue;
        }
        if (isFolderEntry(dir.fd(), entry)) {
            if (recursive && !isTrash(entryName)) {
                const QByteArray childName(entryName, qsizetype(length));
                collectNotes(dir.fd(), childName, folder + u'/' + QString::fromUtf8(childName),
                             true, items);
            }
            continue;
        }
        if (entry->d_type == DT_UNKNOWN && hasNoteExtension(entryName, length))
            appendNoteIfFile(dir.fd(), folder, entry, items);
    }
}

void collectFoldersBelow(int parentFd, const QByteArray &name, const QString &folder,
                         QStringList &result)
{
    Directory dir(parentFd, name);
    if (!dir.isOpen())
        return;
    struct Child
    {
        QByteArray name;
        QString displayName;
        QCollatorSortKey key;
    };
    std::vector<Child> children;
    while (const dirent *entry = dir.next()) {
        if (isHidden(entry->d_name) || isTrash(entry->d_name) || !isFolderEntry(dir.fd(), entry))
            continue;
        const QByteArray childName(entry->d_name);
        const QString displayName = QString::fromUtf8(childName);
        children.push_back({childName, displayName, NaturalOrder::sortKey(displayName)});
    }
    // Names equal but for letter case still get one fixed order.
    std::sort(children.begin(), children.end(), [](const Child &a, const Child &b) {
        const int order = a.key.compare(b.key);
        return order != 0 ? order < 0 : a.displayName < b.displayName;
    });
    for (const Child &child : children) {
        const QString path = folder + u'/' + child.displayName;
        result.append(path);
        collectFoldersBelow(dir.fd(), child.name, path, result);
    }
}

QString withoutTrailingSlash(const QString &path)
{
    QString cleaned = path;
    while (cleaned.size() > 1 && cleaned.endsWith(u'/'))
        cleaned.chop(1);
    return cleaned;
}

} // namespace

bool isNoteFileName(QStringView name)
{
    if (name.startsWith(u'.'))
        return false;
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return false;
    const QStringView extension = name.mid(dot + 1);
    return extension.compare(u"md", Qt::CaseInsensitive) == 0 ||
           extension.compare(u"txt", Qt::CaseInsensitive) == 0;
}

bool isTrashFolderName(QStringView name)
{
    return name.compare(u"trash", Qt::CaseInsensitive) == 0;
}

QStringList collectFolders(const QString &root)
{
    const QString start = withoutTrailingSlash(root);
    QStringList result{start};
    collectFoldersBelow(AT_FDCWD, QFile::encodeName(start), start, result);
    return result;
}

QList<NoteFileItem> collectAllNoteItems(const QString &root)
{
    const QString start = withoutTrailingSlash(root);
    QList<NoteFileItem> items;
    collectNotes(AT_FDCWD, QFile::encodeName(start), start, true, items);
    return items;
}

QList<NoteFileItem> noteItemsInFolder(const QString &folder)
{
    const QString start = withoutTrailingSlash(folder);
    QList<NoteFileItem> items;
    collectNotes(AT_FDCWD, QFile::encodeName(start), start, false, items);
    return items;
}

} // namespace NoteScan
