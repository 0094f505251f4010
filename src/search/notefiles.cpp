#include "search/notefiles.h"

#include "platform/filenames.h"
#include "platform/naturalorder.h"
#include "storage/noterule.h"
#include "storage/pathmanager.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace NoteFiles {
namespace {

struct Entry
{
    std::string name;
    unsigned char type;
    bool isNote = false;
    /// Filled for notes when asked for, and for links and entries of unknown type.
    bool haveInfo = false;
    struct stat info = {};
};

// Byte order costs next to nothing; the natural order costs a collation key per name, paid
// only by the lists that show the walk's order.
void sortEntries(std::vector<Entry> &entries, NameOrder order)
{
    if (order == NameOrder::bytes) {
        std::sort(entries.begin(), entries.end(),
                  [](const Entry &a, const Entry &b) { return a.name < b.name; });
        return;
    }
    struct Keyed
    {
        QCollatorSortKey key;
        Entry entry;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(entries.size());
    for (Entry &entry : entries) {
        const QString name = QFile::decodeName(QByteArray::fromStdString(entry.name));
        keyed.push_back({NaturalOrder::sortKey(name), std::move(entry)});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        const int order = a.key.compare(b.key);
        return order != 0 ? order < 0 : a.entry.name < b.entry.name;
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        entries[i] = std::move(keyed[i].entry);
}

// The folder's entries in name order, with what the walk needs to know about each. Files are
// examined relative to the open folder, which spares the kernel resolving the whole path for
// every one of them.
std::vector<Entry> readEntries(const QByteArray &folder, const ListOptions &options)
{
    std::vector<Entry> entries;
    DIR *dir = opendir(folder.constData());
    if (!dir)
        return entries;
    const int fd = dirfd(dir);
    while (const dirent *found = readdir(dir)) {
        const char *name = found->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (name[0] == '.' && options.hidden == HiddenItems::Skip)
            continue;
        Entry entry{name, found->d_type};
        entry.isNote = NoteRule::hasNoteExtension(entry.name);
        if (entry.type == DT_UNKNOWN) {
            if (fstatat(fd, name, &entry.info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            entry.type = S_ISDIR(entry.info.st_mode)   ? DT_DIR
                         : S_ISLNK(entry.info.st_mode) ? DT_LNK
                         : S_ISREG(entry.info.st_mode) ? DT_REG
                                                       : DT_FIFO;
            entry.haveInfo = S_ISREG(entry.info.st_mode);
        }
        if (entry.type == DT_DIR && NoteRule::isTrashFolderName(entry.name))
            continue;
        if (entry.type != DT_DIR &&
            !(entry.isNote && (entry.type == DT_REG || entry.type == DT_LNK)))
            continue;
        // A link counts when it leads to a regular file; pipes and devices never do, so reading
        // a note can never block.
        if (entry.type == DT_LNK) {
            if (fstatat(fd, name, &entry.info, 0) != 0 || !S_ISREG(entry.info.st_mode))
                continue;
            entry.haveInfo = true;
        }
        entries.push_back(std::move(entry));
    }
    closedir(dir);
    sortEntries(entries, options.order);
    return entries;
}

class Walker
{
public:
    Walker(const ListOptions &options, NoteFileList &list) : m_options(options), m_list(list) {}

    void walk(const QByteArray &nativePath, const QString &path, const QString &relativePath)
    {
        const qsizetype folderIndex = m_list.folders.size();
        m_list.folders.append({path, relativePath, nativePath});
        for (FolderEntry &entry : readFolder(nativePath, m_options)) {
            if (entry.isFolder) {
                // The base folder's Data holds the application's own files, not notes.
                if (relativePath.isEmpty() && entry.name == PathManager::dataFolderName)
                    continue;
                const QString childRelative =
                    relativePath.isEmpty() ? entry.name : QString(relativePath + u'/' + entry.name);
                walk(nativePath + '/' + entry.nativeName, path + u'/' + entry.name, childRelative);
                continue;
            }
            m_list.files.append({folderIndex, std::move(entry.name), std::move(entry.nativeName),
                                 entry.modifiedMSecs});
        }
    }

private:
    const ListOptions &m_options;
    NoteFileList &m_list;
};

// One stat call per file is most of a listing's time; two threads halve it. Each keeps the
// folder of its files open and asks relative to it.
void readModificationTimes(NoteFileList &list)
{
    File *files = list.files.data();
    const qsizetype count = list.files.size();
    const auto work = [&list, files](qsizetype begin, qsizetype end) {
        qsizetype folder = -1;
        int folderFd = -1;
        for (qsizetype i = begin; i < end; ++i) {
            File &file = files[i];
            if (file.modifiedMSecs)
                continue;
            if (file.folder != folder) {
                if (folderFd >= 0)
                    close(folderFd);
                folder = file.folder;
                folderFd = open(list.folders[folder].nativePath.constData(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            }
            struct stat info = {};
            if (folderFd >= 0 && fstatat(folderFd, file.nativeName.constData(), &info, 0) == 0)
                file.modifiedMSecs =
                    qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
        }
        if (folderFd >= 0)
            close(folderFd);
    };
    const qsizetype threads =
        std::clamp<qsizetype>(count / 512, 1, std::max(QThread::idealThreadCount(), 1));
    std::vector<std::jthread> helpers;
    const qsizetype share = (count + threads - 1) / threads;
    for (qsizetype t = 1; t < threads; ++t)
        helpers.emplace_back(work, t * share, std::min(count, (t + 1) * share));
    work(0, std::min(count, share));
}

} // namespace

QList<FolderEntry> readFolder(const QByteArray &nativePath, const ListOptions &options)
{
    QList<FolderEntry> entries;
    std::vector<Entry> found = readEntries(nativePath, options);
    entries.reserve(qsizetype(found.size()));
    for (const Entry &entry : found) {
        FolderEntry folderEntry;
        folderEntry.nativeName = QByteArray::fromStdString(entry.name);
        // Exactly: a name that is not UTF-8 must still lead to its own file, not to none.
        folderEntry.name = FileNames::decode(folderEntry.nativeName);
        folderEntry.isFolder = entry.type == DT_DIR;
        if (!folderEntry.isFolder && options.withModificationTimes && entry.haveInfo)
            folderEntry.modifiedMSecs =
                qint64(entry.info.st_mtim.tv_sec) * 1000 + entry.info.st_mtim.tv_nsec / 1000000;
        entries.append(std::move(folderEntry));
    }
    return entries;
}

NoteFileList listNoteFiles(const QString &baseFolder, const ListOptions &options)
{
    NoteFileList list;
    if (baseFolder.isEmpty())
        return list;
    QString base = baseFolder;
    while (base.size() > 1 && base.endsWith(u'/'))
        base.chop(1);
    Walker(options, list).walk(QFile::encodeName(base), base, QString());
    if (options.withModificationTimes)
        readModificationTimes(list);
    return list;
}

bool hasNoteExtension(QStringView fileName)
{
    return NoteRule::hasNoteExtension(fileName);
}

QStringView nameWithoutExtension(QStringView fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot <= 0 ? fileName : fileName.first(dot);
}

} // namespace NoteFiles
