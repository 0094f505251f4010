#pragma once

#include "preview/markdownblocks.h"

#include <QAbstractListModel>

/// A body's headings, one row each in document order, named by their title and level.
class OutlineModel : public QAbstractListModel
{
    Q_OBJECT

public:
    /// The heading's level, 1 to 6.
    static constexpr int levelRole = Qt::UserRole + 1;

    using QAbstractListModel::QAbstractListModel;

    void setHeadings(QList<MarkdownBlocks::HeadingItem> headings);
    const QList<MarkdownBlocks::HeadingItem> &headings() const { return m_headings; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    /// Whether `index` is a row of this model as it is now.
    bool isListed(const QModelIndex &index) const;

    QList<MarkdownBlocks::HeadingItem> m_headings;
};
