#include "links/tagsview.h"

#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int keyRole = Qt::UserRole;

} // namespace

TagsView::TagsView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    m_title = new QLabel(QStringLiteral("タグ"), this);
    m_title->setContentsMargins(8, 0, 8, 0);
    m_tree = new QTreeWidget(this);
    m_tree->setHeaderHidden(true);
    m_tree->setAccessibleName(QStringLiteral("タグ"));
    m_title->setBuddy(m_tree);
    layout->addWidget(m_title);
    layout->addWidget(m_tree, 1);
    connect(m_tree, &QTreeWidget::itemChanged, this, &TagsView::itemChanged);
}

void TagsView::setTags(const QList<Tag> &tags)
{
    m_filling = true;
    m_tree->clear();
    QList<Tag> sorted = tags;
    std::sort(sorted.begin(), sorted.end(),
              [](const Tag &a, const Tag &b) { return a.key < b.key; });
    QHash<QString, QTreeWidgetItem *> byKey;
    QSet<QString> present;
    for (const Tag &tag : sorted) {
        const QStringList keyParts = tag.key.split(u'/');
        const QStringList shownParts = tag.spelling.split(u'/');
        QTreeWidgetItem *parent = nullptr;
        QString key;
        for (qsizetype i = 0; i < keyParts.size(); ++i) {
            key += (i ? QStringLiteral("/") : QString()) + keyParts[i];
            QTreeWidgetItem *&item = byKey[key];
            if (!item) {
                item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
                item->setData(0, keyRole, key);
                item->setText(0, shownParts.value(i, keyParts[i]));
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(0, m_chosen.contains(key) ? Qt::Checked : Qt::Unchecked);
                present.insert(key);
            }
            parent = item;
        }
        const QString name = shownParts.value(shownParts.size() - 1);
        parent->setText(0, QStringLiteral("%1（%2）").arg(name).arg(tag.notes));
        parent->setData(0, Qt::AccessibleTextRole,
                        QStringLiteral("%1、%2 件").arg(tag.spelling).arg(tag.notes));
    }
    m_tree->expandAll();
    m_chosen.intersect(present);
    m_title->setText(QStringLiteral("タグ（%1）").arg(tags.size()));
    m_filling = false;
}

QStringList TagsView::chosen() const
{
    QStringList keys(m_chosen.begin(), m_chosen.end());
    keys.sort();
    return keys;
}

void TagsView::itemChanged(QTreeWidgetItem *item)
{
    if (m_filling)
        return;
    const QString key = item->data(0, keyRole).toString();
    const bool ticked = item->checkState(0) == Qt::Checked;
    if (ticked == m_chosen.contains(key))
        return;
    if (ticked)
        m_chosen.insert(key);
    else
        m_chosen.remove(key);
    Q_EMIT chosenChanged(chosen());
}
