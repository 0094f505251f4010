#pragma once

#include <QWidget>

class FileListView;
class MemoFolderListView;
class NotesBrowser;

/// The notes page: the folder tree above the note list. It restores the remembered folder and
/// note when first shown and after the base folder changed, and reports what the owner must do
/// with the open document.
class TagsView;
class NotesView : public QWidget
{
    Q_OBJECT

public:
    explicit NotesView(QWidget *parent = nullptr);

    /// Tells the page which note is open (for example after a rename from the editor's title),
    /// so the list marks it. Emits nothing back.
    void setSelectedFile(const QString &filePath);
    QString selectedFile() const;
    /// What "+" does: asks for a name and makes the note in the selected folder (in the Notes
    /// folder while every note is listed).
    void addNote();

    NotesBrowser &browser() const { return *m_browser; }
    MemoFolderListView *folderList() const { return m_folders; }
    FileListView *fileList() const { return m_files; }
    TagsView *tagsView() const { return m_tags; }

Q_SIGNALS:
    /// The user chose a note: open it (saving the current document first).
    void fileSelected(const QString &filePath);
    /// Save the open document now, synchronously: a move or rename is about to happen.
    void saveRequested();
    /// The selected note now lives at `newPath`, moved or renamed by itself or with its folder,
    /// and already saved: the open document must follow it without writing to `oldPath`.
    void openFileMoved(const QString &oldPath, const QString &newPath);
    /// The note at `filePath` was deleted: an open document of it closes unsaved.
    void fileDeleted(const QString &filePath);
    /// A note was made here and handed over with fileSelected just before.
    void noteCreated(const QString &filePath);
    /// 「削除したノート」 was clicked: the notes gone from the base folder are listed.
    void deletedNotesRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    NotesBrowser *m_browser = nullptr;
    MemoFolderListView *m_folders = nullptr;
    FileListView *m_files = nullptr;
    TagsView *m_tags = nullptr;
};
