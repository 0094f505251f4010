#include "editor/markdowneditor.h"

#include "editor/listlineparser.h"
#include "editor/markdowndecoration.h"
#include "editor/notetextedit.h"
#include "editor/textedits.h"
#include "editor/textsearch.h"
#include "platform/appevents.h"
#include "platform/textcontrast.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace {

constexpr int highlightRefreshDelayMs = 250;
constexpr int programmaticScrollSettleMs = 250;
constexpr int defaultFontSize = 14;
// Matches this many characters beyond a screenful either side of the screen are highlighted
// too, so a short scroll shows them at once.
constexpr qsizetype visibleMatchMargin = 2000;

/// A match of the in-document search: yellow laid over the editor's background, stronger for
/// the current match, with the text in a colour that reads on it: the editor's own, or black or
/// white where it does not (black on the bright yellow of the dark appearance's current match).
QTextCharFormat matchFormat(bool current, const QPalette &palette)
{
    const QColor yellow = QColor::fromRgbF(1.0f, 0.8f, 0.0f);
    const QColor fill =
        TextContrast::mixed(yellow, palette.color(QPalette::Base), current ? 0.72f : 0.38f);
    QColor text = palette.color(QPalette::Text);
    if (TextContrast::contrastRatio(text, fill) < TextContrast::minimumTextContrast)
        text = TextContrast::contrastRatio(Qt::black, fill) >=
                       TextContrast::contrastRatio(Qt::white, fill)
                   ? QColor(Qt::black)
                   : QColor(Qt::white);
    QTextCharFormat format;
    format.setBackground(fill);
    format.setForeground(text);
    return format;
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

} // namespace

class MarkdownEditor::Private
{
public:
    Private(MarkdownEditor *view, EditorLiveState &liveState);

    void connectTextEdit();
    void connectNotifications();

    const QString &screenText();
    void applyEditable();

    void loadNewText(const QString &newText);
    void replaceSameDocumentText(const QString &newText);
    void dropComposition();

    void userEdited();
    void editingEnded();
    void updateCursorInfo();
    void publishScrollOffset();
    void finishProgrammaticScroll();
    void applyDecoration(MarkdownDecoration decoration);

    const QList<TextSearch::Match> &currentMatches();
    void computeHighlights(bool selectFirst);
    void showHighlights();
    void clearHighlights();
    void moveCaretTo(qsizetype position);
    void setSearchState(int count, int index);

    MarkdownEditor *q;
    EditorLiveState &live;
    // The owner may destroy the live state before this view (it is often a member next to the
    // widget tree).
    QPointer<EditorLiveState> liveGuard;
    NoteTextEdit *textEdit;

    bool documentOpen = false;
    bool documentReadOnly = false;
    int fontSize = defaultFontSize;

    QString searchQuery;
    QString lastSearchText;
    int resultCount = 0;
    int currentIndex = 0;
    QUuid lastSearchToken;

    bool isProgrammaticUpdate = false;
    bool isProgrammaticScroll = false;
    qint64 scrolledLine = 0;
    int publishedTopLine = -1; ///< the top line last published from the view itself

    std::optional<EditorCursorInfo> pendingCursorInfo;
    QString cachedText;
    bool cachedTextStale = true;
    /// The document changed since the last textEdited (an input method merely showing its
    /// composition changes nothing).
    bool editPending = false;

    // Every match of the query in the screen text; only those near the screen are highlighted.
    QList<TextSearch::Match> matches;
    QString matchesQuery;
    bool matchesStale = true;
    qsizetype shownFirst = -1; ///< the highlighted matches: [shownFirst, shownEnd)
    qsizetype shownEnd = -1;
    int shownCurrent = -1;
    bool isShowingHighlights = false;

    QTimer highlightTimer;
    QTimer programmaticScrollTimer;
};

