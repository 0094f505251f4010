#pragma once

#include "platform/editorcommands.h"

#include <QObject>
#include <QString>
#include <QUuid>

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

    /// The editor's newest text; changes without a signal (read on demand).
    const QString &latestText() const { return m_latestText; }
    void setLatestText(const QString &text) { m_latestText = text; }

Q_SIGNALS:
    void scrollOffsetChanged(double offset);
    void cursorInfoChanged(const EditorCursorInfo &info);

private:
    double m_scrollOffset = 0;
    EditorCursorInfo m_cursorInfo;
    QString m_latestText;
};
