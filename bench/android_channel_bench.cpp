// Download and upload throughput of the two phone channels against the
// emulated phone (tests/emulators/adb_phone_emulator.py, real adb client),
// beside what they are compared with in the same run: `adb pull`/`adb push`
// alone for the adb channel, a plain loopback socket copy for the helper
// channel, and a copy of the same file from one folder to another through a
// loopback socket (what the helper channel does, minus its protocol and the
// emulated phone). Each transfer and each comparison runs `rounds` times,
// interleaved, and the fastest run of each counts, so that other work on a
// shared machine disturbs the ratios less.
// Usage: android_channel_bench [MiB] [rounds] (defaults 256 and 5).
#include "BenchSupport.h"
#include "android/AdbRunner.h"
#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidPhone.h"
#include "app/DataRoot.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <thread>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// The time `work` takes. What earlier runs wrote goes to the disk first, so
// that the system's writing it back does not take the processors from this
// run.
double seconds(const std::function<void()> &work)
{
#ifdef Q_OS_UNIX
    ::sync();
#endif
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

void writeRandom(const QString &path, qint64 bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 done = 0; done < bytes; done += block.size()) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        file.write(block);
    }
}

// Copies `bytes` through a loopback socket, the baseline of the helper: with
// a `source` the bytes are read from that file, with a `target` written to
// that file; without them they come from memory and are dropped.
double loopbackCopy(qint64 bytes, const QString &source = QString(), const QString &target = QString())
{
    constexpr qint64 kBlock = 512 * 1024;
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    return seconds([&] {
        std::thread sender([port, bytes, source] {
            QFile in(source);
            if (!source.isEmpty())
                in.open(QIODevice::ReadOnly);
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            socket.waitForConnected(10000);
            QByteArray block(kBlock, 'x');
            for (qint64 done = 0; done < bytes; done += block.size()) {
                if (in.isOpen())
                    block = in.read(kBlock);
                if (block.isEmpty())
                    break;
                socket.write(block);
                while (socket.bytesToWrite() > 4 * kBlock)
                    socket.waitForBytesWritten(10000);
            }
            while (socket.bytesToWrite() > 0)
                socket.waitForBytesWritten(10000);
            socket.disconnectFromHost();
        });
        server.waitForNewConnection(10000);
        std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
        QFile out(target);
        if (!target.isEmpty())
            out.open(QIODevice::WriteOnly);
        qint64 received = 0;
        while (received < bytes && peer->waitForReadyRead(10000)) {
            const QByteArray data = peer->readAll();
            if (out.isOpen())
                out.write(data);
            received += data.size();
        }
        out.close();
        sender.join();
    });
}

void report(const char *what, double mine, const char *baseName, double base, qint64 bytes)
{
    const double mib = double(bytes) / (1024 * 1024);
    std::printf("%-24s %7.1f MiB/s   %-22s %7.1f MiB/s   %5.1f %%\n", what, mib / mine, baseName, mib / base,
                100.0 * base / mine);
    std::fflush(stdout);
}

// The fastest of several runs.
struct Best
{
    double value = 1e300;
    void add(double run) { value = std::min(value, run); }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 256;
    const qint64 bytes = mib * 1024 * 1024;
    const int rounds = std::max(1, argc > 2 ? QByteArray(argv[2]).toInt() : 5);
    QTemporaryDir dir;
    DataRoot::setOverride(dir.filePath(QStringLiteral("data")));

