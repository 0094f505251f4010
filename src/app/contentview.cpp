#include "app/contentview.h"

#include "history/deletednotesdialog.h"
#include "history/historypane.h"
#include "history/historyrecorder.h"
#include "history/historyrestore.h"

#include "app/statusbarview.h"
#include "calendar/calendarview.h"
#include "calendar/holidaystore.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "editor/notetextedit.h"
#include "index/indexservice.h"
#include "notes/notesview.h"
#include "platform/appevents.h"
#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "preview/markdownpreviewpane.h"
#include "search/quickopenview.h"
#include "search/searchcontroller.h"
#include "search/searchview.h"
#include "storage/memomanager.h"
#include "storage/pathmanager.h"
#include "storage/recovery.h"
#include "storage/settings.h"

#include <QButtonGroup>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int pagePickerWidth = 180;
constexpr int pageColumnWidth = 220;
constexpr int editorMinimumWidth = 200;
constexpr int debounceIntervalMsec = 300;
constexpr int busyRetryMsec = 1000;

QDate today()
{
    return Clock::current().now().toTimeZone(Clock::current().timeZone()).date();
}

bool askToDiscard(QWidget *parent)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Quillmere"));
    box.setText(ContentView::discardTitle);
    QPushButton *discard =
        box.addButton(ContentView::discardButtonText, QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(ContentView::cancelButtonText, QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == discard;
}

bool askToReload(QWidget *parent)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Question);
    box.setWindowTitle(QStringLiteral("Quillmere"));
    box.setText(ContentView::externalChangeTitle);
    QPushButton *reload = box.addButton(ContentView::reloadButtonText, QMessageBox::AcceptRole);
    QPushButton *keep = box.addButton(ContentView::keepButtonText, QMessageBox::RejectRole);
    box.setDefaultButton(reload);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() == reload;
}

} // namespace

QString ContentView::pageToString(Page page)
{
    switch (page) {
    case Page::calendar:
        return QStringLiteral("calendar");
    case Page::notes:
        return QStringLiteral("notes");
    case Page::search:
        return QStringLiteral("search");
    }
    return QStringLiteral("calendar");
}

std::optional<ContentView::Page> ContentView::pageFromString(const QString &raw)
{
    for (Page page : {Page::calendar, Page::notes, Page::search}) {
        if (pageToString(page) == raw)
            return page;
    }
    return std::nullopt;
}

ContentView::ContentView(MemoManager &memo, QWidget *parent)
    : QWidget(parent), m_memo(memo), m_selectedDate(today()), m_externalChangePrompt(askToReload),
      m_discardPrompt(askToDiscard), m_autosaveTimer(new QTimer(this)),
      m_busyRetryTimer(new QTimer(this))
{
    m_autosaveTimer->setSingleShot(true);
    connect(m_autosaveTimer, &QTimer::timeout, this, &ContentView::autosaveIfDue);
    m_busyRetryTimer->setSingleShot(true);
    m_busyRetryTimer->setInterval(busyRetryMsec);
    connect(m_busyRetryTimer, &QTimer::timeout, this, &ContentView::retryBusySave);
    // The note index is built in the background once the window is up; searches scan until then.
    m_index = new IndexService(this);
    QTimer::singleShot(0, m_index, &IndexService::start);
    buildLayout();
    connect(m_index, &IndexService::stateChanged, m_statusBar, &StatusBarView::setIndexState);
    updateEditorFocusRule();
    connectEditor();
    connectSidePane();
    connectMemo();
    connectNotifications();
    connectPictures();
    connectHistory();
    connectLinks();

    auto *quickOpen = new QShortcut(QKeySequence(QStringLiteral("Ctrl+P")), this);
    quickOpen->setContext(Qt::WindowShortcut);
    connect(quickOpen, &QShortcut::activated, this, &ContentView::showQuickOpen);
    connectPageKeys();
}