MarkdownEditor::Private::Private(MarkdownEditor *view, EditorLiveState &liveState)
    : q(view), live(liveState), liveGuard(&liveState), textEdit(new NoteTextEdit(view))
{
    for (auto [timer, delay] : {std::pair{&highlightTimer, highlightRefreshDelayMs},
                                {&programmaticScrollTimer, programmaticScrollSettleMs}}) {
        timer->setSingleShot(true);
        timer->setInterval(delay);
    }
    QObject::connect(&highlightTimer, &QTimer::timeout, q, [this] { computeHighlights(false); });
    QObject::connect(&programmaticScrollTimer, &QTimer::timeout, q,
                     [this] { finishProgrammaticScroll(); });
    connectTextEdit();
    connectNotifications();
    live.setTextSource(q, [this] { return screenText(); });
}

void MarkdownEditor::Private::connectTextEdit()
{
    QTextDocument *document = textEdit->document();
    QObject::connect(document, &QTextDocument::contentsChange, q, [this] {
        // An input method showing another composition only repaints; the text stays.
        if (textEdit->isRefreshingComposition())
            return;
        cachedTextStale = true;
        matchesStale = true;
        live.markTextChanged();
        if (!isProgrammaticUpdate)
            editPending = true;
    });
    QObject::connect(textEdit, &QPlainTextEdit::textChanged, q, [this] {
        if (editPending && !isProgrammaticUpdate && !textEdit->isComposing())
            userEdited();
    });
    QObject::connect(textEdit, &QPlainTextEdit::cursorPositionChanged, q,
                     [this] { updateCursorInfo(); });
    QObject::connect(textEdit, &QPlainTextEdit::selectionChanged, q,
                     [this] { updateCursorInfo(); });
    QObject::connect(textEdit, &NoteTextEdit::editingEnded, q, [this] { editingEnded(); });
    QObject::connect(textEdit, &NoteTextEdit::visibleAreaChanged, q, [this] { showHighlights(); });
    // The text edit scrolls itself to the caret with the scroll bar's signals blocked; every
    // scroll still asks for a repaint.
    QObject::connect(textEdit->verticalScrollBar(), &QScrollBar::valueChanged, q,
                     [this] { publishScrollOffset(); });
    QObject::connect(textEdit, &QPlainTextEdit::updateRequest, q,
                     [this] { publishScrollOffset(); });
}

void MarkdownEditor::Private::connectNotifications()
{
    AppEvents &center = AppEvents::instance();
    QObject::connect(&center, &AppEvents::focusEditor, q, [this] { q->focusEditor(); });
}

const QString &MarkdownEditor::Private::screenText()
{
    if (cachedTextStale) {
        cachedText = textEdit->plainText();
        cachedTextStale = false;
    }
    return cachedText;
}

