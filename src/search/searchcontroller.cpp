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
    m_typingTimer.setSingleShot(true);
    m_typingTimer.setInterval(typingPause);
    connect(&m_typingTimer, &QTimer::timeout, this, &SearchController::searchTyped);
    connect(&Settings::instance(), &Settings::searchKeywordChanged, this,
            [this] { keywordStored(); });
    AppEvents &center = AppEvents::instance();
    connect(&center, &AppEvents::baseFolderChanged, this, &SearchController::baseFolderChanged);
    connect(&center, &AppEvents::activateGlobalSearch, this,
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

void SearchController::keywordTyped(const QString &keyword)
{
    setKeyword(keyword);
    m_typedPending = true;
    if (!m_composing)
        m_typingTimer.start();
}

void SearchController::setComposing(bool composing)
{
    m_composing = composing;
    if (composing)
        m_typingTimer.stop();
    else if (m_typedPending)
        m_typingTimer.start();
}

void SearchController::searchTyped()
{
    m_typedPending = false;
    const QString k = trimmedKeyword(keyword());
    // A blank keyword has already dropped the results.
    if (!k.isEmpty())
        startSearch(k, false);
}

void SearchController::startSearch(const QString &keyword, bool fromReturn)
{
    const quint64 generation = ++m_generation;
    auto done = [this, generation, fromReturn, opened = false](QList<SearchHit> hits,
                                                               bool complete) mutable {
        if (generation != m_generation)
            return;
        if (complete && fromReturn)
            SearchStore::persistResults(hits);
        const QString newest = hits.isEmpty() ? QString() : hits.front().filePath;
        m_totalsPending = !complete;
        m_searching = !complete;
        // Emitted even when the rows stay the same: the summary's totals may have come in.
        m_results = std::move(hits);
        m_hasSearched = true;
        Q_EMIT resultsChanged();
        if (fromReturn && !opened && !newest.isEmpty()) {
            opened = true;
            selectHit(newest);
        }
    };
    m_searching = true;
    if (m_engine)
        m_engine->search(keyword, this, done);
    else
        done(GlobalSearch::runSearch(PathManager::baseFolderPath(), keyword), true);
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
    if (m_results.isEmpty() && !m_totalsPending)
        return QStringLiteral("0 件");
    if (m_totalsPending)
        return QStringLiteral("%1 件以上 / 集計中…").arg(m_results.size());
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
    // Results dropped: whatever search was under way answers a question no longer asked.
    if (!hasSearched) {
        ++m_generation;
        m_totalsPending = false;
        m_searching = false;
    }
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
    Q_EMIT keywordSynced(k);
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
    m_typingTimer.stop();
    m_typedPending = false;
    startSearch(k, true);
}

void SearchController::clearSearch()
{
    setKeyword(QString());
    setResults({}, false);
    SearchStore::persistResults({});
    setSelectedFile(QString());
    setLastSearchKeyword(QString());
    Q_EMIT cleared();
    Q_EMIT keywordSynced(QString());
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
