#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

/// The notes page's tags: every tag with the number of notes carrying it, as a tree along "/"
/// ("仕事/会議" under "仕事"), each shown in its first spelling. Ticking tags asks for the note
/// list to show only the notes carrying all of them (a tag counting its nested ones).
class TagsView : public QWidget
{
    Q_OBJECT

public:
    struct Tag
    {
        /// Folded (NoteLinks::fold): what makes two spellings one tag.
        QString key;
        QString spelling;
        qint64 notes = 0;
    };

    explicit TagsView(QWidget *parent = nullptr);

    /// Shows `tags`; the ticked ones that are still there stay ticked.
    void setTags(const QList<Tag> &tags);
    QStringList chosen() const;
    QTreeWidget *tree() const { return m_tree; }

Q_SIGNALS:
    /// The ticked tags changed (keys; empty: no filter).
    void chosenChanged(const QStringList &keys);

private:
    void itemChanged(QTreeWidgetItem *item);

    QLabel *m_title = nullptr;
    QTreeWidget *m_tree = nullptr;
    QSet<QString> m_chosen;
    bool m_filling = false;
};
