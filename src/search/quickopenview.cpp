#include "search/quickopenview.h"

#include "platform/accessibleclicks.h"
#include "platform/symbolicons.h"
#include "search/quickopen.h"
#include "search/quickopenmodel.h"
#include <QTimer>

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

constexpr int nameSize = 14;
constexpr int captionSize = 11;

QFont pixelFont(const QFont &base, int pixels, QFont::Weight weight = QFont::Normal)
{
    QFont font = base;
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QColor secondaryText(const QPalette &palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.6f);
    return color;
}

// A row: the document symbol, the name (semibold in the accent colour when selected) and the
// folder label beneath.
class QuickOpenRowDelegate : public QStyledItemDelegate
{
public:
    QuickOpenRowDelegate(const QuickOpenController &controller, QObject *parent)
        : QStyledItemDelegate(parent), m_controller(controller)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        const int height = QFontMetrics(pixelFont(option.font, nameSize)).height() + 2 +
                           QFontMetrics(pixelFont(option.font, captionSize)).height() + 4 + 4;
        return QSize(option.rect.width(), height);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const bool selected = index.row() == m_controller.selectedIndex();
        const QPalette &palette = option.palette;
        const QColor accent = palette.color(QPalette::Highlight);
        const QRect rect = option.rect;
        painter->save();
        if (selected) {
            QColor tint = accent;
            tint.setAlphaF(0.15f);
            painter->fillRect(rect, tint);
        }
        const QFont nameFont =
            pixelFont(option.font, nameSize, selected ? QFont::DemiBold : QFont::Normal);
        const QFont captionFont = pixelFont(option.font, captionSize);
        const QFontMetrics nameMetrics(nameFont);
        const QFontMetrics captionMetrics(captionFont);
        const int iconSide = 18;
        const QRectF iconRect(rect.left() + 12, rect.center().y() - iconSide / 2.0, iconSide,
                              iconSide);
        SymbolIcons::paint(*painter, iconRect, SymbolIcons::Symbol::document, SymbolIcons::blue);

        const int textLeft = int(iconRect.right()) + 8;
        const int textWidth = rect.right() - 12 - textLeft;
        const int top = rect.top() + 4;
        painter->setFont(nameFont);
        painter->setPen(selected ? accent : palette.color(QPalette::Text));
        painter->drawText(
            QRect(textLeft, top, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
            nameMetrics.elidedText(index.data().toString(), Qt::ElideMiddle, textWidth));
        painter->setFont(captionFont);
        painter->setPen(secondaryText(palette));
        painter->drawText(
            QRect(textLeft, top + nameMetrics.height() + 2, textWidth, captionMetrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter,
            captionMetrics.elidedText(index.data(Qt::UserRole).toString(), Qt::ElideMiddle,
                                      textWidth));
        painter->restore();
    }

private:
    const QuickOpenController &m_controller;
};

} // namespace

QuickOpenView *QuickOpenView::open(QWidget *window)
{
    for (QuickOpenView *existing :
         window->findChildren<QuickOpenView *>(Qt::FindDirectChildrenOnly)) {
        if (!existing->m_closing) {
            existing->m_query->setFocus(Qt::ShortcutFocusReason);
            return existing;
        }
    }
    auto *view = new QuickOpenView(window);
    view->m_controller->gather();
    view->show();
    view->raise();
    view->m_query->setFocus(Qt::ShortcutFocusReason);
    return view;
}

QuickOpenView::QuickOpenView(QWidget *window)
    : QWidget(window), m_window(window), m_controller(new QuickOpenController(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    buildLayout();
    applyColors();
    connect(m_controller, &QuickOpenController::visibleChanged, this, &QuickOpenView::showList);
    connect(m_controller, &QuickOpenController::selectedIndexChanged, this,
            &QuickOpenView::showSelection);
    connect(m_query, &QLineEdit::textChanged, m_controller, &QuickOpenController::setQuery);
    connect(m_query, &QLineEdit::returnPressed, this, &QuickOpenView::openSelected);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex &index) {
        m_controller->setSelectedIndex(index.row());
        openSelected();
    });
    m_query->installEventFilter(this);
    m_list->installEventFilter(this);
    window->installEventFilter(this);
    place();
}

