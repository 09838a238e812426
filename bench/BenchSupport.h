// Small helpers shared by the benchmarks: timing, peak memory, child
// processes and the fixture builder.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace Bench {

// Peak resident memory of this process so far, in MiB.
inline double peakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// A field of /proc/self/status such as "VmRSS:" or "VmHWM:", in KiB (-1 when absent).
inline long statusKiB(const char *field)
{
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long value = -1;
    const size_t len = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, len) == 0)
            value = std::atol(line + len + 1);
    }
    std::fclose(f);
    return value;
}

// Runs a program, returns the wall time in seconds (negative on failure).
inline double timeProcess(const QString &program, const QStringList &args)
{
    QElapsedTimer timer;
    timer.start();
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e9;
}

// Runs the backup fixture builder.
inline bool buildBackup(const QString &out, const QStringList &args)
{
    const QString script = QDir(QStringLiteral(VELLORAN_SOURCE_DIR))
                               .filePath(QStringLiteral("tests/fixtures/make_itunes_backup.py"));
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{script, out} + args);
    return p.waitForFinished(-1) && p.exitCode() == 0;
}

// Starts the emulated adb server of the tests with the phones of the JSON
// file `config`, stopping by itself after `lifetimeSeconds`, and points the
// real adb client at it. False (and a message) when it does not start.
inline bool startAdbEmulator(QProcess &emulator, const QString &config, int lifetimeSeconds)
{
    emulator.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(VELLORAN_SOURCE_DIR "/tests/emulators/adb_phone_emulator.py"),
                    QStringLiteral("--config"), config, QStringLiteral("--lifetime"),
                    QString::number(lifetimeSeconds)});
    if (!emulator.waitForReadyRead(30000)) {
        std::fprintf(stderr, "the emulator did not start\n");
        return false;
    }
    const QJsonObject ports = QJsonDocument::fromJson(emulator.readLine()).object();
    qputenv("ADB_SERVER_SOCKET",
            QStringLiteral("tcp:127.0.0.1:%1").arg(ports.value(QLatin1String("adb_port")).toInt()).toUtf8());
    qunsetenv("ANDROID_SERIAL");
    return true;
}

} // namespace Bench
