#include "app/gui/Startup.h"

#include "app/AppInfo.h"
#include "app/DataRoot.h"
#include "app/Locale.h"
#include "app/Log.h"
#include "app/LogCategories.h"
#include "app/Translation.h"
#include "db/Sqlite3DB.h"
#include "device/MobileDeviceFrameworks.h"
#include "gui/MessageBoxes.h"
#include "ui/MainWindow.h"
#include "ui/ScreenshotTour.h"

#include <QApplication>
#include <QDebug>
#include <QStringList>
#include <QTimer>

namespace {

struct StartOptions
{
    QString dataRoot;
    bool exitAfterStart = false;
    QString screenshots; // folder for the README pictures
};

StartOptions parseOptions(const QStringList &arguments)
{
    StartOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == QLatin1String("--data-root") && i + 1 < arguments.size())
            options.dataRoot = arguments[++i];
        else if (arg.startsWith(QLatin1String("--data-root=")))
            options.dataRoot = arg.mid(12);
        else if (arg == QLatin1String("--exit-after-start"))
            options.exitAfterStart = true;
        else if (arg == QLatin1String("--screenshots") && i + 1 < arguments.size())
            options.screenshots = arguments[++i];
    }
    return options;
}

} // namespace

int runApplication(int argc, char **argv)
{
    setUtf8Locale();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(AppInfo::kTitle));
    QApplication::setApplicationVersion(QStringLiteral(VELLORAN_VERSION));
    installTranslation(app);

    const StartOptions options = parseOptions(QApplication::arguments());
    if (!options.dataRoot.isEmpty())
        DataRoot::setOverride(options.dataRoot);
    DataRoot::applyEnvironment();

    if (sqlite_qt_version() != 7) {
        MessageBoxes::showError(nullptr, QStringLiteral("invalid libsqlite_qt."));
        return 1;
    }

    Log::install(DataRoot::logFolder().absolutePath(), 10);
    qCDebug(lcApp).noquote() << "start" << AppInfo::kTitle << VELLORAN_VERSION;

    mobiledevice_load_frameworks();
    if (!mobiledevice_frameworks_loaded()) {
        MessageBoxes::showError(nullptr,
                                QStringLiteral("Failed to load (Apple Mobile Device) framework. Plese click "
                                               "<a href=\"%1\">HERE</a> for help.")
                                    .arg(QString::fromLatin1(AppInfo::kIosHelpUrl)));
        return -1;
    }

    int result;
    {
        MainWindow::Options windowOptions;
        if (!options.screenshots.isEmpty()) {
            // The pictures show the demo data only.
            windowOptions.usbTipDelayMs = -1;
            windowOptions.androidMonitor = false;
        }
        MainWindow window(windowOptions);
        window.show();
        if (!options.screenshots.isEmpty())
            (new ScreenshotTour(&window, options.screenshots))->start();
        if (options.exitAfterStart)
            QTimer::singleShot(0, &app, [] { QApplication::exit(0); });
        result = QApplication::exec();
    }
    qCDebug(lcApp).noquote() << "exit" << result;
    return result;
}
