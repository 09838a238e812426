#include "gui/MessageBoxes.h"

#include "app/AppInfo.h"
#include "app/LogCategories.h"
#include "app/StyleSheet.h"
#include "gui/WinMovable.h"

#include <QCoreApplication>
#include <QDebug>

namespace MessageBoxes {

QMessageBox *createBox(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                       QMessageBox::StandardButtons buttons)
{
    auto *box = new QMessageBox(parent);
    box->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    box->setWindowTitle(QCoreApplication::translate("MessageBoxes", AppInfo::kTitle));
    box->setIcon(icon);
    box->setTextFormat(Qt::RichText);
    box->setText(text);
    box->setStyleSheet(appStyleSheet());
    // Buttons are added in the order Yes, No, Ok, Cancel.
    for (QMessageBox::StandardButton button :
         {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel}) {
        if (buttons.testFlag(button))
            box->addButton(button);
    }
    new WinMovable(box);
    return box;
}

int generalBox(QWidget *parent, QMessageBox::Icon icon, const QString &text,
               QMessageBox::StandardButtons buttons)
{
    QMessageBox *box = createBox(parent, icon, text, buttons);
    const int result = box->exec();
    delete box;
    return result;
}

void showInformation(QWidget *parent, const QString &text)
{
    generalBox(parent, QMessageBox::Information, text, QMessageBox::Ok);
}

void showWarning(QWidget *parent, const QString &text)
{
    generalBox(parent, QMessageBox::Warning, text, QMessageBox::Ok);
}

bool askQuestion(QWidget *parent, const QString &text)
{
    return generalBox(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

QString errorBoxText(const QString &text)
{
    return QStringLiteral("An Error Occurred. <br/><br/>%1<br/><br/> Or you can contact ").arg(text)
           + QString::fromLatin1(AppInfo::kSupportEmail) + QStringLiteral(" for help.");
}

void showError(QWidget *parent, const QString &text)
{
    generalBox(parent, QMessageBox::Critical, errorBoxText(text), QMessageBox::Ok);
    // The error report goes to the log; there is no upload service here.
    qCCritical(lcGui).noquote() << "error shown:" << text;
}

} // namespace MessageBoxes
