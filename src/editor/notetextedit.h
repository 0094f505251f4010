#pragma once

#include <QPlainTextEdit>

#include <functional>
#include <optional>
#include <utility>

struct TextReplacement;

/// The editor's text widget: plain text in one font, undo on, a caret two pixels wide unless
/// the "thickEditorCursor" setting is false. Return, Tab and Shift+Tab continue and indent
/// markdown list items; Ctrl+F, Ctrl+G and Ctrl+Shift+G go to the in-editor search bar through
/// the application events.
class NoteTextEdit : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit NoteTextEdit(QWidget *parent = nullptr);

    /// The text exactly as stored: lines joined by "\n", nothing else rewritten (unlike
    /// toPlainText(), which turns no-break spaces into spaces and line and paragraph separators
    /// into line feeds). The document is given text in EditorText's form.
    QString plainText() const;

    /// Uses the application's font family at `pointSize` points.
    void setFontSize(int pointSize);
    int fontSize() const;

    /// An input method is composing text that is not committed yet.
    bool isComposing() const;

    /// The 0-based line (block) shown at the top of the viewport.
    int topVisibleLine() const;
    /// The text positions [first, last] on screen, from the top-left to the bottom-right corner
    /// of the viewport.
    std::pair<qsizetype, qsizetype> visibleRange() const;

    /// An input-method event is being handled that only changes the composition shown, not the
    /// document (no commit, no replacement, no selection to remove).
    bool isRefreshingComposition() const { return m_refreshingComposition; }

    /// Replaces a range and selects as told, as one undo step through the ordinary editing
    /// path (so textChanged follows as for typing).
    void applyReplacement(const TextReplacement &replacement);

    /// Re-reads the caret preference and redraws the caret.
    void refreshCursorWidth();

    /// Takes pictures pasted or dropped (see `accepts`): stores them and returns the markdown
    /// that shows them, inserted at the caret as one undo step, or nothing when they could not
    /// be stored (the handler tells the user why).
    struct PictureHandler
    {
        std::function<bool(const QMimeData *)> accepts;
        std::function<std::optional<QString>(const QMimeData *)> store;
    };
    void setPictureHandler(PictureHandler handler) { m_pictureHandler = std::move(handler); }

Q_SIGNALS:
    /// The keyboard focus moved to another widget of the window (not to a popup, the menu bar
    /// or another window): the user is done typing here for now.
    void editingEnded();
    /// The part of the text on screen may have changed (a scroll or a resize).
    void visibleAreaChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    QMimeData *createMimeDataFromSelection() const override;

private:
    bool handleFindKeys(QKeyEvent *event);
    bool handleListKeys(QKeyEvent *event);

    bool m_refreshingComposition = false;
    PictureHandler m_pictureHandler;
};
