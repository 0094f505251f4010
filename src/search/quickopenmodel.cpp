#include "search/quickopenmodel.h"

#include "search/quickopen.h"

QuickOpenModel::QuickOpenModel(QuickOpenController &controller, QObject *parent)
    : QAbstractListModel(parent), m_controller(controller)
{
}

void QuickOpenModel::reset()
{
    beginResetModel();
    endResetModel();
}

int QuickOpenModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_controller.visible().size());
}

QVariant QuickOpenModel::data(const QModelIndex &index, int role) const
{
    if (!isListed(index))
        return {};
    const QuickOpen::Candidate &file = m_controller.visibleAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return file.fileName;
    case Qt::AccessibleTextRole:
        return QString(file.fileName + QStringLiteral("、") + file.folderLabel);
    case Qt::ToolTipRole:
        return file.filePath;
    case Qt::UserRole:
        return file.folderLabel;
    default:
        return {};
    }
}

bool QuickOpenModel::isListed(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this && index.row() < m_controller.visible().size();
}
