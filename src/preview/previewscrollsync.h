#pragma once

#include <QObject>
#include <QTimer>

#include <optional>

/// Keeps the preview scrolled in step with the editor, by line. The editor's top line follows
/// into the preview; a command (a heading picked in the outline, a new document) puts its line
/// at the top and holds the editor's own offset changes off for 0.3 s, so the preview does not
/// jump back while the editor settles. While the preview is hidden nothing scrolls; when it is
/// shown again it obeys a waiting command, or else the editor.
class PreviewScrollSync : public QObject
{
    Q_OBJECT

public:
    static constexpr int suppressionMs = 300;

    explicit PreviewScrollSync(QObject *parent = nullptr);

    /// The editor's font size and the body's line count, to turn offsets into lines.
    void setFontSize(double fontSize) { m_fontSize = fontSize; }
    void setLineCount(qint64 lineCount) { m_lineCount = lineCount; }

    /// The editor's new scroll offset (top line × fontSize × 1.5).
    void editorScrolled(double offset);
    /// Asks the preview to show a line at the top, now or when it is next shown.
    void requestLine(qint64 lineIndex);
    /// A new document: the preview starts over at the top on the next turn of the event loop.
    void documentChanged();
    /// Whether the preview is on screen; becoming visible obeys a waiting command or the editor.
    void setPreviewVisible(bool visible);

Q_SIGNALS:
    /// The preview should show this body line at its top edge.
    void scrollRequested(qint64 lineIndex);

private:
    void followEditor();
    void followCommand();

    double m_fontSize = 14;
    qint64 m_lineCount = 0;
    double m_offset = 0;
    qint64 m_lastSynced = -1;
    bool m_ignoreOffsets = false;
    bool m_visible = false;
    std::optional<qint64> m_pending;
    QTimer m_suppression;
};
