#include "editor/memoeditorview.h"

#include "editor/editorsearchbar.h"
#include "editor/markdowneditor.h"
#include "platform/appevents.h"
#include "storage/settings.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString noFileTitle = QStringLiteral("ファイル未選択");
const QString renameHelp = QStringLiteral("クリックして名前を変更");
const QString dailyMemoRenameHelp = QStringLiteral("日付メモの名前は変更できません");
const QString saveText = QStringLiteral("保存");
const QString hidePreviewText = QStringLiteral("プレビューを非表示");
const QString showPreviewText = QStringLiteral("プレビューを表示");
const QString titleFieldName = QStringLiteral("ファイル名");

constexpr int defaultFontSize = 14;
constexpr int defaultDebounceMsec = 300;
constexpr int fadeMsec = 250;
constexpr int iconSize = 16;
constexpr int editorMinimumHeight = 80;

const QColor outlineColor(0x8e, 0x8e, 0x93);

/// A plain container with a one-pixel grey outline around its children.
class OutlineFrame : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(QPen(outlineColor, 1));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

/// A one-line message that never pushes or hides behind its neighbours: it takes the room the
/// row leaves and, when the message is longer, shows its start with an ellipsis. The whole
/// message is always its tooltip and its accessible name.
class MessageLabel : public QLabel
{
public:
    using QLabel::QLabel;

    void setMessage(const QString &message)
    {
        m_message = message;
        setToolTip(message);
        setAccessibleName(message);
        showFitting();
        updateGeometry();
    }

    QSize sizeHint() const override
    {
        const QSize fitting = QLabel::sizeHint();
        const int whole = fontMetrics().horizontalAdvance(m_message) + 2 * margin() + 4;
        return {whole, fitting.height()};
    }
    QSize minimumSizeHint() const override
    {
        const QSize fitting = QLabel::minimumSizeHint();
        return {fontMetrics().horizontalAdvance(QStringLiteral("…")) * 3, fitting.height()};
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        showFitting();
    }

private:
    void showFitting()
    {
        setText(fontMetrics().elidedText(m_message, Qt::ElideRight, contentsRect().width()));
    }

    QString m_message;
};

// An eye, crossed out for "hide", in the text colour of the moment; stands in where the icon
// theme has no view-visible / view-hidden.
QIcon eyeIcon(const QColor &color, bool crossed)
{
    const qreal ratio = 2.0;
    QPixmap pixmap(QSize(iconSize, iconSize) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.4, Qt::SolidLine, Qt::RoundCap));
    QPainterPath outline;
    outline.moveTo(1.5, 8.0);
    outline.quadTo(8.0, 1.0, 14.5, 8.0);
    outline.quadTo(8.0, 15.0, 1.5, 8.0);
    painter.drawPath(outline);
    painter.setBrush(color);
    painter.drawEllipse(QPointF(8.0, 8.0), 2.0, 2.0);
    if (crossed)
        painter.drawLine(QPointF(2.5, 14.0), QPointF(13.5, 2.0));
    return QIcon(pixmap);
}

QFont titleFont(int fontSize)
{
    QFont font = QApplication::font();
    font.setPointSizeF(fontSize * 1.1);
    font.setWeight(QFont::Normal);
    return font;
}

QShortcut *pageShortcut(const QKeySequence &keys, QWidget *page)
{
    auto *shortcut = new QShortcut(keys, page);
    // Active only while the focus is inside this page, so the keys reach the editor only
    // while the editing page is on screen.
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    return shortcut;
}

} // namespace

namespace MemoTitle {

bool isDailyMemo(const QString &filePath)
{
    if (filePath.isEmpty())
        return false;
    return QFileInfo(filePath).absoluteDir().dirName() == QStringLiteral("Daily");
}

QString text(const QString &filePath, const MemoEditorView::HolidayNameProvider &holidayName)
{
    if (filePath.isEmpty())
        return noFileTitle;
    const QString name = QFileInfo(filePath).completeBaseName();
    if (!isDailyMemo(filePath) || !holidayName)
        return name;
    const QDate date = QDate::fromString(name, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return name;
    const QString holiday = holidayName(date);
    if (holiday.isEmpty())
        return name;
    return name + QLatin1Char(' ') + holiday;
}

QString helpText(const QString &filePath, bool canRename)
{
    if (canRename)
        return renameHelp;
    if (isDailyMemo(filePath))
        return dailyMemoRenameHelp;
    return {};
}

} // namespace MemoTitle

class MemoEditorView::Private : public QObject
{
public:
    Private(MemoEditorView *page, EditorLiveState &liveState);