void QuickOpenView::buildLayout()
{
    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("quickOpenPanel"));
    m_panel->setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(m_panel);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);

    auto *header = new QWidget(m_panel);
    header->setAutoFillBackground(true);
    header->setBackgroundRole(QPalette::Window);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(12, 10, 12, 10);
    m_magnifier = new QLabel(header);
    headerLayout->addWidget(m_magnifier);
    m_query = new QLineEdit(header);
    m_query->setFrame(false);
    m_query->setPlaceholderText(QStringLiteral("ファイル名を入力 (Esc で閉じる)"));
    m_query->setAccessibleName(QStringLiteral("ファイル名を入力 (Esc で閉じる)"));
    m_query->setFont(pixelFont(m_query->font(), 16));
    m_query->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    headerLayout->addWidget(m_query, 1);
    layout->addWidget(header);

    const auto divider = [this] {
        auto *line = new QFrame(m_panel);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Plain);
        m_dividers.append(line);
        return line;
    };
    layout->addWidget(divider());

    m_list = new QListView(m_panel);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setAccessibleName(QStringLiteral("ファイル"));
    AccessibleClicks::activateRowsOnAction(m_list);
    m_model = new QuickOpenModel(*m_controller, m_list);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new QuickOpenRowDelegate(*m_controller, m_list));
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(m_list, 1);

    layout->addWidget(divider());

    auto *footer = new QWidget(m_panel);
    footer->setAutoFillBackground(true);
    footer->setBackgroundRole(QPalette::Window);
    auto *footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(12, 6, 12, 6);
    m_count = new QLabel(footer);
    auto *hint = new QLabel(QStringLiteral("↑↓ 移動  ⏎ 開く  Esc 閉じる"), footer);
    for (QLabel *label : {m_count, hint}) {
        label->setFont(pixelFont(label->font(), captionSize));
        m_captions.append(label);
    }
    footerLayout->addWidget(m_count);
    footerLayout->addStretch(1);
    footerLayout->addWidget(hint);
    layout->addWidget(footer);
}

void QuickOpenView::place()
{
    setGeometry(m_window->rect());
    const QSize size(std::min(paletteSize.width(), width() - 16),
                     std::min(paletteSize.height(), height() - 16));
    const int top = std::clamp((height() - size.height()) / 4, 8, 80);
    m_panel->setGeometry(QRect(QPoint((width() - size.width()) / 2, top), size));
}

void QuickOpenView::showList()
{
    m_model->reset();
    m_count->setText(QStringLiteral("%1 件").arg(m_controller->visible().size()));
}

void QuickOpenView::showSelection(qsizetype row)
{
    m_list->viewport()->update();
    if (row >= 0 && row < m_model->rowCount())
        m_list->scrollTo(m_model->index(int(row)), QAbstractItemView::PositionAtCenter);
}

void QuickOpenView::openSelected()
{
    const std::optional<QString> file = m_controller->selectedFile();
    if (!file || m_closing)
        return;
    finish();
    // The presenter opens the file once the palette is gone, as after any other close.
    QTimer::singleShot(50, this, [this, path = *file] {
        Q_EMIT fileChosen(path);
        deleteLater();
    });
}

void QuickOpenView::dismiss()
{
    if (m_closing)
        return;
    finish();
    deleteLater();
}

void QuickOpenView::finish()
{
    m_closing = true;
    m_window->removeEventFilter(this);
    hide();
    Q_EMIT closed();
}

// Colours come from the palette and are set again when it changes (light and dark mode).
void QuickOpenView::applyColors()
{
    const QColor secondary = secondaryText(palette());
    QColor outline = palette().color(QPalette::WindowText);
    outline.setAlphaF(0.25f);
    m_panel->setStyleSheet(QStringLiteral("#quickOpenPanel { border: 1px solid %1;"
                                          " border-radius: 10px; background: palette(base); }")
                               .arg(outline.name(QColor::HexArgb)));
    m_magnifier->setPixmap(SymbolIcons::icon(SymbolIcons::Symbol::magnifier, secondary)
                               .pixmap(QSize(16, 16), devicePixelRatioF()));
    for (QLabel *label : std::as_const(m_captions)) {
        QPalette labelPalette = palette();
        labelPalette.setColor(QPalette::WindowText, secondary);
        label->setPalette(labelPalette);
    }
    QColor rule = palette().color(QPalette::WindowText);
    rule.setAlphaF(0.16f);
    for (QFrame *line : std::as_const(m_dividers)) {
        QPalette linePalette = palette();
        linePalette.setColor(QPalette::WindowText, rule);
        line->setPalette(linePalette);
    }
}

void QuickOpenView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_panel)
        applyColors();
}

bool QuickOpenView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        if (event->type() == QEvent::Resize)
            place();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (key->key()) {
    case Qt::Key_Up:
        m_controller->moveUp();
        return true;
    case Qt::Key_Down:
        m_controller->moveDown();
        return true;
    case Qt::Key_Escape:
        dismiss();
        return true;
    default:
        return false;
    }
}

void QuickOpenView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 60));
}

void QuickOpenView::mousePressEvent(QMouseEvent *event)
{
    // A click beside the panel closes the palette, as with any popup.
    if (!m_panel->geometry().contains(event->position().toPoint()))
        dismiss();
}
