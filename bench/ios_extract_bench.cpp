// Extracting Kik's files (N files: the store, attachment descriptions and
// media) out of an unencrypted iTunes backup with IOSLoadKikFromiTunesThread,
// side by side with a plain "cp -r" of the same backup folder.
// Usage: ios_extract_bench [files] [kind]   (default 20000 db; kind mbdb or db)
#include "BenchSupport.h"

#include "app/FileUtil.h"
#include "ios/BackupManifest.h"
#include "ios/IOSLoadKikFromiTunesThread.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

// Processor time (user + system) of this process or of its finished
// children, in seconds: steadier than wall time on a busy machine.
double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void writeBytes(const QString &path, qint64 size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 1;
    for (qint64 i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = char(x);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != size) {
        std::fprintf(stderr, "can not write %s\n", qPrintable(path));
        std::exit(1);
    }
}

// An app folder of `files` files: the store, then half descriptions (about
// 2 KB) and half media files (4 KB to 60 KB).
qint64 makeAppFolder(const QString &app, int files)
{
    const QDir docs(QDir(app).filePath(QStringLiteral("Documents")));
    QDir().mkpath(docs.filePath(QStringLiteral("attachments")));
    QDir().mkpath(docs.filePath(QStringLiteral("content_manager/data_cache")));
    qint64 total = 0;
    writeBytes(docs.filePath(QStringLiteral("kik.sqlite")), 4 << 20, 1);
    total += 4 << 20;
    for (int i = 1; i < files; ++i) {
        const QString name = QStringLiteral("c0de0000-0000-4000-8000-%1").arg(i, 12, 10, QLatin1Char('0'));
        const bool media = i % 2 == 0;
        const qint64 size = media ? 4096 + (qint64(i) * 7919) % 57344 : 1800 + i % 400;
        writeBytes(docs.filePath(media ? QStringLiteral("content_manager/data_cache/") + name
                                       : QStringLiteral("attachments/") + name),
                   size, quint32(i));
        total += size;
    }
    return total;
}

double runJob(const QString &backupDir, const QString &cache, bool &ok)
{
    BackupManifest backup(backupDir);
    backup.readProperties();
    backup.buildIndex();
    HeadlessProgress progress;
    IOSLoadKikFromiTunesThread job(&backup, &progress, cache);
    QElapsedTimer timer;
    timer.start();
    JobRunner::runToEnd(job);
    const double seconds = timer.elapsed() / 1000.0;
    ok = progress.result() == HeadlessProgress::Succeeded && job.foundData();
    return seconds;
}

int countFiles(const QString &folder)
{
    int n = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication qapp(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
    const QString kind = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("db");
    QTemporaryDir tmp;
    const QDir work(tmp.path());
    const QString app = work.filePath(QStringLiteral("com.kik.chat"));
    const qint64 bytes = makeAppFolder(app, files);
    const QString backup = work.filePath(QStringLiteral("backup"));
    const QString script = QDir(QStringLiteral(VELLORAN_SOURCE_DIR))
                               .filePath(QStringLiteral("tests/fixtures/make_ios_kik_backup.py"));
    QProcess builder;
    builder.setStandardOutputFile(QProcess::nullDevice());
    builder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    builder.start(QStringLiteral("/usr/bin/python3"),
                  {script, app, backup, kind, QStringLiteral("--place"), QStringLiteral("app")});
    if (!builder.waitForFinished(-1) || builder.exitCode() != 0) {
        std::fprintf(stderr, "the backup builder failed\n");
        return 1;
    }
    removeTree(app);
    std::printf("backup (%s) of %d Kik files, %.1f MiB\n", qPrintable(kind), files, bytes / 1048576.0);

    double bestCp = 1e9, bestJob = 1e9;
    for (int round = 0; round < 2; ++round) {
        const QString copy = work.filePath(QStringLiteral("cp%1").arg(round));
        const double cpCpu0 = cpuSeconds(RUSAGE_CHILDREN);
        const double cp = Bench::timeProcess(QStringLiteral("cp"), {QStringLiteral("-r"), backup, copy});
        const double cpCpu = cpuSeconds(RUSAGE_CHILDREN) - cpCpu0;
        removeTree(copy);
        bool ok = false;
        const QString cache = work.filePath(QStringLiteral("cache%1").arg(round));
        const double jobCpu0 = cpuSeconds(RUSAGE_SELF);
        const double job = runJob(backup, cache, ok);
        const double jobCpu = cpuSeconds(RUSAGE_SELF) - jobCpu0;
        const int copied = countFiles(cache);
        removeTree(cache);
        if (cp < 0 || !ok) {
            std::fprintf(stderr, "a run failed\n");
            return 1;
        }
        std::printf("round %d: cp -r %.2f s (cpu %.2f s)   load job %.2f s (cpu %.2f s, %d files)   "
                    "ratio %.2f (cpu %.2f)\n",
                    round + 1, cp, cpCpu, job, jobCpu, copied, job / cp, jobCpu / cpCpu);
        bestCp = qMin(bestCp, cp);
        bestJob = qMin(bestJob, job);
    }
    std::printf("best: cp -r %.2f s   load job %.2f s   ratio %.2f (target <= 1.5)\n", bestCp, bestJob,
                bestJob / bestCp);
    return 0;
}
