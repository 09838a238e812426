#include "ui/LocalDbSelForm.h"

#include "app/StyleSheet.h"
#include "app/Translation.h"
#include "gui/MessageBoxes.h"
#include "gui/WinMovable.h"
#include "model/LocalDatabases.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

LocalDbSelForm::LocalDbSelForm(const QStringList &names, const QString &proposed, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("LocalDbSelForm"));
    setStyleSheet(appStyleSheet());
    new WinMovable(this);
    resize(380, 130);

    auto *title = new QLabel(ids("IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME"), this);
    title->setObjectName(QStringLiteral("lbTitle"));
    m_names = new QComboBox(this);
    m_names->setObjectName(QStringLiteral("cbLocalDb"));
    m_names->setEditable(true);
    m_names->setInsertPolicy(QComboBox::NoInsert);
    m_names->addItem(QString());
    m_names->addItems(names);
    m_names->setEditText(proposed);

    m_ok = new QPushButton(tr("OK"), this);
    m_ok->setObjectName(QStringLiteral("btnOK"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("btnCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->addWidget(title);
    layout->addWidget(m_names);
    layout->addLayout(buttons);

    connect(m_ok, &QPushButton::clicked, this, &LocalDbSelForm::btnOKPressed);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void LocalDbSelForm::btnOKPressed()
{
    const LocalDatabases::NameCheck check = LocalDatabases::checkName(m_names->currentText());
    if (!check.ok()) {
        MessageBoxes::showWarning(this, ids(check.errorKey));
        return;
    }
    m_name = check.name;
    accept();
}
