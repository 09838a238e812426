// Export of messages to files and printing.
#include "ui/MainWindow.h"

#include "app/Translation.h"
#include "gui/MessageBoxes.h"
#include "jobs/gui/ProgressForm.h"
#include "view/ExportMessagesThread.h"
#include "view/ExportTarget.h"
#include "view/gui/KikMsgPrinter.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>

void MainWindow::miExport()
{
    exportFlow(choose(Scope::Selected));
}
void MainWindow::miExportChat()
{
    exportFlow(choose(Scope::Chat));
}
void MainWindow::miExportAll()
{
    exportFlow(choose(Scope::All));
}
void MainWindow::miExportToolbar()
{
    exportFlow(choose(Scope::Toolbar));
}

void MainWindow::miPrint()
{
    printFlow(choose(Scope::Selected));
}
void MainWindow::miPrintChat()
{
    printFlow(choose(Scope::Chat));
}
void MainWindow::miPrintAll()
{
    printFlow(choose(Scope::All));
}
void MainWindow::miPrintToolbar()
{
    printFlow(choose(Scope::Toolbar));
}

void MainWindow::exportFlow(const Chosen &chosen)
{
    if (chosen.messages.isEmpty())
        return;
    QFileDialog dialog(this, ids("IDS_SEL_EXPORT_MESSAGES_PATH"));
    dialog.setObjectName(QStringLiteral("dlgExportPath"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(ExportTargets::filters());
    dialog.setDirectory(QDir::home());
    dialog.selectFile(QStringLiteral("chats(%1)")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    ExportTarget target;
    try {
        target = ExportTargets::forChoice(dialog.selectedFiles().first(), dialog.selectedNameFilter());
    } catch (const std::exception &e) {
        MessageBoxes::showError(this, QString::fromUtf8(e.what()));
        return;
    }
    auto form = makeProgressForm(ids("IDS_EXPORTING_MESSAGES_TO_FILE"));
    ExportMessagesThread job(chosen.messages, target.path, target.format, form->progress());
    runJob(job, *form);
}

void MainWindow::printFlow(const Chosen &chosen)
{
    if (chosen.messages.isEmpty())
        return;
    // The messages' data stays alive in `chosen` while the preview runs.
    m_printer->print(chosen.messages);
}
