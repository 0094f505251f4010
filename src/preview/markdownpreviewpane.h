#pragma once

#include <QWidget>

#include <optional>

class EditorLiveState;
class BacklinksView;
class MarkdownHeaderInfoView;
class MarkdownOutlineView;
class MarkdownPreviewView;
class PreviewScrollSync;
class QStackedWidget;
class QTabBar;
class QToolButton;

/// The side pane beside the editor: the rendered preview, the outline of headings and the
/// note's header, one at a time under a tab bar, with a button that hides the pane. The
/// preview follows the editor's top line; an outline click scrolls the editor (through
/// headingSelected) and the preview the next time it is shown.
class MarkdownPreviewPane : public QWidget
{
    Q_OBJECT

public:
    enum class SideTab { preview, outline, info, links, history };

    static inline const QString closeHelp = QStringLiteral("プレビューを非表示");

    static QString sideTabToString(SideTab tab);
    /// The tab of a stored raw value; any unknown value selects the preview.
    static SideTab sideTabFromString(const QString &raw);

    /// `live` is the editor's live state: its scroll offset drives the preview's scrolling and
    /// its latest text guards checkbox clicks.
    explicit MarkdownPreviewPane(EditorLiveState &live, QWidget *parent = nullptr);
    ~MarkdownPreviewPane() override;

    /// The editor text after the typing pause.
    void setMarkdownText(const QString &debouncedBody);
    /// The open document's identity (its path; empty without a file). A new id scrolls the
    /// preview back to the top.
    void setDocumentId(const QString &filePath);
    void setHeaderInfo(const QString &headerYAML, bool headerIsPending,
                       const QString &joplinHeaderYAML);
    /// The editor's font size; read from the "fontSize" setting at start and on its change.
    void setFontSize(int editorFontSize);

    /// The view of the 「履歴」 tab, which the host makes (an empty page until then).
    void setHistoryView(QWidget *view);

    SideTab selectedTab() const { return m_tab; }
    void setSelectedTab(SideTab tab);

    MarkdownPreviewView *previewView() const { return m_preview; }
    MarkdownOutlineView *outlineView() const { return m_outline; }
    MarkdownHeaderInfoView *infoView() const { return m_info; }
    BacklinksView *backlinksView() const { return m_backlinks; }
    QTabBar *tabBar() const { return m_tabs; }
    QToolButton *closeButton() const { return m_close; }

Q_SIGNALS:
    /// The checkbox on a body line was clicked; the host toggles that line.
    void checkboxToggled(qint64 lineIndex);
    /// A heading of the outline was picked; the host scrolls the editor to that line.
    void headingSelected(qint64 lineIndex);
    /// The close button was clicked; the host hides the pane.
    void closeRequested();

private:
    void buildLayout();
    void selectHeading(qint64 lineIndex);
    void toggleCheckbox(qint64 lineIndex);
    bool eventFilter(QObject *watched, QEvent *event) override;

    EditorLiveState &m_live;
    QString m_documentId;
    int m_fontSize = 14;
    SideTab m_tab = SideTab::preview;
    QTabBar *m_tabs = nullptr;
    QToolButton *m_close = nullptr;
    QStackedWidget *m_stack = nullptr;
    MarkdownPreviewView *m_preview = nullptr;
    MarkdownOutlineView *m_outline = nullptr;
    MarkdownHeaderInfoView *m_info = nullptr;
    BacklinksView *m_backlinks = nullptr;
    QWidget *m_history = nullptr;
    PreviewScrollSync *m_sync = nullptr;
    QString m_headerYAML;
    bool m_headerIsPending = false;
    QString m_joplinYAML;
};
