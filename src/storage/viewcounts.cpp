#include "storage/viewcounts.h"

#include "platform/atomicfile.h"
#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/regularfile.h"
#include "platform/serialqueue.h"
#include "storage/notekey.h"
#include "storage/pathmanager.h"

#include <QDate>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTimeZone>

#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace ViewCounts {
namespace {

/// Month key ("yyyy-MM") → openings in that month.
using MonthCounts = QHash<QString, int>;
/// Note key → its months.
using CountTable = QHash<QString, MonthCounts>;

struct CountCache
{
    CountTable table;
    /// The file was there but not all of it could be taken (not JSON, entries of another
    /// shape, not a regular file): it is set aside before the counts are written.
    bool damaged = false;
    /// Standardized base folder the table belongs to; unset until the first load.
    std::optional<QString> basePath;
    QSet<QString> viewedThisRun;
};

CountCache &cache()
{
    static CountCache counts;
    return counts;
}

SerialQueue &ioQueue()
{
    static SerialQueue queue(QStringLiteral("note view counts"));
    return queue;
}

QTimeZone countingTimeZone()
{
    static const QTimeZone tokyo(QByteArrayLiteral("Asia/Tokyo"));
    return tokyo.isValid() ? tokyo : Clock::current().timeZone();
}

QString monthKey(const QDate &date)
{
    // Built by hand so the digits stay ASCII whatever the locale.
    return QString::asprintf("%04d-%02d", date.year(), date.month());
}

QDate firstOfCurrentMonth()
{
    const QDate today = Clock::current().now().toTimeZone(countingTimeZone()).date();
    return QDate(today.year(), today.month(), 1);
}

/// The current month and the one before it.
QSet<QString> monthsToKeep()
{
    const QDate first = firstOfCurrentMonth();
    return {monthKey(first), monthKey(first.addMonths(-1))};
}

std::optional<int> decodeCount(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (std::trunc(number) != number || std::abs(number) > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(number);
}

// Entries that do not have the expected shape are skipped one by one rather than discarding the
// whole file, which the next write would otherwise replace with almost nothing.
CountTable readCountFile(const QString &path, bool &damaged)
{
    const RegularFileRead file = RegularFile::read(path);
    damaged = file.status != RegularFileRead::Status::Ok &&
              file.status != RegularFileRead::Status::Missing;
    if (!file.ok())
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes);
    damaged = !document.isObject();
    if (damaged)
        return {};
    CountTable table;
    const QJsonObject notes = document.object();
    for (auto note = notes.begin(); note != notes.end(); ++note) {
        if (!note.value().isObject()) {
            damaged = true;
            continue;
        }
        MonthCounts months;
        const QJsonObject stored = note.value().toObject();
        for (auto month = stored.begin(); month != stored.end(); ++month) {
            if (const auto count = decodeCount(month.value()))
                months.insert(month.key(), *count);
            else
                damaged = true;
        }
        if (!months.isEmpty())
            table.insert(note.key(), months);
    }
    return table;
}

QByteArray encodeCounts(const CountTable &table)
{
    QJsonObject notes;
    for (auto note = table.begin(); note != table.end(); ++note) {
        QJsonObject months;
        for (auto month = note->begin(); month != note->end(); ++month)
            months.insert(month.key(), month.value());
        notes.insert(note.key(), months);
    }
    return QJsonDocument(notes).toJson(QJsonDocument::Compact);
}

CountTable &loadViewCounts()
{
    CountCache &counts = cache();
    const QString base = standardizedBaseFolderPath();
    if (counts.basePath == base)
        return counts.table;
    // A write for this folder may still be queued from before a switch away and back; reading
    // past it would drop the counts it carries when the next write replaces the file.
    ioQueue().waitUntilIdle();
    counts.table = readCountFile(viewCountsFilePath(), counts.damaged);
    counts.basePath = base;
    return counts.table;
}

void saveViewCounts(const CountTable &table)
{
    const QSet<QString> keep = monthsToKeep();
    CountTable pruned;
    for (auto note = table.begin(); note != table.end(); ++note) {
        MonthCounts months;
        for (auto month = note->begin(); month != note->end(); ++month) {
            if (month.value() >= 1 && keep.contains(month.key()))
                months.insert(month.key(), month.value());
        }
        if (!months.isEmpty())
            pruned.insert(note.key(), months);
    }

    CountCache &counts = cache();
    counts.table = pruned;
    counts.basePath = standardizedBaseFolderPath();

    // The path is fixed here, on the main thread: the base folder may change before the job runs.
    const QString path = viewCountsFilePath();
    const bool setAside = std::exchange(counts.damaged, false);
    ioQueue().submit([path, setAside, snapshot = std::move(pruned)] {
        if (setAside) {
            if (const QString kept = RegularFile::setAside(path); !kept.isEmpty())
                Diagnostics::log(QStringLiteral("閲覧回数のファイルを読めないため退避しました: ") +
                                 kept);
        }
        AtomicFile::write(path, encodeCounts(snapshot));
    });
}

int countInMonths(const MonthCounts &months, const QSet<QString> &keep)
{
    qint64 total = 0;
    for (auto month = months.begin(); month != months.end(); ++month) {
        if (keep.contains(month.key()) && month.value() > 0)
            total += month.value();
    }
    return int(qMin<qint64>(total, std::numeric_limits<int>::max()));
}

} // namespace

