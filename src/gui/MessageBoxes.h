// The shared modal message boxes: frameless, draggable, styled.
#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace MessageBoxes {

void showInformation(QWidget *parent, const QString &text);
void showWarning(QWidget *parent, const QString &text);
bool askQuestion(QWidget *parent, const QString &text);
// "An Error Occurred." with the text and the support address.
void showError(QWidget *parent, const QString &text);
int generalBox(QWidget *parent, QMessageBox::Icon icon, const QString &text,
               QMessageBox::StandardButtons buttons);

// The full text that the error box shows for a message.
QString errorBoxText(const QString &text);

// Builds (without showing) a box as the functions above show it; for tests
// and for callers that need the box object.
QMessageBox *createBox(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                       QMessageBox::StandardButtons buttons);

} // namespace MessageBoxes
