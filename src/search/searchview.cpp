#include "search/searchview.h"

#include "platform/accessibleclicks.h"
#include "platform/symbolicons.h"
#include "search/searchcontroller.h"
#include "search/searchresultlist.h"
#include "storage/settings.h"

#include <QAction>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>

namespace {

QFont pixelFont(const QFont &base, int pixels, QFont::Weight weight = QFont::Normal)
{
    QFont font = base;
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QLabel *headline(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(pixelFont(label->font(), 13, QFont::Bold));
    return label;
}

// A filled button in the accent colour, or grey; the page's two main buttons.
void tintButton(QPushButton *button, bool accent)
{
    const QColor fill =
        accent ? button->palette().color(QPalette::Highlight) : QColor(142, 142, 147);
    button->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                       " border-radius: 5px; padding: 4px 12px; }"
                       "QPushButton:pressed { background: %2; }"
                       "QPushButton:focus { outline: none; border: 2px solid %3; }")
            .arg(fill.name(), fill.darker(120).name(), fill.lighter(140).name()));
}

// Keeps the text of a history row clear of its delete button.
class HistoryRowDelegate : public QStyledItemDelegate
{
public:
    HistoryRowDelegate(int gutter, QObject *parent) : QStyledItemDelegate(parent), m_gutter(gutter)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem narrowed = option;
        narrowed.rect.setRight(option.rect.right() - m_gutter);
        QStyledItemDelegate::paint(painter, narrowed, index);
    }

private:
    int m_gutter;
};

// The keyword history: each entry a list item, each with a delete button of its own laid over
// the row's right end, so both stay reachable by keyboard and screen reader.
class HistoryList : public QListWidget
{
public:
    static constexpr int buttonSize = 18;

    explicit HistoryList(QWidget *parent) : QListWidget(parent)
    {
        setItemDelegate(new HistoryRowDelegate(buttonSize + 6, this));
        setAccessibleName(QStringLiteral("検索履歴"));
        setUniformItemSizes(true);
        setSpacing(1);
    }

    std::function<void(const QString &)> onDelete;

    void setEntries(const QStringList &entries)
    {
        // Deleted later: the button that asked for this change may still be handling its click.
        for (QToolButton *button : std::as_const(m_buttons)) {
            button->hide();
            button->deleteLater();
        }
        m_buttons.clear();
        clear();
        for (const QString &entry : entries) {
            auto *item = new QListWidgetItem(entry, this);
            item->setToolTip(entry);
            // Rows as tall as the delete button, whatever script the entry is in.
            item->setSizeHint(QSize(0, std::max(fontMetrics().height() + 6, buttonSize + 2)));
            auto *button = new QToolButton(viewport());
            button->setAutoRaise(true);
            button->setIcon(
                SymbolIcons::icon(SymbolIcons::Symbol::clearCircle, QColor(142, 142, 147)));
            button->setToolTip(QStringLiteral("この履歴を削除"));
            button->setAccessibleName(QStringLiteral("この履歴を削除"));
            button->setAccessibleDescription(entry);
            button->setFocusPolicy(Qt::TabFocus);
            connect(button, &QToolButton::clicked, this, [this, entry] {
                if (onDelete)
                    onDelete(entry);
            });
            button->show();
            m_buttons.append(button);
        }
        placeButtons();
    }

    const QList<QToolButton *> &buttons() const { return m_buttons; }

protected:
    void updateGeometries() override
    {
        QListWidget::updateGeometries();
        placeButtons();
    }

    void scrollContentsBy(int dx, int dy) override
    {
        QListWidget::scrollContentsBy(dx, dy);
        placeButtons();
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        const bool erase = event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace;
        if (erase && currentItem() && onDelete) {
            onDelete(currentItem()->text());
            return;
        }
        QListWidget::keyPressEvent(event);
    }

private:
    void placeButtons()
    {
        for (int row = 0; row < m_buttons.size() && row < count(); ++row) {
            const QRect rowRect = visualItemRect(item(row));
            const int side = buttonSize;
            m_buttons[row]->setGeometry(rowRect.right() - side - 2,
                                        rowRect.top() + (rowRect.height() - side) / 2, side, side);
            m_buttons[row]->setIconSize(QSize(side - 4, side - 4));
        }
    }

