#include "search/globalsearch.h"

#include "platform/clock.h"
#include "platform/filenames.h"
#include "platform/naturalorder.h"
#include "platform/workqueue.h"
#include "search/keywordmatcher.h"
#include "search/notebody.h"
#include "search/notefiles.h"
#include "search/utf8validation.h"
#include "storage/notedocument.h"
#include "storage/pathmanager.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace GlobalSearch {
namespace {

bool isLineBreak(QChar c)
{
    const char16_t unit = c.unicode();
    return (unit >= 0x0A && unit <= 0x0D) || unit == 0x85 || unit == 0x2028 || unit == 0x2029;
}

QDateTime fromMSecs(qint64 msecs)
{
    // Qt::UTC rather than a QTimeZone: a date with a time spec fits in the QDateTime itself,
    // one with a zone allocates, for every hit.
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

qint64 mtimeMSecs(const struct stat &info)
{
    return qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
}

struct LineHit
{
    QStringView line;
    qsizetype at = -1; // the match inside the line
};

// The first line holding the keyword. With a keyword that cannot span lines, that is the line of
// the body's first match (`firstMatch`, when the caller already knows it).
std::optional<LineHit> firstLineHolding(QStringView body, const KeywordMatcher &matcher,
                                        std::optional<qsizetype> firstMatch = std::nullopt)
{
    if (matcher.isLineLocal()) {
        const qsizetype at = firstMatch ? *firstMatch : matcher.indexIn(body);
        if (at < 0)
            return std::nullopt;
        qsizetype start = at;
        while (start > 0 && !isLineBreak(body[start - 1]))
            --start;
        qsizetype end = at;
        while (end < body.size() && !isLineBreak(body[end]))
            ++end;
        return LineHit{body.sliced(start, end - start), at - start};
    }
    qsizetype start = 0;
    while (start <= body.size()) {
        qsizetype end = start;
        while (end < body.size() && !isLineBreak(body[end]))
            ++end;
        const QStringView line = body.sliced(start, end - start);
        if (const qsizetype at = matcher.indexIn(line); at >= 0)
            return LineHit{line, at};
        start = end + 1;
    }
    return std::nullopt;
}

QString lineSnippet(const LineHit &hit, qsizetype keywordLength)
{
    const QStringView line = hit.line;
    if (line.size() <= snippetLimit)
        return line.toString();
    // A little context before the match, then as much as the limit allows; never less than the
    // whole match, and never half a surrogate pair at either cut.
    constexpr qsizetype lead = 40;
    qsizetype start = std::clamp<qsizetype>(hit.at - lead, 0, line.size() - snippetLimit);
    if (start > 0 && line[start].isLowSurrogate())
        --start;
    qsizetype end = std::min(line.size(), std::max(start + snippetLimit, hit.at + keywordLength));
    if (end < line.size() && line[end].isLowSurrogate())
        ++end;
    const QChar ellipsis(0x2026);
    QString snippet;
    snippet.reserve(end - start + 2);
    if (start > 0)
        snippet += ellipsis;
    snippet += line.sliced(start, end - start);
    if (end < line.size())
        snippet += ellipsis;
    return snippet;
}

QString fallbackSnippet(qsizetype nameCount, QStringView baseName, const QString &folderName)
{
    if (nameCount >= 1)
        return QStringLiteral("タイトル「") + baseName + QStringLiteral("」に一致");
    if (!folderName.isEmpty())
        return QStringLiteral("フォルダ「") + folderName + QStringLiteral("」に一致");
    return {};
}

/// A hit in the sort: its date, its place in the walk and its path.
struct SortKey
{
    qint64 msecs;
    qsizetype index;
    QStringView path;
};
using SortKeys = std::vector<SortKey>::iterator;

// Where the comparisons of a run of paths start: at the last slash the paths all share, so the
// folders every one of them lies in are not compared again and again. Collation reads what
// follows a slash the same whatever came before it (no contraction, context or digit run crosses
// a slash), so the paths from that slash on order as the whole paths would.
qsizetype sharedFolderEnd(SortKeys begin, SortKeys end)
{
    const QStringView first = begin->path;
    qsizetype shared = first.size();
    for (SortKeys key = begin + 1; key != end && shared > 0; ++key) {
        const qsizetype limit = std::min(shared, key->path.size());
        shared = std::mismatch(first.begin(), first.begin() + limit, key->path.begin()).first -
                 first.begin();
    }
    return std::max<qsizetype>(first.first(shared).lastIndexOf(u'/'), 0);
}

// Sorts a run of hits with equal dates, the path that sorts later first, comparing the paths
// from the last folder they share on. Plain ASCII paths compare quickly as they are. Long runs
// of other paths (notes written by a script or copied in the same millisecond) compare
// collation keys: a key costs about one comparison to build, and a sort makes several
// comparisons per hit.
void sortByPathDescending(SortKeys begin, SortKeys end)
{
    const qsizetype from = sharedFolderEnd(begin, end);
    bool plain = true;
    for (SortKeys key = begin; key != end; ++key) {
        key->path = key->path.sliced(from);
        plain = plain && NaturalOrder::isPlain(key->path);
    }
    constexpr std::ptrdiff_t keyedRun = 8;
    if (plain || end - begin < keyedRun) {
        const auto order = plain ? NaturalOrder::comparePlain : NaturalOrder::compare;
        const auto later = [order](const SortKey &a, const SortKey &b) {
            return order(a.path, b.path) > 0;
        };
        // Most runs are short: an insertion sort, stable, without the buffer of a merge sort.
        constexpr std::ptrdiff_t shortRun = 16;
        if (end - begin > shortRun) {
            std::stable_sort(begin, end, later);
            return;
        }
        for (SortKeys key = begin + 1; key < end; ++key) {
            const SortKey moved = *key;
            SortKeys to = key;
            for (; to != begin && later(moved, *(to - 1)); --to)
                *to = *(to - 1);
            *to = moved;
        }
        return;
    }
    using Keyed = std::pair<QCollatorSortKey, SortKey>;
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(end - begin));
    for (SortKeys key = begin; key != end; ++key)
        keyed.emplace_back(NaturalOrder::sortKey(key->path.toString()), *key);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed &a, const Keyed &b) { return b.first.compare(a.first) < 0; });
    for (const Keyed &key : keyed)
        *begin++ = key.second;
}

