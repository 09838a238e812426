// Throughput and peak memory of packing and unpacking an Android backup
// tree, beside the shell pipeline
//   (header; tar -c | zlib-flate -compress) > X.ab
//   tail -c +25 X.ab | zlib-flate -uncompress | tar -x
// measured in the same run. Usage: android_backup_bench [MiB] [work folder]
// (default 1024 MiB below the system temporary folder; removed afterwards).
#include "android/AndroidBackup.h"
#include "app/Locale.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run
{
    double seconds = 0;
    long peakKiB = 0;
    int status = -1;
};

// Runs the work in a child process and reports its time and peak memory.
Run measure(const std::function<int()> &work)
{
    // Start each run with the earlier runs' writes on disk, so that one run
    // does not pay for another's write-back.
    ::sync();
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0)
        _exit(work());
    Run run;
    struct rusage usage
    {};
    int status = 0;
    wait4(pid, &status, 0, &usage);
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

Run shell(const QString &command)
{
    return measure([&] {
        execl("/bin/sh", "sh", "-c", command.toUtf8().constData(), static_cast<char *>(nullptr));
        return 127;
    });
}

// A Kik-like tree: a database, many small thumbnails and large media
// files; the bytes are half text-like (compressible) and half random.
void makeTree(const QString &root, qint64 totalBytes)
{
    const QString pkg = root + QStringLiteral("/apps/kik.android");
    QDir().mkpath(pkg + QStringLiteral("/db"));
    QDir().mkpath(pkg + QStringLiteral("/f/staging/thumbs"));
    QDir().mkpath(pkg + QStringLiteral("/f/content_manager"));
    QFile manifest(pkg + QStringLiteral("/_manifest"));
    manifest.open(QIODevice::WriteOnly);
    manifest.write("1\nkik.android\n1\n19\n1\n");
    manifest.close();
    QByteArray block(1 << 20, Qt::Uninitialized);
    auto *random = QRandomGenerator::global();
    qint64 written = 0;
    int index = 0;
    while (written < totalBytes) {
        const bool small = index % 4 != 0;
        const qint64 size = small ? 20 * 1024 : 24 * 1024 * 1024;
        const QString path = small ? pkg + QStringLiteral("/f/staging/thumbs/%1").arg(index)
                                   : pkg + QStringLiteral("/f/content_manager/%1").arg(index);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        for (qint64 left = size; left > 0;) {
            const qint64 n = std::min<qint64>(left, block.size());
            random->fillRange(reinterpret_cast<quint32 *>(block.data()), n / 8);
            for (qint64 i = n / 2; i < n; ++i)
                block[i] = char('a' + (i * 7 + index) % 23);
            file.write(block.constData(), n);
            left -= n;
        }
        written += size;
        ++index;
    }
}

void report(const char *what, const Run &ours, const Run &base, qint64 bytes)
{
    const double mib = double(bytes) / (1024.0 * 1024.0);
    std::printf("%-8s ours %7.2f s %7.1f MiB/s peak %6.1f MiB (rc %d) | pipeline %7.2f s %7.1f MiB/s"
                " (rc %d) | ours/pipeline throughput %5.1f %%\n",
                what, ours.seconds, mib / ours.seconds, ours.peakKiB / 1024.0, ours.status, base.seconds,
                mib / base.seconds, base.status, 100.0 * base.seconds / ours.seconds);
}

} // namespace

int main(int argc, char **argv)
{
    setUtf8Locale();
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    QTemporaryDir work(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/abbench-XXXXXX")
                                : QDir::tempPath() + QStringLiteral("/abbench-XXXXXX"));
    if (!work.isValid())
        return 1;
    const QString tree = work.filePath(QStringLiteral("tree"));
    makeTree(tree, mib * 1024 * 1024);
    const QString ours = work.filePath(QStringLiteral("ours.ab"));
    const QString base = work.filePath(QStringLiteral("pipe.ab"));

    const Run packBase =
        shell(QStringLiteral("(printf 'ANDROID BACKUP\\n1\\n1\\nnone\\n'; tar -c -C '%1' apps"
                             " | zlib-flate -compress) > '%2'")
                  .arg(tree, base));
    const Run packOurs = measure([&] {
        try {
            createAndroidBackup(QDir(tree), ours);
        } catch (...) {
            return 1;
        }
        return 0;
    });
    report("create", packOurs, packBase, mib * 1024 * 1024);

    const QString outOurs = work.filePath(QStringLiteral("x-ours"));
    const QString outBase = work.filePath(QStringLiteral("x-pipe"));
    QDir().mkpath(outBase);
    const Run unpackBase = shell(
        QStringLiteral("tail -c +25 '%1' | zlib-flate -uncompress | tar -x -C '%2'").arg(ours, outBase));
    const Run unpackOurs = measure([&] {
        try {
            extractAndroidBackup(ours, QDir(outOurs), QStringLiteral("corrupted"));
        } catch (...) {
            return 1;
        }
        return 0;
    });
    report("extract", unpackOurs, unpackBase, mib * 1024 * 1024);
    std::printf("archive sizes: ours %lld bytes, pipeline %lld bytes\n",
                static_cast<long long>(QFileInfo(ours).size()),
                static_cast<long long>(QFileInfo(base).size()));
    return 0;
}