void MarkdownEditor::Private::applyEditable()
{
    const bool editable = documentOpen && !documentReadOnly;
    if (textEdit->isReadOnly() == !editable)
        return;
    textEdit->setReadOnly(!editable);
    if (!editable)
        textEdit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void MarkdownEditor::Private::loadNewText(const QString &newText)
{
    {
        FlagScope programmatic(isProgrammaticUpdate);
        dropComposition();
        textEdit->document()->setPlainText(EditorText::shown(newText));
        textEdit->document()->clearUndoRedoStacks();
        textEdit->document()->setModified(false);
    }
    // Edits typed into a composition that was just dropped belong to the document that left.
    editPending = false;
    highlightTimer.stop();
    moveCaretTo(0);
    textEdit->verticalScrollBar()->setValue(0);
    QTimer::singleShot(0, q, [this] { live.setScrollOffset(0); });
    computeHighlights(true);
    updateCursorInfo();
}

// Only what differs is replaced, as one undoable step, so the view keeps its place and undo
// returns to what was on screen before. The caret is put back on the text it was on, also when
// the other program's changes lie both above and below it.
void MarkdownEditor::Private::replaceSameDocumentText(const QString &newText)
{
    const QString &before = screenText();
    if (before == newText)
        return;
    const QTextCursor old = textEdit->textCursor();
    const TextReplacement change = TextEdits::differingRange(before, newText);
    const qsizetype caret = TextEdits::mapPosition(before, newText, change, old.position());
    // A selection survives only when both of its ends lie outside the change.
    const qsizetype anchor = TextEdits::mapPosition(before, newText, change, old.anchor());
    const bool keepSelection =
        old.hasSelection() &&
        (std::max(old.anchor(), old.position()) <= change.start ||
         std::min(old.anchor(), old.position()) >= change.start + change.length);
    const int top = textEdit->verticalScrollBar()->value();
    {
        FlagScope programmatic(isProgrammaticUpdate);
        dropComposition();
        QTextCursor edit = rangeCursor(textEdit->document(), change.start, change.length);
        edit.beginEditBlock();
        if (change.text.isEmpty())
            edit.removeSelectedText();
        else
            edit.insertText(EditorText::shown(change.text));
        edit.endEditBlock();
    }
    QTextCursor placed(textEdit->document());
    placed.setPosition(int(keepSelection ? anchor : caret));
    placed.setPosition(int(caret), QTextCursor::KeepAnchor);
    textEdit->setTextCursor(placed);
    editPending = false;
    textEdit->verticalScrollBar()->setValue(top);
    computeHighlights(false);
    updateCursorInfo();
}

// A composition typed into the text being replaced is dropped rather than committed into the
// new text.
void MarkdownEditor::Private::dropComposition()
{
    if (!textEdit->isComposing())
        return;
    if (textEdit->hasFocus())
        QGuiApplication::inputMethod()->reset();
    QInputMethodEvent clear;
    QCoreApplication::sendEvent(textEdit, &clear);
}

// Runs per keystroke: nothing here may read the whole text.
void MarkdownEditor::Private::userEdited()
{
    editPending = false;
    Q_EMIT q->textEdited();
    updateCursorInfo();
    if (!searchQuery.isEmpty())
        highlightTimer.start();
}

void MarkdownEditor::Private::editingEnded()
{
    lastSearchText = searchQuery;
    computeHighlights(false);
}

// Published on the next turn of the event loop, once per burst of caret moves.
void MarkdownEditor::Private::updateCursorInfo()
{
    // Lines are blocks; finding one is logarithmic in the document's size.
    const QTextCursor cursor = textEdit->textCursor();
    const int start = cursor.selectionStart();
    const QTextBlock block = textEdit->document()->findBlock(start);
    const EditorCursorInfo info{block.blockNumber() + 1, start - block.position() + 1,
                                cursor.selectionEnd() - start,
                                textEdit->document()->characterCount() - 1};
    if (!pendingCursorInfo && info == live.cursorInfo())
        return;
    const bool scheduled = pendingCursorInfo.has_value();
    pendingCursorInfo = info;
    if (scheduled)
        return;
    QTimer::singleShot(0, q, [this] {
        const EditorCursorInfo latest = *pendingCursorInfo;
        pendingCursorInfo.reset();
        live.setCursorInfo(latest);
    });
}

void MarkdownEditor::Private::publishScrollOffset()
{
    if (isProgrammaticScroll)
        return;
    // Every repaint (a caret blink among them) comes through here: only a real move of the top
    // line is news. Otherwise a line asked for near the end, which the view cannot bring to
    // the top, would be taken back at the next blink.
    const int top = textEdit->topVisibleLine();
    if (top == publishedTopLine)
        return;
    publishedTopLine = top;
    const double offset = fontSize * 1.5 * top;
    if (std::abs(offset - live.scrollOffset()) > 0.5)
        live.setScrollOffset(offset);
}

void MarkdownEditor::Private::finishProgrammaticScroll()
{
    isProgrammaticScroll = false;
    publishedTopLine = textEdit->topVisibleLine();
    const double offset = fontSize * 1.5 * double(scrolledLine);
    if (std::abs(offset - live.scrollOffset()) > 0.5)
        live.setScrollOffset(offset);
}

void MarkdownEditor::Private::applyDecoration(MarkdownDecoration decoration)
{
    // Only the text the user is typing in: with two editors open, the other one stays as is.
    if (!textEdit->hasFocus() || textEdit->isReadOnly() || textEdit->isComposing())
        return;
    const QTextCursor cursor = textEdit->textCursor();
    const qsizetype start = cursor.selectionStart();
    QString selected = cursor.selectedText();
    selected.replace(QChar::ParagraphSeparator, u'\n');
    const MarkdownDecorations::Result result =
        MarkdownDecorations::apply(decoration, selected, start);
    textEdit->applyReplacement({start, cursor.selectionEnd() - start, result.replacement,
                                result.selectionStart, result.selectionLength});
}

// Found again only after the text or the query changed.
const QList<TextSearch::Match> &MarkdownEditor::Private::currentMatches()
{
    if (matchesStale || matchesQuery != searchQuery) {
        matches = TextSearch::findMatches(screenText(), searchQuery);
        matchesQuery = searchQuery;
        matchesStale = false;
        shownFirst = shownEnd = -1;
    }
    return matches;
}

void MarkdownEditor::Private::computeHighlights(bool selectFirst)
{
    // Without a query only the highlights go; the selection is the user's, since a search
    // leaves nothing selected.
    if (searchQuery.isEmpty()) {
        clearHighlights();
        setSearchState(0, 0);
        return;
    }
    const QList<TextSearch::Match> &found = currentMatches();
    if (found.isEmpty()) {
        clearHighlights();
        setSearchState(0, currentIndex);
        return;
    }
    const int count = int(found.size());
    const int index = selectFirst ? 0 : TextSearch::clampedIndex(currentIndex, count);
    setSearchState(count, index);
    if (selectFirst)
        moveCaretTo(found[index].start);
    showHighlights();
}

// Highlights only the matches on screen and a screenful either side: a common word in a big
// note has tens of thousands of matches, and every highlight costs on each edit and repaint.
// Scrolling brings the next ones in.
void MarkdownEditor::Private::showHighlights()
{
    // Matches found before the latest edit point at the wrong places; the highlights there
    // follow the edits until the matches are found again.
    if (isShowingHighlights || searchQuery.isEmpty() || matchesStale || matches.isEmpty())
        return;
    const auto [top, bottom] = textEdit->visibleRange();
    const qsizetype margin = bottom - top + visibleMatchMargin;
    const qsizetype from = top - margin;
    const qsizetype to = bottom + margin;
    const auto first = std::lower_bound(matches.cbegin(), matches.cend(), from,
                                        [](const TextSearch::Match &match, qsizetype at) {
                                            return match.start + match.length < at;
                                        });
    const auto end = std::upper_bound(
        first, matches.cend(), to,
        [](qsizetype at, const TextSearch::Match &match) { return at < match.start; });
    const qsizetype firstIndex = first - matches.cbegin();
    const qsizetype endIndex = end - matches.cbegin();
    if (firstIndex == shownFirst && endIndex == shownEnd && currentIndex == shownCurrent)
        return;
    shownFirst = firstIndex;
    shownEnd = endIndex;
    shownCurrent = currentIndex;

    QList<QTextEdit::ExtraSelection> selections;
    selections.reserve(endIndex - firstIndex);
    const QTextCharFormat other = matchFormat(false, textEdit->palette());
    const QTextCharFormat current = matchFormat(true, textEdit->palette());
    for (qsizetype i = firstIndex; i < endIndex; ++i) {
        QTextEdit::ExtraSelection selection;
        selection.cursor = rangeCursor(textEdit->document(), matches[i].start, matches[i].length);
        selection.format = i == currentIndex ? current : other;
        selections.append(selection);
    }
    // Setting them repaints, which reports the visible area again.
    FlagScope showing(isShowingHighlights);
    textEdit->setExtraSelections(selections);
}

void MarkdownEditor::Private::clearHighlights()
{
    shownFirst = shownEnd = -1;
    if (!textEdit->extraSelections().isEmpty())
        textEdit->setExtraSelections({});
}

void MarkdownEditor::Private::moveCaretTo(qsizetype position)
{
    textEdit->setTextCursor(rangeCursor(textEdit->document(), position, 0));
}

void MarkdownEditor::Private::setSearchState(int count, int index)
{
    if (count == resultCount && index == currentIndex)
        return;
    resultCount = count;
    currentIndex = index;
    Q_EMIT q->searchStateChanged(resultCount, currentIndex);
}

MarkdownEditor::MarkdownEditor(EditorLiveState &live, QWidget *parent)
    : QWidget(parent), d(std::make_unique<Private>(this, live))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(d->textEdit);
    d->applyEditable();
}

