#include "preview/markdownpreviewview.h"

#include "pictures/pictureloader.h"
#include "preview/previewaccessible.h"
#include "storage/pathmanager.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>

MarkdownPreviewView::MarkdownPreviewView(QWidget *parent) : QAbstractScrollArea(parent)
{
    installPreviewAccessibility();
    setViewport(new PreviewViewport(this));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);
    setAccessibleName(placeholderText);
    m_pictureLoader = new PictureLoader(this);
    connect(m_pictureLoader, &PictureLoader::pictureReady, this,
            &MarkdownPreviewView::schedulePictureRefresh);
    applyStyle();
}

void MarkdownPreviewView::setNotePath(const QString &notePath)
{
    if (notePath == m_notePath)
        return;
    m_notePath = notePath;
    // The last note's pictures still waiting are not worth the wait.
    m_pictureLoader->cancelPending();
    updatePictureSource();
    layoutVisible();
}

void MarkdownPreviewView::updatePictureSource()
{
    const QString folder = m_notePath.isEmpty() ? QString() : QFileInfo(m_notePath).absolutePath();
    m_document.setPictureSource(m_pictureLoader, folder, PathManager::baseFolderPath(),
                                devicePixelRatioF());
}

void MarkdownPreviewView::schedulePictureRefresh()
{
    if (m_pictureRefreshQueued)
        return;
    m_pictureRefreshQueued = true;
    QTimer::singleShot(0, this, &MarkdownPreviewView::refreshPictures);
}

void MarkdownPreviewView::refreshPictures()
{
    m_pictureRefreshQueued = false;
    if (m_document.isEmpty())
        return;
    // Pictures above and at the top edge take their size now; the line the user reads stays.
    const qint64 top = topLineIndex();
    const double topWithin = verticalScrollBar()->value() - m_document.lineTop(top);
    m_document.picturesChanged();
    m_document.ensureMeasured(m_document.blockForLine(top));
    setScrollY(m_document.lineTop(top) + qMax(topWithin, 0.0));
    layoutVisible();
}

MarkdownPreviewView::~MarkdownPreviewView() = default;

void MarkdownPreviewView::setMarkdownText(const QString &text)
{
    if (text == m_document.text())
        return;
    const bool hadText = !m_document.isEmpty();
    const qint64 top = hadText ? topLineIndex() : 0;
    const double topWithin = hadText ? verticalScrollBar()->value() - m_document.lineTop(top) : 0;
    m_document.setText(text);
    m_selectionAnchor = m_selectionEnd = {};
    m_pressedElement.reset();
    if (!m_document.isEmpty()) {
        const qint64 line = qMin(top, m_document.lineCount() - 1);
        m_document.ensureMeasured(m_document.blockForLine(line));
        setScrollY(m_document.lineTop(line) + qMax(topWithin, 0.0));
    }
    layoutVisible();
}

void MarkdownPreviewView::setFontSize(int fontSize)
{
    if (fontSize <= 0 || fontSize == m_fontSize)
        return;
    const qint64 top = topLineIndex();
    m_fontSize = fontSize;
    applyStyle();
    scrollToLine(top);
}

void MarkdownPreviewView::setCheckboxesToggleable(bool toggleable)
{
    m_document.setCheckboxesToggleable(toggleable);
    layoutVisible();
}

void MarkdownPreviewView::applyStyle()
{
    m_document.setStyle(PreviewStyle(palette(), m_fontSize));
    m_document.setWidth(viewport()->width());
    updatePictureSource();
    verticalScrollBar()->setSingleStep(qRound(m_document.style().fontPixels() * 1.5));
    layoutVisible();
}

void MarkdownPreviewView::scrollToLine(qint64 lineIndex)
{
    if (m_document.isEmpty())
        return;
    const qsizetype block = m_document.blockForLine(lineIndex);
    m_document.ensureMeasured(block);
    setScrollY(m_document.lineTop(lineIndex));
    layoutVisible();
}

qint64 MarkdownPreviewView::topLineIndex()
{
    if (m_document.isEmpty())
        return 0;
    return m_document.lineAt(verticalScrollBar()->value());
}

void MarkdownPreviewView::setScrollY(double y)
{
    QScrollBar *bar = verticalScrollBar();
    // Rounded up, so a row that starts inside a pixel is the one found at the top edge.
    const int value = int(std::ceil(y - 0.01));
    const int maximum = qMax(0, int(std::ceil(m_document.totalHeight())) - viewport()->height());
    bar->setRange(0, qMax(maximum, value));
    bar->setValue(value);
}

void MarkdownPreviewView::setMissingLink(PreviewDocument::MissingLink missing)
{
    m_document.setMissingLink(std::move(missing));
    missingLinksChanged();
}

void MarkdownPreviewView::missingLinksChanged()
{
    m_document.missingLinksChanged();
    layoutVisible();
    viewport()->update();
}

