#pragma once

#include "search/globalsearch.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

/// One stored hit: what the search page needs to show its last results again after a restart.
/// The sort date is not stored; it is read from the file again when the results come back.
struct PersistedHit
{
    QString urlPath;
    QString snippet;
    qint64 matchCount = 0;

    bool operator==(const PersistedHit &) const = default;
};

/// The search page's settings: the last results and the keyword history.
namespace SearchStore {

/// Keywords kept in the history.
inline constexpr qsizetype historyLimit = 50;

/// The hits as a JSON array of {"urlPath", "snippet", "matchCount"} objects, in order.
QByteArray encodeHits(const QList<SearchHit> &hits);

/// The stored hits; nothing when the data is not such an array (every element an object with a
/// string "urlPath", a string "snippet" and an integer "matchCount").
std::optional<QList<PersistedHit>> decodeHits(const QByteArray &data);

/// Stores the results under "persistedResults" (empty data for no results).
void persistResults(const QList<SearchHit> &hits);

/// The stored results with fresh sort dates, in result order; nothing when none are stored or
/// the data cannot be read. Files are not checked for existence.
std::optional<QList<SearchHit>> restorePersistedResults();

/// The stored history, most recent first; empty when there is none.
QStringList loadHistory();

/// Moves `keyword` to the front of the history (adding it when new; entries compare exactly,
/// case included), keeps the first historyLimit entries, stores and returns the result.
QStringList addToHistory(const QString &keyword);

/// Removes every entry equal to `entry`, stores and returns the result.
QStringList removeFromHistory(const QString &entry);

/// Empties the history and removes its key from the settings.
void clearHistory();

} // namespace SearchStore
