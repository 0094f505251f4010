#include "notes/rowlistview.h"

#include "notes/listrowdelegate.h"

#include <QContextMenuEvent>

RowListView::RowListView(ListRowDelegate *delegate, MenuOpener openMenu, QWidget *parent)
    : QListView(parent), m_delegate(delegate), m_openMenu(std::move(openMenu))
{
    m_delegate->setParent(this);
    setItemDelegate(m_delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setFrameShape(QFrame::NoFrame);
}

void RowListView::setRowFontSize(int pixels)
{
    m_delegate->setFontSize(pixels);
    doItemsLayout();
    viewport()->update();
}

void RowListView::contextMenuEvent(QContextMenuEvent *event)
{
    QModelIndex index = indexAt(event->pos());
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        index = currentIndex();
        at = viewport()->mapToGlobal(visualRect(index).center());
    }
    if (index.isValid())
        m_openMenu(index.row(), at);
}
