#include "search/searchstore.h"

#include "storage/settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace SearchStore {

QByteArray encodeHits(const QList<SearchHit> &hits)
{
    QJsonArray array;
    for (const SearchHit &hit : hits) {
        array.append(QJsonObject{{QStringLiteral("urlPath"), hit.filePath},
                                 {QStringLiteral("snippet"), hit.snippet},
                                 {QStringLiteral("matchCount"), qint64(hit.matchCount)}});
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<PersistedHit>> decodeHits(const QByteArray &data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<PersistedHit> hits;
    for (const QJsonValue &value : document.array()) {
        const QJsonObject object = value.toObject();
        const QJsonValue path = object.value(QStringLiteral("urlPath"));
        const QJsonValue snippet = object.value(QStringLiteral("snippet"));
        const QJsonValue count = object.value(QStringLiteral("matchCount"));
        // A count must be a whole number; one damaged element spoils the whole list, as a
        // typed decoder would have it.
        const double number = count.toDouble(-1);
        if (!value.isObject() || !path.isString() || !snippet.isString() || !count.isDouble() ||
            number != double(qint64(number)))
            return std::nullopt;
        hits.append({path.toString(), snippet.toString(), qint64(number)});
    }
    return hits;
}

void persistResults(const QList<SearchHit> &hits)
{
    Settings::instance().setPersistedSearchResults(hits.isEmpty() ? QByteArray()
                                                                  : encodeHits(hits));
}

std::optional<QList<SearchHit>> restorePersistedResults()
{
    const QByteArray data = Settings::instance().persistedSearchResults();
    if (data.isEmpty())
        return std::nullopt;
    const std::optional<QList<PersistedHit>> stored = decodeHits(data);
    if (!stored)
        return std::nullopt;
    QList<SearchHit> hits;
    hits.reserve(stored->size());
    for (const PersistedHit &hit : *stored) {
        hits.append({hit.urlPath, hit.snippet, qsizetype(hit.matchCount),
                     GlobalSearch::searchSortDate(hit.urlPath)});
    }
    GlobalSearch::sortHits(hits);
    return hits;
}

QStringList loadHistory()
{
    return Settings::instance().searchHistory();
}

QStringList addToHistory(const QString &keyword)
{
    QStringList history = loadHistory();
    history.removeAll(keyword);
    history.prepend(keyword);
    if (history.size() > historyLimit)
        history.resize(historyLimit);
    Settings::instance().setSearchHistory(history);
    return history;
}

QStringList removeFromHistory(const QString &entry)
{
    QStringList history = loadHistory();
    history.removeAll(entry);
    Settings::instance().setSearchHistory(history);
    return history;
}

void clearHistory()
{
    Settings::instance().resetSearchHistory();
}

} // namespace SearchStore
