#pragma once

#include "notes/foldertree.h"
#include "notes/notesoperations.h"
#include "storage/sortmode.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

/// The state of the notes page without its widgets: the folder tree with its expanded folders,
/// the selected folder ("すべて" when none), the listed notes in the chosen order, the selected
/// note, and every operation the page offers. It remembers the selection in the user defaults
/// and follows "BaseFolderChanged", "MemoSaved" and "FileMoved". Main thread only.
///
/// Before it moves or renames anything that may hold the open note it emits saveRequested(),
/// which the owner must handle synchronously, so unsaved edits travel with the file instead of
/// being written to the old path afterwards.
class NotesBrowser : public QObject
{
    Q_OBJECT

public:
    explicit NotesBrowser(QObject *parent = nullptr);

    /// Told when the page is shown or hidden. The first showing reads the folders and notes and
    /// restores the remembered selection. While hidden, reloads wait for the next showing, and
    /// so does choosing the note to open after a change of base folder: a hidden page must not
    /// open a note over the page the user is looking at.
    void setPageVisible(bool visible);

    // Folder tree.
    const FolderTree &folderTree() const { return m_tree; }
    /// The Notes folder of the current base folder.
    QString notesFolder() const { return m_tree.root(); }
    const QSet<QString> &expandedFolderPaths() const { return m_expanded; }
    QList<FolderRow> visibleFolderRows() const { return m_tree.visibleRows(m_expanded); }
    /// Reads the folder tree again; drops expanded folders that are gone.
    void refreshFolders();
    /// Opens or closes a folder that has subfolders.
    void toggleExpanded(const QString &folder);

    // Selection.
    /// The selected folder; empty while "すべて" (every note) is selected.
    const QString &selectedFolder() const { return m_selectedFolder; }
    bool isAllNotesSelected() const { return m_selectedFolder.isEmpty(); }
    /// Selects a folder (empty for "すべて") as the user does: it is remembered, shown in the
    /// tree, and the note last opened there is selected again.
    void selectFolder(const QString &folder);
    /// The note open in the editor, as far as this page knows.
    const QString &selectedFile() const { return m_selectedFile; }
    /// Told by the owner which note is open; emits nothing back.
    void setSelectedFile(const QString &path);
    /// A click on a note: selects it (emitting fileSelected when it changes) and counts a view.
    void selectFile(const QString &path);

    // Note list.
    /// The notes of the selected folder, or of the whole Notes folder, in the chosen order.
    const QStringList &notes() const { return m_notes; }
    NotesFileSortMode sortMode() const { return m_sortMode; }
    /// Stores a new order; the list follows.
    void setSortMode(NotesFileSortMode mode);
    /// Reads the notes again.
    void loadFiles();
    /// Lists only these notes (absolute paths) from every folder, whatever folder is selected:
    /// the notes carrying the chosen tags. Nothing: the selected folder's notes again.
    void setTagFilter(std::optional<QSet<QString>> notes);
    bool hasTagFilter() const { return m_tagFilter.has_value(); }
    bool isPinned(const QString &note) const;
    void togglePin(const QString &note);

    // Operations. Each refreshes what it changed and tells the rest of the program.
    NotesOperations::Result createNote(const QString &folder, const QString &name);
    NotesOperations::Result renameNote(const QString &note, const QString &baseName);
    NotesOperations::Result moveNote(const QString &note, const QString &targetFolder);
    NotesOperations::Result deleteNote(const QString &note);
    NotesOperations::Result createFolder(const QString &parent, const QString &name);
    NotesOperations::Result renameFolder(const QString &folder, const QString &name);
    NotesOperations::Result deleteFolder(const QString &folder);

    // Dragging a note onto a folder.
    /// Saves the open note and marks `note` as dragged.
    void beginDrag(const QString &note);
    void endDrag();
    const QString &draggedFile() const { return m_draggedFile; }

Q_SIGNALS:
    void foldersChanged();
    void notesChanged();
    void selectedFolderChanged();
    void selectedFileChanged();
    void sortModeChanged();
    void draggedFileChanged();
    void pinsChanged();

    /// The user chose a note; the owner opens it.
    void fileSelected(const QString &filePath);
    /// The open note must be saved now, before a move or rename.
    void saveRequested();
    /// The selected note moved, by itself or with its folder; the owner's document follows.
    void openFileMoved(const QString &oldPath, const QString &newPath);
    /// The note at `filePath` was deleted, by itself or with its folder; an open document of it
    /// must close without being written back.
    void fileDeleted(const QString &filePath);
    /// createNote made the note at `filePath` and handed it over with fileSelected just before.
    void noteCreated(const QString &filePath);

private:
    void appear();
    void reselectForBaseFolder();
    void applySelectedFolder(const QString &folder, bool reopenLastFile);
    void changeSelectedFile(const QString &path);
    void restoreSelection();
    void baseFolderChanged();
    void scheduleReload();
    void readSortMode();
    void reveal(const QString &folder);
    void setExpanded(QSet<QString> expanded);
    void rewriteRenamedFolder(const QString &from, const QString &to);

    FolderTree m_tree;
    QSet<QString> m_expanded;
    QString m_selectedFolder;
    QString m_selectedFile;
    QStringList m_notes;
    std::optional<QSet<QString>> m_tagFilter;
    NotesFileSortMode m_sortMode = NotesFileSortMode::pinsFirst;
    QString m_draggedFile;
    bool m_appeared = false;
    bool m_visible = false;
    bool m_reloadPending = false;
    bool m_reloadOnShow = false;
    bool m_reselectOnShow = false;
};
