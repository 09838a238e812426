#include "support/IphoneEmulator.h"

#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTcpSocket>

namespace {

constexpr int kStartTimeoutMs = 30000;
constexpr int kControlTimeoutMs = 15000;

const char *const kVariables[] = {"USBMUXD_SOCKET_ADDRESS", "HOME", "XDG_CONFIG_HOME"};

} // namespace

IphoneEmulator::IphoneEmulator() = default;

IphoneEmulator::~IphoneEmulator()
{
    if (m_control)
        m_control->abort();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000)) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(5000);
            }
        }
    }
    restoreEnvironment();
}

bool IphoneEmulator::start(const QJsonObject &config, int lifetimeSeconds)
{
    if (!m_dir.isValid())
        return false;
    QDir(m_dir.path()).mkpath(QStringLiteral("home/.config"));
    const QString configPath = m_dir.filePath(QStringLiteral("config.json"));
    QFile file(configPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(config).toJson()) < 0)
        return false;
    file.close();

    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("emulator-stderr.txt")));
    const QString script =
        QDir(TestSupport::sourceDir()).filePath(QStringLiteral("emulators/iphone_emulator.py"));
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {script, QStringLiteral("--config"), configPath, QStringLiteral("--lifetime"),
                     QString::number(lifetimeSeconds)});
    if (!m_process.waitForStarted(kStartTimeoutMs))
        return false;

    QByteArray out;
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!out.contains('\n') && !deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(int(deadline.remainingTime())))
            break;
        out += m_process.readAllStandardOutput();
    }
    const QJsonObject ports = QJsonDocument::fromJson(out.left(out.indexOf('\n'))).object();
    m_usbmuxdPort = ports.value(QStringLiteral("usbmuxd_port")).toInt();
    m_controlPort = ports.value(QStringLiteral("control_port")).toInt();
    return m_usbmuxdPort > 0 && m_controlPort > 0;
}

QString IphoneEmulator::usbmuxdAddress() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_usbmuxdPort);
}

QProcessEnvironment IphoneEmulator::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("USBMUXD_SOCKET_ADDRESS"), usbmuxdAddress());
    env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("home/.config")));
    return env;
}

void IphoneEmulator::applyToThisProcess()
{
    const QProcessEnvironment env = environment();
    for (const char *name : kVariables) {
        if (!m_applied) {
            m_savedEnvironment.append({QByteArray(name), qEnvironmentVariableIsSet(name)
                                                             ? std::optional(qgetenv(name))
                                                             : std::nullopt});
        }
        qputenv(name, env.value(QString::fromLatin1(name)).toUtf8());
    }
    m_applied = true;
}

void IphoneEmulator::restoreEnvironment()
{
    for (const auto &[name, value] : m_savedEnvironment) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
    m_savedEnvironment.clear();
    m_applied = false;
}

QJsonObject IphoneEmulator::control(const QJsonObject &command)
{
    QJsonObject failure{{QStringLiteral("ok"), false},
                        {QStringLiteral("error"), QStringLiteral("no answer from the emulator")}};
    if (m_controlPort <= 0)
        return failure;
    if (!m_control || m_control->state() != QAbstractSocket::ConnectedState) {
        m_control = std::make_unique<QTcpSocket>();
        m_control->connectToHost(QStringLiteral("127.0.0.1"), quint16(m_controlPort));
        if (!m_control->waitForConnected(kControlTimeoutMs))
            return failure;
    }
    m_control->write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
    QDeadlineTimer deadline(kControlTimeoutMs);
    while (!m_control->canReadLine() && !deadline.hasExpired()) {
        if (m_control->bytesToWrite() > 0)
            m_control->waitForBytesWritten(int(deadline.remainingTime()));
        else if (!m_control->waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    if (!m_control->canReadLine())
        return failure;
    return QJsonDocument::fromJson(m_control->readLine()).object();
}

bool IphoneEmulator::attach(const QJsonObject &device)
{
    return control({{QStringLiteral("cmd"), QStringLiteral("attach")}, {QStringLiteral("device"), device}})
        .value(QStringLiteral("ok"))
        .toBool();
}

bool IphoneEmulator::detach(const QString &udid)
{
    return control({{QStringLiteral("cmd"), QStringLiteral("detach")}, {QStringLiteral("udid"), udid}})
        .value(QStringLiteral("ok"))
        .toBool();
}

bool IphoneEmulator::set(const QString &udid, const QJsonObject &changes)
{
    QJsonObject command = changes;
    command.insert(QStringLiteral("cmd"), QStringLiteral("set"));
    command.insert(QStringLiteral("udid"), udid);
    return control(command).value(QStringLiteral("ok")).toBool();
}

QJsonArray IphoneEmulator::log(const QString &udid)
{
    return control({{QStringLiteral("cmd"), QStringLiteral("log")}, {QStringLiteral("udid"), udid}})
        .value(QStringLiteral("log"))
        .toArray();
}

QByteArray IphoneEmulator::errorOutput()
{
    return TestSupport::readFile(m_dir.filePath(QStringLiteral("emulator-stderr.txt")));
}
