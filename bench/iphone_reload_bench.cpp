// Loading Kik from the emulated iPhone twice, with a container of N media
// files: the second load of the unchanged container skips every media file
// through the cache index. Target: the second load takes at most 10 % of
// the first one's time.
// Usage: iphone_reload_bench [files]   (default 20000)
#include "device/MobileDevice.h"
#include "ios/IOSLoadKikMessagesThread.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"
#include "support/IphoneEmulator.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

const QString kUdid = QStringLiteral("00008030-00BE0C4A0B0E0C01");

// Seconds of one load; negative when it failed.
double timedLoad()
{
    HeadlessProgress progress;
    IOSLoadKikMessagesThread job(mobileDeviceStack().device(kUdid), &progress);
    QElapsedTimer timer;
    timer.start();
    JobRunner::runToEnd(job);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (progress.result() != HeadlessProgress::Succeeded) {
        std::fprintf(stderr, "load failed: %s\n", progress.errorText().toUtf8().constData());
        return -1;
    }
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
    TestSupport::ScopedDataRoot root;
    QTemporaryDir dir;
    const QString documents = dir.filePath(QStringLiteral("container/Documents"));
    TestSupport::writeFile(QDir(documents).filePath(QStringLiteral("kik.sqlite")),
                           QByteArray("SQLite format 3") + QByteArray(4081, '\0'));
    // Media spread over folders as Kik keeps them: content files of a few
    // KiB and attachment descriptions.
    for (int i = 0; i < files; ++i) {
        const QString folder =
            i % 2 ? QStringLiteral("content_manager/data_cache") : QStringLiteral("attachments");
        TestSupport::writeFile(
            QDir(documents).filePath(QStringLiteral("%1/%2").arg(folder).arg(i, 8, 16, QLatin1Char('0'))),
            QByteArray(2048 + (i % 7) * 512, char('a' + i % 26)));
    }
    IphoneEmulator emu;
    const QJsonObject phone{{QStringLiteral("udid"), kUdid},
                            {QStringLiteral("kik_container"), dir.filePath(QStringLiteral("container"))}};
    if (!emu.start(QJsonObject{{QStringLiteral("devices"), QJsonArray{phone}}}, 3600)) {
        std::fprintf(stderr, "the emulator did not start: %s\n", emu.errorOutput().constData());
        return 1;
    }
    emu.applyToThisProcess();
    const double first = timedLoad();
    const double second = timedLoad();
    if (first < 0 || second < 0)
        return 1;
    std::printf("media files: %d\n", files);
    std::printf("first load:  %.2f s\n", first);
    std::printf("second load: %.2f s\n", second);
    std::printf("second / first: %.1f %% (target: at most 10 %%)\n", 100.0 * second / first);
    return 0;
}
