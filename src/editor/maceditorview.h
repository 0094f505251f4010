#pragma once

#include "editor/editorlivestate.h"

#include <QWidget>

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
    /// the screen when the file or the token changed, or when the user is not typing.
    void updateDocument(const QString &text, const QString &currentFileURL,
                        int externalTextSyncToken);
    /// The text as last written back to the owner.
    const QString &text() const;

    void setFontSize(int pointSize);
    int fontSize() const;
    /// Read-only although a file is open (the file could not be read).
    void setDocumentReadOnly(bool readOnly);

    /// In-editor search. A changed query selects and shows the first match.
    void setSearchQuery(const QString &query);
    const QString &searchQuery() const;
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
    /// Every user edit, with the whole new text.
    void textEdited(const QString &text);
    /// The typed text flowed back to the owner (after the pause in typing, or on focus out).
    void textWrittenBack(const QString &text);
    void searchStateChanged(int resultCount, int currentIndex);

private:
    class Private;
    std::unique_ptr<Private> d;
};
