// Picks an existing local database or names a new one: an editable list
// whose first entry is empty, followed by the existing names.
#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QPushButton;

class LocalDbSelForm : public QDialog
{
    Q_OBJECT
public:
    LocalDbSelForm(const QStringList &names, const QString &proposed, QWidget *parent = nullptr);

    // The accepted name (trimmed).
    QString selectedName() const { return m_name; }
    QComboBox *nameBox() const { return m_names; }

public Q_SLOTS:
    void btnOKPressed();

private:
    QComboBox *m_names;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QString m_name;
};
