#pragma once

#include "notes/foldertree.h"

#include <QAbstractListModel>

class NotesBrowser;

/// "すべて" followed by the folders the browser shows, one row each. Row 0 has an empty path and
/// no folder icon state.
class FolderListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        PathRole = Qt::UserRole + 1, ///< the folder's full path; empty for "すべて"
        DepthRole,                   ///< levels below the Notes folder
        StateRole,                   ///< the FolderIconState as an int; none for "すべて"
        SelectedRole,
        DropTargetRole, ///< a note is dragged over this row
    };

    FolderListModel(NotesBrowser &browser, QObject *parent);

    /// Takes the browser's shown folders afresh.
    void reload();
    /// Marks `row` as the one a note would be dropped on; -1 marks none.
    void setDropTargetRow(int row);
    /// Tells the views that the selected folder may have changed.
    void selectionChanged();

    /// The row showing `folder` (empty for "すべて"); -1 when it is not shown.
    int rowOf(const QString &folder) const;
    /// The folder of `row`; nullptr for "すべて" and rows that do not exist.
    const FolderRow *folderAt(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    /// Whether `index` is a row of this model as it is now.
    bool isListed(const QModelIndex &index) const;

    NotesBrowser &m_browser;
    QList<FolderRow> m_rows;
    int m_dropTarget = -1;
};