    QList<QToolButton *> m_buttons;
};

} // namespace

SearchView::SearchView(QWidget *parent) : QWidget(parent), m_controller(new SearchController(this))
{
    buildLayout();
    connectController();
    applyListFontSize();
    showKeyword(m_controller->keyword());
    showResults();
    showHistory();
}

SearchView::~SearchView() = default;

void SearchView::buildLayout()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);

    layout->addWidget(headline(QStringLiteral("全体から検索"), this));

    m_keywordField = new QLineEdit(this);
    m_keywordField->setPlaceholderText(QStringLiteral("キーワードを入力"));
    m_keywordField->setAccessibleName(QStringLiteral("キーワードを入力"));
    m_keywordField->setFont(pixelFont(m_keywordField->font(), 15));
    m_fieldClearAction = m_keywordField->addAction(
        SymbolIcons::icon(SymbolIcons::Symbol::clearCircle, QColor(142, 142, 147)),
        QLineEdit::TrailingPosition);
    m_fieldClearAction->setText(QStringLiteral("クリア"));
    m_fieldClearAction->setToolTip(QStringLiteral("クリア"));
    layout->addWidget(m_keywordField);

    auto *buttons = new QHBoxLayout;
    m_searchButton = new QPushButton(QStringLiteral("検索"), this);
    m_clearButton = new QPushButton(QStringLiteral("クリア"), this);
    tintButton(m_searchButton, true);
    buttons->addWidget(m_searchButton);
    buttons->addWidget(m_clearButton);
    layout->addLayout(buttons);

    m_summary = headline(QString(), this);
    m_summary->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_summary);

    m_resultsSection = new QWidget(this);
    auto *results = new QVBoxLayout(m_resultsSection);
    results->setContentsMargins(0, 10, 0, 0);
    results->addWidget(headline(QStringLiteral("検索結果"), m_resultsSection));
    m_resultList = new QListView(m_resultsSection);
    m_resultList->setAccessibleName(QStringLiteral("検索結果"));
    AccessibleClicks::activateRowsOnAction(m_resultList);
    m_resultModel = new SearchResultModel(m_resultList);
    m_resultDelegate = new SearchResultDelegate(m_resultList);
    m_resultList->setModel(m_resultModel);
    m_resultList->setItemDelegate(m_resultDelegate);
    m_resultList->setSelectionMode(QAbstractItemView::NoSelection);
    m_resultList->setResizeMode(QListView::Adjust);
    m_resultList->setLayoutMode(QListView::Batched);
    m_resultList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_resultList->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    results->addWidget(m_resultList, 1);
    layout->addWidget(m_resultsSection, 1);

    m_historySection = new QWidget(this);
    auto *history = new QVBoxLayout(m_historySection);
    history->setContentsMargins(0, 10, 0, 0);
    history->addWidget(headline(QStringLiteral("検索履歴"), m_historySection));
    auto *historyList = new HistoryList(m_historySection);
    historyList->setAccessibleName(QStringLiteral("検索履歴"));
    m_historyList = historyList;
    AccessibleClicks::activateRowsOnAction(m_historyList);
    history->addWidget(m_historyList, 1);
    m_clearHistoryButton = new QPushButton(QStringLiteral("履歴をすべて削除"), m_historySection);
    history->addWidget(m_clearHistoryButton, 0, Qt::AlignLeft);
    layout->addWidget(m_historySection, 1);

    historyList->onDelete = [this](const QString &entry) {
        m_controller->removeHistoryEntry(entry);
    };
}

