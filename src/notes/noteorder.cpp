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

} // namespace

NotesFileSortMode sortModeFromStoredValue(const QString &rawValue)
{
    return sortModeFromRawValue(rawValue).value_or(NotesFileSortMode::pinsFirst);
}

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
    sortByDate(items);
    if (mode == NotesFileSortMode::pinsFirst) {
        std::stable_partition(items.begin(), items.end(),
                              [&](const NoteFileItem &item) { return pinned.contains(item.path); });
    } else if (mode == NotesFileSortMode::viewCount) {
        // Counts are looked up once per note, not once per comparison.
        std::vector<std::pair<int, NoteFileItem *>> counted;
        counted.reserve(size_t(items.size()));
        for (NoteFileItem &item : items)
            counted.emplace_back(viewCounts.value(item.path), &item);
        std::stable_sort(counted.begin(), counted.end(),
                         [](const auto &a, const auto &b) { return a.first > b.first; });
        QStringList paths;
        paths.reserve(items.size());
        for (const auto &entry : counted)
            paths.append(std::move(entry.second->path));
        return paths;
    }
    QStringList paths;
    paths.reserve(items.size());
    for (NoteFileItem &item : items)
        paths.append(std::move(item.path));
    return paths;
}

QStringList orderNotes(QList<NoteFileItem> items, NotesFileSortMode mode)
{
    if (mode == NotesFileSortMode::modificationDate)
        return orderNotes(std::move(items), mode, {}, {});
    // Pins and counts are few: a listed note is looked up by its path among them, rather than
    // each of thousands of notes being turned into a key. Only a path spelled unusually takes
    // the long way.
    if (mode == NotesFileSortMode::pinsFirst) {
        const QStringList pinnedPaths = Pins::pinnedPaths();
        const QSet<QString> pins(pinnedPaths.cbegin(), pinnedPaths.cend());
        QSet<QString> pinned;
        for (const NoteFileItem &item : std::as_const(items)) {
            if (isStandardizedPath(item.path) ? pins.contains(item.path)
                                              : Pins::isPinned(item.path))
                pinned.insert(item.path);
        }
        return orderNotes(std::move(items), mode, pinned, {});
    }
    QHash<QString, int> counts = ViewCounts::viewCountsByPath();
    for (const NoteFileItem &item : std::as_const(items)) {
        if (!isStandardizedPath(item.path))
            counts.insert(item.path, ViewCounts::viewCounts({item.path}).value(item.path));
    }
    return orderNotes(std::move(items), mode, {}, counts);
}

} // namespace NoteOrder