// The order of sortHits() for `count` hits reached through `hit(i)`: the indexes in result order.
template <typename Hit> std::vector<qsizetype> resultOrder(Hit hit, qsizetype count)
{
    std::vector<SortKey> keys;
    keys.reserve(size_t(count));
    for (qsizetype i = 0; i < count; ++i)
        keys.push_back({hit(i).sortDate.toMSecsSinceEpoch(), i, hit(i).filePath});
    std::stable_sort(keys.begin(), keys.end(),
                     [](const SortKey &a, const SortKey &b) { return a.msecs > b.msecs; });

    // Names are compared only where dates tie. Their text lies all over the heap, where the
    // workers made it: it is asked for a little ahead, so that the comparisons find it at hand.
    constexpr size_t ahead = 16;
    size_t asked = 0;
    for (size_t run = 0; run < keys.size();) {
        size_t runEnd = run + 1;
        while (runEnd < keys.size() && keys[runEnd].msecs == keys[run].msecs)
            ++runEnd;
        for (; asked < std::min(runEnd + ahead, keys.size()); ++asked)
            __builtin_prefetch(keys[asked].path.data());
        if (runEnd - run > 1)
            sortByPathDescending(keys.begin() + std::ptrdiff_t(run),
                                 keys.begin() + std::ptrdiff_t(runEnd));
        run = runEnd;
    }
    std::vector<qsizetype> order;
    order.reserve(keys.size());
    for (const SortKey &key : keys)
        order.push_back(key.index);
    return order;
}

std::vector<qsizetype> resultOrder(const SearchHit *hits, qsizetype count)
{
    return resultOrder([hits](qsizetype i) -> const SearchHit & { return hits[i]; }, count);
}

// A folder of the walk. Its listing task fills in the entries and the subfolders; its search
// tasks then fill in disjoint slots of `hits`. Tasks hand a folder from thread to thread through
// the task list's lock, which orders those writes before the next task's reads.
struct WalkFolder
{
    /// Absolute, without a trailing slash; below the base folder, "A/B" ("" for the base).
    QString path;
    QString relativePath;
    QByteArray nativePath;
    FolderMatch match;
    /// Each note's entry is emptied once it has been searched, so that its strings are freed by
    /// the workers rather than all at once at the end.
    std::vector<NoteFiles::FolderEntry> entries;
    /// The subfolders with the indexes of their entries, in entry order.
    std::vector<std::pair<qsizetype, std::unique_ptr<WalkFolder>>> subfolders;
    /// The hits of each search task, with the indexes of their entries, in entry order. Only
    /// hits take room: memory is dear when ten thousand notes match.
    std::vector<std::vector<std::pair<qsizetype, SearchHit>>> hits;
};

