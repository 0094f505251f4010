#include "preview/markdownpreviewpane.h"

#include "editor/editorlivestate.h"
#include "links/backlinksview.h"
#include "preview/markdownblocks.h"
#include "preview/markdownheaderinfoview.h"
#include "preview/markdownoutlineview.h"
#include "preview/markdownpreviewview.h"
#include "preview/previewscrollsync.h"
#include "preview/previewstyle.h"
#include "storage/settings.h"
#include <QTimer>

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

struct TabInfo
{
    MarkdownPreviewPane::SideTab tab;
    const char16_t *raw;
    const char16_t *title;
};

constexpr TabInfo tabInfos[] = {
    {MarkdownPreviewPane::SideTab::preview, u"preview", u"プレビュー"},
    {MarkdownPreviewPane::SideTab::outline, u"outline", u"見出し"},
    {MarkdownPreviewPane::SideTab::info, u"info", u"情報"},
    {MarkdownPreviewPane::SideTab::links, u"links", u"リンク"},
    {MarkdownPreviewPane::SideTab::history, u"history", u"履歴"},
};

/// A filled circle with a cross, in the secondary text colour.
QIcon closeIcon(const QPalette &palette)
{
    const PreviewStyle style(palette, Settings::defaultEditorFontSize);
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(style.secondaryText());
        painter.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
        painter.setPen(
            QPen(palette.color(QPalette::Base), size / 10.0, Qt::SolidLine, Qt::RoundCap));
        const double a = size * 0.33;
        const double b = size * 0.67;
        painter.drawLine(QPointF(a, a), QPointF(b, b));
        painter.drawLine(QPointF(a, b), QPointF(b, a));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QString lineAt(const QString &text, qint64 index)
{
    const QStringList lines = MarkdownBlocks::splitLines(text);
    return index >= 0 && index < lines.size() ? lines[index] : QString();
}

} // namespace

QString MarkdownPreviewPane::sideTabToString(SideTab tab)
{
    for (const TabInfo &info : tabInfos) {
        if (info.tab == tab)
            return QString::fromUtf16(info.raw);
    }
    return QString::fromUtf16(tabInfos[0].raw);
}

MarkdownPreviewPane::SideTab MarkdownPreviewPane::sideTabFromString(const QString &raw)
{
    for (const TabInfo &info : tabInfos) {
        if (raw == QStringView(info.raw))
            return info.tab;
    }
    return SideTab::preview;
}

MarkdownPreviewPane::MarkdownPreviewPane(EditorLiveState &live, QWidget *parent)
    : QWidget(parent), m_live(live)
{
    Settings &settings = Settings::instance();
    m_fontSize = settings.editorFontSize();
    m_tab = sideTabFromString(settings.previewPaneSideTab());
    buildLayout();

    m_sync = new PreviewScrollSync(this);
    m_sync->setFontSize(m_fontSize);
    connect(m_sync, &PreviewScrollSync::scrollRequested, m_preview,
            &MarkdownPreviewView::scrollToLine);
    connect(&m_live, &EditorLiveState::scrollOffsetChanged, m_sync,
            &PreviewScrollSync::editorScrolled);
    m_sync->editorScrolled(m_live.scrollOffset());
    connect(&settings, &Settings::editorFontSizeChanged, this, &MarkdownPreviewPane::setFontSize);
    setFontSize(m_fontSize);
    setSelectedTab(m_tab);
    m_info->setInfo({}, false, {}, false);
}

MarkdownPreviewPane::~MarkdownPreviewPane() = default;