    QJsonArray phones;
    for (const auto &[serial, helper] :
         {std::pair{"HELPER1", "installed"}, std::pair{"ADBONLY1", "absent"}}) {
        const QString root = dir.filePath(QString::fromLatin1(serial));
        QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral(VELLORAN_SOURCE_DIR "/tests/fixtures/make_android_kik.py"),
                           QStringLiteral("phone"), root});
        writeRandom(root + QStringLiteral("/sdcard/big.bin"), bytes);
        phones.append(QJsonObject{{QStringLiteral("serial"), QString::fromLatin1(serial)},
                                  {QStringLiteral("state"), QStringLiteral("device")},
                                  {QStringLiteral("root"), root},
                                  {QStringLiteral("rooted"), true},
                                  {QStringLiteral("helper"), QString::fromLatin1(helper)},
                                  {QStringLiteral("sdk"), 29},
                                  {QStringLiteral("block_size"), 524288}});
    }
    QFile config(dir.filePath(QStringLiteral("config.json")));
    config.open(QIODevice::WriteOnly);
    config.write(QJsonDocument(QJsonObject{{QStringLiteral("phones"), phones}}).toJson());
    config.close();
    QProcess emulator;
    if (!Bench::startAdbEmulator(emulator, config.fileName(), 1800))
        return 1;

    std::printf("%lld MiB per transfer, fastest of %d runs\n", mib, rounds);
    for (const char *serial : {"ADBONLY1", "HELPER1"}) {
        HeadlessProgress progress;
        AndroidConnectWithUSBThread connect(QString::fromLatin1(serial), &progress);
        JobRunner::runToEnd(connect);
        if (progress.result() != HeadlessProgress::Succeeded) {
            std::fprintf(stderr, "%s: %s\n", serial, qPrintable(progress.errorText()));
            return 1;
        }
        const auto phone = makeAndroidPhone(connect.device());
        const QString local = dir.filePath(QStringLiteral("down-") + QString::fromLatin1(serial));
        const QString phoneFile =
            dir.filePath(QString::fromLatin1(serial)) + QStringLiteral("/sdcard/big.bin");
        const QString phoneUpload =
            dir.filePath(QString::fromLatin1(serial)) + QStringLiteral("/sdcard/up.bin");
        const bool helper = QByteArray(serial) == "HELPER1";
        auto channel = phone->openChannel(AndroidPhone::ChannelPurpose::Download, nullptr);
        Best down, up, socketOnly, fileCopy, pull, push;
        for (int round = 0; round < rounds; ++round) {
            QFile::remove(local);
            down.add(seconds(
                [&] { channel->downloadFile(QStringLiteral("/sdcard/big.bin"), QString(), local, true); }));
            if (QFileInfo(local).size() != bytes) {
                std::fprintf(stderr, "%s: the download is incomplete\n", serial);
                return 1;
            }
            // Every transfer writes a new file, as the comparisons do: a
            // file system may flush a file that is truncated and written
            // again when it is closed.
            QFile::remove(phoneUpload);
            up.add(seconds([&] { channel->uploadFile(local, QStringLiteral("/sdcard/up.bin")); }));
            if (QFileInfo(phoneUpload).size() != bytes) {
                std::fprintf(stderr, "%s: the upload is incomplete\n", serial);
                return 1;
            }
            if (helper) {
                socketOnly.add(loopbackCopy(bytes));
                QFile::remove(local + QStringLiteral(".copy"));
                fileCopy.add(loopbackCopy(bytes, phoneFile, local + QStringLiteral(".copy")));
            } else {
                QFile::remove(local + QStringLiteral(".pull"));
                pull.add(seconds([&] {
                    adbPull(QString::fromLatin1(serial), QStringLiteral("/sdcard/big.bin"),
                            local + QStringLiteral(".pull"), nullptr);
                }));
                QFile::remove(phoneUpload.chopped(6) + QStringLiteral("push.bin"));
                push.add(seconds([&] {
                    adbPush(QString::fromLatin1(serial), local, QStringLiteral("/sdcard/push.bin"), nullptr);
                }));
            }
        }
        channel.reset();
        if (helper) {
            report("helper download", down.value, "socket copy", socketOnly.value, bytes);
            report("helper download", down.value, "file copy over socket", fileCopy.value, bytes);
            report("helper upload", up.value, "socket copy", socketOnly.value, bytes);
            report("helper upload", up.value, "file copy over socket", fileCopy.value, bytes);
        } else {
            report("adb channel download", down.value, "adb pull", pull.value, bytes);
            report("adb channel upload", up.value, "adb push", push.value, bytes);
        }
    }
    emulator.closeWriteChannel();
    emulator.waitForFinished(10000);
    return 0;
}
