#pragma once

#include <QListView>

#include <functional>

class ListRowDelegate;

/// A list of the notes page: one selected row at a time, rows of one height drawn by a
/// ListRowDelegate, no frame, and a context menu per row, opened at the pointer or, from the
/// keyboard, on the current row.
class RowListView : public QListView
{
public:
    /// Opens the menu of `row` at `globalPos`.
    using MenuOpener = std::function<void(int row, const QPoint &globalPos)>;

    /// Takes `delegate` for its rows.
    RowListView(ListRowDelegate *delegate, MenuOpener openMenu, QWidget *parent);

    /// Lays the rows out again in a list font of `pixels`.
    void setRowFontSize(int pixels);
    /// Whether a row's in-place editor is open.
    bool isEditing() const { return state() == EditingState; }

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    ListRowDelegate *m_delegate;
    MenuOpener m_openMenu;
};