void MarkdownEditor::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        d->shownFirst = d->shownEnd = -1;
        d->showHighlights();
    }
}

MarkdownEditor::~MarkdownEditor()
{
    if (d->liveGuard)
        d->liveGuard->releaseTextSource(this);
    // The text edit goes first, while everything its last signals reach still exists.
    delete std::exchange(d->textEdit, nullptr);
}

void MarkdownEditor::loadText(const QString &text)
{
    d->loadNewText(text);
}

void MarkdownEditor::replaceText(const QString &text)
{
    d->replaceSameDocumentText(text);
}

QString MarkdownEditor::text() const
{
    return d->screenText();
}

void MarkdownEditor::setDocumentOpen(bool open)
{
    d->documentOpen = open;
    d->applyEditable();
}

void MarkdownEditor::setFontSize(int pointSize)
{
    if (pointSize == d->fontSize && d->textEdit->fontSize() == pointSize)
        return;
    d->fontSize = pointSize;
    d->textEdit->setFontSize(pointSize);
    if (!d->searchQuery.isEmpty())
        d->computeHighlights(false);
}

int MarkdownEditor::fontSize() const
{
    return d->fontSize;
}

void MarkdownEditor::setDocumentReadOnly(bool readOnly)
{
    d->documentReadOnly = readOnly;
    d->applyEditable();
}

