#include "index/indexedsearch.h"

#include "platform/workqueue.h"
#include "links/notelinks.h"
#include "search/keywordmatcher.h"
#include "search/notebody.h"
#include "storage/pathmanager.h"

#include <QFile>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <sqlite3.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

/// The front matter at the start of a note's bytes, decoded; empty when there is none.
QString frontMatterOf(const QByteArray &bytes)
{
    if (!bytes.startsWith("---"))
        return {};
    // Front matter is short; a longer one is read as far as this.
    constexpr qsizetype longest = 64 * 1024;
    const QString start = QString::fromUtf8(bytes.first(std::min(bytes.size(), longest)));
    return start.first(NoteLinks::frontMatterEnd(start));
}

/// Notes written per transaction: short enough that another writer (the window, a command)
/// never waits long, long enough that committing costs little.
constexpr qsizetype batchSize = 256;

/// A file changed within this time of being read may change again within the same tick of the
/// file system's clock, keeping its stamp: it is read again next time.
constexpr qint64 racyNs = 2'000'000'000;

NoteIndex::Stamp stampOf(const struct stat &info)
{
    return {
        qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
        qint64(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec, qint64(info.st_ino)};
}

qint64 nowNs()
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

/// Reads a regular file whole, without blocking on anything else; its stamp is taken before the
/// read, so a change during the read shows as a changed stamp next time. Nothing when it cannot be
/// read: indexed as empty text, as the search reads it.
std::optional<QByteArray> readNote(const QByteArray &native, NoteIndex::Stamp &stamp)
{
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat info = {};
    std::optional<QByteArray> bytes;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        stamp = stampOf(info);
        QByteArray read(qsizetype(info.st_size) + 1, Qt::Uninitialized);
        qsizetype total = 0;
        for (;;) {
            if (total == read.size())
                read.resize(read.size() * 2);
            const ssize_t got = ::read(fd, read.data() + total, size_t(read.size() - total));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                total = -1;
                break;
            }
            if (got == 0)
                break;
            total += got;
        }
        if (total >= 0) {
            read.truncate(total);
            bytes = std::move(read);
        }
    }
    ::close(fd);
    if (stamp.modifiedNs > nowNs() - racyNs)
        stamp.modifiedNs = -1;
    return bytes;
}

} // namespace

IndexedSearch::IndexedSearch(const QString &baseFolder, const QString &indexPath)
    : m_base(PathManager::standardizedPath(baseFolder)),
      m_indexPath(indexPath.isEmpty() ? NoteIndex::defaultPath(m_base) : indexPath)
{
    while (m_base.size() > 1 && m_base.endsWith(u'/'))
        m_base.chop(1);
    m_nativeBase = QFile::encodeName(m_base);
}

bool IndexedSearch::open(QString *problem, bool *reset)
{
    m_entries.reset();
    return m_index.open(m_indexPath, m_base, problem, reset);
}

bool IndexedSearch::failed(QString *problem)
{
    if (problem)
        *problem = m_index.lastError();
    const bool damaged = m_index.lastErrorWasDamage();
    m_index.rollback();
    m_index.close();
    if (damaged)
        NoteIndex::remove(m_indexPath);
    m_entries.reset();
    m_watchSynced = false;
    return false;
}