// What one worker reuses from file to file, so the loop allocates little per file.
struct Worker
{
    std::vector<char> buffer;
    qsizetype size = 0;
    bool hasModified = false;
    qint64 modifiedMSecs = 0;
    NoteBody::Scratch scratch;
    QString line;
    // The folder of the previous file stays open: opening by name inside it spares the kernel
    // walking the whole path again for every file.
    const WalkFolder *folder = nullptr;
    int folderFd = -1;
    /// The note being searched, open until the next one is read.
    int fd = -1;

    Worker() = default;
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;
    ~Worker()
    {
        if (fd >= 0)
            ::close(fd);
        if (folderFd >= 0)
            ::close(folderFd);
    }

    QByteArrayView bytes() const { return QByteArrayView(buffer.data(), size); }
};

int openInFolder(Worker &worker, const WalkFolder &folder, const QByteArray &nativeName)
{
    if (worker.folder != &folder) {
        if (worker.folderFd >= 0)
            ::close(worker.folderFd);
        worker.folder = &folder;
        worker.folderFd = ::open(folder.nativePath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (worker.folderFd < 0)
        return -1;
    // Non-blocking, so a file swapped for a pipe since the walk cannot stall the search.
    return ::openat(worker.folderFd, nativeName.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

// Reads a whole regular file with plain system calls: the search opens thousands of files, and
// QFile's extra calls and allocations cost more than the reading itself. The walk saw a regular
// file, so most notes take one read into a buffer larger than they are and no stat at all; the
// modification time is asked for only when the note turns out to be a hit (see modifiedMSecs).
void readFile(Worker &worker, const WalkFolder &folder, const QByteArray &nativeName)
{
    worker.size = 0;
    worker.hasModified = false;
    if (worker.fd >= 0)
        ::close(worker.fd);
    worker.fd = openInFolder(worker, folder, nativeName);
    if (worker.fd < 0)
        return;
    constexpr size_t initialBuffer = 64 * 1024;
    if (worker.buffer.size() < initialBuffer)
        worker.buffer.resize(initialBuffer);
    size_t total = 0;
    for (;;) {
        const ssize_t got =
            ::read(worker.fd, worker.buffer.data() + total, worker.buffer.size() - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            total = 0; // an unreadable file (or a pipe swapped in since the walk) is empty text
            break;
        }
        total += size_t(got);
        // A regular file reads short only at its end.
        if (got == 0 || total < worker.buffer.size())
            break;
        // The buffer is full: only now is the file's size worth a system call, which also
        // makes sure a device swapped in since the walk is never read on and on.
        struct stat info = {};
        if (fstat(worker.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            total = 0;
            break;
        }
        worker.hasModified = true;
        worker.modifiedMSecs = mtimeMSecs(info);
        worker.buffer.resize(std::max(worker.buffer.size() * 2, size_t(info.st_size) + 1));
    }
    worker.size = qsizetype(total);
}

// The open note's modification time, asked for once it is a hit.
std::optional<qint64> modifiedMSecs(Worker &worker)
{
    if (worker.hasModified)
        return worker.modifiedMSecs;
    struct stat info = {};
    if (worker.fd < 0 || fstat(worker.fd, &info) != 0)
        return std::nullopt;
    return mtimeMSecs(info);
}

bool isLineBreakEndingAt(const uchar *begin, const uchar *at)
{
    const qsizetype available = at - begin;
    if (available >= 1 && at[-1] >= 0x0A && at[-1] <= 0x0D)
        return true;
    if (available >= 2 && at[-2] == 0xC2 && at[-1] == 0x85)
        return true;
    return available >= 3 && at[-3] == 0xE2 && at[-2] == 0x80 && (at[-1] == 0xA8 || at[-1] == 0xA9);
}

bool isLineBreakStartingAt(const uchar *at, const uchar *end)
{
    const qsizetype available = end - at;
    if (at[0] >= 0x0A && at[0] <= 0x0D)
        return true;
    if (available >= 2 && at[0] == 0xC2 && at[1] == 0x85)
        return true;
    return available >= 3 && at[0] == 0xE2 && at[1] == 0x80 && (at[2] == 0xA8 || at[2] == 0xA9);
}

// Whether [from, to) holds a byte that ends a line break other than a line feed: CR, VT, FF, or
// the last byte of U+0085, U+2028 or U+2029 (which also occur inside other characters). Without
// a branch, so that the compiler tests many bytes at once.
bool mayHoldRareLineBreak(const uchar *from, const uchar *to)
{
    bool any = false;
    for (const uchar *p = from; p < to; ++p)
        any |= (uchar(*p - 0x0B) <= 2) | (*p == 0x85) | ((*p | 1) == 0xA9);
    return any;
}

// The snippet for a body whose first match starts at byte `firstByte`: the line around it,
// decoded on its own into `line`, whose storage is reused from note to note.
QString snippetAtByte(QByteArrayView body, qsizetype firstByte, const KeywordMatcher &matcher,
                      QString &line)
{
    const auto *begin = reinterpret_cast<const uchar *>(body.data());
    const uchar *end = begin + body.size();
    const uchar *match = begin + firstByte;
    // Lines end at line feeds nearly always: the nearest ones on either side bound the line, and
    // only where a rarer break may lie between (CR, VT, FF, U+0085, U+2028, U+2029) are the
    // bytes walked one by one.
    const void *feedBefore = firstByte > 0 ? ::memrchr(begin, '\n', size_t(firstByte)) : nullptr;
    const uchar *lineStart = feedBefore ? static_cast<const uchar *>(feedBefore) + 1 : begin;
    if (mayHoldRareLineBreak(lineStart, match)) {
        const uchar *bound = lineStart;
        lineStart = match;
        while (lineStart > bound && !isLineBreakEndingAt(begin, lineStart))
            --lineStart;
    }
    const void *feedAfter = std::memchr(match, '\n', size_t(end - match));
    const uchar *lineEnd = feedAfter ? static_cast<const uchar *>(feedAfter) : end;
    if (mayHoldRareLineBreak(match, lineEnd)) {
        const uchar *bound = lineEnd;
        lineEnd = match;
        while (lineEnd < bound && !isLineBreakStartingAt(lineEnd, end))
            ++lineEnd;
    }
    Utf8Validation::decodePieceInto(body.sliced(lineStart - begin, lineEnd - lineStart), line);
    // A copy of exactly the line's size, as lineSnippet makes one: a decoder's own string keeps
    // room for a unit per byte, twice what Japanese text needs, for every hit.
    if (line.size() <= snippetLimit)
        return QString(line.constData(), line.size());
    return lineSnippet(LineHit{line, matcher.indexIn(line)}, matcher.keyword().size());
}

struct BodyMatch
{
    qsizetype count = 0;
    std::optional<QString> snippet;
};

// The general way: decode, let the note parser split off the header, search the text.
BodyMatch matchDecodedBody(QByteArrayView bytes, const KeywordMatcher &matcher)
{
    BodyMatch result;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return result;
    const QString body = parseNoteDocument(text).body;
    qsizetype first = -1;
    result.count = matcher.count(body, &first);
    if (result.count > 0) {
        if (const std::optional<LineHit> line = firstLineHolding(body, matcher, first))
            result.snippet = lineSnippet(*line, matcher.keyword().size());
    }
    return result;
}

// The same answer as matchDecodedBody, found in the bytes themselves for the keywords and files
// that allow it (nearly all of them).
BodyMatch matchBody(const KeywordMatcher &matcher, Worker &worker)
{
    const QByteArrayView bytes = worker.bytes();
    if (bytes.isEmpty() || !matcher.mayMatchUtf8(bytes))
        return {};
    if (!matcher.isLineLocal())
        return matchDecodedBody(bytes, matcher);
    const std::optional<qsizetype> length = Utf8Validation::decodableLength(bytes);
    if (!length)
        return {}; // not UTF-8: searched as empty text
    const QByteArrayView text = bytes.first(*length);
    const auto range = NoteBody::bodyRange(text, worker.scratch);
    if (!range)
        return matchDecodedBody(bytes, matcher);
    const QByteArrayView body = text.sliced(range->first, range->second - range->first);
    BodyMatch result;
    qsizetype firstByte = -1;
    result.count = matcher.countUtf8(body, &firstByte);
    if (result.count > 0)
        result.snippet = snippetAtByte(body, firstByte, matcher, worker.line);
    return result;
}

std::optional<SearchHit> searchFile(const KeywordMatcher &matcher, const WalkFolder &folder,
                                    const NoteFiles::FolderEntry &file, Worker &worker)
{
    readFile(worker, folder, file.nativeName);

    const QStringView baseName = NoteFiles::nameWithoutExtension(file.name);
    const qsizetype nameCount = matcher.count(baseName);
    const BodyMatch body = matchBody(matcher, worker);
    const qsizetype total = body.count + nameCount + folder.match.count;
    if (total < 1)
        return std::nullopt;

    SearchHit hit;
    hit.filePath = folder.path + u'/' + file.name;
    hit.snippet = body.snippet ? *body.snippet
                               : fallbackSnippet(nameCount, baseName, folder.match.folderName);
    hit.matchCount = total;
    const std::optional<qint64> modified = modifiedMSecs(worker);
    hit.sortDate = modified ? fromMSecs(*modified) : searchSortDate(hit.filePath);
    return hit;
}

// The note parser keeps lazily built statics (its date patterns), and some files still go through
// it; building them here, before any worker starts, means the workers only ever read them.
void prepareNoteParser()
{
    static const bool prepared = [] {
        parseNoteDocument(QStringLiteral("---\ncreated: 2000-01-01T00:00:00.1234567+09:00\n"
                                         "updated: 2000-01-01 00:00:00\n---\nsource: joplin\n"));
        return true;
    }();
    Q_UNUSED(prepared);
}

/// The walk and the search in one: the same workers read folders and search the notes found
/// there, so reading files starts with the first folder listed rather than after the last, and
/// the listing itself is spread over the threads. Hits are gathered in the order of
/// NoteFiles::listNoteFiles, whichever thread found them.
class SearchWalk
{
public:
    SearchWalk(const QString &baseFolder, const KeywordMatcher &matcher) : m_matcher(matcher)
    {
        QString base = baseFolder;
        while (base.size() > 1 && base.endsWith(u'/'))
            base.chop(1);
        m_root.path = base;
        m_root.nativePath = QFile::encodeName(base);
        m_queue.add({{&m_root, -1, -1}});
    }

    void run(int threads)
    {
        std::vector<std::jthread> helpers;
        for (int i = 1; i < threads; ++i) {
            helpers.emplace_back([this, first = i == 1] {
                // The sort after the walk compares names; its table is read from the collator
                // here, while the walk's first folder is still being listed.
                if (first)
                    NaturalOrder::prepare();
                work();
            });
        }
        work();
    }

    /// The hits in result order (see sortHits()), each moved once, straight into its place.
    QList<SearchHit> sortedHits()
    {
        // The walk's order into the stable sort: the same result whichever thread found what.
        std::vector<SearchHit *> found;
        found.reserve(size_t(m_found.load()));
        gather(m_root, found);
        const auto hit = [&found](qsizetype i) -> const SearchHit & { return *found[size_t(i)]; };
        QList<SearchHit> hits;
        hits.reserve(qsizetype(found.size()));
        for (const qsizetype index : resultOrder(hit, qsizetype(found.size())))
            hits.append(std::move(*found[size_t(index)]));
        return hits;
    }

private:
    /// Lists a folder (`begin` < 0), or searches its entries [begin, end).
    struct Task
    {
        WalkFolder *folder;
        qsizetype begin;
        qsizetype end;
    };
    /// Notes searched per task: enough to make a task worth its locking, few enough that the
    /// last tasks of a walk spread over the threads.
    static constexpr qsizetype batch = 16;

    void work()
    {
        Worker worker;
        while (const std::optional<Task> task = m_queue.take()) {
            if (task->begin < 0)
                list(*task->folder);
            else
                search(*task, worker);
            m_queue.finish();
        }
    }

    void list(WalkFolder &folder)
    {
        folder.match = folderMatch(QStringView(folder.relativePath), m_matcher);
        QList<NoteFiles::FolderEntry> entries = NoteFiles::readFolder(folder.nativePath);
        folder.entries.assign(std::make_move_iterator(entries.begin()),
                              std::make_move_iterator(entries.end()));
        const qsizetype count = qsizetype(folder.entries.size());
        folder.hits.resize(size_t((count + batch - 1) / batch));
        std::vector<Task> tasks;
        for (qsizetype i = 0; i < count; i += batch)
            tasks.push_back({&folder, i, std::min(i + batch, count)});
        // Subfolders go last, so they are taken first: the walk runs ahead of the reading and
        // keeps every thread supplied.
        for (qsizetype i = 0; i < count; ++i) {
            const NoteFiles::FolderEntry &entry = folder.entries[size_t(i)];
            if (!entry.isFolder)
                continue;
            // The base folder's Data holds the application's own files, not notes.
            if (folder.relativePath.isEmpty() && entry.name == PathManager::dataFolderName)
                continue;
            auto subfolder = std::make_unique<WalkFolder>();
            subfolder->path = folder.path + u'/' + entry.name;
            subfolder->relativePath = folder.relativePath.isEmpty()
                                          ? entry.name
                                          : QString(folder.relativePath + u'/' + entry.name);
            subfolder->nativePath = folder.nativePath + '/' + entry.nativeName;
            tasks.push_back({subfolder.get(), -1, -1});
            folder.subfolders.emplace_back(i, std::move(subfolder));
        }
        m_queue.add(std::move(tasks));
    }

    void search(const Task &task, Worker &worker)
    {
        WalkFolder &folder = *task.folder;
        std::vector<std::pair<qsizetype, SearchHit>> &hits =
            folder.hits[size_t(task.begin / batch)];
        for (qsizetype i = task.begin; i < task.end; ++i) {
            NoteFiles::FolderEntry &entry = folder.entries[size_t(i)];
            if (entry.isFolder)
                continue;
            if (std::optional<SearchHit> hit = searchFile(m_matcher, folder, entry, worker)) {
                // Room for the rest of the batch at the first hit: where one note matches, most
                // do, and hits are large to move.
                if (hits.empty())
                    hits.reserve(size_t(task.end - i));
                hits.emplace_back(i, std::move(*hit));
            }
            entry = {};
        }
        m_found += qsizetype(hits.size());
    }

    /// Appends the folder's hits and its subfolders' in entry order, and empties the folder.
    /// The folder's hits and its subfolders', in entry order.
    static void gather(WalkFolder &folder, std::vector<SearchHit *> &hits)
    {
        auto subfolder = folder.subfolders.begin();
        for (auto &taskHits : folder.hits) {
            for (auto &[index, hit] : taskHits) {
                for (; subfolder != folder.subfolders.end() && subfolder->first < index;
                     ++subfolder)
                    gather(*subfolder->second, hits);
                hits.push_back(&hit);
            }
        }
        for (; subfolder != folder.subfolders.end(); ++subfolder)
            gather(*subfolder->second, hits);
    }

    const KeywordMatcher &m_matcher;
    WalkFolder m_root;
    WorkQueue<Task> m_queue;
    std::atomic<qsizetype> m_found = 0;
};

} // namespace

FolderMatch folderMatch(QStringView relativeFolder, const KeywordMatcher &matcher)
{
    FolderMatch match;
    for (const QStringView piece : relativeFolder.split(u'/', Qt::SkipEmptyParts)) {
        const qsizetype count = matcher.count(piece);
        match.count += count;
        if (count >= 1 && match.folderName.isEmpty())
            match.folderName = piece.toString();
    }
    return match;
}

FolderMatch folderMatch(const QString &filePath, const QString &baseFolder,
                        const KeywordMatcher &matcher)
{
    const QString root = PathManager::standardizedPath(baseFolder);
    const QString folder = PathManager::standardizedPath(QFileInfo(filePath).path());
    if (folder == root)
        return {};
    // A sibling that merely shares the prefix ("/notes2" beside "/notes") is not below it.
    const QString prefix = root.endsWith(u'/') ? root : QString(root + u'/');
    if (!folder.startsWith(prefix))
        return {};
    return folderMatch(QStringView(folder).sliced(prefix.size()), matcher);
}

QDateTime earliestDate()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc());
}

QDateTime searchSortDate(const QString &filePath)
{
    struct stat info = {};
    if (::stat(FileNames::encode(filePath).constData(), &info) == 0)
        return fromMSecs(mtimeMSecs(info));
    const QFileInfo file(filePath);
    if (file.dir().dirName() == u"Daily") {
        const QDate day = QDate::fromString(file.completeBaseName(), u"yyyy-MM-dd");
        if (day.isValid())
            return QDateTime(day, QTime(0, 0), Clock::current().timeZone());
    }
    return earliestDate();
}

void sortHits(QList<SearchHit> &hits)
{
    QList<SearchHit> sorted;
    sorted.reserve(hits.size());
    for (const qsizetype index : resultOrder(hits.constData(), hits.size()))
        sorted.append(std::move(hits[index]));
    hits = std::move(sorted);
}

QString searchedBody(QByteArrayView bytes, NoteBody::Scratch &scratch)
{
    if (bytes.isEmpty())
        return {};
    const std::optional<qsizetype> length = Utf8Validation::decodableLength(bytes);
    if (!length)
        return {};
    const QByteArrayView text = bytes.first(*length);
    if (const auto range = NoteBody::bodyRange(text, scratch))
        return Utf8Validation::decodePiece(text.sliced(range->first, range->second - range->first));
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return {};
    prepareNoteParser();
    return parseNoteDocument(decoded).body;
}

QList<SearchHit> searchNotes(const NoteFiles::NoteFileList &list, const QList<qsizetype> &files,
                             const QString &keyword, const SearchOptions &options)
{
    if (keyword.isEmpty() || files.isEmpty())
        return {};
    const KeywordMatcher matcher(keyword);
    prepareNoteParser();
    // The folders the files lie in, each matched once, as the walk matches them.
    std::vector<std::unique_ptr<WalkFolder>> folders(size_t(list.folders.size()));
    for (const qsizetype file : files) {
        std::unique_ptr<WalkFolder> &folder = folders[size_t(list.files[file].folder)];
        if (folder)
            continue;
        const NoteFiles::Folder &listed = list.folders[list.files[file].folder];
        folder = std::make_unique<WalkFolder>();
        folder->path = listed.path;
        folder->relativePath = listed.relativePath;
        folder->nativePath = listed.nativePath;
        folder->match = folderMatch(QStringView(listed.relativePath), matcher);
    }
    std::vector<std::optional<SearchHit>> found(size_t(files.size()));
    constexpr qsizetype batch = 16;
    std::atomic<qsizetype> next = 0;
    const auto work = [&] {
        Worker worker;
        for (;;) {
            const qsizetype begin = next.fetch_add(batch);
            if (begin >= files.size())
                return;
            for (qsizetype i = begin; i < std::min(begin + batch, files.size()); ++i) {
                const NoteFiles::File &file = list.files[files[i]];
                NoteFiles::FolderEntry entry;
                entry.name = file.name;
                entry.nativeName = file.nativeName;
                found[size_t(i)] =
                    searchFile(matcher, *folders[size_t(file.folder)], entry, worker);
            }
        }
    };
    const int threads =
        options.threadCount > 0 ? options.threadCount : std::max(QThread::idealThreadCount(), 1);
    {
        std::vector<std::jthread> helpers;
        for (qsizetype i = 1; i < std::min<qsizetype>(threads, (files.size() + batch - 1) / batch);
             ++i)
            helpers.emplace_back(work);
        work();
    }
    std::vector<SearchHit *> hits;
    for (std::optional<SearchHit> &hit : found) {
        if (hit)
            hits.push_back(&*hit);
    }
    const auto hit = [&hits](qsizetype i) -> const SearchHit & { return *hits[size_t(i)]; };
    QList<SearchHit> sorted;
    sorted.reserve(qsizetype(hits.size()));
    for (const qsizetype index : resultOrder(hit, qsizetype(hits.size())))
        sorted.append(std::move(*hits[size_t(index)]));
    return sorted;
}

QList<SearchHit> runSearch(const QString &baseFolder, const QString &keyword,
                           const SearchOptions &options)
{
    if (keyword.isEmpty() || baseFolder.isEmpty())
        return {};
    const KeywordMatcher matcher(keyword);
    prepareNoteParser();
    SearchWalk walk(baseFolder, matcher);
    walk.run(options.threadCount > 0 ? options.threadCount
                                     : std::max(QThread::idealThreadCount(), 1));
    return walk.sortedHits();
}

} // namespace GlobalSearch
