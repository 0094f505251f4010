#pragma once

#include "search/globalsearch.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

/// Runs the page's searches away from the main thread: the window's note index, or the full
/// scan while the index is not ready. Hits are exactly GlobalSearch::runSearch's.
class SearchEngine
{
public:
    virtual ~SearchEngine() = default;
    /// Called on the main thread, once or twice: the first rows of the result (`complete`
    /// false) when all of it takes longer, then all of it.
    using Done = std::function<void(QList<SearchHit> hits, bool complete)>;
    /// Searches for `keyword` (trimmed) and calls `done` on the main thread unless `context` is
    /// gone by then.
    virtual void search(const QString &keyword, QObject *context, Done done) = 0;
};

/// The search page's state and what its buttons do, apart from the widgets that show it.
///
/// The keyword lives in the settings ("searchKeyword"), so the editor's highlight and a restart
/// see it; the results, whether they belong to the keyword shown, and the history live here.
/// Posts "SearchKeywordSynced" when a search runs or is cleared and follows "BaseFolderChanged",
/// "ActivateGlobalSearch" and "FocusGlobalSearchField". Main thread.
class SearchController : public QObject
{
    Q_OBJECT

public:
    explicit SearchController(QObject *parent = nullptr);

    /// The keyword as typed.
    QString keyword() const;
    /// Stores a new keyword; one that is blank once trimmed drops the results and shows the
    /// history again. Does not search.
    void setKeyword(const QString &keyword);
    /// The user typed: stores the keyword and searches once typing pauses (typingPause), never
    /// while an input method is composing. Unlike runSearch, the history is left alone and no
    /// hit is opened.
    void keywordTyped(const QString &keyword);
    /// Whether an input method is composing text in the keyword field: a search waits for the
    /// text to be committed.
    void setComposing(bool composing);
    /// Whether a search of what was typed is waiting for typing to pause.
    bool typedSearchPending() const { return m_typingTimer.isActive(); }
    static constexpr int typingPause = 150;

    /// Where searches run; none (the default): on the calling thread, at once.
    void setSearchEngine(SearchEngine *engine) { m_engine = engine; }
    /// Whether the keyword is empty once spaces and line breaks are trimmed.
    bool keywordIsBlank() const;

    const QList<SearchHit> &results() const { return m_results; }
    /// Whether the results belong to the keyword shown (a search ran for it).
    bool hasSearched() const { return m_hasSearched; }
    /// "0 件", or "3 件 / 一致 12 件" with the sum of the match counts; "集計中…" after the
    /// counts while only the first rows are in.
    QString summary() const;
    /// Whether only the first rows of a search are in, the rest still coming.
    bool totalsPending() const { return m_totalsPending; }
    /// Whether a search is under way, its answer not (wholly) in yet.
    bool isSearching() const { return m_searching; }

    const QStringList &history() const { return m_history; }

    /// The file open in the editor; its row is highlighted.
    const QString &selectedFile() const { return m_selectedFile; }
    void setSelectedFile(const QString &filePath);

    /// The page came into view: reloads the history and the stored results (with fresh dates),
    /// then asks for the keyword field's focus when there are no results.
    void appear();
    /// Searches for the trimmed keyword and opens the newest hit.
    void runSearch();
    /// Empties keyword and results and tells the presenter the search was cleared.
    void clearSearch();
    /// A result row was chosen.
    void selectHit(const QString &filePath);
    /// A history entry was chosen: it becomes the keyword and is searched.
    void runHistoryEntry(const QString &entry);
    void removeHistoryEntry(const QString &entry);
    void clearHistory();

    /// Asks the page to put the keyboard focus into the keyword field.
    void requestKeywordFieldFocus() { Q_EMIT focusKeywordFieldRequested(); }

Q_SIGNALS:
    void keywordChanged(const QString &keyword);
    /// The results or hasSearched changed.
    void resultsChanged();
    void historyChanged();
    void selectedFileChanged(const QString &filePath);
    /// The presenter should open this file.
    void hitSelected(const QString &filePath);
    /// The search was cleared; the presenter should close the document it opened from it.
    void cleared();
    void focusKeywordFieldRequested();
    /// A search ran or was cleared: the editor highlights `keyword`, trimmed (empty: nothing).
    void keywordSynced(const QString &keyword);

private:
    void keywordStored();
    void setResults(QList<SearchHit> results, bool hasSearched);
    void setHistory(QStringList history);
    void setLastSearchKeyword(const QString &keyword);
    void baseFolderChanged();
    /// Searches for `keyword`; a search from Return (`fromReturn`) also stores the results and
    /// opens the newest hit.
    void startSearch(const QString &keyword, bool fromReturn);
    void searchTyped();

    QList<SearchHit> m_results;
    bool m_totalsPending = false;
    bool m_searching = false;
    SearchEngine *m_engine = nullptr;
    /// Counts the searches started, so that the answer of one overtaken by another is dropped.
    quint64 m_generation = 0;
    QTimer m_typingTimer;
    bool m_composing = false;
    bool m_typedPending = false;
    bool m_hasSearched = false;
    QStringList m_history;
    QString m_selectedFile;
};
