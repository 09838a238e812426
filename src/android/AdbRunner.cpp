#include "android/AdbRunner.h"

#include "app/DiskFull.h"
#include "jobs/JobCancelled.h"

#include <QElapsedTimer>
#include <QProcess>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

constexpr int kPollMs = 100;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

QString latin1UpToZero(const QByteArray &bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return QString::fromLatin1(zero < 0 ? bytes : bytes.left(zero));
}

// Reads what adb has written so far; false when it wrote more than we take.
bool drain(QProcess &process, QByteArray &out, QByteArray &err)
{
    out += process.readAllStandardOutput();
    err += process.readAllStandardError();
    return out.size() + err.size() <= kAdbMaxOutputBytes;
}

void stop(QProcess &process)
{
    process.kill();
    process.waitForFinished(5000);
}

} // namespace

AdbRun runAdbProcess(const QStringList &arguments, const AdbRunOptions &options)
{
    AdbRun run;
    QProcess process;
    process.setProgram(QStringLiteral("adb"));
    process.setArguments(arguments);
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(kAdbStartTimeoutMs)) {
        stop(process);
        return run;
    }
    run.started = true;
    process.closeWriteChannel();
    QByteArray out, err;
    QElapsedTimer clock;
    clock.start();
    bool tooLong = false, timedOut = false;
    while (!process.waitForFinished(kPollMs)) {
        if (process.state() == QProcess::NotRunning)
            break;
        if (!drain(process, out, err)) {
            tooLong = true;
            break;
        }
        if (options.cancelled && options.cancelled->load()) {
            run.cancelled = true;
            break;
        }
        if (options.timeoutMs >= 0 && clock.elapsed() > options.timeoutMs) {
            timedOut = true;
            break;
        }
    }
    if (process.state() != QProcess::NotRunning) {
        stop(process);
    } else {
        run.finished = process.exitStatus() == QProcess::NormalExit;
        run.exitCode = process.exitCode();
    }
    if (!drain(process, out, err))
        tooLong = true;
    run.out = latin1UpToZero(out);
    run.err = latin1UpToZero(err);
    if (tooLong) {
        run.finished = false;
        run.err += QStringLiteral("adb wrote more output than expected.");
    } else if (timedOut) {
        run.err += QStringLiteral("adb did not answer within %1 seconds.").arg(options.timeoutMs / 1000);
    }
    return run;
}

QString runAdb(const QStringList &arguments, bool throwOnError, const AdbRunOptions &options)
{
    const AdbRun run = runAdbProcess(arguments, options);
    if (!run.started) {
        if (throwOnError)
            fail(QStringLiteral("run adb failed."));
        return QStringLiteral("run adb failed.");
    }
    if (run.cancelled)
        throw JobCancelled();
    if (run.err.isEmpty())
        return run.out;
    if (throwOnError)
        fail(run.err);
    return QStringLiteral("%1\n%2").arg(run.err, run.out);
}

void adbKillServer()
{
    runAdb({QStringLiteral("kill-server")}, false, {10000, nullptr});
}

QString adbStartServer()
{
    return runAdb({QStringLiteral("start-server")}, false, {30000, nullptr});
}

void adbForward(const QString &serial, int localPort, int remotePort)
{
    runAdb({QStringLiteral("-s"), serial, QStringLiteral("forward"), QStringLiteral("tcp:%1").arg(localPort),
            QStringLiteral("tcp:%1").arg(remotePort)},
           true);
}

void adbForceStop(const QString &serial, const QString &package)
{
    runAdb({QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("am"),
            QStringLiteral("force-stop"), package},
           false, {30000, nullptr});
}

QList<AdbDevice> adbDevices()
{
    return parseAdbDevices(runAdb({QStringLiteral("devices")}, true, {30000, nullptr}));
}

QSet<QString> adbListPackages(const QString &serial)
{
    return parseAdbPackages(runAdb({QStringLiteral("-s"), serial, QStringLiteral("shell"),
                                    QStringLiteral("pm"), QStringLiteral("list"), QStringLiteral("packages")},
                                   false));
}

void adbInstall(const QString &serial, const QString &apkPath)
{
    const QString output = runAdb({QStringLiteral("-s"), serial, QStringLiteral("install"), apkPath}, false,
                                  {kAdbTransferTimeoutMs, nullptr});
    if (!adbOutputHasSuccessLine(output))
        fail(output);
}

void adbActivityManager(const QString &serial, const QString &command, const QString &component,
                        const QString &action, const QString &data, const QStringList &categories,
                        const QString &mimeType)
{
    QStringList args{QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("am"), command};
    if (!component.isEmpty())
        args << QStringLiteral("-n") << component;
    if (!action.isEmpty())
        args << QStringLiteral("-a") << action;
    if (!data.isEmpty())
        args << QStringLiteral("-d") << data;
    for (const QString &category : categories) {
        if (!category.isEmpty())
            args << QStringLiteral("-c") << category;
    }
    if (!mimeType.isEmpty())
        args << QStringLiteral("-t") << mimeType;
    const QString output = runAdb(args, false);
    if (adbOutputHasErrorLine(output))
        fail(output);
}

AdbRun adbShell(const QString &serial, const QString &commandLine, const AdbRunOptions &options)
{
    AdbRun run = runAdbProcess({QStringLiteral("-s"), serial, QStringLiteral("shell"), commandLine}, options);
    if (!run.started)
        fail(QStringLiteral("run adb failed."));
    if (run.cancelled)
        throw JobCancelled();
    return run;
}

QString adbGetProp(const QString &serial, const QString &name)
{
    try {
        const AdbRun run = adbShell(serial, QStringLiteral("getprop ") + name, {30000, nullptr});
        return run.finished && run.exitCode == 0 ? run.out.trimmed() : QString();
    } catch (const std::runtime_error &) {
        return QString();
    }
}

namespace {

// adb names the system's error of a failed local write (strerror); these
// mean the computer's disk is full.
bool mentionsFullDisk(const QString &text)
{
    for (const int code : {
             ENOSPC, EFBIG
#if defined(EDQUOT)
                 ,
                 EDQUOT
#endif
         }) {
        if (text.contains(QString::fromLocal8Bit(std::strerror(code))))
            return true;
    }
    return false;
}

// `localTarget` is the file a pull writes (empty for a push).
void syncCopy(const QStringList &args, const std::atomic<bool> *cancelled, const QString &what,
              const QString &localTarget = QString())
{
    const AdbRun run = runAdbProcess(args, {kAdbTransferTimeoutMs, cancelled});
    if (!run.started)
        fail(QStringLiteral("run adb failed."));
    if (run.cancelled)
        throw JobCancelled();
    if (!run.finished || run.exitCode != 0) {
        const QString text = QString(run.err + QLatin1Char('\n') + run.out).trimmed();
        if (!localTarget.isEmpty() && mentionsFullDisk(text))
            throw DiskFullError(localTarget);
        fail(QStringLiteral("%1 failed. %2").arg(what, text));
    }
}

} // namespace

void adbPull(const QString &serial, const QString &remotePath, const QString &localPath,
             const std::atomic<bool> *cancelled)
{
    syncCopy({QStringLiteral("-s"), serial, QStringLiteral("pull"), remotePath, localPath}, cancelled,
             QStringLiteral("adb pull %1").arg(remotePath), localPath);
}

void adbPush(const QString &serial, const QString &localPath, const QString &remotePath,
             const std::atomic<bool> *cancelled)
{
    syncCopy({QStringLiteral("-s"), serial, QStringLiteral("push"), localPath, remotePath}, cancelled,
             QStringLiteral("adb push %1").arg(localPath));
}