    void buildToolbar(QVBoxLayout *column, int sideMargin);
    void buildTitleLine(QVBoxLayout *column, int sideMargin);
    void buildEditor(QVBoxLayout *column, int sideMargin);
    void connectSearch();
    void connectShortcuts();
    void connectNotifications();

    bool canRename() const;
    void refreshTitle();
    void showElidedTitle();
    void startTitleEditing();
    void commitTitle();
    void endTitleEditing();
    void showTitleEditor(bool editing);

    void refreshSaveTint();
    void refreshPreviewToggle();
    void showMessage(const QString &message);
    void refreshMessageColors();

    void onTextEdited();
    void onDebounceElapsed();

    bool eventFilter(QObject *watched, QEvent *event) override;

    MemoEditorView *q;
    EditorLiveState &live;

    QPushButton *saveButton = nullptr;
    MessageLabel *statusLabel = nullptr;
    QLabel *readOnlyMark = nullptr;
    bool messageIsFailure = false;
    QGraphicsOpacityEffect *statusOpacity = nullptr;
    QPropertyAnimation *statusFade = nullptr;
    QToolButton *previewToggle = nullptr;
    QPushButton *titleButton = nullptr;
    QLineEdit *titleField = nullptr;
    EditorSearchBar *searchBar = nullptr;
    MarkdownEditor *editor = nullptr;

    QTimer debounce;

