#pragma once

#include <QAbstractListModel>
#include <QStringList>

class NotesBrowser;

/// The notes the browser lists, one row each, named by file name. Editing a row's name asks the
/// browser to rename the note once the item view has closed its editor; a name the browser
/// refuses beeps.
class NoteListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        PathRole = Qt::UserRole + 1, ///< the note's full path
        PinnedRole,
        SelectedRole, ///< the note open in the editor
        DraggedRole,  ///< the note being dragged onto a folder
    };

    NoteListModel(NotesBrowser &browser, QObject *parent);

    /// Takes the browser's notes afresh.
    void reload();
    /// Tells the views that `role` may have changed on every row.
    void refreshRole(int role);
    /// The row of `note`; -1 when it is not listed.
    int rowOf(const QString &note) const { return int(m_notes.indexOf(note)); }

    int rowCount(const QModelIndex &parent = {}) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

private:
    /// Whether `index` is a row of this model as it is now.
    bool isListed(const QModelIndex &index) const;

    NotesBrowser &m_browser;
    QStringList m_notes;
};