namespace {

/// A folder of the stamp walk: its entries as NoteFiles lists them, each note's stamp, and its
/// subfolders by the index of their entries.
struct StampFolder
{
    QByteArray nativePath;
    QString path;
    QString relativePath;
    QList<NoteFiles::FolderEntry> entries;
    std::vector<NoteIndex::Stamp> stamps;
    std::vector<char> linked;
    std::vector<std::pair<qsizetype, std::unique_ptr<StampFolder>>> subfolders;
};

/// Lists `folder` and stats its notes, each asked relative to the open folder: once, and once
/// more for a link, whose target's stamp counts. Returns the subfolders to walk.
std::vector<StampFolder *> readStampFolder(StampFolder &folder)
{
    folder.entries = NoteFiles::readFolder(folder.nativePath);
    const size_t count = size_t(folder.entries.size());
    folder.stamps.assign(count, NoteIndex::Stamp{});
    folder.linked.assign(count, 0);
    std::vector<StampFolder *> found;
    const int folderFd = ::open(folder.nativePath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (size_t i = 0; i < count; ++i) {
        const NoteFiles::FolderEntry &entry = folder.entries[qsizetype(i)];
        if (entry.isFolder) {
            // The base folder's Data holds the application's own files, not notes.
            if (folder.relativePath.isEmpty() && entry.name == PathManager::dataFolderName)
                continue;
            auto child = std::make_unique<StampFolder>();
            child->nativePath = folder.nativePath + '/' + entry.nativeName;
            child->path = folder.path + u'/' + entry.name;
            child->relativePath = folder.relativePath.isEmpty()
                                      ? entry.name
                                      : QString(folder.relativePath + u'/' + entry.name);
            found.push_back(child.get());
            folder.subfolders.emplace_back(qsizetype(i), std::move(child));
            continue;
        }
        struct stat info = {};
        if (folderFd < 0 ||
            fstatat(folderFd, entry.nativeName.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const bool link = S_ISLNK(info.st_mode);
        if (link && fstatat(folderFd, entry.nativeName.constData(), &info, 0) != 0)
            continue;
        folder.stamps[i] = stampOf(info);
        folder.linked[i] = link || info.st_nlink > 1;
    }
    if (folderFd >= 0)
        ::close(folderFd);
    return found;
}

} // namespace

void IndexedSearch::listNotes()
{
    // The folders are read and their notes stat'ed on every thread at once; the list is then put
    // together in the order of NoteFiles::listNoteFiles (depth first, each folder's entries in
    // their order).
    StampFolder root;
    root.nativePath = m_nativeBase;
    root.path = m_base;
    WorkQueue<StampFolder *> queue;
    queue.add({&root});
    const auto work = [&queue] {
        while (const std::optional<StampFolder *> folder = queue.take()) {
            queue.add(readStampFolder(**folder));
            queue.finish();
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (int t = 1; t < std::max(QThread::idealThreadCount(), 1); ++t)
            helpers.emplace_back(work);
        work();
    }
    m_list = {};
    m_stamps.clear();
    m_linked.clear();
    const auto gather = [this](const auto &self, StampFolder &folder) -> void {
        const qsizetype index = m_list.folders.size();
        m_list.folders.append({folder.path, folder.relativePath, folder.nativePath});
        auto subfolder = folder.subfolders.begin();
        for (qsizetype i = 0; i < folder.entries.size(); ++i) {
            NoteFiles::FolderEntry &entry = folder.entries[i];
            if (entry.isFolder) {
                if (subfolder != folder.subfolders.end() && subfolder->first == i) {
                    self(self, *subfolder->second);
                    ++subfolder;
                }
                continue;
            }
            m_list.files.append(
                {index, std::move(entry.name), std::move(entry.nativeName), std::nullopt});
            m_stamps.push_back(folder.stamps[size_t(i)]);
            m_linked.push_back(folder.linked[size_t(i)]);
        }
    };
    gather(gather, root);
    m_gone.assign(size_t(m_list.files.size()), 0);
}

QByteArray IndexedSearch::relativePath(const NoteFiles::File &file) const
{
    const QByteArray &folder = m_list.folders[file.folder].nativePath;
    if (folder.size() <= m_nativeBase.size())
        return file.nativeName;
    return folder.sliced(m_nativeBase.size() + 1) + '/' + file.nativeName;
}

void IndexedSearch::compareStamps(const NoteIndex::EntryTable &table,
                                  std::vector<qsizetype> &changed, QList<QByteArray> &gone)
{
    const std::vector<NoteIndex::EntryTable::Row> &rows = table.rows;
    std::vector<char> found(rows.size(), 0);
    // Each folder's path below the base folder, with its slash.
    std::vector<QByteArray> prefixes;
    prefixes.reserve(size_t(m_list.folders.size()));
    for (const NoteFiles::Folder &folder : std::as_const(m_list.folders))
        prefixes.push_back(folder.nativePath.size() <= m_nativeBase.size()
                               ? QByteArray()
                               : folder.nativePath.sliced(m_nativeBase.size() + 1) + '/');
    // The rows come mostly in the walk's order: each note is looked for right after the last one
    // found, and only elsewhere (by a table of the paths made then) when it is not there.
    QHash<QByteArrayView, qsizetype> byPath;
    QByteArray key;
    size_t next = 0;
    for (qsizetype i = 0; i < m_list.files.size(); ++i) {
        const NoteFiles::File &file = m_list.files[i];
        key.truncate(0);
        key.append(prefixes[size_t(file.folder)]).append(file.nativeName);
        qsizetype row = -1;
        if (next < rows.size() && table.path(rows[next]) == QByteArrayView(key)) {
            row = qsizetype(next);
        } else {
            if (byPath.isEmpty()) {
                byPath.reserve(qsizetype(rows.size()));
                for (size_t r = 0; r < rows.size(); ++r)
                    byPath.insert(table.path(rows[r]), qsizetype(r));
            }
            row = byPath.value(QByteArrayView(key), -1);
        }
        if (row < 0) {
            changed.push_back(i);
            continue;
        }
        found[size_t(row)] = 1;
        next = size_t(row) + 1;
        const NoteIndex::Entry &entry = rows[size_t(row)].entry;
        if (entry.stamp != m_stamps[size_t(i)] || entry.stamp.modifiedNs < 0)
            changed.push_back(i);
        else
            m_textIds[size_t(i)] = entry.textId;
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        if (!found[r])
            gone.append(table.path(rows[r]).toByteArray());
    }
}

bool IndexedSearch::reloadEntriesIfChanged()
{
    // PRAGMA data_version changes when another connection commits: only then is the copy of
    // the notes' rows read again.
    sqlite3_stmt *statement = nullptr;
    qint64 version = -1;
    if (sqlite3_prepare_v2(m_index.handle(), "PRAGMA data_version", -1, &statement, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        version = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    if (version >= 0 && m_entries && version == m_dataVersion)
        return true;
    m_entries = m_index.entries();
    m_dataVersion = version;
    // The listed notes' texts may have changed under them: the next update() walks.
    m_watchSynced = false;
    return m_entries.has_value();
}

bool IndexedSearch::indexFile(const QByteArray &native, const QByteArray &relative)
{
    NoteIndex::Stamp stamp;
    const std::optional<QByteArray> bytes = readNote(native, stamp);
    NoteBody::Scratch scratch;
    const QString body = bytes ? GlobalSearch::searchedBody(*bytes, scratch) : QString();
    qint64 textId = -1;
    const std::optional<qint64> id =
        m_index.putNote(relative, stamp, body, &textId, bytes ? frontMatterOf(*bytes) : QString());
    if (!id)
        return false;
    ++m_readCount;
    (*m_entries)[relative] = {*id, stamp, textId};
    return true;
}

bool IndexedSearch::refresh(QString *problem, const Progress &progress,
                            const std::atomic<bool> *stop)
{
    m_readCount = 0;
    m_tooMuch = false;
    // The list is made anew: update() watches it again.
    m_watchSynced = false;
    if (!m_index.isOpen() && !open(problem))
        return false;
    if (m_readLimit < 0 && m_index.needsCompaction())
        return rebuild(problem, progress, stop);
    listNotes();

    // One look-up per note, which also notes its text for candidates().
    std::vector<qsizetype> changed;
    m_textIds.assign(size_t(m_list.files.size()), -1);
    QList<QByteArray> gone;
    if (!m_watch && !m_entries) {
        // No copy of the index's notes at hand (a command's one walk): they are read in one block
        // and looked up there; the copy is made only when something is to be written.
        const qint64 version = dataVersion();
        const std::optional<NoteIndex::EntryTable> table = m_index.entryTable();
        if (!table)
            return failed(problem);
        compareStamps(*table, changed, gone);
        if (!changed.empty() || !gone.isEmpty() || !m_index.isComplete()) {
            QHash<QByteArray, NoteIndex::Entry> entries;
            entries.reserve(qsizetype(table->rows.size()));
            for (const NoteIndex::EntryTable::Row &row : table->rows)
                entries.insert(table->path(row).toByteArray(), row.entry);
            m_entries = std::move(entries);
            m_dataVersion = version;
        }
    } else {
        if (!reloadEntriesIfChanged())
            return failed(problem);
        qsizetype known = 0;
        for (qsizetype i = 0; i < m_list.files.size(); ++i) {
            const auto found = m_entries->constFind(relativePath(m_list.files[i]));
            if (found == m_entries->cend()) {
                changed.push_back(i);
                continue;
            }
            ++known;
            if (found->stamp != m_stamps[size_t(i)] || found->stamp.modifiedNs < 0)
                changed.push_back(i);
            else
                m_textIds[size_t(i)] = found->textId;
        }
        // Notes gone from the folder: only looked for when the index holds more than was found.
        if (known < m_entries->size()) {
            QSet<QByteArray> listed;
            listed.reserve(m_list.files.size());
            for (const NoteFiles::File &file : std::as_const(m_list.files))
                listed.insert(relativePath(file));
            for (auto it = m_entries->cbegin(); it != m_entries->cend(); ++it) {
                if (!listed.contains(it.key()))
                    gone.append(it.key());
            }
        }
    }
    const bool wasComplete = m_index.isComplete();
    if (changed.empty() && gone.isEmpty() && wasComplete)
        return true;

    const qsizetype total = qsizetype(changed.size());
    if (m_readLimit >= 0 && total > m_readLimit) {
        m_tooMuch = true;
        if (problem)
            *problem = QStringLiteral("索引の作成が済んでいません");
        return false;
    }
    if (progress)
        progress(0, total);
    if (!gone.isEmpty()) {
        if (!m_index.begin())
            return failed(problem);
        for (const QByteArray &path : std::as_const(gone)) {
            if (!m_index.removeNote(path))
                return failed(problem);
            m_entries->remove(path);
        }
        if (!m_index.commit())
            return failed(problem);
    }
    for (qsizetype done = 0; done < total; done += batchSize) {
        if (stop && stop->load()) {
            // Consistent, not complete: the next refresh goes on from here.
            m_entries.reset();
            m_textIds.clear();
            return true;
        }
        if (!m_index.begin())
            return failed(problem);
        for (qsizetype k = done; k < std::min(total, done + batchSize); ++k) {
            const NoteFiles::File &file = m_list.files[changed[size_t(k)]];
            const QByteArray native =
                m_list.folders[file.folder].nativePath + '/' + file.nativeName;
            if (!indexFile(native, relativePath(file)))
                return failed(problem);
        }
        if (!m_index.commit())
            return failed(problem);
        if (progress)
            progress(std::min(total, done + batchSize), total);
    }
    if (!wasComplete && !m_index.setComplete(true))
        return failed(problem);
    // The text ids of the notes just written, and whatever else committed meanwhile.
    // The texts just written (kept in m_entries as they were written).
    for (const qsizetype i : changed)
        m_textIds[size_t(i)] = m_entries->value(relativePath(m_list.files[i])).textId;
    return true;
}

void IndexedSearch::setWatching(bool on)
{
    m_watchSynced = false;
    m_watchedFolders.clear();
    m_listed.clear();
    m_watch.reset();
    if (on)
        m_watch = std::make_unique<FolderWatch>();
}

qint64 IndexedSearch::dataVersion() const
{
    sqlite3_stmt *statement = nullptr;
    qint64 version = -1;
    if (sqlite3_prepare_v2(m_index.handle(), "PRAGMA data_version", -1, &statement, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        version = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return version;
}

bool IndexedSearch::watchFolders()
{
    QHash<int, qsizetype> watched;
    watched.reserve(m_list.folders.size());
    bool all = m_watch->isValid();
    bool fresh = false;
    for (qsizetype f = 0; all && f < m_list.folders.size(); ++f) {
        bool isNew = false;
        const int watch = m_watch->watch(m_list.folders[f].nativePath, &isNew);
        // A folder that cannot be watched, or two paths to one folder: not all is reported.
        if (watch < 0 || watched.contains(watch)) {
            all = false;
            break;
        }
        fresh = fresh || isNew;
        watched.insert(watch, f);
    }
    // Folders no longer listed are let go.
    for (auto it = m_watchedFolders.cbegin(); it != m_watchedFolders.cend(); ++it) {
        if (!watched.contains(it.key()))
            m_watch->unwatch(it.key());
    }
    m_watchedFolders = std::move(watched);
    m_watchSynced = all;
    if (all) {
        m_listed.clear();
        m_listed.reserve(m_list.files.size());
        for (qsizetype i = 0; i < m_list.files.size(); ++i)
            m_listed.insert(relativePath(m_list.files[i]), i);
    }
    return !fresh;
}

bool IndexedSearch::update(QString *problem)
{
    m_walked = false;
    if (m_watch && m_watchSynced && m_index.isOpen() && m_entries &&
        m_textIds.size() == size_t(m_list.files.size())) {
        std::vector<FolderWatch::Event> events;
        bool trusted = m_watch->drain(events) && dataVersion() == m_dataVersion;
        std::vector<qsizetype> marked;
        for (const FolderWatch::Event &event : events) {
            if (!trusted)
                break;
            if (FolderWatch::needsWalk(event.mask)) {
                trusted = false;
                break;
            }
            const auto folder = m_watchedFolders.constFind(event.watch);
            // Reports of folders no longer listed, queued before they were let go.
            if (folder == m_watchedFolders.cend() || event.name.isEmpty())
                continue;
            const QByteArray &native = m_list.folders[*folder].nativePath;
            const QByteArray relative =
                native.size() <= m_nativeBase.size()
                    ? event.name
                    : QByteArray(native.sliced(m_nativeBase.size() + 1) + '/' + event.name);
            const auto listed = m_listed.constFind(relative);
            if (listed != m_listed.cend()) {
                marked.push_back(*listed);
                continue;
            }
            // A note not listed yet takes its place in the list by a walk; hidden and temporary
            // files, and other files, are no notes. One gone before it was listed changes nothing.
            if (!(event.mask & (IN_DELETE | IN_MOVED_FROM)) && !event.name.startsWith('.') &&
                NoteFiles::hasNoteExtension(QFile::decodeName(event.name))) {
                trusted = false;
                break;
            }
        }
        if (trusted) {
            for (qsizetype i = 0; i < m_list.files.size(); ++i) {
                if (m_linked[size_t(i)])
                    marked.push_back(i);
            }
            return recheck(std::move(marked), problem);
        }
    }
    // The walk. Folders are watched after they are listed: when one was not watched before, what
    // it gained meanwhile was not reported, and a second walk finds it.
    for (int round = 0;; ++round) {
        if (!refresh(problem)) {
            m_watchSynced = false;
            return false;
        }
        m_walked = true;
        if (!m_watch || m_textIds.size() != size_t(m_list.files.size()))
            return true;
        if (watchFolders() || !m_watchSynced)
            return true;
        if (round == 2) {
            m_watchSynced = false;
            return true;
        }
    }
}

bool IndexedSearch::recheck(std::vector<qsizetype> marked, QString *problem)
{
    std::sort(marked.begin(), marked.end());
    marked.erase(std::unique(marked.begin(), marked.end()), marked.end());
    std::vector<qsizetype> reread;
    QList<QByteArray> gone;
    for (const qsizetype i : marked) {
        const NoteFiles::File &file = m_list.files[i];
        const QByteArray native = m_list.folders[file.folder].nativePath + '/' + file.nativeName;
        const QByteArray relative = relativePath(file);
        struct stat info = {};
        if (::stat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
            m_gone[size_t(i)] = 1;
            m_textIds[size_t(i)] = -1;
            if (m_entries->contains(relative))
                gone.append(relative);
            continue;
        }
        m_gone[size_t(i)] = 0;
        m_stamps[size_t(i)] = stampOf(info);
        const auto found = m_entries->constFind(relative);
        if (found != m_entries->cend() && found->stamp == m_stamps[size_t(i)] &&
            found->stamp.modifiedNs >= 0)
            m_textIds[size_t(i)] = found->textId;
        else
            reread.push_back(i);
    }
    if (gone.isEmpty() && reread.empty())
        return true;
    if (!m_index.begin())
        return failed(problem);
    for (const QByteArray &path : std::as_const(gone)) {
        if (!m_index.removeNote(path))
            return failed(problem);
        m_entries->remove(path);
    }
    for (const qsizetype i : reread) {
        const NoteFiles::File &file = m_list.files[i];
        const QByteArray relative = relativePath(file);
        if (!indexFile(m_list.folders[file.folder].nativePath + '/' + file.nativeName, relative))
            return failed(problem);
        m_textIds[size_t(i)] = m_entries->value(relative).textId;
    }
    if (!m_index.commit())
        return failed(problem);
    // Old texts pile up with every change; the walk compacts them.
    if (m_index.needsCompaction())
        return refresh(problem);
    return true;
}

bool IndexedSearch::rebuild(QString *problem, const Progress &progress,
                            const std::atomic<bool> *stop)
{
    if (!m_index.isOpen() && !open(problem))
        return false;
    if (!m_index.clear(problem)) {
        failed(nullptr);
        return false;
    }
    m_entries.reset();
    return refresh(problem, progress, stop);
}

bool IndexedSearch::updateNote(const QString &filePath, QString *problem)
{
    if (!m_index.isOpen() && !open(problem))
        return false;
    const QByteArray native = QFile::encodeName(filePath);
    if (!native.startsWith(QByteArray(m_nativeBase + '/')))
        return true;
    if (!reloadEntriesIfChanged())
        return failed(problem);
    const QByteArray relative = native.sliced(m_nativeBase.size() + 1);
    struct stat info = {};
    if (::stat(native.constData(), &info) != 0) {
        if (!m_index.begin() || !m_index.removeNote(relative) || !m_index.commit())
            return failed(problem);
        m_entries->remove(relative);
        return true;
    }
    if (!m_index.begin() || !indexFile(native, relative) || !m_index.commit())
        return failed(problem);
    return true;
}

std::optional<QList<SearchHit>> IndexedSearch::search(const QString &keyword, QString *problem,
                                                      const GlobalSearch::SearchOptions &options)
{
    const std::optional<QList<qsizetype>> found = candidates(keyword, problem);
    if (!found)
        return std::nullopt;
    return hits(*found, keyword, options);
}

QList<SearchHit> IndexedSearch::hits(const QList<qsizetype> &candidates, const QString &keyword,
                                     const GlobalSearch::SearchOptions &options) const
{
    return GlobalSearch::searchNotes(m_list, candidates, keyword, options);
}

QList<SearchHit> IndexedSearch::firstHits(const QList<qsizetype> &candidates,
                                          const QString &keyword, qsizetype count) const
{
    // Newest first by the walk's own stat: the date a hit sorts by.
    const auto msecs = [this](qsizetype file) {
        const qint64 ns = m_stamps[size_t(file)].modifiedNs;
        return ns < 0 ? std::numeric_limits<qint64>::min() : ns / 1'000'000;
    };
    QList<qsizetype> newest = candidates;
    std::stable_sort(newest.begin(), newest.end(),
                     [&](qsizetype a, qsizetype b) { return msecs(a) > msecs(b); });
    QList<SearchHit> found;
    qsizetype next = 0;
    for (qsizetype chunk = 64; next < newest.size(); chunk *= 2) {
        QList<qsizetype> batch = newest.mid(next, chunk);
        next += batch.size();
        std::sort(batch.begin(), batch.end());
        found += GlobalSearch::searchNotes(m_list, batch, keyword);
        GlobalSearch::sortHits(found);
        // Enough, once the next candidate is older than the last hit kept: ties still read.
        if (found.size() >= count && next < newest.size() &&
            msecs(newest[next]) < found[count - 1].sortDate.toMSecsSinceEpoch())
            break;
    }
    if (found.size() > count)
        found.resize(count);
    return found;
}

bool IndexedSearch::mostHold(const QString &keyword, const QList<QByteArray> &natives)
{
    const KeywordMatcher matcher(keyword);
    NoteBody::Scratch scratch;
    qsizetype holding = 0;
    for (const QByteArray &native : natives) {
        NoteIndex::Stamp stamp;
        const std::optional<QByteArray> bytes = readNote(native, stamp);
        if (bytes && matcher.count(GlobalSearch::searchedBody(*bytes, scratch)) > 0)
            ++holding;
    }
    return !natives.isEmpty() && holding * 4 >= natives.size();
}

bool IndexedSearch::isCommon(const QString &keyword) const
{
    constexpr qsizetype samples = 40;
    if (m_list.files.size() < samples * 10)
        return false;
    QList<QByteArray> natives;
    for (qsizetype k = 0; k < samples; ++k) {
        const NoteFiles::File &file = m_list.files[k * m_list.files.size() / samples];
        natives.append(m_list.folders[file.folder].nativePath + '/' + file.nativeName);
    }
    return mostHold(keyword, natives);
}

bool IndexedSearch::looksCommon(const QString &keyword)
{
    constexpr qsizetype samples = 40;
    if (!m_index.isOpen())
        return false;
    QList<QByteArray> natives;
    for (const QByteArray &path : m_index.samplePaths(samples))
        natives.append(m_nativeBase + '/' + path);
    return natives.size() >= samples / 2 && mostHold(keyword, natives);
}

std::optional<QList<qsizetype>> IndexedSearch::candidates(const QString &keyword, QString *problem)
{
    if (keyword.isEmpty())
        return QList<qsizetype>();
    if (!m_index.isOpen() || m_textIds.size() != size_t(m_list.files.size())) {
        if (problem)
            *problem = QStringLiteral("索引が開いていません");
        return std::nullopt;
    }
    bool indexFailed = false;
    // A keyword of one or two characters is looked up through every trigram it starts, which
    // costs more than reading the notes when most of them hold it: a few notes spread over the
    // folder tell which.
    std::optional<QList<qint64>> texts;
    if (!NoteIndex::looksUpByPrefix(keyword) || !isCommon(keyword))
        texts = m_index.textCandidates(keyword, &indexFailed);
    if (indexFailed) {
        failed(problem);
        return std::nullopt;
    }
    QList<qsizetype> candidates;
    if (!texts) {
        // Nothing the index can look up (a keyword of emoji alone): every note is read.
        candidates.reserve(m_list.files.size());
        for (qsizetype i = 0; i < m_list.files.size(); ++i) {
            if (!m_gone[size_t(i)])
                candidates.append(i);
        }
    } else {
        const QSet<qint64> textSet(texts->begin(), texts->end());
        const KeywordMatcher matcher(keyword);
        // A note's name and folders count too, whatever its text holds.
        std::vector<signed char> folderMatches(size_t(m_list.folders.size()), -1);
        for (qsizetype i = 0; i < m_list.files.size(); ++i) {
            if (m_gone[size_t(i)])
                continue;
            const NoteFiles::File &file = m_list.files[i];
            const qint64 textId = m_textIds[size_t(i)];
            bool candidate = textId < 0 || textSet.contains(textId);
            if (!candidate) {
                signed char &folder = folderMatches[size_t(file.folder)];
                if (folder < 0)
                    folder = GlobalSearch::folderMatch(
                                 QStringView(m_list.folders[file.folder].relativePath), matcher)
                                         .count > 0
                                 ? 1
                                 : 0;
                candidate =
                    folder == 1 || matcher.count(NoteFiles::nameWithoutExtension(file.name)) > 0;
            }
            if (candidate)
                candidates.append(i);
        }
    }
    return candidates;
}