    QString currentFile;
    QString title;
    QString message;
    int fontSize = defaultFontSize;
    bool modified = false;
    bool showPreview = true;
    bool preferEditorFocus = false;
    bool editingTitle = false;
    RenameHandler rename;
    HolidayNameProvider holidayName;
};

MemoEditorView::Private::Private(MemoEditorView *page, EditorLiveState &liveState)
    : q(page), live(liveState)
{
    auto *column = new QVBoxLayout(q);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    const int side = q->style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    buildToolbar(column, side);
    buildTitleLine(column, side);
    searchBar = new EditorSearchBar(q);
    searchBar->setObjectName(QStringLiteral("searchBar"));
    column->addWidget(searchBar);
    buildEditor(column, side);

    debounce.setSingleShot(true);
    debounce.setInterval(defaultDebounceMsec);
    connect(&debounce, &QTimer::timeout, this, &Private::onDebounceElapsed);
    connect(editor, &MarkdownEditor::textEdited, this, &Private::onTextEdited);

    connectSearch();
    connectShortcuts();
    connectNotifications();
    refreshTitle();
    q->installEventFilter(this);
}

void MemoEditorView::Private::buildToolbar(QVBoxLayout *column, int sideMargin)
{
    saveButton = new QPushButton(saveText, q);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    saveButton->setToolTip(saveText);
    saveButton->setAccessibleName(saveText);
    saveButton->setIcon(QIcon::fromTheme(QStringLiteral("document-save"),
                                         q->style()->standardIcon(QStyle::SP_DialogSaveButton)));
    // Clicking a toolbar button leaves the keyboard in the editor.
    saveButton->setFocusPolicy(Qt::TabFocus);
    connect(saveButton, &QPushButton::clicked, q, &MemoEditorView::saveRequested);

    statusLabel = new MessageLabel(q);
    statusLabel->setObjectName(QStringLiteral("statusMessage"));
    QFont statusFont = QApplication::font();
    statusFont.setPointSize(12);
    statusLabel->setFont(statusFont);
    statusLabel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    statusLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    statusOpacity = new QGraphicsOpacityEffect(statusLabel);
    statusOpacity->setOpacity(0.0);
    statusLabel->setGraphicsEffect(statusOpacity);
    statusFade = new QPropertyAnimation(statusOpacity, "opacity", this);
    statusFade->setDuration(fadeMsec);
    statusFade->setEasingCurve(QEasingCurve::InOutQuad);
    connect(statusFade, &QPropertyAnimation::finished, this, [this] {
        // The old text stays visible while it fades out; drop it once it is gone.
        if (message.isEmpty())
            statusLabel->setMessage({});
    });

    previewToggle = new QToolButton(q);
    previewToggle->setObjectName(QStringLiteral("previewToggle"));
    previewToggle->setAutoRaise(true);
    previewToggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    previewToggle->setIconSize(QSize(iconSize, iconSize));
    connect(previewToggle, &QToolButton::clicked, this, [this] {
        showPreview = !showPreview;
        refreshPreviewToggle();
        Q_EMIT q->showMarkdownPreviewToggled(showPreview);
    });

    auto *row = new QHBoxLayout;
    row->setContentsMargins(sideMargin, 8, sideMargin, 4);
    row->addWidget(saveButton);
    row->addWidget(statusLabel);
    row->addStretch(1);
    row->addWidget(previewToggle);
    column->addLayout(row);

    refreshSaveTint();
    refreshPreviewToggle();
}

void MemoEditorView::Private::buildTitleLine(QVBoxLayout *column, int sideMargin)
{
    auto *frame = new OutlineFrame(q);
    frame->setObjectName(QStringLiteral("titleLine"));

    titleButton = new QPushButton(frame);
    titleButton->setObjectName(QStringLiteral("titleButton"));
    titleButton->setFlat(true);
    titleButton->setFocusPolicy(Qt::TabFocus);
    // A long file name is elided rather than widening the window.
    titleButton->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    titleButton->setStyleSheet(QStringLiteral(
        "QPushButton { text-align: left; padding: 4px; border: 1px solid transparent;"
        " background: transparent; }"
        "QPushButton:focus { border-color: palette(highlight); }"));
    titleButton->installEventFilter(this);
    connect(titleButton, &QPushButton::clicked, this, &Private::startTitleEditing);

    titleField = new QLineEdit(frame);
    titleField->setObjectName(QStringLiteral("titleField"));
    titleField->setAccessibleName(titleFieldName);
    titleField->setFrame(false);
    titleField->setTextMargins(4, 4, 4, 4);
    titleField->installEventFilter(this);
    titleField->hide();
    connect(titleField, &QLineEdit::returnPressed, this, &Private::commitTitle);

    const QFont font = titleFont(fontSize);
    titleButton->setFont(font);
    titleField->setFont(font);

    auto *row = new QHBoxLayout(frame);
    row->setContentsMargins(4, 1, 1, 1);
    row->setSpacing(6);
    row->addWidget(titleButton, 1);
    row->addWidget(titleField, 1);
    // A lasting mark while a document that cannot be saved is open.
    readOnlyMark = new QLabel(readOnlyText, frame);
    readOnlyMark->setObjectName(QStringLiteral("readOnlyMark"));
    readOnlyMark->setAccessibleName(readOnlyText);
    readOnlyMark->setToolTip(QStringLiteral("このファイルは読み込めなかったため、保存されません"));
    readOnlyMark->hide();
    row->addWidget(readOnlyMark);

    auto *outer = new QHBoxLayout;
    outer->setContentsMargins(sideMargin, 0, sideMargin, 0);
    outer->addWidget(frame);
    column->addLayout(outer);
}

void MemoEditorView::Private::buildEditor(QVBoxLayout *column, int sideMargin)
{
    auto *frame = new OutlineFrame(q);
    frame->setObjectName(QStringLiteral("editorFrame"));
    frame->setMinimumHeight(editorMinimumHeight);
    editor = new MarkdownEditor(live, frame);
    auto *inner = new QVBoxLayout(frame);
    inner->setContentsMargins(1, 1, 1, 1);
    inner->addWidget(editor);

    auto *outer = new QHBoxLayout;
    outer->setContentsMargins(sideMargin, 0, sideMargin, sideMargin);
    outer->addWidget(frame);
    column->addLayout(outer, 1);
}

void MemoEditorView::Private::connectSearch()
{
    connect(searchBar, &EditorSearchBar::searchTextChanged, this, [this](const QString &text) {
        editor->setCurrentSearchIndex(searchBar->state().currentIndex);
        editor->setSearchQuery(text);
    });
    connect(searchBar, &EditorSearchBar::searchRequested, this,
            [this](const SearchCommand &command) { editor->runSearchCommand(command); });
    connect(editor, &MarkdownEditor::searchStateChanged, searchBar,
            &EditorSearchBar::setSearchResult);
}

void MemoEditorView::Private::connectShortcuts()
{
    const std::pair<QKeySequence, MarkdownDecoration> decorations[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_B), MarkdownDecoration::bold},
        {QKeySequence(Qt::CTRL | Qt::Key_I), MarkdownDecoration::italic},
        {QKeySequence(Qt::CTRL | Qt::Key_K), MarkdownDecoration::link},
    };
    for (const auto &[keys, decoration] : decorations) {
        // The editor applies it only while it has the focus, so in the search or title field
        // these keys change nothing.
        connect(pageShortcut(keys, q), &QShortcut::activated, this,
                [this, decoration] { editor->applyDecoration(decoration); });
    }
    connect(pageShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), q), &QShortcut::activated, searchBar,
            &EditorSearchBar::focusSearchField);
    // Through the buttons, so the keys do nothing while the buttons are disabled.
    connect(pageShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), q), &QShortcut::activated,
            searchBar->nextButton(), &QToolButton::click);
    connect(pageShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G), q), &QShortcut::activated,
            searchBar->previousButton(), &QToolButton::click);
}

