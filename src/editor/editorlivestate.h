#pragma once

#include "platform/editorcommands.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>

/// Where the caret is, for the status bar. Lengths and columns are in UTF-16 units.
struct EditorCursorInfo
{
    qint64 line = 1;            ///< 1-based line of the caret
    qint64 column = 1;          ///< 1-based column of the caret
    qint64 selectionLength = 0; ///< length of the selection
    qint64 totalLength = 0;     ///< length of the whole text
    bool operator==(const EditorCursorInfo &) const = default;
};

/// A one-shot request to show a 0-based body line at the top of the editor.
struct EditorScrollCommand
{
    qint64 lineIndex = 0;
    QUuid token = QUuid::createUuid();
};

/// A one-shot request to step to the next or previous in-editor search match.
struct SearchCommand
{
    SearchDirection direction = SearchDirection::next;
    QUuid token = QUuid::createUuid();
};

/// The editor's live state, shared by the editor, the preview pane and the status bar of one
/// window. scrollOffset is the top visible line times fontSize × 1.5 (not pixels); the preview
/// divides it back into a line. Observers hear about real changes only.
class EditorLiveState : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    double scrollOffset() const { return m_scrollOffset; }
    void setScrollOffset(double offset);

    const EditorCursorInfo &cursorInfo() const { return m_cursorInfo; }
    void setCursorInfo(const EditorCursorInfo &info);

    /// Hands out the editor's whole text; called only when someone reads the text, so typing
    /// costs nothing per keystroke.
    using TextProvider = std::function<QString()>;

    /// The editor's text, read from the editor itself (which holds the one copy of it); empty
    /// when no editor is attached.
    QString latestText() const;

    /// The editor that owns the text from now on (`owner` only identifies it).
    void setTextSource(const QObject *owner, TextProvider provider);
    /// The owner goes away: nothing is read from it any more.
    void releaseTextSource(const QObject *owner);
    /// The source's text changed (cheap: nothing is read).
    void markTextChanged();
    /// Goes up with every change of the text, so a reader can tell whether the text is still
    /// the one it saw without comparing it.
    quint64 textRevision() const { return m_textRevision; }

Q_SIGNALS:
    void scrollOffsetChanged(double offset);
    void cursorInfoChanged(const EditorCursorInfo &info);

private:
    double m_scrollOffset = 0;
    EditorCursorInfo m_cursorInfo;
    quint64 m_textRevision = 0;
    const QObject *m_textOwner = nullptr;
    TextProvider m_textProvider;
};
