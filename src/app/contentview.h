#pragma once

#include "app/autosaveschedule.h"
#include "editor/editorlivestate.h"
#include "links/notehistory.h"
#include "storage/memomanager.h"

#include <QDate>
#include <QSet>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class HistoryPane;
class HistoryRecorder;
class CalendarView;
class LinkGraph;
class SerialQueue;
class IndexService;
class MarkdownPreviewPane;
class MemoEditorView;
class QButtonGroup;
class NotesView;
class SearchView;
class QHBoxLayout;
class QLabel;
class QMimeData;
class StatusBarView;
class QStackedWidget;
class QTimer;

/// The content of the main window: the page column (calendar, notes, search) on the left, the
/// editor with the side pane on the right, the status bar below. It is the only caller of the
/// memo store: it decides which document is loaded when, saves before every switch (and a
/// little after typing stops), and shows every document the store loads in the editor. The
/// editor holds the one copy of the open text; the store keeps the file's state.
class ContentView : public QWidget
{
    Q_OBJECT

public:
    enum class Page { calendar, notes, search };
    static QString pageToString(Page page);
    static std::optional<Page> pageFromString(const QString &raw);

    static inline const QString externalChangeTitle =
        QStringLiteral("他のアプリケーションで変更されました。更新しますか?");
    static inline const QString reloadButtonText = QStringLiteral("更新する");
    static inline const QString keepButtonText = QStringLiteral("更新しない");

    explicit ContentView(MemoManager &memo, QWidget *parent = nullptr);
    ~ContentView() override;

    /// Restores the last page and loads its document; call once when the window is shown.
    void appear();

    Page selectedPage() const { return m_selectedPage; }
    void setSelectedPage(Page page);
    QDate selectedDate() const { return m_selectedDate; }
    const QString &notesSelectedFile() const { return m_notesSelectedFile; }
    const QString &searchSelectedFile() const { return m_searchSelectedFile; }
    /// The open document's text, read from the editor (which holds the one copy).
    QString editorText() const;
    bool showMarkdownPreview() const;
    void setShowMarkdownPreview(bool shown);
    EditorLiveState &liveState() { return m_live; }
    MemoEditorView *editorView() const { return m_editor; }
    HistoryRecorder *history() const { return m_history; }
    HistoryPane *historyPane() const { return m_historyPane; }
    /// 「削除したノート」: the notes gone from the base folder that the history knows.
    void showDeletedNotes();
    MarkdownPreviewPane *sidePane() const { return m_sidePane; }
    NotesView *notesView() const { return m_notes; }
    CalendarView *calendarView() const { return m_calendar; }
    SearchView *searchView() const { return m_search; }

    // The document road. Every switch saves first and does not happen when the save fails:
    // the document stays open and modified, with the failure message.

    /// Saves the open document when its text differs from the file. False when the edits
    /// could not be written (they are still in the editor).
    bool saveCurrent(SaveAnnouncement announcement = SaveAnnouncement::announced);
    /// Saves, then opens `item`; false (nothing opened) when the save failed.
    bool loadDocument(const MemoItem &item);
    bool saveAndClear();
    void toggleCheckboxLine(qint64 lineIndex);
    bool renameFromTitle(const QString &name);
    void checkExternalChange();

    /// Saves before the application goes. When the save fails and nobody can be asked (a
    /// signal, the session ending), the text is kept as a recovery file; returns false then.
    bool saveBeforeExit();
    /// Saves before the window closes at the user's request; when the save fails, asks
    /// whether to discard the edits. False: the window stays open.
    bool saveOrConfirmClose();

    /// Saves quietly when the autosave is due by the current clock (about two seconds after
    /// typing stops, and at least every 30 seconds while it goes on).
    void autosaveIfDue();

    // What the pages and the side pane report.
    void dateChanged(const QDate &date);
    void notesFileSelected(const QString &filePath);
    void searchHitSelected(const QString &filePath);
    void searchCleared();
    void headingSelected(qint64 lineIndex);
    void sidePaneClosed();
    /// Opens the quick-open palette over the window (Ctrl+P).
    void showQuickOpen();
    /// Makes a note as the notes page's "+" does, on that page: named in the same dialog, in
    /// the selected folder (the Notes folder while every note is listed), then opened with the
    /// caret in it.
    void createNote();

    /// The window's title for the open file: its name (a memo's date) before the program's,
    /// with the place of the modified mark; the program's name alone without a file.
    static QString windowTitleFor(const QString &filePath);

    /// Asks whether to reload a file another program changed; true reloads. Replaceable for
    /// tests; by default a message box over the window.
    using ExternalChangePrompt = std::function<bool(QWidget *parent)>;
    void setExternalChangePrompt(ExternalChangePrompt prompt);
    /// Asks whether to quit without the edits that could not be saved; true discards.
    using DiscardPrompt = std::function<bool(QWidget *parent)>;
    void setDiscardPrompt(DiscardPrompt prompt);

    static inline const QString discardTitle =
        QStringLiteral("保存できませんでした。変更を破棄して終了しますか？");
    static inline const QString discardButtonText = QStringLiteral("破棄して終了");
    static inline const QString cancelButtonText = QStringLiteral("キャンセル");

