// Indexing a manifest of 300,000 records, in both formats: time and memory.
#include "BenchSupport.h"

#include "ios/BackupManifest.h"
#include "ios/ManifestDbReader.h"
#include "ios/MbdbReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// Resident memory of this process now, in MiB (Linux; 0 elsewhere). Peak
// memory alone would carry the first format's peak into the second's.
double currentRssMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096.0 / (1024.0 * 1024.0) : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? atoi(argv[1]) : 300000;
    QTemporaryDir dir;
    for (const char *kind : {"mbdb", "db"}) {
        const QString path = dir.filePath(QString::fromLatin1(kind));
        if (!Bench::buildBackup(
                path, {QString::fromLatin1(kind), QStringLiteral("--bulk"), QString::number(count)})) {
            std::fprintf(stderr, "fixture builder failed\n");
            return 1;
        }
        QElapsedTimer timer;
        timer.start();
        {
            const auto table = QString::fromLatin1(kind) == QLatin1String("db")
                                   ? readManifestDb(QDir(path).filePath(QStringLiteral("Manifest.db")))
                                   : readMbdb(QDir(path).filePath(QStringLiteral("Manifest.mbdb")));
            std::printf("%-5s reading the records alone: %.2f s\n", kind, double(timer.nsecsElapsed()) / 1e9);
        }
#if defined(__GLIBC__)
        malloc_trim(0); // hand freed memory back, so that "before" is honest
#endif
        const double before = currentRssMiB();
        timer.restart();
        {
            BackupManifest manifest(path);
            manifest.readProperties();
            manifest.buildIndex();
            const double seconds = double(timer.nsecsElapsed()) / 1e9;
            std::printf("%-5s %d records indexed (table and tree): %.2f s, memory held %.0f MiB "
                        "(resident %.0f -> %.0f MiB, peak so far %.0f MiB), %lld records\n",
                        kind, count, seconds, currentRssMiB() - before, before, currentRssMiB(),
                        Bench::peakRssMiB(), static_cast<long long>(manifest.records().size()));
        }
    }
    return 0;
}
