// Indexing a manifest of 300,000 records, in both formats: time and memory.
#include "BenchSupport.h"

#include "ios/BackupManifest.h"
#include "ios/ManifestDbReader.h"
#include "ios/MbdbReader.h"

#include <QCoreApplication>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? atoi(argv[1]) : 300000;
    QTemporaryDir dir;
    for (const char *kind : {"mbdb", "db"}) {
        const QString path = dir.filePath(QString::fromLatin1(kind));
        if (!Bench::buildBackup(path, {QString::fromLatin1(kind), QStringLiteral("--bulk"),
                                       QString::number(count)})) {
            std::fprintf(stderr, "fixture builder failed\n");
            return 1;
        }
        QElapsedTimer timer;
        timer.start();
        {
            const auto table = QString::fromLatin1(kind) == QLatin1String("db")
                ? readManifestDb(QDir(path).filePath(QStringLiteral("Manifest.db")))
                : readMbdb(QDir(path).filePath(QStringLiteral("Manifest.mbdb")));
            std::printf("%-5s reading the records alone: %.2f s\n", kind,
                        double(timer.nsecsElapsed()) / 1e9);
        }
        const double before = Bench::peakRssMiB();
        timer.restart();
        {
            BackupManifest manifest(path);
            manifest.readProperties();
            manifest.buildIndex();
            const double seconds = double(timer.nsecsElapsed()) / 1e9;
            std::printf("%-5s %d records: %.2f s, peak memory %.0f MiB (was %.0f MiB before), %lld records\n",
                        kind, count, seconds, Bench::peakRssMiB(), before,
                        static_cast<long long>(manifest.records().size()));
        }
    }
    return 0;
}
