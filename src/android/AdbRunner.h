// Runs the program "adb" (found on PATH, with this process's environment,
// so ADB_SERVER_SOCKET and friends pass through) and turns the output of the
// adb commands the program uses into values.
//
// Every wait is bounded: a hung adb is killed when its time is up, and a
// run can be cancelled through a flag that is polled while adb works.
#pragma once

#include "android/AdbDevice.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>

inline constexpr int kAdbStartTimeoutMs = 10000;
inline constexpr int kAdbCommandTimeoutMs = 120000;
inline constexpr int kAdbTransferTimeoutMs = 30 * 60 * 1000;
// More output than this from one adb call is not believed.
inline constexpr qint64 kAdbMaxOutputBytes = 32 * 1024 * 1024;

struct AdbRunOptions
{
    int timeoutMs = kAdbCommandTimeoutMs;
    const std::atomic<bool> *cancelled = nullptr; // polled while adb runs
};

struct AdbRun
{
    bool started = false;
    bool finished = false;  // ended by itself within the time limit
    bool cancelled = false; // stopped because the flag was set
    int exitCode = -1;
    QString out; // Latin-1, cut at the first zero byte
    QString err;
};

// Starts adb with the arguments and waits for it within the limits.
AdbRun runAdbProcess(const QStringList &arguments, const AdbRunOptions &options = {});

// The classic runner: standard output when adb wrote nothing to its error
// stream; otherwise, with `throwOnError`, an AppError holding the error
// text, else the error text, a line feed and the output. An adb that cannot
// be started gives "run adb failed." (thrown or returned).
QString runAdb(const QStringList &arguments, bool throwOnError, const AdbRunOptions &options = {});

void adbKillServer();
QString adbStartServer();
void adbForward(const QString &serial, int localPort, int remotePort);
void adbForceStop(const QString &serial, const QString &package);
QList<AdbDevice> adbDevices();
QSet<QString> adbListPackages(const QString &serial);
void adbInstall(const QString &serial, const QString &apkPath);
void adbActivityManager(const QString &serial, const QString &command, const QString &component,
                        const QString &action, const QString &data, const QStringList &categories,
                        const QString &mimeType);

// Runs one shell command line on the phone (already quoted: adb joins its
// arguments without quoting) and returns the run with the phone's exit code.
AdbRun adbShell(const QString &serial, const QString &commandLine, const AdbRunOptions &options = {});

// A system property (getprop), trimmed; empty when unset or unreadable.
QString adbGetProp(const QString &serial, const QString &name);

// Copies a file from or to the phone; throws AppError with adb's text
// on failure and JobCancelled when cancelled.
void adbPull(const QString &serial, const QString &remotePath, const QString &localPath,
             const std::atomic<bool> *cancelled);
void adbPush(const QString &serial, const QString &localPath, const QString &remotePath,
             const std::atomic<bool> *cancelled);
