#include "ui/MainWindow.h"

#include "app/AppInfo.h"
#include "app/StyleSheet.h"

#include <QLabel>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(tr(AppInfo::kTitle));
    setStyleSheet(appStyleSheet());
    resize(1000, 680);
    auto *placeholder = new QLabel(this);
    placeholder->setObjectName(QStringLiteral("lbEmpty"));
    placeholder->setAlignment(Qt::AlignCenter);
    setCentralWidget(placeholder);
}
