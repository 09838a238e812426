#include "ui/DataSourceSelForm.h"

#include "app/StyleSheet.h"
#include "gui/WinMovable.h"
#include "ui/MyListView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>

DataSourceSelForm::DataSourceSelForm(const QString &title, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_model(new QStandardItemModel(this))
{
    setObjectName(QStringLiteral("DataSourceSelForm"));
    setStyleSheet(appStyleSheet());
    new WinMovable(this);
    resize(360, 260);

    auto *label = new QLabel(title, this);
    label->setObjectName(QStringLiteral("lbTitle"));
    m_list = new MyListView(this);
    m_list->setObjectName(QStringLiteral("listSources"));
    m_list->setModel(m_model);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setIconSize(QSize(18, 18));

    auto *ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->addWidget(label);
    layout->addWidget(m_list);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &DataSourceSelForm::btnOKPressed);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QAbstractItemView::doubleClicked, this, &DataSourceSelForm::btnOKPressed);
}

void DataSourceSelForm::addSource(const QIcon &icon, const QString &text)
{
    m_model->appendRow(new QStandardItem(icon, text));
    if (m_model->rowCount() == 1)
        m_list->setCurrentIndex(m_model->index(0, 0));
}

void DataSourceSelForm::btnOKPressed()
{
    const QModelIndex current = m_list->currentIndex();
    if (!current.isValid())
        return;
    m_selected = current.row();
    accept();
}
