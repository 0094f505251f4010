#pragma once

#include "editor/editorlivestate.h"

#include <QLineEdit>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QToolButton;

/// The editor page's in-document search: the query, and what the editor last reported about
/// it. currentIndex is 0-based.
struct EditorSearchState
{
    QString searchText;
    int resultCount = 0;
    int currentIndex = 0;
    bool operator==(const EditorSearchState &) const = default;
};

/// The rules of the search bar, kept apart from the widgets so they can be checked directly.
namespace EditorSearchRules {

/// The result label: empty without a query, "見つかりません" when nothing matches, otherwise
/// the 1-based position and the number of matches ("2 / 5").
QString resultText(const EditorSearchState &state);
/// The query finds nothing (the label turns red).
bool isNotFound(const EditorSearchState &state);
/// Previous / next make sense: there is a query and at least one match.
bool canNavigate(const EditorSearchState &state);
/// A fresh one-shot request, or none while the query is empty.
std::optional<SearchCommand> request(const EditorSearchState &state, SearchDirection direction);
/// The state after the user typed `text`: a different query starts again at the first match.
EditorSearchState withSearchText(EditorSearchState state, const QString &text);
/// The keyword of the global search arrived: a new non-empty keyword becomes the query, an
/// empty one clears the search, the same keyword changes nothing.
EditorSearchState synced(EditorSearchState state, const QString &keyword);

} // namespace EditorSearchRules

/// The query field. It takes the keyboard focus when clicked or when the page asks for it,
/// never on its own when the page appears. Return asks for the next match, Shift+Return for
/// the previous one, Escape dismisses the search.
class EditorSearchTextField : public QLineEdit
{
    Q_OBJECT

public:
    explicit EditorSearchTextField(QWidget *parent = nullptr);

Q_SIGNALS:
    void submitted(SearchDirection direction);
    void escapePressed();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

/// The search row of the editor page: magnifier, query field, result label, previous / next
/// and clear. It owns the search state; the editor reports counts through setSearchResult and
/// obeys the requests it emits.
class EditorSearchBar : public QWidget
{
    Q_OBJECT

public:
    explicit EditorSearchBar(QWidget *parent = nullptr);

    const EditorSearchState &state() const { return m_state; }
    const QString &searchText() const { return m_state.searchText; }

    /// Sets the query as if typed (a different query starts at the first match).
    void setSearchText(const QString &text);
    /// What the editor found for the current query.
    void setSearchResult(int resultCount, int currentIndex);
    /// Asks for the next / previous match; nothing happens without a query.
    void request(SearchDirection direction);
    void clear();
    /// Takes over the global search keyword (see EditorSearchRules::synced).
    void syncKeyword(const QString &keyword);
    /// Gives the query field the keyboard focus on the next turn of the event loop and selects
    /// its text, so typing replaces the old query.
    void focusSearchField();
    /// Escape in the field: clears the search and hands the focus back to the editor.
    void dismiss();
    bool isSearchFieldFocused() const;

    EditorSearchTextField *searchField() const { return m_field; }
    QToolButton *previousButton() const { return m_previous; }
    QToolButton *nextButton() const { return m_next; }
    QToolButton *clearButton() const { return m_clear; }
    QLabel *resultLabel() const { return m_result; }

Q_SIGNALS:
    /// The query changed (typed, cleared or synced); state().currentIndex is already 0.
    void searchTextChanged(const QString &text);
    void searchRequested(const SearchCommand &command);

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyState(const EditorSearchState &state);
    void refresh();
    void refreshIcons();

    EditorSearchState m_state;
    QLabel *m_magnifier = nullptr;
    EditorSearchTextField *m_field = nullptr;
    QLabel *m_result = nullptr;
    QToolButton *m_previous = nullptr;
    QToolButton *m_next = nullptr;
    QToolButton *m_clear = nullptr;
};
