#include "ui/MyListView.h"

#include <QContextMenuEvent>

void MyListView::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    Q_EMIT onSelectionChanged(selected, deselected);
    QListView::selectionChanged(selected, deselected);
}

void MyListView::contextMenuEvent(QContextMenuEvent *event)
{
    m_menuPos = viewport()->mapFromGlobal(event->globalPos());
    Q_EMIT createContextMenu();
    QListView::contextMenuEvent(event);
}
