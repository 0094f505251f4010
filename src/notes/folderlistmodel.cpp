#include "notes/folderlistmodel.h"

#include "notes/notesbrowser.h"
#include "notes/notesicons.h"

FolderListModel::FolderListModel(NotesBrowser &browser, QObject *parent)
    : QAbstractListModel(parent), m_browser(browser)
{
}

void FolderListModel::reload()
{
    beginResetModel();
    m_rows = m_browser.visibleFolderRows();
    endResetModel();
}

void FolderListModel::setDropTargetRow(int row)
{
    if (row == m_dropTarget)
        return;
    const int old = std::exchange(m_dropTarget, row);
    for (int changed : {old, row}) {
        if (changed >= 0 && changed < rowCount())
            Q_EMIT dataChanged(index(changed), index(changed), {DropTargetRole});
    }
}

void FolderListModel::selectionChanged()
{
    Q_EMIT dataChanged(index(0), index(rowCount() - 1), {SelectedRole});
}

int FolderListModel::rowOf(const QString &folder) const
{
    if (folder.isEmpty())
        return 0;
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).path == folder)
            return i + 1;
    }
    return -1;
}

const FolderRow *FolderListModel::folderAt(int row) const
{
    return row >= 1 && row <= m_rows.size() ? &m_rows.at(row - 1) : nullptr;
}

int FolderListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size()) + 1;
}

QVariant FolderListModel::data(const QModelIndex &index, int role) const
{
    if (!isListed(index))
        return {};
    const FolderRow *folder = folderAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return folder ? folder->name : QStringLiteral("すべて");
    case Qt::AccessibleDescriptionRole:
        return folder ? NotesIcons::folderIconLabel(folder->state) : QVariant();
    case PathRole:
        return folder ? folder->path : QString();
    case DepthRole:
        return folder ? folder->depth : 0;
    case StateRole:
        return folder ? int(folder->state) : QVariant();
    case SelectedRole:
        return folder ? folder->path == m_browser.selectedFolder() : m_browser.isAllNotesSelected();
    case DropTargetRole:
        return index.row() == m_dropTarget;
    default:
        return {};
    }
}

bool FolderListModel::isListed(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this && index.row() < rowCount();
}
