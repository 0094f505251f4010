#pragma once

#include "editor/editorlivestate.h"
#include "storage/memomanager.h"

#include <QDate>
#include <QWidget>

#include <functional>
#include <optional>

class CalendarView;
class MarkdownPreviewPane;
class MemoEditorView;
class QButtonGroup;
class NotesView;
class SearchView;
class QHBoxLayout;
class QLabel;
class StatusBarView;
class QStackedWidget;

/// The content of the main window: the page column (calendar, notes, search) on the left, the
/// editor with the side pane on the right, the status bar below. It is the only caller of the
/// memo store: it decides which document is loaded when, saves before every switch, and keeps
/// the editor's text and the store's text in step.
class ContentView : public QWidget
{
    Q_OBJECT

public:
    enum class Page { calendar, notes, search };
    static QString pageRawValue(Page page);
    static std::optional<Page> pageFromRawValue(const QString &raw);

    // Settings keys owned here.
    static inline const QString lastSelectedPageKey = QStringLiteral("lastSelectedPage");
    static inline const QString showMarkdownPreviewKey = QStringLiteral("showMarkdownPreview");
    static inline const QString fontSizeKey = QStringLiteral("fontSize");

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
    const QString &editingText() const { return m_editingText; }
    const QString &debouncedText() const { return m_debouncedText; }
    int editorExternalTextSyncToken() const { return m_editorExternalTextSyncToken; }
    bool showMarkdownPreview() const;
    void setShowMarkdownPreview(bool shown);
    EditorLiveState &liveState() { return m_live; }
    MemoEditorView *editorView() const { return m_editor; }
    MarkdownPreviewPane *sidePane() const { return m_sidePane; }
    NotesView *notesView() const { return m_notes; }

    // The document road.
    void flushEditorText();
    void syncEditorText(const QString &text);
    void saveCurrent();
    void loadDocument(const MemoItem &item);
    void saveAndClear();
    void toggleCheckboxLine(qint64 lineIndex);
    bool renameFromTitle(const QString &name);
    void checkExternalChange();

    // What the pages and the side pane report.
    void dateChanged(const QDate &date);
    void notesFileSelected(const QString &filePath);
    void searchHitSelected(const QString &filePath);
    void searchCleared();
    void headingSelected(qint64 lineIndex);
    void sidePaneClosed();
    /// Opens the quick-open palette over the window (Ctrl+P).
    void showQuickOpen();

    /// Asks whether to reload a file another program changed; true reloads. Replaceable for
    /// tests; by default a message box over the window.
    using ExternalChangePrompt = std::function<bool(QWidget *parent)>;
    void setExternalChangePrompt(ExternalChangePrompt prompt);

    /// The window width after showing or hiding the side pane: wider by the editor's width when
    /// shown, narrower by it (but not below 400) when hidden.
    static int windowWidthForSidePane(bool shown, int windowWidth, int editorWidth);

    /// The checkbox of a body line toggled, or nothing when the line has none.
    static std::optional<QString> toggledCheckboxText(const QString &text, qint64 lineIndex);

Q_SIGNALS:
    void selectedPageChanged(ContentView::Page page);
    void debouncedTextChanged(const QString &text);
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
    void pushDocumentToEditor();
    void saveIfModified();
    void pageSwitched(Page page);
    void postFocusEditorSoon(int msec);
    void updateSidePane();
    void updateStatusBar();
    void fileDeleted(const QString &filePath);
    void activateGlobalSearch();
    void setSearchSelectedFile(const QString &filePath);
    void setNotesSelectedFile(const QString &filePath);
    void openFileMoved(const QString &oldPath, const QString &newPath);

    MemoManager &m_memo;
    EditorLiveState m_live;
    Page m_selectedPage = Page::calendar;
    QDate m_selectedDate;
    QString m_notesSelectedFile;
    QString m_searchSelectedFile;
    QString m_editingText;
    QString m_debouncedText;
    int m_editorExternalTextSyncToken = 0;
    bool m_showingExternalChangeAlert = false;
    ExternalChangePrompt m_externalChangePrompt;

    QButtonGroup *m_pagePicker = nullptr;
    QStackedWidget *m_pages = nullptr;
    CalendarView *m_calendar = nullptr;
    SearchView *m_search = nullptr;
    NotesView *m_notes = nullptr;
    MemoEditorView *m_editor = nullptr;
    MarkdownPreviewPane *m_sidePane = nullptr;
    StatusBarView *m_statusBar = nullptr;
};
