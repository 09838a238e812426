// The cost of progress reports in a job of a million items: a CSV export of
// 1,000,000 messages run without a progress object, then with a headless
// one receiving every report (as the command-line tool's does). The two
// times should not differ measurably, and the reports stay about a hundred.
#include "BenchData.h"

#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"
#include "view/ExportMessagesThread.h"

#include <QGuiApplication>
#include <QTemporaryDir>

namespace {

double exportSeconds(const KikMessageList &messages, const QString &path, HeadlessProgress *progress)
{
    ExportMessagesThread job(messages, path, ExportFormat::Csv, progress);
    QElapsedTimer timer;
    timer.start();
    JobRunner::runToEnd(job);
    if (!job.succeeded())
        std::printf("  the export failed: %s\n", qPrintable(job.errorText()));
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    BenchData::useProgramData();
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    QTemporaryDir dir;
    KikDataSetPtr data = BenchData::makeMessages(10, count / 10, 0, QString());
    const KikMessageList messages = data->allMessages();

    // Alternated, best of three each, so that caches and a busy machine
    // weigh on both alike.
    double without = 1e9;
    double with = 1e9;
    int reports = 0;
    for (int round = 0; round < 3; ++round) {
        without = qMin(without, exportSeconds(messages, dir.filePath(QStringLiteral("a.csv")), nullptr));
        HeadlessProgress progress;
        with = qMin(with, exportSeconds(messages, dir.filePath(QStringLiteral("b.csv")), &progress));
        reports = progress.updates();
    }
    std::printf("CSV export of %lld messages (best of 3)\n", qlonglong(messages.size()));
    std::printf("  without progress: %.2f s\n", without);
    std::printf("  with progress:    %.2f s  (%d reports)\n", with, reports);
    return 0;
}
