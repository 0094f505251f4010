#pragma once

#include "storage/sortmode.h"

#include <QWidget>

class NoteListModel;
class NotesBrowser;
class QLabel;
class QLayout;
class QListView;
class QMenu;
class QToolButton;
class RowListView;

/// The note list of the notes page: a header with the folder's name, the sort menu, "+" and
/// refresh, then one row per note with its pin or document icon. A click opens a note and
/// counts a view; a double click, F2 or the context menu renames it in place (Return renames,
/// Escape or clicking elsewhere cancels, a name that is taken or unusable beeps); the context
/// menu also pins and deletes. A row dragged onto a folder of the tree moves the note there.
class FileListView : public QWidget
{
    Q_OBJECT

public:
    explicit FileListView(NotesBrowser &browser, QWidget *parent = nullptr);

    QListView *listView() const;
    QLabel *titleLabel() const { return m_title; }
    QToolButton *sortButton() const { return m_sort; }
    QToolButton *addButton() const { return m_add; }

    /// The row showing `note`; -1 when it is not listed.
    int rowOf(const QString &note) const;
    /// Opens the in-place editor on `row`.
    void beginRename(int row);
    /// Opens the context menu of `row` at `globalPos`; the menu deletes itself when closed.
    QMenu *openContextMenu(int row, const QPoint &globalPos);

    /// The sort menu's label for a mode.
    static QString sortModeLabel(NotesFileSortMode mode);

    /// What "+" does: asks for a name, then makes the note in the selected folder. The menu's
    /// 新規ノート comes here too; with every note listed ("+" disabled) it uses the Notes folder.
    void addNote();

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QLayout *buildHeader();
    QMenu *buildSortMenu();
    QWidget *buildList();
    /// Connects the list and its header to the browser's changes.
    void followBrowser();
    /// Lists the browser's notes afresh, once no name is being edited in place.
    void reloadList();
    /// Makes the selected note the current row and tints it.
    void showSelectedFile();
    void updateIcons();
    void updateHeader();
    void elideTitle();
    void updateSortButton();
    void applyFontSize();
    void deleteNote(const QString &note);

    NotesBrowser &m_browser;
    NoteListModel *m_model = nullptr;
    RowListView *m_list = nullptr;
    QLabel *m_title = nullptr;
    QToolButton *m_sort = nullptr;
    QToolButton *m_add = nullptr;
    QToolButton *m_refresh = nullptr;
    QString m_fullTitle;
    bool m_reloadAfterEditing = false;
};
