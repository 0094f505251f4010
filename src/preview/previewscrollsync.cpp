#include "preview/previewscrollsync.h"

#include "preview/markdownblocks.h"
#include <QTimer>

PreviewScrollSync::PreviewScrollSync(QObject *parent) : QObject(parent)
{
    m_suppression.setSingleShot(true);
    m_suppression.setInterval(suppressionMs);
    connect(&m_suppression, &QTimer::timeout, this, [this] { m_ignoreOffsets = false; });
}

void PreviewScrollSync::editorScrolled(double offset)
{
    m_offset = offset;
    if (m_visible)
        followEditor();
}

void PreviewScrollSync::requestLine(qint64 lineIndex)
{
    m_pending = lineIndex;
    if (m_visible)
        followCommand();
}

void PreviewScrollSync::documentChanged()
{
    m_lastSynced = -1;
    m_ignoreOffsets = false;
    m_suppression.stop();
    // A command rather than a plain scroll, so a hidden preview starts at the top too, once it
    // is shown.
    QTimer::singleShot(0, this, [this] { requestLine(0); });
}

void PreviewScrollSync::setPreviewVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    if (!visible)
        return;
    if (m_pending)
        followCommand();
    else
        followEditor();
}

void PreviewScrollSync::followEditor()
{
    if (m_ignoreOffsets)
        return;
    const qint64 line = MarkdownBlocks::lineIndexForScrollOffset(m_offset, m_fontSize, m_lineCount);
    if (line == m_lastSynced)
        return;
    m_lastSynced = line;
    Q_EMIT scrollRequested(line);
}

void PreviewScrollSync::followCommand()
{
    if (!m_pending)
        return;
    const qint64 line = *std::exchange(m_pending, std::nullopt);
    m_ignoreOffsets = true;
    m_lastSynced = line;
    Q_EMIT scrollRequested(line);
    m_suppression.start();
}
