#include "editor/maceditorview.h"

#include "editor/dayleaftextview.h"
#include "editor/listlineparser.h"
#include "editor/markdowndecoration.h"
#include "editor/textsearch.h"
#include "platform/mainqueue.h"
#include "platform/notificationcenter.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <optional>
#include <utility>

namespace {

constexpr int writeBackDelayMs = 300;
constexpr int highlightRefreshDelayMs = 250;
constexpr int programmaticScrollSettleMs = 250;
constexpr int defaultFontSize = 14;

const QColor &allMatchesColor()
{
    static const QColor color = QColor::fromRgbF(1.0f, 0.8f, 0.0f, 0.38f);
    return color;
}

const QColor &currentMatchColor()
{
    static const QColor color = QColor::fromRgbF(1.0f, 0.8f, 0.0f, 0.72f);
    return color;
}

// Sets a flag for the length of a scope, so re-entrant signals can tell our edits from the
// user's.
class FlagScope
{
public:
    explicit FlagScope(bool &flag) : m_flag(flag), m_previous(flag) { m_flag = true; }
    ~FlagScope() { m_flag = m_previous; }
    FlagScope(const FlagScope &) = delete;
    FlagScope &operator=(const FlagScope &) = delete;

private:
    bool &m_flag;
    bool m_previous;
};

QTextCursor rangeCursor(QTextDocument *document, qsizetype start, qsizetype length)
{
    QTextCursor cursor(document);
    cursor.setPosition(int(start));
    cursor.setPosition(int(start + length), QTextCursor::KeepAnchor);
    return cursor;
}

// The part of `before` that `after` changes, kept clear of the middle of surrogate pairs.
TextReplacement differingRange(const QString &before, const QString &after)
{
    const qsizetype common = std::min(before.size(), after.size());
    qsizetype prefix = 0;
    while (prefix < common && before[prefix] == after[prefix])
        ++prefix;
    if (prefix > 0 && before[prefix - 1].isHighSurrogate())
        --prefix;
    qsizetype suffix = 0;
    while (suffix < common - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    if (suffix > 0 && before[before.size() - suffix].isLowSurrogate())
        --suffix;
    const qsizetype replaced = before.size() - prefix - suffix;
    return {prefix, replaced, after.sliced(prefix, after.size() - prefix - suffix), 0, 0};
}

} // namespace

class MacEditorView::Private
{
public:
    Private(MacEditorView *view, EditorLiveState &liveState);

    void connectTextView();
    void connectNotifications();

    const QString &screenText();
    bool isFirstResponder() const;
    bool userIsEditing() const;
    void applyEditable();

    void replaceText(const QString &newText, bool newFile);
    void replaceSameFileText(const QString &newText);
    void dropComposition();
    void refreshHighlightsAfterExternalText(const QString &newText);

    void userEdited();
    void editingEnded();
    void writeBack();
    void updateCursorInfo();
    void publishScrollOffset();
    void finishProgrammaticScroll();
    void applyDecoration(MarkdownDecoration decoration);

    void computeHighlights(bool selectFirst);
    void showHighlights(const QList<TextSearch::Match> &matches, int current);
    void clearHighlights();
    void moveCaretTo(qsizetype position);
    void setSearchState(int count, int index);

    MacEditorView *q;
    EditorLiveState &live;
    DayleafTextView *textView;

    // The owner's side of the document, as of the last update pass or write-back.
    QString text;
    QString currentFileURL;
    bool documentReadOnly = false;
    int fontSize = defaultFontSize;

    QString searchQuery;
    QString lastSearchText;
    QString lastText;
    int resultCount = 0;
    int currentIndex = 0;
    QUuid lastSearchToken;

    QString lastFileURL;
    int lastExternalTextSyncToken = 0;
    bool isUserEditing = false;
    bool isProgrammaticUpdate = false;
    bool isProgrammaticScroll = false;
    qint64 scrolledLine = 0;

    CursorLineCounter lineCounter;
    std::optional<EditorCursorInfo> pendingCursorInfo;
    QString cachedText;
    bool cachedTextStale = true;
    QString reportedText; ///< the screen text as last reported through textEdited

