#include "search/searchcontroller.h"

#include "platform/appevents.h"
#include "search/searchstore.h"
#include "storage/pathmanager.h"
#include "storage/settings.h"
#include <QTimer>

#include <algorithm>
#include <numeric>

namespace {

bool isSpaceOrLineBreak(QChar c)
{
    return c.isSpace() || c == QChar(0x85) || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

QString trimmedKeyword(const QString &keyword)
{
    qsizetype begin = 0;
    qsizetype end = keyword.size();
    while (begin < end && isSpaceOrLineBreak(keyword[begin]))
        ++begin;
    while (end > begin && isSpaceOrLineBreak(keyword[end - 1]))
        --end;
    return keyword.sliced(begin, end - begin);
}

} // namespace

SearchController::SearchController(QObject *parent) : QObject(parent)
{
    connect(&Settings::instance(), &Settings::searchKeywordChanged, this,
            [this] { keywordStored(); });
    AppEvents &center = AppEvents::instance();
    connect(&center, &AppEvents::baseFolderChanged, this, &SearchController::baseFolderChanged);
    connect(&center, &AppEvents::activateGlobalSearch, this,
            &SearchController::focusKeywordFieldRequested);
    connect(&center, &AppEvents::focusGlobalSearchField, this,
            &SearchController::focusKeywordFieldRequested);
}

QString SearchController::keyword() const
{
    return Settings::instance().searchKeyword();
}

void SearchController::setKeyword(const QString &keyword)
{
    Settings::instance().setSearchKeyword(keyword);
}

bool SearchController::keywordIsBlank() const
{
    return trimmedKeyword(keyword()).isEmpty();
}

void SearchController::keywordStored()
{
    if (keywordIsBlank()) {
        setResults({}, false);
        setHistory(SearchStore::loadHistory());
    }
    Q_EMIT keywordChanged(keyword());
}

QString SearchController::summary() const
{
    if (m_results.isEmpty())
        return QStringLiteral("0 件");
    const qsizetype matches =
        std::accumulate(m_results.begin(), m_results.end(), qsizetype(0),
                        [](qsizetype sum, const SearchHit &hit) { return sum + hit.matchCount; });
    return QStringLiteral("%1 件 / 一致 %2 件").arg(m_results.size()).arg(matches);
}

void SearchController::setSelectedFile(const QString &filePath)
{
    if (filePath == m_selectedFile)
        return;
    m_selectedFile = filePath;
    Q_EMIT selectedFileChanged(filePath);
}

void SearchController::setResults(QList<SearchHit> results, bool hasSearched)
{
    if (results == m_results && hasSearched == m_hasSearched)
        return;
    m_results = std::move(results);
    m_hasSearched = hasSearched;
    Q_EMIT resultsChanged();
}

void SearchController::setHistory(QStringList history)
{
    if (history == m_history)
        return;
    m_history = std::move(history);
    Q_EMIT historyChanged();
}

void SearchController::setLastSearchKeyword(const QString &keyword)
{
    Settings::instance().setLastSearchKeyword(keyword);
}

void SearchController::appear()
{
    setHistory(SearchStore::loadHistory());
    if (keywordIsBlank()) {
        setResults({}, false);
        SearchStore::persistResults({});
    } else {
        const QString last = Settings::instance().lastSearchKeyword();
        setResults(SearchStore::restorePersistedResults().value_or(m_results), keyword() == last);
    }
    QTimer::singleShot(0, this, [this] {
        if (m_results.isEmpty())
            Q_EMIT focusKeywordFieldRequested();
    });
}

void SearchController::runSearch()
{
    const QString typed = keyword();
    const QString k = trimmedKeyword(typed);
    // The editor highlights what was searched: the trimmed keyword, never a run of spaces.
    AppEvents::instance().postSearchKeywordSynced(k);
    if (k.isEmpty()) {
        setResults({}, false);
        SearchStore::persistResults({});
        setLastSearchKeyword(QString());
        return;
    }
    if (typed != k)
        setKeyword(k);
    setHistory(SearchStore::addToHistory(k));
    setLastSearchKeyword(k);

    QList<SearchHit> hits = GlobalSearch::runSearch(PathManager::baseFolderPath(), k);
    SearchStore::persistResults(hits);
    const QString newest = hits.isEmpty() ? QString() : hits.front().filePath;
    setResults(std::move(hits), true);
    if (!newest.isEmpty())
        selectHit(newest);
}

void SearchController::clearSearch()
{
    setKeyword(QString());
    setResults({}, false);
    SearchStore::persistResults({});
    setSelectedFile(QString());
    setLastSearchKeyword(QString());
    Q_EMIT cleared();
    AppEvents::instance().postSearchKeywordSynced(QString());
    Q_EMIT focusKeywordFieldRequested();
}

void SearchController::selectHit(const QString &filePath)
{
    setSelectedFile(filePath);
    Q_EMIT hitSelected(filePath);
}

void SearchController::runHistoryEntry(const QString &entry)
{
    setKeyword(entry);
    runSearch();
}

void SearchController::removeHistoryEntry(const QString &entry)
{
    setHistory(SearchStore::removeFromHistory(entry));
}

void SearchController::clearHistory()
{
    SearchStore::clearHistory();
    setHistory({});
}

void SearchController::baseFolderChanged()
{
    // The results and the "0 件" summary described the old folder; the keyword and the history
    // stay.
    setResults({}, false);
    SearchStore::persistResults({});
}
