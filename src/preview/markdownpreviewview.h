#pragma once

#include "preview/previewdocument.h"

#include <QAbstractScrollArea>
#include <QPointer>
#include <QUrl>

/// The rendered preview of a markdown body: every preview item drawn as its block (headings,
/// paragraphs, lists with checkboxes, code, quotes, tables, rules) in one scrolling column.
/// Only what is on screen is laid out, so a long note updates as fast as a short one. Text is
/// selectable and copyable; links open with the desktop's handler. Usable on its own (the help
/// window shows its document with it); the side pane adds scroll sync and checkbox toggling.
class PictureLoader;

class MarkdownPreviewView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    static inline const QString placeholderText = QStringLiteral("プレビュー");
    static inline const QString checkboxHelp = QStringLiteral("クリックでトグル");
    static inline const QString missingLinkHelp = QStringLiteral("まだないノートへのリンク");

    explicit MarkdownPreviewView(QWidget *parent = nullptr);
    ~MarkdownPreviewView() override;

    /// Shows a new body; the line at the top stays at the top.
    void setMarkdownText(const QString &text);
    const QString &markdownText() const { return m_document.text(); }
    qint64 lineCount() const { return m_document.lineCount(); }

    /// The note the text comes from: its pictures' paths are relative to its folder and must stay
    /// inside the base folder. Empty: no pictures (boxes stand in their place).
    void setNotePath(const QString &notePath);
    /// Reads the pictures; pictures appear as they are decoded, the line at the top staying put.
    PictureLoader *pictureLoader() const { return m_pictureLoader; }

    /// The editor's font size in points; every size of the preview derives from it.
    void setFontSize(int fontSize);
    int fontSize() const { return m_fontSize; }

    /// Checkbox markers become buttons that emit checkboxToggled(); off by default.
    void setCheckboxesToggleable(bool toggleable);
    /// Which link addresses name a note that does not exist (drawn apart); called again, the
    /// links on screen are drawn afresh.
    void setMissingLink(PreviewDocument::MissingLink missing);
    /// The answer of the function given to setMissingLink changed.
    void missingLinksChanged();
    /// Whether a clicked link is handed to the desktop (default) or only reported.
    void setOpensLinks(bool opens) { m_opensLinks = opens; }

    /// Shows a body line's row at the top edge, without animation.
    void scrollToLine(qint64 lineIndex);
    /// The body line whose row is at the top edge.
    qint64 topLineIndex();

    QString selectedText();
    void selectAll();
    void copy();

    /// The clickable elements on screen, in viewport coordinates (for accessibility and tests).
    QList<PreviewDocument::Element> visibleElements() const;
    /// Clicks an element: toggles a checkbox or follows a link.
    void activateElement(const PreviewDocument::Element &element);
    /// Changes whenever what visibleElements() returns may have changed.
    quint64 elementsGeneration() const { return m_elementsGeneration; }

Q_SIGNALS:
    /// The checkbox on a body line was clicked.
    void checkboxToggled(qint64 lineIndex);
    /// A link was clicked (also when it is not opened, such as an e-mail address never is).
    void linkActivated(const QUrl &url);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void applyStyle();
    void updatePictureSource();
    /// Lays the pictures out again once the loader's news of this turn are in.
    void schedulePictureRefresh();
    void refreshPictures();
    /// Lays out the blocks on screen and fits the scroll range, keeping the top in place.
    void layoutVisible();
    QPointF toDocument(QPointF viewportPoint) const;
    void setScrollY(double y);

    PreviewDocument m_document;
    int m_fontSize = 14;
    bool m_opensLinks = true;
    bool m_inLayout = false;
    PreviewDocument::Position m_selectionAnchor;
    PreviewDocument::Position m_selectionEnd;
    bool m_selecting = false;
    std::optional<PreviewDocument::Element> m_pressedElement;
    quint64 m_elementsGeneration = 0;
    PictureLoader *m_pictureLoader = nullptr;
    QString m_notePath;
    bool m_pictureRefreshQueued = false;
};