// Ctrl+1, Ctrl+2 and Ctrl+3 choose the pages in the order of their buttons. The search page's
// field takes the keyboard, as with 全体から検索; the other pages hand it to the editor.
void ContentView::connectPageKeys()
{
    for (Page page : {Page::calendar, Page::notes, Page::search}) {
        auto *key = new QShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + int(page))), this);
        key->setContext(Qt::WindowShortcut);
        connect(key, &QShortcut::activated, this, [this, page] {
            if (page == Page::search)
                activateGlobalSearch();
            else
                setSelectedPage(page);
        });
    }
}

ContentView::~ContentView()
{
    // The child widgets go after this body: their last signals (the editor hiding) must not
    // reach a view that is half gone.
    m_editor->disconnect(this);
    m_memo.disconnect(this);
    // What was saved since the last version of each note, kept before the program ends.
    m_history->finish();
}

void ContentView::buildLayout()
{
    auto *pickerRow = new QWidget(this);
    pickerRow->setFixedWidth(pageColumnWidth);
    auto *pickerLayout = new QHBoxLayout(pickerRow);
    pickerLayout->setContentsMargins(20, 8, 20, 4);
    pickerLayout->setSpacing(0);
    auto *pickerBox = new QWidget(pickerRow);
    pickerBox->setFixedWidth(pagePickerWidth);
    pickerBox->setAccessibleName(QStringLiteral("ページ"));
    auto *segments = new QHBoxLayout(pickerBox);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    m_pagePicker = new QButtonGroup(this);
    m_pagePicker->setExclusive(true);
    const QList<std::pair<Page, QString>> items = {{Page::calendar, QStringLiteral("日付")},
                                                   {Page::notes, QStringLiteral("ノート")},
                                                   {Page::search, QStringLiteral("検索")}};
    m_pages = new QStackedWidget(this);
    m_pages->setFixedWidth(pageColumnWidth);
    for (const auto &[page, title] : items) {
        auto *button = new QPushButton(title, pickerBox);
        button->setCheckable(true);
        button->setAccessibleName(title);
        button->setFocusPolicy(Qt::TabFocus);
        segments->addWidget(button);
        m_pagePicker->addButton(button, int(page));
        m_pages->addWidget(createPage(page));
    }
    pickerLayout->addWidget(pickerBox);
    m_pagePicker->button(int(Page::calendar))->setChecked(true);
    connect(m_pagePicker, &QButtonGroup::idClicked, this,
            [this](int id) { setSelectedPage(Page(id)); });

    auto *leftColumn = new QVBoxLayout;
    leftColumn->setSpacing(0);
    leftColumn->setContentsMargins(0, 0, 0, 0);
    leftColumn->addWidget(pickerRow);
    leftColumn->addWidget(m_pages, 1);

    m_editor = new MemoEditorView(m_live, this);
    m_editor->setMinimumWidth(editorMinimumWidth);
    m_editor->setDebounceInterval(debounceIntervalMsec);
    m_sidePane = new MarkdownPreviewPane(m_live, this);
    m_sidePane->setMinimumWidth(1);

    auto *editorArea = new QHBoxLayout;
    editorArea->setSpacing(0);
    editorArea->setContentsMargins(0, 0, 0, 0);
    // Equal stretch: the editor and the side pane share the width half and half.
    editorArea->addWidget(m_editor, 1);
    editorArea->addWidget(m_sidePane, 1);

    auto *top = new QHBoxLayout;
    top->setSpacing(0);
    top->setContentsMargins(0, 0, 0, 0);
    top->addLayout(leftColumn);
    top->addLayout(editorArea, 1);

    m_statusBar = new StatusBarView(m_live, this);

    auto *root = new QVBoxLayout(this);
    root->setSpacing(0);
    root->setContentsMargins(0, 0, 0, 0);
    root->addLayout(top, 1);
    root->addWidget(m_statusBar);

    m_editor->setFontSize(Settings::instance().editorFontSize());
    updateSidePane();
}

