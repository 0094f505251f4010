#include "editor/editorsearchbar.h"

#include "platform/appevents.h"
#include "platform/symbolicons.h"
#include <QTimer>

#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

namespace {

const QString notFoundText = QStringLiteral("見つかりません");
const QString fieldPlaceholder = QStringLiteral("キーワードを入力");
const QString previousHelp = QStringLiteral("前の一致を表示 (Shift+Ctrl+G)");
const QString nextHelp = QStringLiteral("次の一致を表示 (Ctrl+G)");
const QString clearHelp = QStringLiteral("検索ワードをクリア");

constexpr int fieldMinimumHeight = 22;
constexpr int notFoundMinimumWidth = 80;
constexpr int positionMinimumWidth = 50;
constexpr int iconSize = 16;

// The red of a warning that stays readable on light and dark backgrounds.
const QColor notFoundColor(0xe5, 0x39, 0x35);

QColor secondaryColor(const QWidget *widget)
{
    return widget->palette().color(QPalette::PlaceholderText);
}

QIcon themeIcon(const char *name, const QIcon &fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(name), fallback);
}

QFont captionFont(const QFont &base)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.85);
    return font;
}

QToolButton *makeButton(const QString &help, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setToolTip(help);
    button->setAccessibleName(help);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIconSize(QSize(iconSize, iconSize));
    return button;
}

bool isSubmitKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

Qt::KeyboardModifiers significantModifiers(const QKeyEvent *event)
{
    return event->modifiers() & ~Qt::KeypadModifier;
}

} // namespace

namespace EditorSearchRules {

QString resultText(const EditorSearchState &state)
{
    if (state.searchText.isEmpty())
        return {};
    if (isNotFound(state))
        return notFoundText;
    return QStringLiteral("%1 / %2").arg(state.currentIndex + 1).arg(state.resultCount);
}

bool isNotFound(const EditorSearchState &state)
{
    return !state.searchText.isEmpty() && state.resultCount < 1;
}

bool canNavigate(const EditorSearchState &state)
{
    return !state.searchText.isEmpty() && state.resultCount > 0;
}

std::optional<SearchCommand> request(const EditorSearchState &state, SearchDirection direction)
{
    if (state.searchText.isEmpty())
        return std::nullopt;
    SearchCommand command;
    command.direction = direction;
    return command;
}

EditorSearchState withSearchText(EditorSearchState state, const QString &text)
{
    if (text == state.searchText)
        return state;
    state.searchText = text;
    state.currentIndex = 0;
    return state;
}

EditorSearchState synced(EditorSearchState state, const QString &keyword)
{
    if (keyword.isEmpty())
        return {};
    return withSearchText(std::move(state), keyword);
}

} // namespace EditorSearchRules

EditorSearchTextField::EditorSearchTextField(QWidget *parent) : QLineEdit(parent)
{
    setPlaceholderText(fieldPlaceholder);
    setAccessibleName(fieldPlaceholder);
    setMinimumHeight(fieldMinimumHeight);
    // Clicking focuses it; appearing never does, so the editor keeps the keyboard.
    setFocusPolicy(Qt::ClickFocus);
}

