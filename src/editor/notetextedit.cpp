#include "editor/notetextedit.h"

#include "editor/listlineparser.h"
#include "editor/textedits.h"
#include "platform/appevents.h"
#include "storage/settings.h"

#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextLayout>

namespace {

constexpr int defaultFontSize = 14;

bool isPlainReturn(const QKeyEvent *event)
{
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    return returnKey && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

bool isShiftReturn(const QKeyEvent *event)
{
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    return returnKey && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier;
}

bool isTab(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Tab && event->modifiers() == Qt::NoModifier;
}

bool isBacktab(const QKeyEvent *event)
{
    if (event->modifiers() & ~Qt::ShiftModifier)
        return false;
    return event->key() == Qt::Key_Backtab ||
           (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ShiftModifier);
}

bool isControlTab(const QKeyEvent *event)
{
    const bool tabKey = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    return tabKey && (event->modifiers() & ~Qt::ShiftModifier) == Qt::ControlModifier;
}

// The document keeps its lines as blocks; a block boundary is always a plain line feed here. The
// text stays in the document's form (see EditorText), for putting back into the document.
QString withLineFeeds(QString text)
{
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

} // namespace

NoteTextEdit::NoteTextEdit(QWidget *parent) : QPlainTextEdit(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setUndoRedoEnabled(true);
    setAccessibleName(QStringLiteral("本文"));
    setFontSize(defaultFontSize);
    refreshCursorWidth();

    connect(&Settings::instance(), &Settings::thickEditorCursorChanged, this,
            [this] { refreshCursorWidth(); });
}

QString NoteTextEdit::plainText() const
{
    return EditorText::stored(document()->toRawText());
}

void NoteTextEdit::setFontSize(int pointSize)
{
    QFont base = QGuiApplication::font();
    base.setPointSize(pointSize > 0 ? pointSize : defaultFontSize);
    if (font() != base)
        setFont(base);
}

int NoteTextEdit::fontSize() const
{
    return font().pointSize();
}

bool NoteTextEdit::isComposing() const
{
    const QTextLayout *layout = textCursor().block().layout();
    return layout && !layout->preeditAreaText().isEmpty();
}

int NoteTextEdit::topVisibleLine() const
{
    return firstVisibleBlock().blockNumber();
}

std::pair<qsizetype, qsizetype> NoteTextEdit::visibleRange() const
{
    const QRect area = viewport()->rect();
    return {cursorForPosition(area.topLeft()).position(),
            cursorForPosition(area.bottomRight()).position()};
}

void NoteTextEdit::applyReplacement(const TextReplacement &replacement)
{
    QTextCursor edit(document());
    edit.beginEditBlock();
    edit.setPosition(int(replacement.start));
    edit.setPosition(int(replacement.start + replacement.length), QTextCursor::KeepAnchor);
    if (replacement.text.isEmpty())
        edit.removeSelectedText();
    else
        edit.insertText(replacement.text);
    edit.endEditBlock();

    QTextCursor selection(document());
    selection.setPosition(int(replacement.selectionStart));
    selection.setPosition(int(replacement.selectionStart + replacement.selectionLength),
                          QTextCursor::KeepAnchor);
    setTextCursor(selection);
}

void NoteTextEdit::refreshCursorWidth()
{
    setCursorWidth(Settings::instance().thickEditorCursor() ? 2 : 1);
    viewport()->update();
}

void NoteTextEdit::keyPressEvent(QKeyEvent *event)
{
    if (isControlTab(event)) {
        // Tab indents lists here; Ctrl+Tab and Ctrl+Shift+Tab are the way out to the next and
        // the previous control. (QPlainTextEdit's own rule keeps the focus in editable text.)
        const bool next = event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier);
        QWidget::focusNextPrevChild(next);
        return;
    }
    if (handleFindKeys(event) || handleListKeys(event))
        return;
    if (isShiftReturn(event) && !isComposing()) {
        // Qt would insert a line separator (U+2028), which a markdown file does not know;
        // Shift+Return is a plain new line here, without continuing a list.
        QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier,
                        event->text(), event->isAutoRepeat(), ushort(event->count()));
        QPlainTextEdit::keyPressEvent(&plain);
        event->setAccepted(plain.isAccepted());
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void NoteTextEdit::inputMethodEvent(QInputMethodEvent *event)
{
    const bool changesText = !event->commitString().isEmpty() || event->replacementLength() != 0 ||
                             textCursor().hasSelection();
    const bool previous = std::exchange(m_refreshingComposition, !changesText);
    QPlainTextEdit::inputMethodEvent(event);
    m_refreshingComposition = previous;
}

void NoteTextEdit::scrollContentsBy(int dx, int dy)
{
    QPlainTextEdit::scrollContentsBy(dx, dy);
    Q_EMIT visibleAreaChanged();
}

void NoteTextEdit::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    Q_EMIT visibleAreaChanged();
}

bool NoteTextEdit::handleFindKeys(QKeyEvent *event)
{
    // Like the Find menu items, these only act while the text can be edited.
    if (isReadOnly())
        return false;
    AppEvents &center = AppEvents::instance();
    if (event->matches(QKeySequence::Find))
        center.postFocusEditorSearchBar();
    else if (event->matches(QKeySequence::FindNext))
        center.postEditorSearchNavigate(SearchDirection::next);
    else if (event->matches(QKeySequence::FindPrevious))
        center.postEditorSearchNavigate(SearchDirection::previous);
    else
        return false;
    event->accept();
    return true;
}

bool NoteTextEdit::handleListKeys(QKeyEvent *event)
{
    if (isReadOnly() || isComposing())
        return false;
    const bool isReturn = isPlainReturn(event);
    const bool indent = isTab(event);
    if (!isReturn && !indent && !isBacktab(event))
        return false;
    // Only the lines the selection touches matter, not the whole note.
    const QTextCursor cursor = textCursor();
    const QTextBlock first = document()->findBlock(cursor.selectionStart());
    const QTextBlock last = document()->findBlock(cursor.selectionEnd());
    QTextCursor linesCursor(document());
    linesCursor.setPosition(first.position());
    linesCursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
    const QString lines = withLineFeeds(linesCursor.selectedText());
    const qsizetype offset = first.position();
    const qsizetype start = cursor.selectionStart() - offset;
    const qsizetype length = cursor.selectionEnd() - cursor.selectionStart();
    const ListEditing::KeyOutcome outcome =
        isReturn ? ListEditing::returnKey(lines, start, length)
                 : ListEditing::indentKey(lines, start, length,
                                          indent ? ListEditing::IndentDirection::increase
                                                 : ListEditing::IndentDirection::decrease);
    if (!outcome.handled)
        return false;
    if (outcome.edit) {
        TextReplacement edit = *outcome.edit;
        edit.start += offset;
        edit.selectionStart += offset;
        applyReplacement(edit);
    }
    event->accept();
    return true;
}

void NoteTextEdit::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    // A context menu, the menu bar or a switch to another window is only a detour.
    const Qt::FocusReason reason = event->reason();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason &&
        reason != Qt::MenuBarFocusReason)
        Q_EMIT editingEnded();
}

bool NoteTextEdit::canInsertFromMimeData(const QMimeData *source) const
{
    if (m_pictureHandler.accepts && m_pictureHandler.accepts(source))
        return true;
    return QPlainTextEdit::canInsertFromMimeData(source);
}

void NoteTextEdit::insertFromMimeData(const QMimeData *source)
{
    if (!source || isReadOnly())
        return;
    if (m_pictureHandler.accepts && m_pictureHandler.accepts(source)) {
        const std::optional<QString> markdown = m_pictureHandler.store(source);
        if (!markdown || markdown->isEmpty())
            return;
        QTextCursor cursor = textCursor();
        cursor.insertText(*markdown);
        setTextCursor(cursor);
        ensureCursorVisible();
        return;
    }
    if (!source->hasText())
        return;
    QTextCursor cursor = textCursor();
    cursor.insertText(source->text());
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData *NoteTextEdit::createMimeDataFromSelection() const
{
    auto *data = new QMimeData;
    data->setText(EditorText::stored(textCursor().selectedText()));
    return data;
}