QWidget *ContentView::createPage(Page page)
{
    switch (page) {
    case Page::calendar:
        m_calendar = new CalendarView(m_pages);
        connect(m_calendar, &CalendarView::dateChanged, this, &ContentView::dateChanged);
        return m_calendar;
    case Page::search:
        m_search = new SearchView(m_pages);
        m_search->controller().setSearchEngine(m_index);
        connect(m_search, &SearchView::hitSelected, this, &ContentView::searchHitSelected);
        connect(m_search, &SearchView::cleared, this, &ContentView::searchCleared);
        return m_search;
    case Page::notes:
        m_notes = new NotesView(m_pages);
        connect(m_notes, &NotesView::fileSelected, this, &ContentView::notesFileSelected);
        // Direct: the page moves or deletes the file right after asking, so the edits must be
        // on disk by then.
        connect(
            m_notes, &NotesView::saveRequested, this, [this] { saveCurrent(); },
            Qt::DirectConnection);
        connect(m_notes, &NotesView::openFileMoved, this, &ContentView::openFileMoved);
        connect(m_notes, &NotesView::fileDeleted, this, &ContentView::fileDeleted);
        connect(m_notes, &NotesView::noteCreated, this, &ContentView::noteCreated);
        connect(m_notes, &NotesView::deletedNotesRequested, this, &ContentView::showDeletedNotes);
        return m_notes;
    }
    return nullptr;
}

void ContentView::connectEditor()
{
    m_editor->setHolidayNameProvider(
        [](const QDate &date) { return HolidayStore::shared().holidayName(date); });
    connect(&HolidayStore::shared(), &HolidayStore::loaded, m_editor,
            &MemoEditorView::refreshTitle);
    connect(m_editor, &MemoEditorView::textChanged, this, &ContentView::edited);
    connect(m_editor, &MemoEditorView::saveRequested, this, [this] { saveCurrent(); });
    // The pages exist before the editor: the search page's keyword is wired to it here.
    connect(&m_search->controller(), &SearchController::keywordSynced, m_editor,
            &MemoEditorView::syncSearchKeyword);
    connect(m_editor, &MemoEditorView::disappeared, this, [this] { saveCurrent(); });
    connect(m_editor, &MemoEditorView::showMarkdownPreviewToggled, this,
            &ContentView::setShowMarkdownPreview);
    m_editor->setRenameHandler([this](const QString &name) { return renameFromTitle(name); });

    connect(&Settings::instance(), &Settings::editorFontSizeChanged, m_editor,
            &MemoEditorView::setFontSize);
    connect(&Settings::instance(), &Settings::showMarkdownPreviewChanged, this,
            [this] { updateSidePane(); });
}

void ContentView::connectSidePane()
{
    connect(m_sidePane, &MarkdownPreviewPane::checkboxToggled, this,
            &ContentView::toggleCheckboxLine);
    connect(m_sidePane, &MarkdownPreviewPane::headingSelected, this, &ContentView::headingSelected);
    connect(m_sidePane, &MarkdownPreviewPane::closeRequested, this, &ContentView::sidePaneClosed);
    connect(m_editor, &MemoEditorView::debouncedTextChanged, m_sidePane,
            &MarkdownPreviewPane::setMarkdownText);
}

void ContentView::updateSidePaneDocument()
{
    m_sidePane->setDocumentId(m_memo.currentFilePath());
    // A document that cannot be saved gets no header from a save: nothing is promised.
    m_sidePane->setHeaderInfo(m_memo.headerYAML(), m_memo.headerIsPending() && m_memo.isEditable(),
                              m_memo.joplinHeaderYAML());
}

