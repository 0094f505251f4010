#include "preview/outlinemodel.h"

void OutlineModel::setHeadings(QList<MarkdownBlocks::HeadingItem> headings)
{
    beginResetModel();
    m_headings = std::move(headings);
    endResetModel();
}

int OutlineModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headings.size());
}

QVariant OutlineModel::data(const QModelIndex &index, int role) const
{
    if (!isListed(index))
        return {};
    const auto &heading = m_headings[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return heading.title;
    case Qt::AccessibleDescriptionRole:
        return QStringLiteral("見出し%1").arg(heading.level);
    case levelRole:
        return heading.level;
    default:
        return {};
    }
}

bool OutlineModel::isListed(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this && index.row() < m_headings.size();
}