void MemoEditorView::Private::connectNotifications()
{
    AppEvents &center = AppEvents::instance();
    connect(&center, &AppEvents::focusEditorSearchBar, searchBar,
            &EditorSearchBar::focusSearchField);
    connect(&center, &AppEvents::editorSearchNavigate, searchBar, &EditorSearchBar::request);
    connect(&center, &AppEvents::baseFolderChanged, this, [this] {
        endTitleEditing();
        refreshTitle();
    });
    connect(&Settings::instance(), &Settings::searchKeywordChanged, searchBar,
            &EditorSearchBar::syncKeyword);
}

bool MemoEditorView::Private::canRename() const
{
    return !currentFile.isEmpty() && !MemoTitle::isDailyMemo(currentFile) && rename != nullptr;
}

void MemoEditorView::Private::refreshTitle()
{
    title = MemoTitle::text(currentFile, holidayName);
    const bool renamable = canRename();
    const QString help = MemoTitle::helpText(currentFile, renamable);
    titleButton->setToolTip(help);
    titleButton->setAccessibleName(title);
    titleButton->setAccessibleDescription(help);
    titleButton->setFocusPolicy(renamable ? Qt::TabFocus : Qt::NoFocus);
    showElidedTitle();
}

void MemoEditorView::Private::showElidedTitle()
{
    // Less the style sheet's padding and border, 4 + 1 on each side.
    const int available = titleButton->width() - 10;
    const QString shown =
        titleButton->fontMetrics().elidedText(title, Qt::ElideRight, qMax(available, 0));
    titleButton->setText(titleButton->width() > 0 ? shown : title);
}

void MemoEditorView::Private::startTitleEditing()
{
    if (editingTitle || !canRename())
        return;
    editingTitle = true;
    titleField->setText(QFileInfo(currentFile).completeBaseName());
    showTitleEditor(true);
    QTimer::singleShot(0, titleField, [this] {
        if (!editingTitle)
            return;
        titleField->setFocus(Qt::MouseFocusReason);
        titleField->selectAll();
    });
}

void MemoEditorView::Private::commitTitle()
{
    if (!editingTitle)
        return;
    const bool hadFocus = titleField->hasFocus();
    const bool renamed = rename && rename(titleField->text());
    if (!renamed) {
        // The owner has said why; leave the typed name for another try.
        if (editingTitle)
            titleField->setFocus(Qt::OtherFocusReason);
        return;
    }
    // The rename may already have closed the editor by switching the file.
    endTitleEditing();
    if (hadFocus)
        AppEvents::instance().postFocusEditor();
}

