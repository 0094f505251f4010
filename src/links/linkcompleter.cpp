#include "links/linkcompleter.h"

#include "links/notelinks.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStringListModel>
#include <QTextBlock>

LinkCompleter::LinkCompleter(QPlainTextEdit *edit,
                             std::function<QList<QuickOpen::Candidate>()> files,
                             std::function<QStringList()> tags, QObject *parent)
    : QObject(parent), m_edit(edit), m_listFiles(std::move(files)), m_listTags(std::move(tags)),
      m_completer(new QCompleter(this)), m_model(new QStringListModel(this))
{
    m_completer->setModel(m_model);
    m_completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    m_completer->setWidget(edit);
    m_completer->popup()->setAccessibleName(QStringLiteral("リンク先の候補"));
    connect(m_completer, qOverload<const QString &>(&QCompleter::activated), this,
            &LinkCompleter::insert);
    connect(edit->document(), &QTextDocument::contentsChange, this,
            &LinkCompleter::contentsChanged);
    connect(edit, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (m_active && !m_inserting)
            update();
    });
    edit->installEventFilter(this);
    // Ahead of the completer's own filter, which lets the edit take Return first.
    m_completer->popup()->installEventFilter(this);
}

bool LinkCompleter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::InputMethod) {
        const auto *input = static_cast<QInputMethodEvent *>(event);
        m_composing = !input->preeditString().isEmpty();
        // Composition text is not the note's; the list waits for what is committed.
        if (m_composing)
            m_completer->popup()->hide();
    }
    if (watched == m_completer->popup() && event->type() == QEvent::KeyPress && !m_composing) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const QModelIndex current = m_completer->popup()->currentIndex();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab) &&
            current.isValid()) {
            insert(current.data().toString());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void LinkCompleter::contentsChanged(int position, int removed, int added)
{
    Q_UNUSED(removed);
    if (m_inserting || added <= 0 || !m_edit->hasFocus())
        return;
    // Once the edit has placed its caret: typing (or an input method committing) ends at the
    // caret; a load or a rewrite does not.
    QMetaObject::invokeMethod(
        this, [this, position, end = position + added] { typed(position, end); },
        Qt::QueuedConnection);
}

void LinkCompleter::typed(int start, int end)
{
    // The counts of a change include the input method's text it replaced, so the caret is
    // only required to lie within the change.
    const int caret = m_edit->textCursor().position();
    if (caret < start || caret > end || m_composing)
        return;
    if (!m_active) {
        const QTextCursor cursor = m_edit->textCursor();
        const QString line = cursor.block().text().first(cursor.positionInBlock());
        // Typing inside an unclosed "[[" (just typed, or come back to) lists the notes; typing
        // a tag, the tags.
        if (NoteLinks::completionStart(line) >= 0) {
            m_tag = false;
            m_files = m_listFiles ? m_listFiles() : QList<QuickOpen::Candidate>();
        } else if (m_listTags && NoteLinks::tagCompletionStart(line) >= 0) {
            m_tag = true;
            m_tags = m_listTags();
        } else {
            return;
        }
        m_active = true;
    }
    update();
}

void LinkCompleter::update()
{
    const QTextCursor cursor = m_edit->textCursor();
    const QString line = cursor.block().text().first(cursor.positionInBlock());
    const qsizetype start = startIn(line);
    if (start < 0) {
        hide();
        return;
    }
    if (m_composing)
        return;
    const QString typed = line.sliced(start);
    QStringList names;
    if (m_tag) {
        const QString folded = NoteLinks::fold(typed);
        for (const QString &tag : std::as_const(m_tags)) {
            if (names.size() < maxRows && NoteLinks::fold(tag).contains(folded))
                names.append(tag);
        }
    } else {
        for (const qsizetype index : QuickOpen::filteredFiles(m_files, typed)) {
            names.append(QFileInfo(m_files[index].fileName).completeBaseName());
            if (names.size() >= maxRows)
                break;
        }
    }
    names.removeDuplicates();
    m_model->setStringList(names);
    if (names.isEmpty()) {
        m_completer->popup()->hide();
        return;
    }
    QRect rect = m_edit->cursorRect();
    rect.setWidth(m_completer->popup()->sizeHintForColumn(0) +
                  m_completer->popup()->verticalScrollBar()->sizeHint().width());
    m_completer->complete(rect);
    m_completer->popup()->setCurrentIndex(m_model->index(0));
}

void LinkCompleter::insert(const QString &name)
{
    QTextCursor cursor = m_edit->textCursor();
    const QString line = cursor.block().text().first(cursor.positionInBlock());
    const qsizetype start = startIn(line);
    if (start < 0)
        return;
    m_inserting = true;
    cursor.beginEditBlock();
    cursor.setPosition(cursor.block().position() + int(start), QTextCursor::KeepAnchor);
    const bool closed = cursor.block().text().sliced(cursor.positionInBlock()).startsWith(u"]]");
    cursor.insertText(name);
    // A tag has no closing; a link gets its "]]" unless it is there already.
    if (!m_tag && !closed)
        cursor.insertText(QStringLiteral("]]"));
    else if (!m_tag)
        cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::MoveAnchor, 2);
    cursor.endEditBlock();
    m_edit->setTextCursor(cursor);
    m_inserting = false;
    hide();
}

qsizetype LinkCompleter::startIn(const QString &line) const
{
    return m_tag ? NoteLinks::tagCompletionStart(line) : NoteLinks::completionStart(line);
}

void LinkCompleter::hide()
{
    m_active = false;
    m_files.clear();
    m_tags.clear();
    m_completer->popup()->hide();
}
