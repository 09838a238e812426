// AFC download of one large file from the emulated iPhone through the real
// libimobiledevice (64 KiB read requests on one connection, written in
// 512 KiB blocks), next to reading the same bytes from a plain loopback
// socket (recv into a 512 KiB buffer, written to a file) that a Python
// sender fills in 64 KiB writes, as the emulator does.
// Target: the AFC download reaches at least 70 % of the plain socket.
// Usage: afc_download_bench [MiB]   (default 256)
#include "device/AfcConnection.h"
#include "device/IOSAfcFileDownload.h"
#include "device/MobileDevice.h"
#include "support/IphoneEmulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

const QString kUdid = QStringLiteral("00008030-00BE0C4A0B0E0C00");

bool writeBigFile(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1024 * 1024, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char((i * 131) ^ (i >> 7));
    for (qint64 written = 0; written < bytes; written += block.size())
        file.write(block);
    return true;
}

// Seconds to receive the file from a Python sender on a loopback socket.
double plainSocketSeconds(const QString &path, qint64 bytes)
{
    const char *sender = "import socket,sys\n"
                         "s=socket.socket();s.bind(('127.0.0.1',0));s.listen(1)\n"
                         "print(s.getsockname()[1],flush=True)\n"
                         "c,_=s.accept()\n"
                         "with open(sys.argv[1],'rb') as f:\n"
                         "    while True:\n"
                         "        b=f.read(65536)\n"
                         "        if not b: break\n"
                         "        c.sendall(b)\n"
                         "c.close()\n";
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromLatin1(sender), path});
    if (!python.waitForReadyRead(30000))
        return -1;
    const int port = python.readLine().trimmed().toInt();
    QElapsedTimer timer;
    timer.start();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return -1;
    QFile out(path + QStringLiteral(".plain"));
    out.open(QIODevice::WriteOnly);
    QByteArray buffer(524288, '\0');
    qint64 received = 0;
    for (;;) {
        const ssize_t n = ::recv(fd, buffer.data(), size_t(buffer.size()), 0);
        if (n <= 0)
            break;
        out.write(buffer.constData(), n);
        received += n;
    }
    ::close(fd);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    python.waitForFinished(10000);
    return received == bytes ? seconds : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? std::atoll(argv[1]) : 256;
    const qint64 bytes = mib * 1024 * 1024;
    QTemporaryDir dir;
    const QString container = dir.filePath(QStringLiteral("container"));
    const QString big = container + QStringLiteral("/Documents/big.bin");
    QDir().mkpath(QFileInfo(big).path());
    if (!writeBigFile(big, bytes)) {
        std::fprintf(stderr, "cannot write the test file\n");
        return 1;
    }
    IphoneEmulator emu;
    const QJsonObject phone{{QStringLiteral("udid"), kUdid}, {QStringLiteral("kik_container"), container}};
    if (!emu.start(QJsonObject{{QStringLiteral("devices"), QJsonArray{phone}}})) {
        std::fprintf(stderr, "the emulator did not start: %s\n", emu.errorOutput().constData());
        return 1;
    }
    emu.applyToThisProcess();

    const double plain = plainSocketSeconds(big, bytes);

    AfcConnection afc(mobileDeviceStack().device(kUdid));
    QElapsedTimer timer;
    timer.start();
    afc.open(QStringLiteral("com.kik.chat"));
    IOSAfcFileDownload download(nullptr, nullptr);
    download.downloadFileThrow(afc, afc.fileRecord(QStringLiteral("/Documents/big.bin")),
                               dir.filePath(QStringLiteral("copy.bin")), false);
    const double viaAfc = double(timer.nsecsElapsed()) / 1e9;
    const bool whole = QFileInfo(dir.filePath(QStringLiteral("copy.bin"))).size() == bytes
                       && download.incompleteFiles().isEmpty();

    std::printf("file: %lld MiB\n", static_cast<long long>(mib));
    std::printf("plain loopback socket: %.2f s (%.0f MiB/s)\n", plain, double(mib) / plain);
    std::printf("AFC download:          %.2f s (%.0f MiB/s)%s\n", viaAfc, double(mib) / viaAfc,
                whole ? "" : "  INCOMPLETE");
    std::printf("AFC / plain throughput: %.0f %% (target: at least 70 %%)\n", 100.0 * plain / viaAfc);
    return whole && plain > 0 ? 0 : 1;
}