void ContentView::connectMemo()
{
    connect(&m_memo, &MemoManager::headerChanged, this, &ContentView::updateSidePaneDocument);
    connect(&m_memo, &MemoManager::isModifiedChanged, this, [this](bool modified) {
        m_editor->setModified(modified);
        if (QWidget *w = window())
            w->setWindowModified(modified);
    });
    connect(&m_memo, &MemoManager::temporaryMessageChanged, this, [this] {
        m_editor->setTemporaryMessage(m_memo.temporaryMessage(),
                                      m_memo.temporaryMessageKind() == MessageKind::failure);
    });
    connect(&m_memo, &MemoManager::currentFilePathChanged, this, [this] {
        m_live.setScrollOffset(0);
        m_editor->setCurrentFile(m_memo.currentFilePath());
        updateSidePaneDocument();
        updateStatusBar();
        updateWindowTitle();
    });
    connect(&m_memo, &MemoManager::documentLoaded, this, &ContentView::showLoadedDocument);
    connect(&m_memo, &MemoManager::bodyReplaced, this, &ContentView::showReplacedBody);
    connect(&m_memo, &MemoManager::diskChanged, this, &ContentView::diskChanged);
    connect(&m_memo, &MemoManager::editableChanged, this, [this] {
        m_editor->setDocumentReadOnly(!m_memo.isEditable());
        updateSidePaneDocument();
    });
    connect(&m_memo, &MemoManager::statusModificationDateChanged, this,
            &ContentView::updateStatusBar);
}

void ContentView::connectNotifications()
{
    AppEvents &center = AppEvents::instance();
    connect(&center, &AppEvents::baseFolderChanged, this, [this] { loadDocument(m_selectedDate); });
    connect(&center, &AppEvents::activateGlobalSearch, this, &ContentView::activateGlobalSearch);
}

bool ContentView::showMarkdownPreview() const
{
    return Settings::instance().showMarkdownPreview();
}

void ContentView::setShowMarkdownPreview(bool shown)
{
    if (shown == showMarkdownPreview())
        return;
    const int editorWidth = m_editor->width();
    Settings::instance().setShowMarkdownPreview(shown);
    if (QWidget *w = window(); w && w != this)
        Q_EMIT windowWidthRequested(windowWidthForSidePane(shown, w->width(), editorWidth));
}

int ContentView::windowWidthForSidePane(bool shown, int windowWidth, int editorWidth)
{
    const int paneWidth = editorWidth > 0 ? editorWidth : 600;
    return shown ? windowWidth + paneWidth : qMax(windowWidth - paneWidth, 400);
}

void ContentView::updateSidePane()
{
    const bool shown = showMarkdownPreview();
    m_sidePane->setVisible(shown);
    m_editor->setShowMarkdownPreview(shown);
}

void ContentView::updateStatusBar()
{
    const QString base = PathManager::baseFolderPath();
    QString path = m_memo.currentFilePath();
    path.replace(base + QLatin1Char('/'), QString());
    m_statusBar->setFilePath(path);
    m_statusBar->setBaseFolderPath(base);
    m_statusBar->setModificationDate(m_memo.statusModificationDate());
}

QString ContentView::editorText() const
{
    return m_editor->text();
}

// Every load, by whatever route and whatever widget has the focus, ends here: the editor shows
// exactly the loaded body, with a fresh undo history.
void ContentView::showLoadedDocument()
{
    m_autosave.saved();
    m_autosaveTimer->stop();
    m_busyRetryTimer->stop();
    m_statusBar->setNotice(QString());
    m_editor->setDocumentReadOnly(!m_memo.isEditable());
    m_editor->showDocument(m_memo.currentFilePath(), m_memo.loadedBody());
    m_sidePane->setMarkdownText(m_memo.loadedBody());
    updateSidePaneDocument();
    updateStatusBar();
}

// The same document, with text from disk (a reload, or a save that merged another program's
// changes): the editor keeps the caret on the text it was on.
void ContentView::showReplacedBody()
{
    m_editor->setDocumentReadOnly(!m_memo.isEditable());
    m_editor->replaceText(m_memo.loadedBody());
    m_sidePane->setMarkdownText(m_memo.loadedBody());
    updateStatusBar();
}

// Without edits of our own the editor simply follows the file. With edits, the next save
// merges; it comes within the autosave interval.
void ContentView::diskChanged()
{
    if (m_showingExternalChangeAlert)
        return;
    if (!m_memo.isModified()) {
        if (m_memo.fileIsGone())
            closeGoneFile();
        else
            m_memo.reloadIfChangedOnDisk();
        return;
    }
    // A file gone meanwhile is written back by that save.
    scheduleAutosave();
}

void ContentView::edited()
{
    m_memo.markModified();
    m_autosave.edited(Clock::current().now());
    scheduleAutosave();
}