void MarkdownEditor::setSearchQuery(const QString &query)
{
    d->searchQuery = query;
    if (query == d->lastSearchText)
        return;
    d->lastSearchText = query;
    d->computeHighlights(true);
}

const QString &MarkdownEditor::searchQuery() const
{
    return d->searchQuery;
}

void MarkdownEditor::runSearchCommand(const SearchCommand &command)
{
    if (command.token == d->lastSearchToken || d->searchQuery.isEmpty())
        return;
    d->lastSearchToken = command.token;
    const QList<TextSearch::Match> &matches = d->currentMatches();
    if (matches.isEmpty()) {
        d->clearHighlights();
        d->setSearchState(0, 0);
        return;
    }
    const int count = int(matches.size());
    const int index = TextSearch::steppedIndex(d->currentIndex, count, command.direction);
    d->setSearchState(count, index);
    d->moveCaretTo(matches[index].start);
    d->showHighlights();
}

int MarkdownEditor::searchResultCount() const
{
    return d->resultCount;
}

int MarkdownEditor::currentSearchIndex() const
{
    return d->currentIndex;
}

void MarkdownEditor::setCurrentSearchIndex(int index)
{
    d->setSearchState(d->resultCount, index);
}

void MarkdownEditor::scrollToLine(qint64 lineIndex)
{
    QTextDocument *document = d->textEdit->document();
    const qsizetype length = document->characterCount() - 1;
    if (length == 0)
        return;
    const qint64 lastBlock = document->blockCount() - 1;
    const int number = int(std::clamp<qint64>(lineIndex, 0, lastBlock));
    // Past the end, or on the empty line after a final line feed: the last line with text.
    const qsizetype position =
        std::min<qsizetype>(document->findBlockByNumber(number).position(), length - 1);
    const QTextBlock block = document->findBlock(int(position));

    d->isProgrammaticScroll = true;
    d->scrolledLine = std::max<qint64>(lineIndex, 0);
    d->textEdit->setFocus(Qt::OtherFocusReason);
    d->moveCaretTo(block.position());
    d->textEdit->verticalScrollBar()->setValue(block.firstLineNumber());
    d->updateCursorInfo();
    d->programmaticScrollTimer.start();
}

void MarkdownEditor::focusEditor()
{
    d->textEdit->setFocus(Qt::OtherFocusReason);
}

void MarkdownEditor::applyDecoration(MarkdownDecoration decoration)
{
    d->applyDecoration(decoration);
}

NoteTextEdit *MarkdownEditor::textEdit() const
{
    return d->textEdit;
}