bool EditorSearchTextField::event(QEvent *event)
{
    // Claim these keys before any window-wide shortcut does: while the field has the focus they
    // mean "step through matches" and "leave the search".
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers modifiers = significantModifiers(key);
        const bool submit = isSubmitKey(key->key()) &&
                            (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier);
        const bool escape = key->key() == Qt::Key_Escape && modifiers == Qt::NoModifier;
        if (submit || escape) {
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void EditorSearchTextField::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = significantModifiers(event);
    if (isSubmitKey(event->key()) && modifiers == Qt::NoModifier) {
        Q_EMIT submitted(SearchDirection::next);
        return;
    }
    if (isSubmitKey(event->key()) && modifiers == Qt::ShiftModifier) {
        Q_EMIT submitted(SearchDirection::previous);
        return;
    }
    if (event->key() == Qt::Key_Escape && modifiers == Qt::NoModifier) {
        Q_EMIT escapePressed();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

EditorSearchBar::EditorSearchBar(QWidget *parent) : QWidget(parent)
{
    m_magnifier = new QLabel(this);
    m_magnifier->setAccessibleName(QStringLiteral("検索"));
    m_field = new EditorSearchTextField(this);
    m_result = new QLabel(this);
    m_result->setFont(captionFont(font()));
    m_previous = makeButton(previousHelp, this);
    m_next = makeButton(nextHelp, this);
    m_clear = makeButton(clearHelp, this);
    m_clear->setAutoRaise(true);

    auto *steps = new QHBoxLayout;
    steps->setContentsMargins(0, 0, 0, 0);
    steps->setSpacing(4);
    steps->addWidget(m_previous);
    steps->addWidget(m_next);

    auto *row = new QHBoxLayout(this);
    const int side = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    row->setContentsMargins(side, 6, side, 6);
    row->setSpacing(8);
    row->addWidget(m_magnifier);
    row->addWidget(m_field, 1);
    row->addWidget(m_result);
    row->addLayout(steps);
    row->addWidget(m_clear);

    connect(m_field, &QLineEdit::textEdited, this, &EditorSearchBar::setSearchText);
    connect(m_field, &EditorSearchTextField::submitted, this, &EditorSearchBar::request);
    connect(m_field, &EditorSearchTextField::escapePressed, this, &EditorSearchBar::dismiss);
    connect(m_previous, &QToolButton::clicked, this,
            [this] { request(SearchDirection::previous); });
    connect(m_next, &QToolButton::clicked, this, [this] { request(SearchDirection::next); });
    connect(m_clear, &QToolButton::clicked, this, &EditorSearchBar::clear);

    refreshIcons();
    refresh();
}

void EditorSearchBar::setSearchText(const QString &text)
{
    applyState(EditorSearchRules::withSearchText(m_state, text));
}

void EditorSearchBar::setSearchResult(int resultCount, int currentIndex)
{
    m_state.resultCount = qMax(resultCount, 0);
    m_state.currentIndex = qMax(currentIndex, 0);
    refresh();
}

void EditorSearchBar::request(SearchDirection direction)
{
    if (const auto command = EditorSearchRules::request(m_state, direction))
        Q_EMIT searchRequested(*command);
}

void EditorSearchBar::clear()
{
    applyState({});
}

void EditorSearchBar::syncKeyword(const QString &keyword)
{
    applyState(EditorSearchRules::synced(m_state, keyword));
}

void EditorSearchBar::focusSearchField()
{
    QTimer::singleShot(0, this, [this] {
        if (!m_field->hasFocus())
            m_field->setFocus(Qt::ShortcutFocusReason);
        m_field->selectAll();
    });
}

void EditorSearchBar::dismiss()
{
    clear();
    m_field->clearFocus();
    AppEvents::instance().postFocusEditor();
}

bool EditorSearchBar::isSearchFieldFocused() const
{
    return m_field->hasFocus();
}

void EditorSearchBar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        refreshIcons();
        refresh();
    }
    if (event->type() == QEvent::FontChange)
        m_result->setFont(captionFont(font()));
}

void EditorSearchBar::applyState(const EditorSearchState &state)
{
    const bool queryChanged = state.searchText != m_state.searchText;
    m_state = state;
    refresh();
    if (queryChanged)
        Q_EMIT searchTextChanged(m_state.searchText);
}

void EditorSearchBar::refresh()
{
    if (m_field->text() != m_state.searchText)
        m_field->setText(m_state.searchText);

    const bool hasQuery = !m_state.searchText.isEmpty();
    const bool notFound = EditorSearchRules::isNotFound(m_state);
    m_result->setText(EditorSearchRules::resultText(m_state));
    m_result->setMinimumWidth(notFound ? notFoundMinimumWidth : positionMinimumWidth);
    QPalette palette = m_result->palette();
    palette.setColor(QPalette::WindowText, notFound ? notFoundColor : secondaryColor(this));
    m_result->setPalette(palette);
    m_result->setVisible(hasQuery);

    const bool canNavigate = EditorSearchRules::canNavigate(m_state);
    m_previous->setEnabled(canNavigate);
    m_next->setEnabled(canNavigate);
    m_clear->setVisible(hasQuery);
}

void EditorSearchBar::refreshIcons()
{
    const QColor secondary = secondaryColor(this);
    // Without an icon theme, drawn in the text colour of the moment, so the magnifier follows
    // light and dark mode.
    const QIcon magnifier =
        themeIcon("edit-find", SymbolIcons::icon(SymbolIcons::Symbol::magnifier, secondary));
    m_magnifier->setPixmap(magnifier.pixmap(QSize(iconSize, iconSize), devicePixelRatioF()));
    m_previous->setIcon(themeIcon("go-up", style()->standardIcon(QStyle::SP_ArrowUp)));
    m_next->setIcon(themeIcon("go-down", style()->standardIcon(QStyle::SP_ArrowDown)));
    m_clear->setIcon(
        themeIcon("edit-clear", style()->standardIcon(QStyle::SP_LineEditClearButton)));
}
