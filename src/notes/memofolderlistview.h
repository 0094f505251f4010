#pragma once

#include <QWidget>

class FolderListModel;
class NotesBrowser;
class QListView;
class QToolButton;
class RowListView;

/// The folder tree of the notes page: "すべて", then the Notes folder and its folders with
/// their folder icons, indented by depth. A click selects a folder; a click on the icon of a
/// folder with subfolders opens or closes it (Left and Right do the same from the keyboard).
/// The context menu adds, renames and deletes folders and adds notes; a note dragged from the
/// note list onto a folder moves there.
class MemoFolderListView : public QWidget
{
    Q_OBJECT

public:
    explicit MemoFolderListView(NotesBrowser &browser, QWidget *parent = nullptr);

    QListView *listView() const;

    /// The row showing `folder` (empty for "すべて"); -1 when it is not shown.
    int rowOf(const QString &folder) const;
    /// Where the folder icon of `row` sits, in the list's viewport.
    QRect iconRect(int row) const;

    /// Opens the context menu of `row` at `globalPos`; returns the menu (deleted when closed),
    /// or nullptr for a row without one.
    class QMenu *openContextMenu(int row, const QPoint &globalPos);

protected:
    void changeEvent(QEvent *event) override;

private:
    void updateIcons();
    void addFolder(const QString &parent);
    void renameFolder(const QString &folder);
    void deleteFolder(const QString &folder);
    void addNote(const QString &folder);
    void applyFontSize();

    NotesBrowser &m_browser;
    FolderListModel *m_model = nullptr;
    RowListView *m_list = nullptr;
    QToolButton *m_refresh = nullptr;
};