    /// The window width after showing or hiding the side pane: wider by the editor's width when
    /// shown, narrower by it (but not below 400) when hidden.
    static int windowWidthForSidePane(bool shown, int windowWidth, int editorWidth);

    /// The checkbox of a body line toggled, or nothing when the line has none.
    static std::optional<QString> toggledCheckboxText(const QString &text, qint64 lineIndex);

    /// The note at `filePath` was deleted from the notes page: when it is the open document, it
    /// closes without being written back.
    void fileDeleted(const QString &filePath);

Q_SIGNALS:
    /// The window should grow or shrink by the side pane (new window width).
    void windowWidthRequested(int width);

private:
    void buildLayout();
    QWidget *createPage(Page page);
    void connectNotifications();
    void connectEditor();
    void connectSidePane();
    void updateSidePaneDocument();
    void connectMemo();
    void showLoadedDocument();
    void showReplacedBody();
    void diskChanged();
    void edited();
    void scheduleAutosave();
    void pageSwitched(Page page);
    /// The editor takes the keyboard focus when it comes on screen, except on the search page,
    /// whose field keeps it.
    void updateEditorFocusRule();
    void postFocusEditorSoon(int msec);
    void updateSidePane();
    void updateStatusBar();
    void activateGlobalSearch();
    void setSearchSelectedFile(const QString &filePath);
    void setNotesSelectedFile(const QString &filePath);
    void openFileMoved(const QString &oldPath, const QString &newPath);
    void connectPageKeys();
    void updateWindowTitle();
    /// The notes page made and opened `filePath`: the caret goes into it, after its title line.
    void noteCreated(const QString &filePath);
    /// Another program deleted or moved away the open file, which has no edits: it closes.
    void closeGoneFile();
    void retryBusySave();
    /// Pictures pasted or dropped into the editor go to the open note's assets folder; a moved
    /// note's picture paths follow (contentviewpictures.cpp).
    void connectPictures();
    std::optional<QString> storePictures(const QMimeData *mime);
    bool followOpenNoteMove(const QString &oldPath, const QString &newPath);
    void connectHistory();
    /// 「この版に戻す」: `body` replaces the editor's text as one undoable edit, saved as any.
    void restoreVersion(const QString &body);
    /// 「別のノートとして復元」: the version is written beside the open note.
    void restoreVersionAsNote(const QByteArray &bytes, const QDateTime &time);
    /// Links to a renamed or moved note follow it, when the user agrees; links in the preview
    /// and Ctrl+click in the editor open notes, Alt+Left and Alt+Right go back and forward
    /// along them (contentviewlinks.cpp).
    void connectLinks();
    void connectLinkNavigation();
    void followLinkUrl(const QUrl &url);
    /// Follows the link at `position` of the editor's text; false when there is none.
    bool followLinkAt(qsizetype position);
    void followLinkTarget(const QString &target, bool markdown);
    /// Opens `filePath` through the document road, at `line` of its body when not negative.
    bool openLinkedNote(const QString &filePath, qint64 line = -1);
    void goAlongLinks(bool back);
    NoteHistory m_linkHistory;
    /// The open note's backlinks and mentions, asked of the index on a worker of their own.
    void refreshBacklinks();
    std::shared_ptr<std::unique_ptr<LinkGraph>> m_linkGraph;
    std::shared_ptr<SerialQueue> m_linkWorker;
    quint64 m_backlinksRequest = 0;
    /// The notes page's tags, and the notes carrying the ticked ones.
    void refreshTags();
    void filterByTags(const QStringList &keys);
    quint64 m_tagsRequest = 0;
    quint64 m_tagFilterRequest = 0;
    /// Every tag's spelling, for completion after "#".
    QStringList m_tagNames;
    /// Which of the open note's links lead to no note, asked on the link worker; the preview
    /// draws those apart once the answer is in.
    void refreshMissingLinks();
    quint64 m_missingLinksRequest = 0;
    /// "w:" or "m:" (wiki or markdown) and the target, for every missing link of the open note.
    QSet<QString> m_missingLinks;

    MemoManager &m_memo;
    EditorLiveState m_live;
    Page m_selectedPage = Page::calendar;
    QDate m_selectedDate;
    QString m_notesSelectedFile;
    QString m_searchSelectedFile;
    bool m_showingExternalChangeAlert = false;
    ExternalChangePrompt m_externalChangePrompt;
    DiscardPrompt m_discardPrompt;
    AutosaveSchedule m_autosave;
    QTimer *m_autosaveTimer = nullptr;
    /// Tries a save again while another program holds the folder's lock.
    QTimer *m_busyRetryTimer = nullptr;

    QButtonGroup *m_pagePicker = nullptr;
    QStackedWidget *m_pages = nullptr;
    CalendarView *m_calendar = nullptr;
    SearchView *m_search = nullptr;
    NotesView *m_notes = nullptr;
    MemoEditorView *m_editor = nullptr;
    MarkdownPreviewPane *m_sidePane = nullptr;
    StatusBarView *m_statusBar = nullptr;
    IndexService *m_index = nullptr;
    HistoryRecorder *m_history = nullptr;
    HistoryPane *m_historyPane = nullptr;
    /// The note the history last heard was opened.
    QString m_historyNote;
};
