#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QListWidget;
class QListWidgetItem;

/// The side pane's 「リンク」 tab: the notes linking to the open one, each with the line around
/// the link, and below them 「リンクされていない言及」, notes naming it as plain text. Activating
/// a row (click, Return) asks to open that note at that line. Each row is an accessible list
/// item named by its note and line.
class BacklinksView : public QWidget
{
    Q_OBJECT

public:
    struct Row
    {
        /// Absolute path of the note.
        QString filePath;
        /// Line of its body, from 0; -1 for its front matter.
        int line = 0;
        QString text;
    };

    explicit BacklinksView(QWidget *parent = nullptr);

    /// Shows the rows, in the order given (newest first).
    void setRows(const QList<Row> &links, const QList<Row> &mentions);
    /// Nothing to show (no note open), or a reason the index could not answer.
    void clear(const QString &message = {});

    QListWidget *linksList() const { return m_links; }
    QListWidget *mentionsList() const { return m_mentions; }

    /// The accessible name of a row: "会議メモ、3 行目: text".
    static QString rowName(const Row &row);

Q_SIGNALS:
    void rowActivated(const QString &filePath, int line);

private:
    void fill(QListWidget *list, const QList<Row> &rows);
    void activate(QListWidgetItem *item);

    QLabel *m_linksTitle = nullptr;
    QListWidget *m_links = nullptr;
    QLabel *m_mentionsTitle = nullptr;
    QListWidget *m_mentions = nullptr;
};
