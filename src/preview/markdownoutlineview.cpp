#include "preview/markdownoutlineview.h"

#include "platform/accessibleclicks.h"
#include "preview/outlinemodel.h"
#include "preview/previewstyle.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QStackedLayout>
#include <QStyledItemDelegate>
#include <QTextLayout>

namespace {

constexpr int levelIndent = 12;
constexpr int rowPaddingH = 10;
constexpr int rowPaddingV = 4;

/// Lays the title out in at most two lines and returns their height.
double layoutTitle(QTextLayout &layout, double width)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double y = 0;
    for (int i = 0; i < 2; ++i) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(qMax(width, 1.0));
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

class OutlineDelegate : public QStyledItemDelegate
{
public:
    OutlineDelegate(const int &fontSize, QObject *parent)
        : QStyledItemDelegate(parent), m_fontSize(fontSize)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const int level = index.data(OutlineModel::levelRole).toInt();
        const PreviewStyle style(option.palette, m_fontSize);
        if (option.state & QStyle::State_MouseOver) {
            QColor hover = style.text();
            hover.setAlphaF(0.06f);
            painter->fillRect(option.rect, hover);
        }
        const QRectF textRect = titleRect(option.rect, level);
        QTextLayout layout(index.data().toString(), PreviewStyle::font(m_fontSize));
        const double height = layoutTitle(layout, textRect.width());
        painter->setPen(style.headingColor(level));
        const QPointF origin(textRect.left(), textRect.top() + (textRect.height() - height) / 2);
        if (layout.lineCount() == 2 &&
            layout.lineAt(1).textStart() + layout.lineAt(1).textLength() < layout.text().size()) {
            // A title longer than two lines ends in an ellipsis.
            layout.lineAt(0).draw(painter, origin);
            const QTextLine second = layout.lineAt(1);
            const QString rest = layout.text().mid(second.textStart());
            painter->setFont(layout.font());
            const QString elided =
                QFontMetricsF(layout.font()).elidedText(rest, Qt::ElideRight, textRect.width());
            painter->drawText(
                QRectF(origin.x(), origin.y() + second.y(), textRect.width(), second.height()),
                Qt::AlignLeft | Qt::AlignTop, elided);
        } else {
            layout.draw(painter, origin);
        }
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const int level = index.data(OutlineModel::levelRole).toInt();
        const QRectF textRect = titleRect(QRect(0, 0, option.rect.width(), 0), level);
        QTextLayout layout(index.data().toString(), PreviewStyle::font(m_fontSize));
        const double height = layoutTitle(layout, textRect.width());
        return QSize(option.rect.width(), int(std::ceil(height)) + 2 * rowPaddingV);
    }

private:
    static QRectF titleRect(const QRect &row, int level)
    {
        const double left = rowPaddingH + (level - 1) * levelIndent;
        return QRectF(row.left() + left, row.top() + rowPaddingV,
                      qMax(row.width() - left - rowPaddingH, 20.0), row.height() - 2 * rowPaddingV);
    }

    const int &m_fontSize;
};

} // namespace

MarkdownOutlineView::MarkdownOutlineView(QWidget *parent) : QWidget(parent)
{
    m_model = new OutlineModel(this);
    m_list = new QListView(this);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new OutlineDelegate(m_fontSize, m_list));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setMouseTracking(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setCursor(Qt::PointingHandCursor);
    m_list->setAccessibleName(QStringLiteral("見出し"));
    AccessibleClicks::activateRowsOnAction(m_list);
    m_list->viewport()->setBackgroundRole(QPalette::Base);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex &index) {
        Q_EMIT headingSelected(m_model->headings().value(index.row()).id);
    });
    m_list->installEventFilter(this);

    m_message = new QLabel(this);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setAutoFillBackground(true);
    m_message->setBackgroundRole(QPalette::Base);

    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_list);
    m_stack->addWidget(m_message);
    changeEvent(nullptr);
    rebuildIfNeeded();
}

void MarkdownOutlineView::setMarkdownText(const QString &text)
{
    if (text == m_text && !m_dirty)
        return;
    m_text = text;
    m_dirty = true;
    if (isVisible())
        rebuildIfNeeded();
}

void MarkdownOutlineView::setFontSize(int fontSize)
{
    if (fontSize <= 0 || fontSize == m_fontSize)
        return;
    m_fontSize = fontSize;
    m_list->setFont(PreviewStyle::font(fontSize));
    m_list->doItemsLayout();
}

QList<MarkdownBlocks::HeadingItem> MarkdownOutlineView::headings()
{
    rebuildIfNeeded();
    return m_model->headings();
}

QString MarkdownOutlineView::message() const
{
    return m_stack->currentWidget() == m_message ? m_message->text() : QString();
}

bool MarkdownOutlineView::eventFilter(QObject *watched, QEvent *event)
{
    // Rows act as buttons: Return, Enter and Space press the current one.
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const QModelIndex current = m_list->currentIndex();
        if (current.isValid() &&
            (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
            Q_EMIT headingSelected(m_model->headings().value(current.row()).id);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MarkdownOutlineView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    rebuildIfNeeded();
}

void MarkdownOutlineView::changeEvent(QEvent *event)
{
    if (event)
        QWidget::changeEvent(event);
    if (!event || event->type() == QEvent::PaletteChange) {
        QPalette palette = m_message->palette();
        palette.setColor(QPalette::WindowText, PreviewStyle(this->palette(), 14).secondaryText());
        m_message->setPalette(palette);
    }
}

void MarkdownOutlineView::rebuildIfNeeded()
{
    if (!m_dirty)
        return;
    m_dirty = false;
    if (m_text.isEmpty()) {
        m_model->setHeadings({});
        m_message->setText(emptyBodyText);
        m_stack->setCurrentWidget(m_message);
        return;
    }
    m_model->setHeadings(MarkdownBlocks::extractHeadings(m_text));
    if (m_model->headings().isEmpty()) {
        m_message->setText(noHeadingsText);
        m_stack->setCurrentWidget(m_message);
        return;
    }
    m_stack->setCurrentWidget(m_list);
}
