#include "app/Locale.h"
#include "app/Log.h"
#include "app/Translation.h"
#include "cli/CliApp.h"
#include "cli/CliSignals.h"

#include <QGuiApplication>

#include <cstdio>

namespace {

// Until the log is installed, Qt's start-up chatter (platform plugin notes)
// stays off the terminal; real failures still show.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char **argv)
{
    // SIGINT and SIGTERM cancel the run from its first moment.
    CliSignals::install();
    CliSignals::enableHardStop();
    setUtf8Locale();
    qInstallMessageHandler(quietHandler);
    Log::setEchoToStdout(false);
    // Exporters draw with QtGui; no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("velloran-kik"));
    installTranslation(app);
    QStringList arguments = QGuiApplication::arguments();
    arguments.removeFirst();
    return runCli(arguments);
}