void SearchView::connectController()
{
    SearchController *controller = m_controller;
    connect(m_keywordField, &QLineEdit::textEdited, controller, &SearchController::keywordTyped);
    m_keywordField->installEventFilter(this);
    connect(m_keywordField, &QLineEdit::returnPressed, controller, &SearchController::runSearch);
    connect(m_fieldClearAction, &QAction::triggered, controller, &SearchController::clearSearch);
    connect(m_searchButton, &QPushButton::clicked, controller, &SearchController::runSearch);
    connect(m_clearButton, &QPushButton::clicked, controller, &SearchController::clearSearch);
    connect(m_clearHistoryButton, &QPushButton::clicked, controller,
            &SearchController::clearHistory);

    const auto openRow = [this](const QModelIndex &index) {
        if (index.isValid())
            m_controller->selectHit(m_resultModel->hits()[index.row()].filePath);
    };
    connect(m_resultList, &QListView::clicked, this, openRow);
    connect(m_resultList, &QListView::activated, this, openRow);
    const auto runEntry = [this](QListWidgetItem *item) {
        m_controller->runHistoryEntry(item->text());
    };
    connect(m_historyList, &QListWidget::itemClicked, this, runEntry);
    connect(m_historyList, &QListWidget::itemActivated, this, runEntry);

    connect(controller, &SearchController::keywordChanged, this, &SearchView::showKeyword);
    connect(controller, &SearchController::resultsChanged, this, &SearchView::showResults);
    connect(controller, &SearchController::historyChanged, this, &SearchView::showHistory);
    connect(controller, &SearchController::selectedFileChanged, this, [this](const QString &path) {
        m_resultDelegate->setSelectedFile(path);
        m_resultList->viewport()->update();
    });
    connect(controller, &SearchController::focusKeywordFieldRequested, this,
            &SearchView::focusKeywordField);
    connect(controller, &SearchController::hitSelected, this, &SearchView::hitSelected);
    connect(controller, &SearchController::cleared, this, &SearchView::cleared);
    connect(&Settings::instance(), &Settings::listFontSizeChanged, this,
            [this] { applyListFontSize(); });
}

bool SearchView::eventFilter(QObject *watched, QEvent *event)
{
    // Only committed text searches: while an input method composes, the search waits.
    if (watched == m_keywordField && event->type() == QEvent::InputMethod)
        m_controller->setComposing(
            !static_cast<QInputMethodEvent *>(event)->preeditString().isEmpty());
    return QWidget::eventFilter(watched, event);
}

void SearchView::setSelectedFile(const QString &filePath)
{
    m_controller->setSelectedFile(filePath);
}

void SearchView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_controller->appear();
}

void SearchView::showKeyword(const QString &keyword)
{
    if (m_keywordField->text() != keyword)
        m_keywordField->setText(keyword);
    const bool blank = m_controller->keywordIsBlank();
    // While there is nothing to clear, the field's clear button is gone, for the mouse and for
    // screen readers alike.
    m_fieldClearAction->setVisible(!blank);
    m_resultDelegate->setKeyword(m_keywordField->text().trimmed());
    m_resultList->viewport()->update();
    m_summary->setVisible(!blank && m_controller->hasSearched());
    m_resultsSection->setVisible(!blank);
    m_historySection->setVisible(blank);
}

void SearchView::showResults()
{
    m_resultModel->setHits(m_controller->results());
    m_resultDelegate->setSelectedFile(m_controller->selectedFile());
    m_summary->setText(m_controller->summary());
    m_summary->setVisible(!m_controller->keywordIsBlank() && m_controller->hasSearched());
    tintButton(m_clearButton, !m_controller->results().isEmpty());
}

void SearchView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Light and dark mode: the filled buttons take the new accent colour.
    if (event->type() == QEvent::PaletteChange) {
        tintButton(m_searchButton, true);
        tintButton(m_clearButton, !m_controller->results().isEmpty());
    }
}

void SearchView::showHistory()
{
    static_cast<HistoryList *>(m_historyList)->setEntries(m_controller->history());
    m_clearHistoryButton->setVisible(!m_controller->history().isEmpty());
}

void SearchView::applyListFontSize()
{
    const int size = Settings::instance().listFontSize();
    m_resultDelegate->setFontSize(size);
    m_historyList->setFont(pixelFont(font(), size));
    m_resultList->doItemsLayout();
}

void SearchView::focusKeywordField()
{
    m_keywordField->setFocus(Qt::OtherFocusReason);
}