void MarkdownPreviewView::layoutVisible()
{
    if (m_inLayout)
        return;
    m_inLayout = true;
    QScrollBar *bar = verticalScrollBar();
    const int height = viewport()->height();
    bar->setPageStep(height);
    // Measure from the top block down; blocks above keep their heights, so the block at the top
    // edge (and the line the user reads) does not move. When the range then shrinks below the
    // position, the bar moves up and the newly shown blocks are measured in another pass.
    for (int pass = 0; pass < 4; ++pass) {
        const int top = bar->value();
        if (!m_document.isEmpty()) {
            const qsizetype first = m_document.blockAt(top);
            qsizetype last = first;
            for (qsizetype b = first; b < m_document.blockCount(); ++b) {
                m_document.ensureMeasured(b);
                last = b;
                if (m_document.blockTop(b) + m_document.blockHeight(b) >= top + height)
                    break;
            }
            m_document.releaseLayoutsOutside(qMax<qsizetype>(first - 200, 0), last + 200);
        }
        const int maximum =
            m_document.isEmpty() ? 0 : qMax(0, int(std::ceil(m_document.totalHeight())) - height);
        bar->setRange(0, maximum);
        if (bar->value() == top)
            break;
    }
    ++m_elementsGeneration;
    m_inLayout = false;
    viewport()->update();
}

QPointF MarkdownPreviewView::toDocument(QPointF viewportPoint) const
{
    return viewportPoint + QPointF(0, verticalScrollBar()->value());
}

void MarkdownPreviewView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const PreviewStyle &style = m_document.style();
    if (m_document.isEmpty()) {
        QFont headline = PreviewStyle::font(QApplication::font().pointSizeF() + 1, QFont::Bold);
        painter.setFont(headline);
        painter.setPen(style.secondaryText());
        painter.drawText(viewport()->rect(), Qt::AlignCenter, placeholderText);
        return;
    }
    const double y = verticalScrollBar()->value();
    painter.translate(0, -y);
    const QRectF visible(0, y, viewport()->width(), viewport()->height());
    // A block whose layout was released (far scroll, resize) is laid out again here.
    for (qsizetype b = m_document.blockAt(visible.top()); b <= m_document.blockAt(visible.bottom());
         ++b)
        m_document.ensureMeasured(b);
    auto from = qMin(m_selectionAnchor, m_selectionEnd);
    auto to = qMax(m_selectionAnchor, m_selectionEnd);
    m_document.paint(painter, visible, from, to);
}

void MarkdownPreviewView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    m_document.setWidth(viewport()->width());
    layoutVisible();
}

void MarkdownPreviewView::scrollContentsBy(int, int)
{
    layoutVisible();
}

void MarkdownPreviewView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange)
        applyStyle();
}

bool MarkdownPreviewView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const auto hit = m_document.hitTest(toDocument(help->pos()));
        if (hit.element) {
            const bool checkbox = hit.element->type == PreviewDocument::Element::Type::checkbox;
            QToolTip::showText(help->globalPos(), checkbox ? checkboxHelp : hit.element->url,
                               viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void MarkdownPreviewView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_document.isEmpty())
        return QAbstractScrollArea::mousePressEvent(event);
    const auto hit = m_document.hitTest(toDocument(event->position()));
    m_pressedElement = hit.element;
    m_selectionAnchor = m_selectionEnd = hit.position;
    m_selecting = !hit.element;
    viewport()->update();
}

void MarkdownPreviewView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_document.isEmpty())
        return;
    const auto hit = m_document.hitTest(toDocument(event->position()));
    if (m_selecting && (event->buttons() & Qt::LeftButton)) {
        m_selectionEnd = hit.position;
        viewport()->update();
    }
    viewport()->setCursor(hit.element ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void MarkdownPreviewView::mouseReleaseEvent(QMouseEvent *event)
{
    m_selecting = false;
    if (event->button() != Qt::LeftButton || !m_pressedElement)
        return QAbstractScrollArea::mouseReleaseEvent(event);
    const auto pressed = std::exchange(m_pressedElement, std::nullopt);
    const auto hit = m_document.hitTest(toDocument(event->position()));
    // A click counts only when released over what was pressed.
    if (hit.element && hit.element->type == pressed->type &&
        hit.element->lineIndex == pressed->lineIndex && hit.element->url == pressed->url)
        activateElement(*pressed);
}

void MarkdownPreviewView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

QString MarkdownPreviewView::selectedText()
{
    return m_document.selectedText(qMin(m_selectionAnchor, m_selectionEnd),
                                   qMax(m_selectionAnchor, m_selectionEnd));
}

void MarkdownPreviewView::selectAll()
{
    m_selectionAnchor = m_document.startPosition();
    m_selectionEnd = m_document.endPosition();
    viewport()->update();
}

void MarkdownPreviewView::copy()
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

QList<PreviewDocument::Element> MarkdownPreviewView::visibleElements() const
{
    const double y = verticalScrollBar()->value();
    QList<PreviewDocument::Element> elements =
        m_document.elements(QRectF(0, y, viewport()->width(), viewport()->height()));
    for (auto &element : elements)
        element.rect.translate(0, -y);
    return elements;
}

void MarkdownPreviewView::activateElement(const PreviewDocument::Element &element)
{
    if (element.type == PreviewDocument::Element::Type::image)
        return;
    if (element.type == PreviewDocument::Element::Type::checkbox) {
        Q_EMIT checkboxToggled(element.lineIndex);
        return;
    }
    const QUrl url(element.url);
    Q_EMIT linkActivated(url);
    if (m_opensLinks && InlineMarkdown::isOpenableLink(url))
        QDesktopServices::openUrl(url);
}
