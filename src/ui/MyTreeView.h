// A tree view that reports selection changes and context-menu requests as
// signals, before its own handling.
#pragma once

#include <QTreeView>

class MyTreeView : public QTreeView
{
    Q_OBJECT
public:
    using QTreeView::QTreeView;

    // Where the last context-menu request pointed, in viewport coordinates.
    QPoint lastContextMenuPos() const { return m_menuPos; }

Q_SIGNALS:
    void onSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected);
    void createContextMenu();

protected:
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QPoint m_menuPos;
};
