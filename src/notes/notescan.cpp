#include "notes/notescan.h"

#include "platform/naturalorder.h"
#include "platform/workqueue.h"
#include "storage/noterule.h"

#include <QByteArray>
#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
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

/// The notes directly inside one folder.
void collectNotes(const QByteArray &name, const QString &folder, QList<NoteFileItem> &items)
{
    Directory dir(AT_FDCWD, name);
    if (!dir.isOpen())
        return;
    while (const dirent *entry = dir.next()) {
        const char *entryName = entry->d_name;
        if (isHidden(entryName))
            continue;
        const size_t length = ::strlen(entryName);
        if (entry->d_type == DT_REG || entry->d_type == DT_LNK) {
            if (NoteRule::hasNoteExtension(std::string_view(entryName, length)))
                appendNoteIfFile(dir.fd(), folder, entry, items);
            continue;
        }
        if (isFolderEntry(dir.fd(), entry))
            continue;
        if (entry->d_type == DT_UNKNOWN &&
            NoteRule::hasNoteExtension(std::string_view(entryName, length)))
            appendNoteIfFile(dir.fd(), folder, entry, items);
    }
}

/// The name of a note file without its extension; empty for anything else.
QByteArray noteStem(const char *name)
{
    const std::string_view view(name);
    if (!NoteRule::hasNoteExtension(view))
        return {};
    return QByteArray(name, qsizetype(view.rfind('.')));
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
    QSet<QByteArray> noteStems;
    while (const dirent *entry = dir.next()) {
        if (isHidden(entry->d_name) || NoteRule::isTrashFolderName(entry->d_name))
            continue;
        if (!isFolderEntry(dir.fd(), entry)) {
            if (const QByteArray stem = noteStem(entry->d_name); !stem.isEmpty())
                noteStems.insert(stem);
            continue;
        }
        const QByteArray childName(entry->d_name);
        const QString displayName = QString::fromUtf8(childName);
        children.push_back({childName, displayName, NaturalOrder::sortKey(displayName)});
    }
    // A note's pictures folder belongs to the note beside it, not to the folder tree.
    std::erase_if(children, [&noteStems](const Child &child) {
        return child.name.endsWith(".assets") &&
               noteStems.contains(child.name.chopped(qsizetype(sizeof(".assets") - 1)));
    });
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

// ---- "すべて": every folder below the Notes folder, read by several threads at once. One stat
// call per note is most of a listing's time, and the folders are independent of each other.

/// An open folder, kept open while tasks still need it: its notes' stat calls and its
/// subfolders' opening are relative to it.
class OpenFolder
{
public:
    OpenFolder(DIR *dir, QString path) : m_dir(dir), m_path(std::move(path)) {}
    ~OpenFolder() { ::closedir(m_dir); }
    OpenFolder(const OpenFolder &) = delete;
    OpenFolder &operator=(const OpenFolder &) = delete;

    int fd() const { return ::dirfd(m_dir); }
    DIR *dir() const { return m_dir; }
    const QString &path() const { return m_path; }

private:
    DIR *m_dir;
    QString m_path;
};

using Folder = std::shared_ptr<const OpenFolder>;

/// A folder to read (`notes` empty), or some of a folder's notes to date.
struct ScanTask
{
    /// For a folder to read: the folder it is in (null for the Notes folder itself); for notes:
    /// their folder.
    Folder folder;
    QByteArray name;
    QString path;
    std::shared_ptr<const std::vector<QByteArray>> notes;
    qsizetype begin = 0;
    qsizetype end = 0;
};

class ParallelScan
{
public:
    explicit ParallelScan(const QString &root)
    {
        std::vector<ScanTask> first;
        first.push_back({nullptr, QFile::encodeName(root), root, nullptr, 0, 0});
        m_queue.add(std::move(first));
    }

    QList<NoteFileItem> run(int threads)
    {
        std::vector<QList<NoteFileItem>> found(size_t(std::max(threads, 1)));
        {
            std::vector<std::jthread> helpers;
            for (int i = 1; i < threads; ++i)
                helpers.emplace_back([this, &found, i] { work(found[size_t(i)]); });
            work(found[0]);
        }
        QList<NoteFileItem> items = std::move(found[0]);
        for (size_t i = 1; i < found.size(); ++i)
            items.append(std::move(found[i]));
        return items;
    }

private:
    /// Notes dated per task: enough to make a task worth its locking.
    static constexpr qsizetype batch = 64;

    void work(QList<NoteFileItem> &items)
    {
        while (std::optional<ScanTask> task = m_queue.take()) {
            if (task->notes)
                dateNotes(*task, items);
            else
                readFolder(*task, items);
            m_queue.finish();
        }
    }

    void readFolder(const ScanTask &task, QList<NoteFileItem> &items)
    {
        // Only the Notes folder itself may be reached through a symbolic link.
        const int parentFd = task.folder ? task.folder->fd() : AT_FDCWD;
        const int follow = task.folder ? O_NOFOLLOW : 0;
        const int fd =
            ::openat(parentFd, task.name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | follow);
        DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
        if (!dir) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        const Folder folder = std::make_shared<const OpenFolder>(dir, task.path);
        // The first notes are dated right away, as they are read; only those of a large folder
        // beyond them are kept, to be dated by several threads.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        qsizetype datedHere = 0;
        std::shared_ptr<std::vector<QByteArray>> later;
        const auto note = [&](const char *name, size_t length) {
            if (datedHere++ < batch) {
                dateNote(*folder, QByteArrayView(name, qsizetype(length)), decoder, items);
                return;
            }
            if (!later)
                later = std::make_shared<std::vector<QByteArray>>();
            later->emplace_back(name, qsizetype(length));
        };
        while (const dirent *entry = ::readdir(dir)) {
            const char *name = entry->d_name;
            if (isHidden(name))
                continue;
            const size_t length = ::strlen(name);
            const bool isNote = NoteRule::hasNoteExtension(std::string_view(name, length));
            if (entry->d_type == DT_REG || entry->d_type == DT_LNK) {
                if (isNote)
                    note(name, length);
                continue;
            }
            if (isFolderEntry(folder->fd(), entry)) {
                // Handed out at once, so that other threads have folders to read meanwhile.
                if (!NoteRule::isTrashFolderName(std::string_view(name, length))) {
                    const QByteArray childName(name, qsizetype(length));
                    std::vector<ScanTask> child{
                        {folder, childName, folder->path() + u'/' + QString::fromUtf8(childName),
                         nullptr, 0, 0}};
                    m_queue.add(std::move(child));
                }
                continue;
            }
            if (entry->d_type == DT_UNKNOWN && isNote)
                note(name, length);
        }
        if (!later)
            return;
        std::vector<ScanTask> tasks;
        const qsizetype count = qsizetype(later->size());
        for (qsizetype begin = 0; begin < count; begin += batch)
            tasks.push_back({folder, {}, {}, later, begin, std::min(begin + batch, count)});
        m_queue.add(std::move(tasks));
    }

    /// Appends the note `name` (followed by a NUL byte) of `folder` when it is a regular file,
    /// also through a link: a linked note is still a note, dated by its target. The name is
    /// decoded straight into the path, as QString::fromUtf8 decodes it: one allocation per note.
    static void dateNote(const OpenFolder &folder, QByteArrayView name, QStringDecoder &decoder,
                         QList<NoteFileItem> &items)
    {
        struct stat info;
        if (::fstatat(folder.fd(), name.data(), &info, 0) != 0 || !S_ISREG(info.st_mode))
            return;
        const qint64 modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        const QString &prefix = folder.path();
        QString path(prefix.size() + 1 + name.size(), Qt::Uninitialized);
        std::copy(prefix.cbegin(), prefix.cend(), path.data());
        path[prefix.size()] = u'/';
        const QChar *end = decoder.appendToBuffer(path.data() + prefix.size() + 1, name);
        path.truncate(end - path.constData());
        items.append({std::move(path), modified});
    }

    static void dateNotes(const ScanTask &task, QList<NoteFileItem> &items)
    {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        for (qsizetype i = task.begin; i < task.end; ++i)
            dateNote(*task.folder, (*task.notes)[size_t(i)], decoder, items);
    }

    WorkQueue<ScanTask> m_queue;
};

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
    return !name.startsWith(u'.') && NoteRule::hasNoteExtension(name);
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
    return ParallelScan(withoutTrailingSlash(root)).run(std::max(QThread::idealThreadCount(), 1));
}

QList<NoteFileItem> noteItemsInFolder(const QString &folder)
{
    const QString start = withoutTrailingSlash(folder);
    QList<NoteFileItem> items;
    collectNotes(QFile::encodeName(start), start, items);
    return items;
}

} // namespace NoteScan