void MarkdownPreviewPane::buildLayout()
{
    auto *header = new QWidget(this);
    header->setAutoFillBackground(true);
    header->setBackgroundRole(QPalette::Base);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(12, 8, 8, 8);
    headerLayout->setSpacing(12);

    m_tabs = new QTabBar(header);
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(true);
    m_tabs->setDocumentMode(true);
    m_tabs->setMaximumWidth(360);
    m_tabs->setAccessibleName(QStringLiteral("表示"));
    for (const TabInfo &info : tabInfos)
        m_tabs->addTab(QString::fromUtf16(info.title));
    headerLayout->addWidget(m_tabs, 1, Qt::AlignLeft | Qt::AlignVCenter);

    m_close = new QToolButton(header);
    m_close->setAutoRaise(true);
    m_close->setIcon(closeIcon(palette()));
    m_close->setIconSize(QSize(16, 16));
    m_close->setToolTip(closeHelp);
    m_close->setAccessibleName(closeHelp);
    m_close->setFocusPolicy(Qt::TabFocus);
    headerLayout->addWidget(m_close, 0, Qt::AlignVCenter);

    m_stack = new QStackedWidget(this);
    m_preview = new MarkdownPreviewView(m_stack);
    m_preview->setCheckboxesToggleable(true);
    m_outline = new MarkdownOutlineView(m_stack);
    m_info = new MarkdownHeaderInfoView(m_stack);
    m_stack->addWidget(m_preview);
    m_stack->addWidget(m_outline);
    m_stack->addWidget(m_info);
    m_backlinks = new BacklinksView(m_stack);
    m_stack->addWidget(m_backlinks);
    m_history = new QWidget(m_stack);
    m_stack->addWidget(m_history);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header);
    layout->addWidget(m_stack, 1);

    connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) {
        setSelectedTab(tabInfos[qBound(0, index, int(std::size(tabInfos)) - 1)].tab);
    });
    connect(m_close, &QToolButton::clicked, this, &MarkdownPreviewPane::closeRequested);
    connect(m_preview, &MarkdownPreviewView::checkboxToggled, this,
            &MarkdownPreviewPane::toggleCheckbox);
    connect(m_outline, &MarkdownOutlineView::headingSelected, this,
            &MarkdownPreviewPane::selectHeading);
    m_preview->installEventFilter(this);
    installEventFilter(this);
}

void MarkdownPreviewPane::setMarkdownText(const QString &debouncedBody)
{
    m_preview->setMarkdownText(debouncedBody);
    m_outline->setMarkdownText(debouncedBody);
    m_sync->setLineCount(m_preview->lineCount());
}

void MarkdownPreviewPane::setDocumentId(const QString &filePath)
{
    if (filePath == m_documentId)
        return;
    m_documentId = filePath;
    m_preview->setNotePath(filePath);
    m_info->setInfo(m_headerYAML, m_headerIsPending, m_joplinYAML, !m_documentId.isEmpty());
    m_sync->documentChanged();
}

void MarkdownPreviewPane::setHeaderInfo(const QString &headerYAML, bool headerIsPending,
                                        const QString &joplinHeaderYAML)
{
    m_headerYAML = headerYAML;
    m_headerIsPending = headerIsPending;
    m_joplinYAML = joplinHeaderYAML;
    m_info->setInfo(m_headerYAML, m_headerIsPending, m_joplinYAML, !m_documentId.isEmpty());
}

void MarkdownPreviewPane::setHistoryView(QWidget *view)
{
    const int index = m_stack->indexOf(m_history);
    m_stack->insertWidget(index, view);
    m_stack->removeWidget(m_history);
    delete m_history;
    m_history = view;
    m_stack->setCurrentIndex(int(m_tab));
}

void MarkdownPreviewPane::setFontSize(int editorFontSize)
{
    if (editorFontSize <= 0)
        return;
    m_fontSize = editorFontSize;
    m_sync->setFontSize(editorFontSize);
    m_preview->setFontSize(editorFontSize);
    m_outline->setFontSize(editorFontSize);
    m_info->setFontSize(editorFontSize);
}

void MarkdownPreviewPane::setSelectedTab(SideTab tab)
{
    m_tab = tab;
    const int index = int(tab);
    if (m_tabs->currentIndex() != index)
        m_tabs->setCurrentIndex(index);
    m_stack->setCurrentIndex(index);
    Settings::instance().setPreviewPaneSideTab(sideTabToString(tab));
}

void MarkdownPreviewPane::selectHeading(qint64 lineIndex)
{
    m_sync->requestLine(lineIndex);
    Q_EMIT headingSelected(lineIndex);
}

void MarkdownPreviewPane::toggleCheckbox(qint64 lineIndex)
{
    // The preview shows the text of the last typing pause; the host toggles the editor's newest
    // text. If the line moved since (a line typed above it in the last moments), toggling by
    // index would hit another line, so the click waits for the preview to catch up.
    if (lineAt(m_live.latestText(), lineIndex) != lineAt(m_preview->markdownText(), lineIndex))
        return;
    Q_EMIT checkboxToggled(lineIndex);
}

bool MarkdownPreviewPane::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == m_preview && (type == QEvent::Show || type == QEvent::Hide))
        m_sync->setPreviewVisible(m_preview->isVisible());
    if (watched == this && type == QEvent::PaletteChange)
        m_close->setIcon(closeIcon(palette()));
    return QWidget::eventFilter(watched, event);
}