void ContentView::scheduleAutosave()
{
    if (const auto due = m_autosave.msecUntilDue(Clock::current().now()))
        m_autosaveTimer->start(int(*due));
}

void ContentView::autosaveIfDue()
{
    const auto due = m_autosave.msecUntilDue(Clock::current().now());
    if (!due)
        return;
    // Not while the user is asked about the file on disk, nor with a rename half typed: both
    // finish first.
    if (*due > 0 || m_showingExternalChangeAlert || m_editor->isEditingTitle()) {
        m_autosaveTimer->start(qMax(int(*due), 500));
        return;
    }
    if (!saveCurrent(SaveAnnouncement::quiet)) {
        // Tried again a while later, and at the next edit.
        m_autosaveTimer->start(30000);
    }
}

void ContentView::appear()
{
    m_selectedPage =
        pageFromString(Settings::instance().lastSelectedPage()).value_or(Page::calendar);
    updateEditorFocusRule();
    m_pagePicker->button(int(m_selectedPage))->setChecked(true);
    m_pages->setCurrentIndex(int(m_selectedPage));
    switch (m_selectedPage) {
    case Page::calendar:
        m_selectedDate = today();
        m_calendar->setSelectedDate(m_selectedDate);
        m_memo.loadMemo(m_selectedDate);
        break;
    case Page::notes:
        if (!m_notesSelectedFile.isEmpty())
            loadDocument(m_notesSelectedFile);
        break;
    case Page::search:
        if (!m_searchSelectedFile.isEmpty())
            loadDocument(m_searchSelectedFile);
        break;
    }
    updateStatusBar();
    if (m_selectedPage != Page::search)
        postFocusEditorSoon(0);
}

void ContentView::setSelectedPage(Page page)
{
    if (page != m_selectedPage && !saveCurrent()) {
        // The edits could not be written: stay where they are.
        m_pagePicker->button(int(m_selectedPage))->setChecked(true);
        return;
    }
    m_pagePicker->button(int(page))->setChecked(true);
    if (page == m_selectedPage)
        return;
    m_selectedPage = page;
    updateEditorFocusRule();
    m_pages->setCurrentIndex(int(page));
    pageSwitched(page);
}

void ContentView::pageSwitched(Page page)
{
    switch (page) {
    case Page::calendar:
        m_memo.loadMemo(m_selectedDate);
        postFocusEditorSoon(0);
        break;
    case Page::notes:
        if (m_notesSelectedFile.isEmpty()) {
            // The previous document stays on screen; its edits were just saved.
            m_memo.updateModifiedFlag(m_editor->text());
        } else {
            loadDocument(m_notesSelectedFile);
        }
        postFocusEditorSoon(100);
        break;
    case Page::search:
        if (m_searchSelectedFile.isEmpty())
            saveAndClear();
        else
            loadDocument(m_searchSelectedFile);
        break;
    }
    Settings::instance().setLastSelectedPage(pageToString(page));
}

void ContentView::updateEditorFocusRule()
{
    m_editor->setPreferEditorFocusOnAppear(m_selectedPage != Page::search);
}

void ContentView::postFocusEditorSoon(int msec)
{
    QTimer::singleShot(msec, this, [] { AppEvents::instance().postFocusEditor(); });
}

bool ContentView::saveCurrent(SaveAnnouncement announcement)
{
    // The text is compared rather than trusting the modified flag alone: an edit whose signal
    // never came (an input method that did not finish) is still saved.
    if (m_memo.currentFilePath().isEmpty() || !m_memo.isEditable())
        return true;
    const SaveOutcome outcome = m_memo.save(m_editor->text(), announcement);
    if (outcome.status == SaveOutcome::Status::Busy) {
        // Nothing is lost: the edits stay in the editor, and the save comes again shortly.
        m_statusBar->setNotice(MemoManager::busyMessage, true);
        m_busyRetryTimer->start();
        return false;
    }
    if (!outcome.succeeded())
        return false;
    m_busyRetryTimer->stop();
    if (outcome.status == SaveOutcome::Status::Restored)
        m_statusBar->setNotice(MemoManager::restoredMessage);
    else if (m_statusBar->notice() == MemoManager::busyMessage)
        m_statusBar->setNotice(QString());
    m_autosave.saved();
    m_autosaveTimer->stop();
    return true;
}

