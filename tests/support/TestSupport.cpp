#include "support/TestSupport.h"

#include "app/DataRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>

namespace TestSupport {

QString sourceDir()
{
    return QStringLiteral(VELLORAN_TEST_SOURCE_DIR);
}

QString sharedDir()
{
    const QString env = qEnvironmentVariable("VELLORAN_SHARED_DIR");
    return QDir::cleanPath(env.isEmpty() ? QStringLiteral(VELLORAN_TEST_SHARED_DIR) : env);
}

QString realFixture(const QString &relativePath)
{
    const QString path = QDir(sharedDir()).filePath(QStringLiteral("fixtures/real/") + relativePath);
    return QFileInfo::exists(path) ? path : QString();
}

QString binDir()
{
    return QStringLiteral(VELLORAN_TEST_BIN_DIR);
}

ProcessResult run(const QString &program, const QStringList &arguments, const QByteArray &input,
                  int timeoutMs, const QStringList &extraEnvironment)
{
    ProcessResult result;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : extraEnvironment) {
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        env.insert(entry.left(eq), entry.mid(eq + 1));
    }
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForStarted(30000)) {
        result.err = process.errorString().toUtf8();
        return result;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.crashed = true;
    }
    result.out = process.readAllStandardOutput();
    result.err += process.readAllStandardError();
    result.exitCode = process.exitCode();
    result.crashed = result.crashed || process.exitStatus() == QProcess::CrashExit;
    return result;
}

ProcessResult runPython(const QString &script, const QStringList &arguments)
{
    QStringList args{QDir(sourceDir()).filePath(QStringLiteral("fixtures/") + script)};
    args += arguments;
    return run(QStringLiteral("/usr/bin/python3"), args);
}

bool toolsPresent(const QStringList &programs)
{
    bool present = true;
    for (const QString &program : programs) {
        if (!QStandardPaths::findExecutable(program).isEmpty())
            continue;
        present = false;
        if (qEnvironmentVariableIsSet("CI"))
            ADD_FAILURE() << qPrintable(program) << " is not installed (tools/install-deps.sh installs it)";
    }
    return present;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ScopedDataRoot::ScopedDataRoot()
{
    DataRoot::setOverride(m_dir.path());
}

ScopedDataRoot::~ScopedDataRoot()
{
    DataRoot::setOverride(QString());
}

ProcessResult terminateAfter(const QString &program, const QStringList &arguments, const QByteArray &marker,
                             int timeoutMs)
{
    ProcessResult result;
    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    process.start(program, arguments);
    if (!process.waitForStarted())
        return result;
    while (!result.err.contains(marker) && process.state() == QProcess::Running) {
        process.waitForReadyRead(30000);
        result.err += process.readAllStandardError();
    }
    if (!result.err.contains(marker)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    ::kill(pid_t(process.processId()), SIGTERM);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.err += process.readAllStandardError();
    result.out = process.readAllStandardOutput();
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    return result;
}

ScopedTimeZone::ScopedTimeZone(const char *zone)
    : m_old(qgetenv("TZ")), m_had(qEnvironmentVariableIsSet("TZ"))
{
    qputenv("TZ", zone);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone()
{
    if (m_had)
        qputenv("TZ", m_old);
    else
        qunsetenv("TZ");
    tzset();
}

} // namespace TestSupport
