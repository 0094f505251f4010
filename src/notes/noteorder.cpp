#include "notes/noteorder.h"

#include "platform/naturalorder.h"
#include "storage/notekey.h"
#include "storage/pins.h"
#include "storage/viewcounts.h"

#include <algorithm>
#include <vector>

namespace NoteOrder {
namespace {

QStringView fileNameOf(const QString &path)
{
    return QStringView(path).mid(path.lastIndexOf(u'/') + 1);
}

/// Orders one run of notes that share a date by name. Keys are built for such runs only: most
/// dates are unique, and a sort key costs far more than comparing two numbers.
void sortRunByName(QList<NoteFileItem>::iterator first, QList<NoteFileItem>::iterator last)
{
    struct Keyed
    {
        QCollatorSortKey key;
        NoteFileItem item;
    };
    std::vector<Keyed> run;
    run.reserve(size_t(last - first));
    for (auto it = first; it != last; ++it)
        run.push_back({NaturalOrder::sortKey(fileNameOf(it->path).toString()), std::move(*it)});
    std::sort(run.begin(), run.end(), [](const Keyed &a, const Keyed &b) {
        const int order = a.key.compare(b.key);
        return order != 0 ? order < 0 : a.item.path < b.item.path;
    });
    for (Keyed &keyed : run)
        *first++ = std::move(keyed.item);
}

/// The pinned or counted notes, few, against which thousands of listed notes are checked. Most
/// listed notes are ruled out by their file name alone: a path keeps its last name when it is
/// standardized, unless that name is "." or "..", so a name that none of them has rules a note
/// out without hashing its whole path or making its key.
class FewPaths
{
public:
    explicit FewPaths(const QStringList &paths)
    {
        // A bit per name hash, sixteen bits or more for each name: a name not among them finds
        // its bit clear nearly always, at the cost of one load.
        qsizetype bits = 1024;
        while (bits < 16 * paths.size())
            bits *= 2;
        m_bits.assign(size_t(bits / 64), 0);
        m_mask = size_t(bits - 1);
        for (const QString &path : paths) {
            const size_t bit = nameHash(lastName(path)) & m_mask;
            m_bits[bit / 64] |= quint64(1) << (bit % 64);
        }
    }

    /// Whether `path` certainly names none of them.
    bool excludes(QStringView path) const
    {
        const QStringView name = lastName(path);
        if (name.isEmpty() || name == u"." || name == u"..")
            return false;
        const size_t bit = nameHash(name) & m_mask;
        return !(m_bits[bit / 64] & (quint64(1) << (bit % 64)));
    }

private:
    static QStringView lastName(QStringView path)
    {
        qsizetype start = path.size();
        while (start > 0 && path[start - 1] != u'/')
            --start;
        return path.sliced(start);
    }

    static size_t nameHash(QStringView name)
    {
        size_t hash = 14695981039346656037ull;
        for (const QChar c : name)
            hash = (hash ^ c.unicode()) * 1099511628211ull;
        return hash;
    }

    std::vector<quint64> m_bits;
    size_t m_mask = 0;
};

/// The paths of `items` in the order of `mode`; `isPinned` and `viewCount` are asked once per
/// note, and only in the mode that needs them.
template <typename IsPinned, typename ViewCount>
QStringList ordered(QList<NoteFileItem> items, NotesFileSortMode mode, IsPinned &&isPinned,
                    ViewCount &&viewCount)
{
    sortByDate(items);
    QStringList paths;
    paths.reserve(items.size());
    if (mode == NotesFileSortMode::modificationDate) {
        for (NoteFileItem &item : items)
            paths.append(std::move(item.path));
        return paths;
    }
    std::vector<std::pair<int, NoteFileItem *>> keyed;
    keyed.reserve(size_t(items.size()));
    for (NoteFileItem &item : items) {
        // Pinned notes as 1, the others as 0: either way the larger key comes first.
        const int key =
            mode == NotesFileSortMode::pinsFirst ? int(isPinned(item.path)) : viewCount(item.path);
        keyed.emplace_back(key, &item);
    }
    // Keys are never negative and mostly 0 (notes neither pinned nor opened lately): those keep
    // their order at the end, and only the others are sorted.
    const auto zeros = std::stable_partition(keyed.begin(), keyed.end(),
                                             [](const auto &entry) { return entry.first > 0; });
    std::stable_sort(keyed.begin(), zeros,
                     [](const auto &a, const auto &b) { return a.first > b.first; });
    for (const auto &entry : keyed)
        paths.append(std::move(entry.second->path));
    return paths;
}

} // namespace

void sortByDate(QList<NoteFileItem> &items)
{
    std::sort(items.begin(), items.end(),
              [](const NoteFileItem &a, const NoteFileItem &b) { return a.modified > b.modified; });
    auto runStart = items.begin();
    while (runStart != items.end()) {
        auto runEnd = std::find_if(runStart + 1, items.end(), [&](const NoteFileItem &item) {
            return item.modified != runStart->modified;
        });
        if (runEnd - runStart > 1)
            sortRunByName(runStart, runEnd);
        runStart = runEnd;
    }
}

QStringList orderNotes(QList<NoteFileItem> items, NotesFileSortMode mode,
                       const QSet<QString> &pinned, const QHash<QString, int> &viewCounts)
{
    return ordered(
        std::move(items), mode, [&](const QString &path) { return pinned.contains(path); },
        [&](const QString &path) { return viewCounts.value(path); });
}

QStringList orderNotes(QList<NoteFileItem> items, NotesFileSortMode mode)
{
    // Pins and counts are few: most listed notes are ruled out by name, the others looked up by
    // path among them, rather than each of thousands of notes being turned into a key. Only a
    // path spelled unusually takes the long way.
    QSet<QString> pins;
    QHash<QString, int> counts;
    QStringList few;
    if (mode == NotesFileSortMode::pinsFirst) {
        few = Pins::pinnedPaths();
        pins = QSet<QString>(few.cbegin(), few.cend());
    } else if (mode == NotesFileSortMode::viewCount) {
        counts = ViewCounts::viewCountsByPath();
        few = counts.keys();
    }
    const FewPaths candidates(few);
    return ordered(
        std::move(items), mode,
        [&](const QString &path) {
            if (candidates.excludes(path))
                return false;
            return isStandardizedPath(path) ? pins.contains(path) : Pins::isPinned(path);
        },
        [&](const QString &path) {
            if (candidates.excludes(path))
                return 0;
            return isStandardizedPath(path) ? counts.value(path)
                                            : ViewCounts::viewCounts({path}).value(path);
        });
}

} // namespace NoteOrder