void ContentView::retryBusySave()
{
    // As the autosave: not while the user is asked about the file, nor with a rename half typed.
    if (m_showingExternalChangeAlert || m_editor->isEditingTitle()) {
        m_busyRetryTimer->start();
        return;
    }
    saveCurrent(SaveAnnouncement::quiet);
}

bool ContentView::loadDocument(const MemoItem &item)
{
    if (!saveCurrent())
        return false;
    m_memo.loadItem(item);
    const QString &current = m_memo.currentFilePath();
    if (current.isEmpty())
        return true;
    if (m_selectedPage == Page::notes && m_notesSelectedFile != current)
        setNotesSelectedFile(current);
    else if (m_selectedPage == Page::search && m_searchSelectedFile != current)
        setSearchSelectedFile(current);
    return true;
}

bool ContentView::saveAndClear()
{
    if (!saveCurrent())
        return false;
    m_memo.clearDocument();
    return true;
}

bool ContentView::saveBeforeExit()
{
    if (saveCurrent())
        return true;
    QString error;
    const QString recovery = Recovery::write(m_memo.currentFilePath(), m_editor->text(), &error);
    if (recovery.isEmpty())
        Diagnostics::log(QStringLiteral("復元ファイルを書けませんでした: ") + error);
    return false;
}

bool ContentView::saveOrConfirmClose()
{
    return saveCurrent() || m_discardPrompt(window());
}

void ContentView::setDiscardPrompt(DiscardPrompt prompt)
{
    m_discardPrompt = std::move(prompt);
}

std::optional<QString> ContentView::toggledCheckboxText(const QString &text, qint64 lineIndex)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lineIndex < 0 || lineIndex >= lines.size())
        return std::nullopt;
    QString &line = lines[qsizetype(lineIndex)];
    qsizetype start = 0;
    while (start < line.size() &&
           (line[start] == QLatin1Char(' ') || line[start] == QLatin1Char('\t')))
        ++start;
    const QStringView rest = QStringView(line).mid(start);
    if (rest.startsWith(u"- [ ] "))
        line[start + 3] = QLatin1Char('x');
    else if (rest.startsWith(u"- [x] ") || rest.startsWith(u"- [X] "))
        line[start + 3] = QLatin1Char(' ');
    else
        return std::nullopt;
    return lines.join(QLatin1Char('\n'));
}

void ContentView::toggleCheckboxLine(qint64 lineIndex)
{
    if (m_memo.currentFilePath().isEmpty() || !m_memo.isEditable())
        return;
    const auto toggled = toggledCheckboxText(m_editor->text(), lineIndex);
    if (!toggled)
        return;
    m_editor->replaceText(*toggled);
    m_sidePane->setMarkdownText(*toggled);
    edited();
}

bool ContentView::renameFromTitle(const QString &name)
{
    // The save is a step of the rename, not news of its own.
    if (!saveCurrent(SaveAnnouncement::quiet))
        return false;
    const QString oldPath = m_memo.currentFilePath();
    if (!m_memo.renameCurrentFile(name))
        return false;
    const QString newPath = m_memo.currentFilePath();
    if (m_notesSelectedFile == oldPath)
        setNotesSelectedFile(newPath);
    if (m_searchSelectedFile == oldPath)
        setSearchSelectedFile(newPath);
    return true;
}

void ContentView::setExternalChangePrompt(ExternalChangePrompt prompt)
{
    m_externalChangePrompt = std::move(prompt);
}

