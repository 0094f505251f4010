#pragma once

#include "editor/editorlivestate.h"

#include <QWidget>

#include <memory>

class DayleafTextView;

/// The plain-text markdown editor: one scrolling text view kept in step with its owner's
/// document. It decides when typed text flows back to the owner (0.3 s after the last
/// keystroke) and when text from the owner replaces what is on screen without disturbing the
/// caret; publishes the caret and the top visible line through the shared live state; obeys
/// scroll requests; continues lists on Return, indents with Tab / Shift+Tab, inserts markdown
/// decorations, and highlights in-editor search matches.
class MacEditorView : public QWidget
{
    Q_OBJECT

public:
    explicit MacEditorView(EditorLiveState &live, QWidget *parent = nullptr);
    ~MacEditorView() override;

    /// One update pass with the owner's document: its body text, its file (empty: nothing is
    /// open, the editor is read-only) and the owner's external-text token. The text replaces
    /// the screen when the file or the token changed, or when the user is not typing: the text
    /// view is not its window's focus widget (even with the window in the background), has no
    /// input-method composition, and has not been typed in since it last lost the focus.
    /// Another file also clears undo, puts the caret at the start and scrolls to the top.
    void updateDocument(const QString &text, const QString &currentFileURL,
                        int externalTextSyncToken);
    /// The owner's text: as given by the last update pass, or as last written back.
    const QString &text() const;
    /// Writes typed text back at once instead of after the pause in typing (before saving).
    void writeBackNow();

    void setFontSize(int pointSize);
    int fontSize() const;
    /// Read-only although a file is open (the file could not be read).
    void setDocumentReadOnly(bool readOnly);

    /// In-editor search. A changed query selects and shows the first match. Matches are
    /// counted before the call returns.
    void setSearchQuery(const QString &query);
    const QString &searchQuery() const;
    /// Steps to the next or previous match, wrapping around. Nothing while the query is empty;
    /// a command whose token was already obeyed is not obeyed again.
    void runSearchCommand(const SearchCommand &command);
    int searchResultCount() const;
    int currentSearchIndex() const;
    void setCurrentSearchIndex(int index);

    /// Shows a 0-based body line at the top and puts the caret at its start.
    void scrollToLine(qint64 lineIndex);

    /// Gives the text view the keyboard focus.
    void focusEditor();
    DayleafTextView *textView() const;

Q_SIGNALS:
    /// Every user edit (not while an input method composes). The text itself is in the live
    /// state, fetched when read.
    void textEdited();
    /// The typed text flowed back to the owner (after the pause in typing, or on focus out).
    void textWrittenBack(const QString &text);
    /// The match count or the current match changed.
    void searchStateChanged(int resultCount, int currentIndex);

private:
    class Private;
    std::unique_ptr<Private> d;
};