void MemoEditorView::Private::endTitleEditing()
{
    if (!editingTitle)
        return;
    editingTitle = false;
    // Unfocus before hiding, so Qt does not hand the focus to whatever comes next in the chain.
    titleField->clearFocus();
    titleField->clear();
    showTitleEditor(false);
}

void MemoEditorView::Private::showTitleEditor(bool editing)
{
    titleField->setVisible(editing);
    titleButton->setVisible(!editing);
}

void MemoEditorView::Private::refreshSaveTint()
{
    const QPalette palette = q->palette();
    const QColor background = modified ? palette.color(QPalette::Highlight) : outlineColor;
    const QColor foreground = modified ? palette.color(QPalette::HighlightedText) : Qt::white;
    saveButton->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; color: %2; border: 1px solid %1;"
                       " border-radius: 5px; padding: 3px 10px; }"
                       "QPushButton:pressed { background-color: %3; }"
                       "QPushButton:focus { border-color: %4; }")
            .arg(background.name(), foreground.name(), background.darker(120).name(),
                 palette.color(QPalette::WindowText).name()));
}

void MemoEditorView::Private::refreshPreviewToggle()
{
    const QString label = showPreview ? hidePreviewText : showPreviewText;
    previewToggle->setText(label);
    previewToggle->setToolTip(label);
    previewToggle->setAccessibleName(label);
    const QColor ink = q->palette().color(QPalette::WindowText);
    previewToggle->setIcon(
        showPreview ? QIcon::fromTheme(QStringLiteral("view-hidden"), eyeIcon(ink, true))
                    : QIcon::fromTheme(QStringLiteral("view-visible"), eyeIcon(ink, false)));
}

void MemoEditorView::Private::refreshMessageColors()
{
    QPalette status = q->palette();
    status.setColor(QPalette::WindowText, MessageColors::color(messageIsFailure, q->palette()));
    statusLabel->setPalette(status);
    QPalette mark = q->palette();
    mark.setColor(QPalette::WindowText, MessageColors::color(true, q->palette()));
    readOnlyMark->setPalette(mark);
}

void MemoEditorView::Private::showMessage(const QString &newMessage)
{
    if (newMessage == message)
        return;
    message = newMessage;
    statusFade->stop();
    statusFade->setStartValue(statusOpacity->opacity());
    if (message.isEmpty()) {
        statusFade->setEndValue(0.0);
    } else {
        statusLabel->setMessage(message);
        statusFade->setStartValue(0.0);
        statusFade->setEndValue(1.0);
    }
    statusFade->start();
}

void MemoEditorView::Private::onTextEdited()
{
    Q_EMIT q->textChanged();
    // One timer restarted by every edit: a burst of keystrokes gives one debounced text,
    // debounceInterval after the last of them. The text itself is read only then.
    debounce.start();
}

void MemoEditorView::Private::onDebounceElapsed()
{
    Q_EMIT q->debouncedTextChanged(editor->text());
}

bool MemoEditorView::Private::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == titleButton && event->type() == QEvent::Resize)
        showElidedTitle();
    if (watched == q && event->type() == QEvent::PaletteChange) {
        // Light and dark mode: the tint and the drawn eye follow the new colours. A widget
        // with a style sheet keeps the colours it was polished with until it is polished again.
        titleButton->setStyleSheet(titleButton->styleSheet());
        refreshMessageColors();
        refreshSaveTint();
        refreshPreviewToggle();
    }
    if (watched != titleField)
        return QObject::eventFilter(watched, event);
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier)
        return QObject::eventFilter(watched, event);
    // Escape belongs to the title field while it is open: claim it from any shortcut, then
    // cancel on the key press itself.
    event->accept();
    if (event->type() == QEvent::KeyPress) {
        endTitleEditing();
        AppEvents::instance().postFocusEditor();
    }
    return true;
}

MemoEditorView::MemoEditorView(EditorLiveState &live, QWidget *parent)
    : QWidget(parent), d(std::make_unique<Private>(this, live))
{
}

// The private part is the context of every connection, so going first it cuts them before the
// child widgets are torn down and could still signal.
MemoEditorView::~MemoEditorView() = default;