    QTimer writeBackTimer;
    QTimer highlightTimer;
    QTimer programmaticScrollTimer;
};

MacEditorView::Private::Private(MacEditorView *view, EditorLiveState &liveState)
    : q(view), live(liveState), textView(new DayleafTextView(view))
{
    for (auto [timer, delay] : {std::pair{&writeBackTimer, writeBackDelayMs},
                                {&highlightTimer, highlightRefreshDelayMs},
                                {&programmaticScrollTimer, programmaticScrollSettleMs}}) {
        timer->setSingleShot(true);
        timer->setInterval(delay);
    }
    QObject::connect(&writeBackTimer, &QTimer::timeout, q, [this] { writeBack(); });
    QObject::connect(&highlightTimer, &QTimer::timeout, q, [this] { computeHighlights(false); });
    QObject::connect(&programmaticScrollTimer, &QTimer::timeout, q,
                     [this] { finishProgrammaticScroll(); });
    connectTextView();
    connectNotifications();
}

void MacEditorView::Private::connectTextView()
{
    QTextDocument *document = textView->document();
    QObject::connect(document, &QTextDocument::contentsChange, q,
                     [this](int position, int removed, int added) {
                         cachedTextStale = true;
                         if (removed != 0 || added != 0)
                             lineCounter.noteEdit(position);
                     });
    QObject::connect(textView, &QPlainTextEdit::textChanged, q, [this] {
        if (!isProgrammaticUpdate && !textView->hasMarkedText())
            userEdited();
    });
    QObject::connect(textView, &QPlainTextEdit::cursorPositionChanged, q,
                     [this] { updateCursorInfo(); });
    QObject::connect(textView, &QPlainTextEdit::selectionChanged, q,
                     [this] { updateCursorInfo(); });
    QObject::connect(textView, &DayleafTextView::editingEnded, q, [this] { editingEnded(); });
    // The text view scrolls itself to the caret with the scroll bar's signals blocked; every
    // scroll still asks for a repaint.
    QObject::connect(textView->verticalScrollBar(), &QScrollBar::valueChanged, q,
                     [this] { publishScrollOffset(); });
    QObject::connect(textView, &QPlainTextEdit::updateRequest, q,
                     [this] { publishScrollOffset(); });
}

void MacEditorView::Private::connectNotifications()
{
    NotificationCenter &center = NotificationCenter::defaultCenter();
    QObject::connect(&center, &NotificationCenter::focusEditor, q, [this] { q->focusEditor(); });
    QObject::connect(&center, &NotificationCenter::editorApplyDecoration, q,
                     [this](MarkdownDecoration decoration) { applyDecoration(decoration); });
}

const QString &MacEditorView::Private::screenText()
{
    if (cachedTextStale) {
        cachedText = textView->plainText();
        cachedTextStale = false;
    }
    return cachedText;
}

// The window's focus widget, even while the window itself is in the background.
bool MacEditorView::Private::isFirstResponder() const
{
    return textView->window()->focusWidget() == textView;
}

bool MacEditorView::Private::userIsEditing() const
{
    return isUserEditing || isFirstResponder() || textView->hasMarkedText();
}

void MacEditorView::Private::applyEditable()
{
    const bool editable = !currentFileURL.isEmpty() && !documentReadOnly;
    if (textView->isReadOnly() == !editable)
        return;
    textView->setReadOnly(!editable);
    if (!editable)
        textView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void MacEditorView::Private::replaceText(const QString &newText, bool newFile)
{
    const QTextCursor old = textView->textCursor();
    const qsizetype oldStart = old.selectionStart();
    const qsizetype oldLength = old.selectionEnd() - oldStart;
    {
        FlagScope programmatic(isProgrammaticUpdate);
        dropComposition();
        if (newFile) {
            textView->document()->setPlainText(newText);
            textView->document()->clearUndoRedoStacks();
            textView->document()->setModified(false);
        } else {
            replaceSameFileText(newText);
        }
    }
    reportedText = screenText();
    live.setLatestText(newText);

    if (newFile) {
        moveCaretTo(0);
        textView->verticalScrollBar()->setValue(0);
        MainQueue::async(q, [this] { live.setScrollOffset(0); });
    } else {
        const qsizetype length = screenText().size();
        const qsizetype start = std::min(oldStart, length);
        const qsizetype selected = std::min(length - start, oldLength);
        const int top = textView->verticalScrollBar()->value();
        textView->setTextCursor(rangeCursor(textView->document(), start, selected));
        textView->verticalScrollBar()->setValue(top);
    }
    refreshHighlightsAfterExternalText(newText);
    updateCursorInfo();
}

// Only the part that differs is replaced, as one undoable step: the view keeps its scroll
// position, and undo after a reload returns to what was on screen before it.
void MacEditorView::Private::replaceSameFileText(const QString &newText)
{
    const TextReplacement change = differingRange(screenText(), newText);
    QTextCursor edit = rangeCursor(textView->document(), change.start, change.length);
    edit.beginEditBlock();
    if (change.text.isEmpty())
        edit.removeSelectedText();
    else
        edit.insertText(change.text);
    edit.endEditBlock();
}

// A composition typed into the text being replaced is dropped rather than committed into the
// new text.
void MacEditorView::Private::dropComposition()
{
    if (!textView->hasMarkedText())
        return;
    if (textView->hasFocus())
        QGuiApplication::inputMethod()->reset();
    QInputMethodEvent clear;
    QCoreApplication::sendEvent(textView, &clear);
}

void MacEditorView::Private::refreshHighlightsAfterExternalText(const QString &newText)
{
    if (newText == lastText)
        return;
    lastText = newText;
    // While the user types, the current match stays where it was instead of pulling the caret.
    computeHighlights(!isUserEditing);
}

void MacEditorView::Private::userEdited()
{
    // The text view also announces changes that leave the text as it was (an input method
    // cancelling its composition); those are no edit.
    const QString now = screenText();
    if (now == reportedText)
        return;
    reportedText = now;
    // Edits can arrive without the keyboard focus (a drop); only typing in the focused view
    // holds back text from the owner.
    if (isFirstResponder())
        isUserEditing = true;
    live.setLatestText(now);
    Q_EMIT q->textEdited(now);
    updateCursorInfo();
    if (!searchQuery.isEmpty())
        highlightTimer.start();
    writeBackTimer.start();
}

void MacEditorView::Private::editingEnded()
{
    isUserEditing = false;
    q->writeBackNow();
    lastSearchText = searchQuery;
    computeHighlights(false);
}

void MacEditorView::Private::writeBack()
{
    const QString now = screenText();
    live.setLatestText(now);
    if (text == now)
        return;
    text = now;
    Q_EMIT q->textWrittenBack(now);
}

// Published on the next turn of the event loop, once per burst of caret moves.
void MacEditorView::Private::updateCursorInfo()
{
    const QTextCursor cursor = textView->textCursor();
    const EditorCursorInfo info = lineCounter.update(
        screenText(), cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart());
    if (!pendingCursorInfo && info == live.cursorInfo())
        return;
    const bool scheduled = pendingCursorInfo.has_value();
    pendingCursorInfo = info;
    if (scheduled)
        return;
    MainQueue::async(q, [this] {
        const EditorCursorInfo latest = *pendingCursorInfo;
        pendingCursorInfo.reset();
        live.setCursorInfo(latest);
    });
}

void MacEditorView::Private::publishScrollOffset()
{
    if (isProgrammaticScroll)
        return;
    const double offset = fontSize * 1.5 * textView->topVisibleLine();
    if (std::abs(offset - live.scrollOffset()) > 0.5)
        live.setScrollOffset(offset);
}

void MacEditorView::Private::finishProgrammaticScroll()
{
    isProgrammaticScroll = false;
    const double offset = fontSize * 1.5 * double(scrolledLine);
    if (std::abs(offset - live.scrollOffset()) > 0.5)
        live.setScrollOffset(offset);
}

void MacEditorView::Private::applyDecoration(MarkdownDecoration decoration)
{
    // Only the text the user is typing in: with two editors open, the other one stays as is.
    if (!textView->hasFocus() || textView->isReadOnly() || textView->hasMarkedText())
        return;
    const QTextCursor cursor = textView->textCursor();
    const qsizetype start = cursor.selectionStart();
    QString selected = cursor.selectedText();
    selected.replace(QChar::ParagraphSeparator, u'\n');
    const MarkdownDecorations::Result result =
        MarkdownDecorations::apply(decoration, selected, start);
    textView->applyReplacement({start, cursor.selectionEnd() - start, result.replacement,
                                result.selectionStart, result.selectionLength});
}

void MacEditorView::Private::computeHighlights(bool selectFirst)
{
    // Without a query only the highlights go; the selection is the user's, since a search
    // leaves nothing selected.
    if (searchQuery.isEmpty()) {
        clearHighlights();
        setSearchState(0, 0);
        return;
    }
    const QList<TextSearch::Match> matches = TextSearch::findMatches(screenText(), searchQuery);
    if (matches.isEmpty()) {
        clearHighlights();
        setSearchState(0, currentIndex);
        return;
    }
    const int count = int(matches.size());
    const int index = selectFirst ? 0 : TextSearch::clampedIndex(currentIndex, count);
    setSearchState(count, index);
    showHighlights(matches, index);
    if (selectFirst)
        moveCaretTo(matches[index].start);
}

void MacEditorView::Private::showHighlights(const QList<TextSearch::Match> &matches, int current)
{
    QList<QTextEdit::ExtraSelection> selections;
    selections.reserve(matches.size());
    for (qsizetype i = 0; i < matches.size(); ++i) {
        QTextEdit::ExtraSelection selection;
        selection.cursor = rangeCursor(textView->document(), matches[i].start, matches[i].length);
        selection.format.setBackground(i == current ? currentMatchColor() : allMatchesColor());
        selections.append(selection);
    }
    textView->setExtraSelections(selections);
}

void MacEditorView::Private::clearHighlights()
{
    if (!textView->extraSelections().isEmpty())
        textView->setExtraSelections({});
}

void MacEditorView::Private::moveCaretTo(qsizetype position)
{
    textView->setTextCursor(rangeCursor(textView->document(), position, 0));
}

void MacEditorView::Private::setSearchState(int count, int index)
{
    if (count == resultCount && index == currentIndex)
        return;
    resultCount = count;
    currentIndex = index;
    Q_EMIT q->searchStateChanged(resultCount, currentIndex);
}

MacEditorView::MacEditorView(EditorLiveState &live, QWidget *parent)
    : QWidget(parent), d(std::make_unique<Private>(this, live))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(d->textView);
    setFocusProxy(d->textView);
    d->applyEditable();
}

MacEditorView::~MacEditorView()
{
    // The text view goes first, while everything its last signals reach still exists.
    delete std::exchange(d->textView, nullptr);
}

void MacEditorView::updateDocument(const QString &text, const QString &currentFileURL,
                                   int externalTextSyncToken)
{
    d->text = text;
    d->currentFileURL = currentFileURL;
    d->applyEditable();

    const bool fileChanged = d->lastFileURL != currentFileURL;
    if (fileChanged) {
        d->lastFileURL = currentFileURL;
        d->isUserEditing = false;
        d->lastExternalTextSyncToken = externalTextSyncToken;
        d->lineCounter.reset();
        // A write-back still due belongs to the file that was shown; it must not land on this one.
        d->writeBackTimer.stop();
    }
    const bool tokenChanged = d->lastExternalTextSyncToken != externalTextSyncToken;
    d->lastExternalTextSyncToken = externalTextSyncToken;

    // Another file starts afresh even when its text happens to be the same: the undo steps of
    // the previous file must not replay into this one.
    if (fileChanged)
        d->replaceText(text, true);
    else if (d->screenText() != text && (tokenChanged || !d->userIsEditing()))
        d->replaceText(text, false);
}

const QString &MacEditorView::text() const
{
    return d->text;
}

void MacEditorView::writeBackNow()
{
    d->writeBackTimer.stop();
    d->writeBack();
}

void MacEditorView::setFontSize(int pointSize)
{
    if (pointSize == d->fontSize && d->textView->fontSize() == pointSize)
        return;
    d->fontSize = pointSize;
    d->textView->setFontSize(pointSize);
    if (!d->searchQuery.isEmpty())
        d->computeHighlights(false);
}

int MacEditorView::fontSize() const
{
    return d->fontSize;
}

void MacEditorView::setDocumentReadOnly(bool readOnly)
{
    d->documentReadOnly = readOnly;
    d->applyEditable();
}

void MacEditorView::setSearchQuery(const QString &query)
{
    d->searchQuery = query;
    if (query == d->lastSearchText)
        return;
    d->lastSearchText = query;
    d->computeHighlights(true);
}

const QString &MacEditorView::searchQuery() const
{
    return d->searchQuery;
}

void MacEditorView::runSearchCommand(const SearchCommand &command)
{
    if (command.token == d->lastSearchToken || d->searchQuery.isEmpty())
        return;
    d->lastSearchToken = command.token;
    const QList<TextSearch::Match> matches =
        TextSearch::findMatches(d->screenText(), d->searchQuery);
    if (matches.isEmpty()) {
        d->clearHighlights();
        d->setSearchState(0, 0);
        return;
    }
    const int count = int(matches.size());
    const int index = TextSearch::steppedIndex(d->currentIndex, count, command.direction);
    d->setSearchState(count, index);
    d->showHighlights(matches, index);
    d->moveCaretTo(matches[index].start);
}

int MacEditorView::searchResultCount() const
{
    return d->resultCount;
}

int MacEditorView::currentSearchIndex() const
{
    return d->currentIndex;
}

void MacEditorView::setCurrentSearchIndex(int index)
{
    d->setSearchState(d->resultCount, index);
}

void MacEditorView::scrollToLine(qint64 lineIndex)
{
    const QString &text = d->screenText();
    if (text.isEmpty())
        return;
    QTextDocument *document = d->textView->document();
    const qint64 lastBlock = document->blockCount() - 1;
    const int number = int(std::clamp<qint64>(lineIndex, 0, lastBlock));
    // Past the end, or on the empty line after a final line feed: the last line with text.
    const qsizetype position =
        std::min<qsizetype>(document->findBlockByNumber(number).position(), text.size() - 1);
    const QTextBlock block = document->findBlock(int(position));

    d->isProgrammaticScroll = true;
    d->scrolledLine = std::max<qint64>(lineIndex, 0);
    d->textView->setFocus(Qt::OtherFocusReason);
    d->moveCaretTo(block.position());
    d->textView->verticalScrollBar()->setValue(block.firstLineNumber());
    d->updateCursorInfo();
    d->programmaticScrollTimer.start();
}

void MacEditorView::focusEditor()
{
    d->textView->setFocus(Qt::OtherFocusReason);
}

DayleafTextView *MacEditorView::textView() const
{
    return d->textView;
}
