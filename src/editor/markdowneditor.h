#pragma once

#include "editor/editorlivestate.h"
#include "platform/editorcommands.h"

#include <QWidget>

#include <memory>

class NoteTextEdit;

/// The plain-text markdown editor: one scrolling text view whose document is the open note's
/// text. It replaces that text only when told to (another document, or the same document
/// changed outside the editor, without disturbing the caret); publishes the caret and the top
/// visible line through the shared live state; obeys scroll requests; continues lists on Return,
/// indents with Tab / Shift+Tab, inserts markdown decorations, and highlights in-editor search
/// matches.
class MarkdownEditor : public QWidget
{
    Q_OBJECT

public:
    explicit MarkdownEditor(EditorLiveState &live, QWidget *parent = nullptr);
    ~MarkdownEditor() override;

    /// Shows another document: `text` replaces everything, whatever has the keyboard focus
    /// and even in the middle of an input-method composition (which is dropped). The undo
    /// history starts afresh, the caret goes to the start and the view to the top.
    void loadText(const QString &text);
    /// The same document's text changed outside the editor (a merge with another program's
    /// changes, a reload, a checkbox toggled in the preview): only the part that differs is
    /// replaced, as one undoable step, the caret stays on the text it was on and the view
    /// keeps its place.
    void replaceText(const QString &text);
    /// The document's text. The editor holds the one copy of the open document's text;
    /// everyone else reads it here (or through the live state).
    QString text() const;
    /// Whether a document is open; without one the editor is read-only.
    void setDocumentOpen(bool open);

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
    /// Wraps the selection in a markdown decoration, only while the text view has the focus
    /// and takes edits.
    void applyDecoration(MarkdownDecoration decoration);
    NoteTextEdit *textEdit() const;

Q_SIGNALS:
    /// Every user edit (not while an input method composes). The text itself is read when
    /// needed (text(), or the live state).
    void textEdited();
    /// The match count or the current match changed.
    void searchStateChanged(int resultCount, int currentIndex);

protected:
    /// The search highlights take the colours of a new palette.
    void changeEvent(QEvent *event) override;

private:
    class Private;
    std::unique_ptr<Private> d;
};