QString viewCountsFilePath()
{
    return PathManager::dataFolderPath() + QStringLiteral("/note_view_counts.json");
}

void recordNoteView(const QString &filePath)
{
    const auto key = relativeNotePath(filePath);
    if (!key || !key->startsWith(QStringLiteral("Notes/")))
        return;
    const QString extension = QFileInfo(*key).suffix().toLower();
    if (extension != QStringLiteral("md") && extension != QStringLiteral("txt"))
        return;
    CountCache &counts = cache();
    if (counts.viewedThisRun.contains(*key))
        return;
    counts.viewedThisRun.insert(*key);

    CountTable table = loadViewCounts();
    int &count = table[*key][monthKey(firstOfCurrentMonth())];
    if (count < std::numeric_limits<int>::max())
        ++count;
    saveViewCounts(table);
}

QHash<QString, int> viewCounts(const QStringList &filePaths)
{
    const CountTable &table = loadViewCounts();
    const QSet<QString> keep = monthsToKeep();
    QHash<QString, int> result;
    for (const QString &path : filePaths) {
        if (const auto key = relativeNotePath(path))
            result.insert(path, countInMonths(table.value(*key), keep));
    }
    return result;
}

QHash<QString, int> viewCountsByPath()
{
    const CountTable &table = loadViewCounts();
    const QSet<QString> keep = monthsToKeep();
    const QString base = standardizedBaseFolderPath();
    QHash<QString, int> result;
    for (auto note = table.begin(); note != table.end(); ++note) {
        if (const int count = countInMonths(note.value(), keep); count > 0)
            result.insert(base + u'/' + note.key(), count);
    }
    return result;
}

void renameViewCount(const QString &from, const QString &to)
{
    const auto oldKey = relativeNotePath(from);
    const auto newKey = relativeNotePath(to);
    if (!oldKey || !newKey)
        return;
    CountTable table = loadViewCounts();
    if (!table.contains(*oldKey))
        return;
    // Taken out first, so renaming a note onto its own key leaves its counts as they were.
    const MonthCounts moved = table.take(*oldKey);
    MonthCounts &target = table[*newKey];
    for (auto month = moved.begin(); month != moved.end(); ++month) {
        const qint64 sum = qint64(target.value(month.key())) + month.value();
        target.insert(month.key(), int(qMin<qint64>(sum, std::numeric_limits<int>::max())));
    }
    saveViewCounts(table);
}

void removeViewCount(const QString &filePath)
{
    const auto key = relativeNotePath(filePath);
    if (!key)
        return;
    CountTable table = loadViewCounts();
    table.remove(*key);
    saveViewCounts(table);
}

void flushPendingWrites()
{
    ioQueue().waitUntilIdle();
}

void resetCachesForTesting()
{
    flushPendingWrites();
    cache() = CountCache();
}

} // namespace ViewCounts
