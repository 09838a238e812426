// Lets the user pick one of several sources (for example the Android phone
// a transfer goes to) from a list of icons and names.
#pragma once

#include <QDialog>
#include <QIcon>

class MyListView;
class QStandardItemModel;

class DataSourceSelForm : public QDialog
{
    Q_OBJECT
public:
    DataSourceSelForm(const QString &title, QWidget *parent = nullptr);

    void addSource(const QIcon &icon, const QString &text);
    // Row of the accepted choice, or -1.
    int selectedRow() const { return m_selected; }
    MyListView *list() const { return m_list; }

public Q_SLOTS:
    void btnOKPressed();

private:
    MyListView *m_list;
    QStandardItemModel *m_model;
    int m_selected = -1;
};
