#pragma once

#include "editor/editorlivestate.h"

#include <QColor>
#include <QDate>
#include <QPalette>
#include <QWidget>

#include <functional>
#include <memory>

class EditorSearchBar;
class MarkdownEditor;

/// The editing page for the current document: the toolbar (save, status message, preview
/// toggle), the title line (the file's name, renamed in place), the in-editor search bar and
/// the editor. The document itself belongs to the owner; this view owns only the search and
/// title-editing state.
class MemoEditorView : public QWidget
{
    Q_OBJECT

public:
    explicit MemoEditorView(EditorLiveState &live, QWidget *parent = nullptr);
    ~MemoEditorView() override;

    /// Shows another document (empty `filePath`: none): its title, and `text` in the editor
    /// with a fresh undo history (see MarkdownEditor::loadText).
    void showDocument(const QString &filePath, const QString &text);
    /// The open document's file moved or was renamed: only the title follows.
    void setCurrentFile(const QString &filePath);
    /// The open document's text changed outside the editor (see MarkdownEditor::replaceText).
    void replaceText(const QString &text);
    /// The open document's text (the editor holds the one copy).
    QString text() const;
    void setFontSize(int pointSize);
    /// Shows a status message for the owner's duration: a failure in the error colour, else
    /// in the success colour.
    void setTemporaryMessage(const QString &message, bool failure = false);
    void setModified(bool modified);
    /// The open document cannot be saved: the editor is read-only and "読み取り専用" shows beside
    /// the title while it is open.
    void setDocumentReadOnly(bool readOnly);

    static inline const QString readOnlyText = QStringLiteral("読み取り専用");
    void setShowMarkdownPreview(bool shown);
    /// Pause before debouncedTextChanged follows an edit (the owner passes 300 ms).
    void setDebounceInterval(int msec);
    void scrollToLine(qint64 lineIndex);
    /// The global search ran or was cleared: its keyword becomes the search bar's.
    void syncSearchKeyword(const QString &keyword);
    /// Give the editor the keyboard focus when the page comes on screen. The focus is asked for
    /// on the next turn of the event loop, and only if this is still wanted then.
    void setPreferEditorFocusOnAppear(bool prefer);

    /// Renames the open file; returns true on success (the owner reports failures itself).
    using RenameHandler = std::function<bool(const QString &newName)>;
    void setRenameHandler(RenameHandler handler);
    /// The holiday name of a day, or empty; used for the title of a daily memo.
    using HolidayNameProvider = std::function<QString(const QDate &date)>;
    void setHolidayNameProvider(HolidayNameProvider provider);

    /// Works the title out again, e.g. after the holiday table was reloaded.
    void refreshTitle();

    /// The text shown as the title (exposed for tests and accessibility).
    QString titleText() const;
    /// The title line shows the rename field.
    bool isEditingTitle() const;
    MarkdownEditor *editor() const;
    EditorSearchBar *searchBar() const;

Q_SIGNALS:
    /// Every user edit (the owner marks the document modified); the text is read on demand.
    void textChanged();
    /// The text after debounceInterval without further edits (the preview follows this).
    void debouncedTextChanged(const QString &text);
    void saveRequested();
    void showMarkdownPreviewToggled(bool shown);
    /// The page left the screen.
    void disappeared();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

/// The rules of the title line, apart from the widgets.
namespace MemoTitle {

/// A file directly inside a folder named exactly "Daily" is a daily memo, named by its date.
bool isDailyMemo(const QString &filePath);
/// "ファイル未選択" without a file, otherwise the file name without its extension; a daily memo
/// whose date is a holiday gets a space and the holiday's name after the date.
QString text(const QString &filePath, const MemoEditorView::HolidayNameProvider &holidayName);
/// The title's help text: how to rename, why a daily memo cannot be renamed, or nothing.
QString helpText(const QString &filePath, bool canRename);

} // namespace MemoTitle

/// The colours of status messages on a palette.
namespace MessageColors {

/// The error colour (`failure`) or the success colour, readable on the palette's window.
QColor color(bool failure, const QPalette &palette);

} // namespace MessageColors
