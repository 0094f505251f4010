#include "notes/notelistmodel.h"

#include "notes/notesbrowser.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

namespace {

QString fileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

NoteListModel::NoteListModel(NotesBrowser &browser, QObject *parent)
    : QAbstractListModel(parent), m_browser(browser)
{
}

void NoteListModel::reload()
{
    beginResetModel();
    m_notes = m_browser.notes();
    endResetModel();
}

void NoteListModel::refreshRole(int role)
{
    if (!m_notes.isEmpty())
        Q_EMIT dataChanged(index(0), index(rowCount() - 1), {role});
}

int NoteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_notes.size());
}

Qt::ItemFlags NoteListModel::flags(const QModelIndex &index) const
{
    // The list itself takes no edits or drags, only its rows.
    if (!isListed(index))
        return QAbstractListModel::flags(index);
    return QAbstractListModel::flags(index) | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
}

QVariant NoteListModel::data(const QModelIndex &index, int role) const
{
    if (!isListed(index))
        return {};
    const QString &path = m_notes.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
        return fileNameOf(path);
    case Qt::EditRole:
        return QFileInfo(path).completeBaseName();
    case Qt::AccessibleDescriptionRole:
        return m_browser.isPinned(path) ? QStringLiteral("ピン留め") : QString();
    case PathRole:
        return path;
    case PinnedRole:
        return m_browser.isPinned(path);
    case SelectedRole:
        return path == m_browser.selectedFile();
    case DraggedRole:
        return path == m_browser.draggedFile();
    default:
        return {};
    }
}

bool NoteListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !isListed(index))
        return false;
    // Renaming rebuilds the list; wait until the item view has closed its editor.
    QTimer::singleShot(0, this, [this, path = m_notes.at(index.row()), name = value.toString()] {
        if (m_browser.renameNote(path, name).status == NotesOperations::Result::Status::refused)
            QApplication::beep();
    });
    return true;
}

bool NoteListModel::isListed(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this && index.row() < m_notes.size();
}
