#pragma once

#include "search/globalsearch.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

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
    /// history again. Typing does not search.
    void setKeyword(const QString &keyword);
    /// Whether the keyword is empty once spaces and line breaks are trimmed.
    bool keywordIsBlank() const;

    const QList<SearchHit> &results() const { return m_results; }
    /// Whether the results belong to the keyword shown (a search ran for it).
    bool hasSearched() const { return m_hasSearched; }
    /// "0 件", or "3 件 / 一致 12 件" with the sum of the match counts.
    QString summary() const;

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

private:
    void keywordStored();
    void setResults(QList<SearchHit> results, bool hasSearched);
    void setHistory(QStringList history);
    void setLastSearchKeyword(const QString &keyword);
    void baseFolderChanged();

    QList<SearchHit> m_results;
    bool m_hasSearched = false;
    QStringList m_history;
    QString m_selectedFile;
};