void ContentView::checkExternalChange()
{
    if (m_showingExternalChangeAlert)
        return;
    // Without edits of our own there is nothing to lose: the editor follows the file.
    if (!m_memo.isModified()) {
        if (m_memo.fileIsGone())
            closeGoneFile();
        else
            m_memo.reloadIfChangedOnDisk();
        return;
    }
    const auto pending = m_memo.externalChangeText();
    if (!pending)
        return;
    m_showingExternalChangeAlert = true;
    const bool reload = m_externalChangePrompt(window());
    m_showingExternalChangeAlert = false;
    if (reload) {
        // Read again: the file may have changed once more while the question was open.
        m_memo.reloadFromDisk();
    } else {
        m_memo.setDeclinedExternalContent(*pending);
        scheduleAutosave();
    }
}

void ContentView::showQuickOpen()
{
    QuickOpenView *existing = window()->findChild<QuickOpenView *>();
    if (existing) {
        QuickOpenView::open(window());
        return;
    }
    // Where the keyboard was: hiding the palette's field would otherwise hand the focus to
    // whatever comes next in the window (the page picker).
    QPointer<QWidget> previousFocus = window()->focusWidget();
    QuickOpenView *palette = QuickOpenView::open(window());
    connect(palette, &QuickOpenView::closed, this, [this, previousFocus] {
        if (previousFocus && previousFocus->isVisible() && previousFocus->isEnabled())
            previousFocus->setFocus(Qt::OtherFocusReason);
        else
            m_editor->editor()->focusEditor();
    });
    connect(palette, &QuickOpenView::fileChosen, this, [this](const QString &path) {
        if (loadDocument(path))
            m_editor->editor()->focusEditor();
    });
}

void ContentView::createNote()
{
    setSelectedPage(Page::notes);
    // A failed save keeps the page where the edits are; the note waits until they are safe.
    if (m_selectedPage == Page::notes)
        m_notes->addNote();
}

void ContentView::noteCreated(const QString &filePath)
{
    if (filePath.isEmpty() || filePath != m_memo.currentFilePath())
        return;
    MarkdownEditor *editor = m_editor->editor();
    editor->textEdit()->moveCursor(QTextCursor::End);
    editor->focusEditor();
}

QString ContentView::windowTitleFor(const QString &filePath)
{
    const QString program = QStringLiteral("Quillmere");
    if (filePath.isEmpty())
        return program;
    // "[*]" in a name is doubled so that it stays text and only our mark is the placeholder.
    QString name = QFileInfo(filePath).completeBaseName();
    name.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    // The program's name at the end: a window system that appends it finds it already there.
    return name + QStringLiteral("[*] — ") + program;
}

void ContentView::updateWindowTitle()
{
    if (QWidget *w = window(); w && w != this)
        w->setWindowTitle(windowTitleFor(m_memo.currentFilePath()));
}

void ContentView::setNotesSelectedFile(const QString &filePath)
{
    m_notesSelectedFile = filePath;
    if (m_notes && m_notes->selectedFile() != filePath)
        m_notes->setSelectedFile(filePath);
}

void ContentView::openFileMoved(const QString &oldPath, const QString &newPath)
{
    m_memo.followMovedFile(oldPath, newPath);
    if (m_notesSelectedFile == oldPath)
        setNotesSelectedFile(newPath);
    if (m_searchSelectedFile == oldPath)
        setSearchSelectedFile(newPath);
}

void ContentView::setSearchSelectedFile(const QString &filePath)
{
    m_searchSelectedFile = filePath;
    if (m_search)
        m_search->setSelectedFile(filePath);
}

void ContentView::dateChanged(const QDate &date)
{
    if (!saveCurrent()) {
        m_calendar->setSelectedDate(m_selectedDate);
        return;
    }
    m_selectedDate = date;
    loadDocument(date);
}

void ContentView::notesFileSelected(const QString &filePath)
{
    if (!saveCurrent()) {
        m_notes->setSelectedFile(m_notesSelectedFile);
        return;
    }
    setNotesSelectedFile(filePath);
    loadDocument(filePath);
}

void ContentView::searchHitSelected(const QString &filePath)
{
    if (!saveCurrent()) {
        m_search->setSelectedFile(m_searchSelectedFile);
        return;
    }
    setSearchSelectedFile(filePath);
    loadDocument(filePath);
}

