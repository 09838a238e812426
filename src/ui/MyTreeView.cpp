#include "ui/MyTreeView.h"

#include <QContextMenuEvent>

void MyTreeView::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    Q_EMIT onSelectionChanged(selected, deselected);
    QTreeView::selectionChanged(selected, deselected);
}

void MyTreeView::contextMenuEvent(QContextMenuEvent *event)
{
    m_menuPos = viewport()->mapFromGlobal(event->globalPos());
    Q_EMIT createContextMenu();
    QTreeView::contextMenuEvent(event);
}
