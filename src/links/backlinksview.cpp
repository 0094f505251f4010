#include "links/backlinksview.h"

#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace {

constexpr int pathRole = Qt::UserRole;
constexpr int lineRole = Qt::UserRole + 1;

} // namespace

BacklinksView::BacklinksView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    m_linksTitle = new QLabel(QStringLiteral("リンク"), this);
    m_links = new QListWidget(this);
    m_links->setAccessibleName(QStringLiteral("リンク"));
    m_mentionsTitle = new QLabel(QStringLiteral("リンクされていない言及"), this);
    m_mentions = new QListWidget(this);
    m_mentions->setAccessibleName(QStringLiteral("リンクされていない言及"));
    for (QListWidget *list : {m_links, m_mentions}) {
        list->setWordWrap(true);
        list->setUniformItemSizes(false);
        connect(list, &QListWidget::itemActivated, this, &BacklinksView::activate);
        connect(list, &QListWidget::itemClicked, this, &BacklinksView::activate);
    }
    m_linksTitle->setBuddy(m_links);
    m_mentionsTitle->setBuddy(m_mentions);
    layout->addWidget(m_linksTitle);
    layout->addWidget(m_links, 1);
    layout->addWidget(m_mentionsTitle);
    layout->addWidget(m_mentions, 1);
}

QString BacklinksView::rowName(const Row &row)
{
    const QString note = QFileInfo(row.filePath).completeBaseName();
    if (row.line < 0)
        return note + QStringLiteral("、ヘッダー: ") + row.text;
    return note + QStringLiteral("、%1 行目: ").arg(row.line + 1) + row.text;
}

void BacklinksView::fill(QListWidget *list, const QList<Row> &rows)
{
    list->clear();
    for (const Row &row : rows) {
        auto *item =
            new QListWidgetItem(QFileInfo(row.filePath).completeBaseName() + u'\n' + row.text);
        item->setData(pathRole, row.filePath);
        item->setData(lineRole, row.line);
        item->setData(Qt::AccessibleTextRole, rowName(row));
        item->setToolTip(row.filePath);
        list->addItem(item);
    }
}

void BacklinksView::setRows(const QList<Row> &links, const QList<Row> &mentions)
{
    fill(m_links, links);
    fill(m_mentions, mentions);
    m_linksTitle->setText(QStringLiteral("リンク（%1）").arg(links.size()));
    m_mentionsTitle->setText(QStringLiteral("リンクされていない言及（%1）").arg(mentions.size()));
}

void BacklinksView::clear(const QString &message)
{
    m_links->clear();
    m_mentions->clear();
    m_linksTitle->setText(message.isEmpty() ? QStringLiteral("リンク") : message);
    m_mentionsTitle->setText(QStringLiteral("リンクされていない言及"));
}

void BacklinksView::activate(QListWidgetItem *item)
{
    if (!item)
        return;
    Q_EMIT rowActivated(item->data(pathRole).toString(), item->data(lineRole).toInt());
}