void MemoEditorView::showDocument(const QString &filePath, const QString &text)
{
    setCurrentFile(filePath);
    // A debounced text still due belongs to the document that left.
    d->debounce.stop();
    d->editor->setDocumentOpen(!filePath.isEmpty());
    d->editor->loadText(text);
}

void MemoEditorView::setCurrentFile(const QString &filePath)
{
    if (filePath == d->currentFile)
        return;
    d->endTitleEditing();
    d->currentFile = filePath;
    d->refreshTitle();
}

void MemoEditorView::replaceText(const QString &text)
{
    d->editor->replaceText(text);
}

QString MemoEditorView::text() const
{
    return d->editor->text();
}

void MemoEditorView::setFontSize(int pointSize)
{
    d->fontSize = pointSize;
    const QFont font = titleFont(pointSize);
    d->titleButton->setFont(font);
    d->titleField->setFont(font);
    d->showElidedTitle();
    d->editor->setFontSize(pointSize);
}

void MemoEditorView::setTemporaryMessage(const QString &message, bool failure)
{
    if (!message.isEmpty() && failure != d->messageIsFailure) {
        d->messageIsFailure = failure;
        d->refreshMessageColors();
    }
    d->showMessage(message);
}

void MemoEditorView::setModified(bool modified)
{
    if (modified == d->modified)
        return;
    d->modified = modified;
    d->refreshSaveTint();
}

void MemoEditorView::setDocumentReadOnly(bool readOnly)
{
    d->readOnlyMark->setVisible(readOnly);
    d->editor->setDocumentReadOnly(readOnly);
}

void MemoEditorView::setShowMarkdownPreview(bool shown)
{
    if (shown == d->showPreview)
        return;
    d->showPreview = shown;
    d->refreshPreviewToggle();
}

void MemoEditorView::setDebounceInterval(int msec)
{
    d->debounce.setInterval(qMax(msec, 0));
}

void MemoEditorView::scrollToLine(qint64 lineIndex)
{
    d->editor->scrollToLine(lineIndex);
}

void MemoEditorView::syncSearchKeyword(const QString &keyword)
{
    d->searchBar->syncKeyword(keyword);
}

void MemoEditorView::setPreferEditorFocusOnAppear(bool prefer)
{
    d->preferEditorFocus = prefer;
}

void MemoEditorView::setRenameHandler(RenameHandler handler)
{
    d->rename = std::move(handler);
    if (!d->canRename())
        d->endTitleEditing();
    d->refreshTitle();
}

void MemoEditorView::setHolidayNameProvider(HolidayNameProvider provider)
{
    d->holidayName = std::move(provider);
    d->refreshTitle();
}

void MemoEditorView::refreshTitle()
{
    d->refreshTitle();
}

QString MemoEditorView::titleText() const
{
    return d->title;
}

bool MemoEditorView::isEditingTitle() const
{
    return d->editingTitle;
}

MarkdownEditor *MemoEditorView::editor() const
{
    return d->editor;
}

EditorSearchBar *MemoEditorView::searchBar() const
{
    return d->searchBar;
}

void MemoEditorView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous() || !d->preferEditorFocus)
        return;
    if (d->searchBar->isSearchFieldFocused())
        d->searchBar->searchField()->clearFocus();
    d->titleField->clearFocus();
    // Asked for once the page is really there; by then the owner may have moved to a page
    // that keeps the focus for itself.
    QTimer::singleShot(0, d.get(), [this] {
        if (d->preferEditorFocus)
            AppEvents::instance().postFocusEditor();
    });
}

void MemoEditorView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Minimising the window is not leaving the page.
    if (!event->spontaneous())
        Q_EMIT disappeared();
}

namespace MessageColors {

QColor color(bool failure, const QPalette &palette)
{
    // Tones of the usual error red and success green, one pair for light and one for dark
    // backgrounds; each keeps a contrast of at least 4.5:1 on the window colour.
    const bool dark = palette.color(QPalette::Window).lightnessF() < 0.5;
    if (failure)
        return dark ? QColor(0xff, 0x8a, 0x80) : QColor(0xb3, 0x26, 0x1e);
    return dark ? QColor(0x7e, 0xe2, 0xa0) : QColor(0x17, 0x69, 0x2f);
}

} // namespace MessageColors