void ContentView::searchCleared()
{
    setSearchSelectedFile(QString());
    saveAndClear();
}

void ContentView::headingSelected(qint64 lineIndex)
{
    m_editor->scrollToLine(lineIndex);
}

void ContentView::sidePaneClosed()
{
    setShowMarkdownPreview(false);
}

void ContentView::fileDeleted(const QString &filePath)
{
    if (filePath.isEmpty() || filePath != m_memo.currentFilePath())
        return;
    m_memo.clearDocument();
    if (m_selectedPage == Page::notes)
        setNotesSelectedFile(QString());
    else if (m_selectedPage == Page::search)
        setSearchSelectedFile(QString());
}

void ContentView::closeGoneFile()
{
    // The selected day's memo shows that day empty again, as a day without a memo; any other
    // file closes, so that nothing writes it back where it no longer belongs.
    if (m_selectedPage == Page::calendar &&
        m_memo.currentFilePath() == PathManager::dailyMemoPath(m_selectedDate))
        m_memo.loadMemo(m_selectedDate);
    else
        fileDeleted(m_memo.currentFilePath());
    m_statusBar->setNotice(MemoManager::goneMessage);
}

void ContentView::activateGlobalSearch()
{
    setSelectedPage(Page::search);
    Settings::instance().setLastSelectedPage(pageToString(Page::search));
    // Once now and once after the page switch has settled, which may move the focus itself.
    SearchController *search = &m_search->controller();
    QTimer::singleShot(0, search, &SearchController::requestKeywordFieldFocus);
    QTimer::singleShot(80, search, &SearchController::requestKeywordFieldFocus);
}

void ContentView::connectHistory()
{
    m_history = new HistoryRecorder(HistoryRecorder::Mode::window, this);
    m_historyPane = new HistoryPane(*m_history);
    m_historyPane->setCurrentText([this] { return m_editor->text(); });
    m_sidePane->setHistoryView(m_historyPane);
    connect(&m_memo, &MemoManager::currentFilePathChanged, this, [this] {
        const QString path = m_memo.currentFilePath();
        if (path == m_historyNote)
            return;
        if (!m_historyNote.isEmpty())
            m_history->noteLeft(m_historyNote);
        m_historyNote = path;
        if (!path.isEmpty())
            m_history->noteOpened(path);
        m_historyPane->setNote(path);
    });
    connect(&m_memo, &MemoManager::diskChanged, this, [this] {
        if (!m_historyNote.isEmpty())
            m_history->noticeOutsideChange(m_historyNote);
    });
    connect(m_history, &HistoryRecorder::failed, this,
            [this](const QString &message) { m_statusBar->setNotice(message, true); });
    connect(m_historyPane, &HistoryPane::restoreRequested, this, &ContentView::restoreVersion);
    connect(m_historyPane, &HistoryPane::restoreAsNoteRequested, this,
            &ContentView::restoreVersionAsNote);
}

void ContentView::restoreVersion(const QString &body)
{
    if (m_memo.currentFilePath().isEmpty() || !m_memo.isEditable())
        return;
    // The text now is kept first, so that bringing the version back can be undone later too.
    if (!saveCurrent(SaveAnnouncement::quiet))
        return;
    m_history->restoring(m_memo.currentFilePath());
    m_editor->replaceText(body);
    m_sidePane->setMarkdownText(body);
    edited();
}

void ContentView::restoreVersionAsNote(const QByteArray &bytes, const QDateTime &time)
{
    const QString path = m_memo.currentFilePath();
    if (path.isEmpty())
        return;
    QString error;
    const QString written =
        HistoryRestore::writeNew(HistoryRestore::copyPath(path, time), bytes, &error);
    m_statusBar->setNotice(written.isEmpty()
                               ? QStringLiteral("別のノートとして復元できませんでした: ") + error
                               : QStringLiteral("別のノートとして復元しました: ") +
                                     QFileInfo(written).fileName(),
                           written.isEmpty());
}

void ContentView::showDeletedNotes()
{
    auto *dialog = new DeletedNotesDialog(*m_history, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}
