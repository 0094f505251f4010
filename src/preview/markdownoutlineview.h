#pragma once

#include "preview/markdownblocks.h"

#include <QWidget>

class QLabel;
class QListView;
class QStackedLayout;
class OutlineModel;

/// The outline tab: the body's headings in document order, coloured and indented by level.
/// Clicking a row (or pressing Return on it) reports the heading's line.
class MarkdownOutlineView : public QWidget
{
    Q_OBJECT

public:
    static inline const QString emptyBodyText = QStringLiteral("見出しなし");
    static inline const QString noHeadingsText = QStringLiteral("見出しがありません");

    explicit MarkdownOutlineView(QWidget *parent = nullptr);

    /// Takes a new body; the list is rebuilt when the view is next shown, not before.
    void setMarkdownText(const QString &text);
    void setFontSize(int fontSize);

    /// The headings shown (rebuilding first when the body changed).
    QList<MarkdownBlocks::HeadingItem> headings();
    /// The message shown instead of the list, or an empty string when the list is shown.
    QString message() const;
    QListView *listView() const { return m_list; }

Q_SIGNALS:
    /// A heading row was clicked; the line of its text.
    void headingSelected(qint64 lineIndex);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void rebuildIfNeeded();

    QString m_text;
    bool m_dirty = true;
    int m_fontSize = 14;
    OutlineModel *m_model = nullptr;
    QListView *m_list = nullptr;
    QLabel *m_message = nullptr;
    QStackedLayout *m_stack = nullptr;
};
