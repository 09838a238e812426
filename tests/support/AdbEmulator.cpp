#include "support/AdbEmulator.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QThread>

namespace {

constexpr int kStartMs = 20000;
constexpr int kControlMs = 30000;
constexpr int kStopMs = 10000;
constexpr int kPollMs = 20;

void saveVariable(const char *name, QByteArray &value, bool &had)
{
    had = qEnvironmentVariableIsSet(name);
    value = qgetenv(name);
}

void restoreVariable(const char *name, const QByteArray &value, bool had)
{
    if (had)
        qputenv(name, value);
    else
        qunsetenv(name);
}

} // namespace

AdbEmulator::AdbEmulator() = default;

AdbEmulator::~AdbEmulator()
{
    if (m_applied) {
        restoreVariable("ADB_SERVER_SOCKET", m_savedSocket, m_hadSocket);
        restoreVariable("ANDROID_SERIAL", m_savedSerial, m_hadSerial);
        restoreVariable("TERM", m_savedTerm, m_hadTerm);
    }
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(kStopMs)) {
        m_process.kill();
        m_process.waitForFinished(kStopMs);
    }
}

bool AdbEmulator::start(const QJsonObject &config, int lifetimeSeconds)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString configPath = m_dir.filePath(QStringLiteral("adb-emulator.json"));
    QFile file(configPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = file.errorString();
        return false;
    }
    file.write(QJsonDocument(config).toJson());
    file.close();

    const QString script =
        QDir(TestSupport::sourceDir()).filePath(QStringLiteral("emulators/adb_phone_emulator.py"));
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {script, QStringLiteral("--config"), configPath, QStringLiteral("--lifetime"),
                     QString::number(lifetimeSeconds)});
    if (!m_process.waitForStarted(kStartMs)) {
        m_error = m_process.errorString();
        return false;
    }
    QDeadlineTimer deadline(kStartMs);
    while (!m_process.canReadLine() && m_process.state() == QProcess::Running && !deadline.hasExpired())
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    const QJsonObject ports = QJsonDocument::fromJson(m_process.readLine()).object();
    m_adbPort = ports.value(QStringLiteral("adb_port")).toInt();
    m_controlPort = ports.value(QStringLiteral("control_port")).toInt();
    if (m_adbPort <= 0 || m_controlPort <= 0) {
        if (m_process.state() != QProcess::Running)
            m_process.waitForFinished(kStopMs);
        m_error = QString::fromUtf8(m_process.readAllStandardError());
        if (m_error.isEmpty())
            m_error = QStringLiteral("the emulator announced no ports");
        return false;
    }
    return true;
}

bool AdbEmulator::waitForExit(int timeoutMs)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
}

QString AdbEmulator::serverSocket() const
{
    return QStringLiteral("tcp:127.0.0.1:%1").arg(m_adbPort);
}

QProcessEnvironment AdbEmulator::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ADB_SERVER_SOCKET"), serverSocket());
    env.remove(QStringLiteral("ANDROID_SERIAL"));
    env.remove(QStringLiteral("TERM"));
    return env;
}

void AdbEmulator::applyToThisProcess()
{
    if (!m_applied) {
        saveVariable("ADB_SERVER_SOCKET", m_savedSocket, m_hadSocket);
        saveVariable("ANDROID_SERIAL", m_savedSerial, m_hadSerial);
        saveVariable("TERM", m_savedTerm, m_hadTerm);
        m_applied = true;
    }
    qputenv("ADB_SERVER_SOCKET", serverSocket().toUtf8());
    qunsetenv("ANDROID_SERIAL");
    qunsetenv("TERM");
}

QJsonObject AdbEmulator::control(const QJsonObject &request)
{
    QJsonObject failure{{QStringLiteral("ok"), false}};
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_controlPort));
    if (!socket.waitForConnected(kControlMs)) {
        failure.insert(QStringLiteral("error"), socket.errorString());
        return failure;
    }
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    QDeadlineTimer deadline(kControlMs);
    while (!socket.canReadLine() && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
    }
    if (!socket.canReadLine()) {
        failure.insert(QStringLiteral("error"), QStringLiteral("no answer from the emulator"));
        return failure;
    }
    return QJsonDocument::fromJson(socket.readLine()).object();
}

bool AdbEmulator::attach(const QJsonObject &phone)
{
    return control({{QStringLiteral("cmd"), QStringLiteral("attach")}, {QStringLiteral("phone"), phone}})
        .value(QStringLiteral("ok"))
        .toBool();
}

bool AdbEmulator::detach(const QString &serial)
{
    return control({{QStringLiteral("cmd"), QStringLiteral("detach")}, {QStringLiteral("serial"), serial}})
        .value(QStringLiteral("ok"))
        .toBool();
}

bool AdbEmulator::set(const QString &serial, const QJsonObject &values)
{
    QJsonObject request = values;
    request.insert(QStringLiteral("cmd"), QStringLiteral("set"));
    request.insert(QStringLiteral("serial"), serial);
    return control(request).value(QStringLiteral("ok")).toBool();
}

QJsonArray AdbEmulator::log(const QString &serial)
{
    QJsonObject request{{QStringLiteral("cmd"), QStringLiteral("log")}};
    if (!serial.isEmpty())
        request.insert(QStringLiteral("serial"), serial);
    return control(request).value(QStringLiteral("log")).toArray();
}

QJsonArray AdbEmulator::log(const QString &serial, const QString &kind)
{
    QJsonArray selected;
    for (const QJsonValue &entry : log(serial)) {
        if (entry.toObject().value(QStringLiteral("kind")).toString() == kind)
            selected.append(entry);
    }
    return selected;
}

bool AdbEmulator::waitForLog(const QString &serial, const QString &kind, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        if (!log(serial, kind).isEmpty())
            return true;
        QThread::msleep(kPollMs);
    } while (!deadline.hasExpired());
    return !log(serial, kind).isEmpty();
}

bool AdbEmulator::answerUser(const QString &serial, bool agree)
{
    return control({{QStringLiteral("cmd"), agree ? QStringLiteral("confirm") : QStringLiteral("deny")},
                    {QStringLiteral("serial"), serial}})
        .value(QStringLiteral("waiting"))
        .toBool();
}

QJsonObject AdbEmulator::files(const QString &serial)
{
    return control({{QStringLiteral("cmd"), QStringLiteral("files")}, {QStringLiteral("serial"), serial}});
}

TestSupport::ProcessResult AdbEmulator::adb(const QStringList &arguments, int timeoutMs,
                                            const QByteArray &input) const
{
    TestSupport::ProcessResult result;
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(adbProgram(), arguments);
    if (!process.waitForStarted(kStartMs)) {
        result.err = process.errorString().toUtf8();
        return result;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(kStopMs);
        result.crashed = true;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitCode();
    result.crashed = result.crashed || process.exitStatus() == QProcess::CrashExit;
    return result;
}

QJsonObject AdbEmulator::phone(const QString &serial, const QString &root, bool rooted)
{
    return {{QStringLiteral("serial"), serial},
            {QStringLiteral("state"), QStringLiteral("device")},
            {QStringLiteral("root"), root},
            {QStringLiteral("rooted"), rooted},
            {QStringLiteral("helper"), QStringLiteral("installed")}};
}

bool AdbEmulator::makeKikPhone(const QString &root, const QStringList &flags)
{
    const TestSupport::ProcessResult made = TestSupport::runPython(
        QStringLiteral("make_android_kik.py"), QStringList{QStringLiteral("phone"), root} + flags);
    return made.exitCode == 0 && !made.crashed;
}
