// Runs tests/emulators/iphone_emulator.py: an emulated usbmuxd with iPhones
// behind it that the real libimobiledevice and its tools talk to.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <QList>
#include <QPair>

#include <memory>
#include <optional>

class QTcpSocket;

class IphoneEmulator
{
public:
    IphoneEmulator();
    ~IphoneEmulator();
    IphoneEmulator(const IphoneEmulator &) = delete;
    IphoneEmulator &operator=(const IphoneEmulator &) = delete;

    // Writes `config` ({"devices": [...]}) to a temporary file, starts the
    // emulator and waits (bounded) for its port line.
    bool start(const QJsonObject &config, int lifetimeSeconds = 600);

    // "127.0.0.1:PORT", the value of USBMUXD_SOCKET_ADDRESS.
    QString usbmuxdAddress() const;
    int usbmuxdPort() const { return m_usbmuxdPort; }

    // The system environment with USBMUXD_SOCKET_ADDRESS set and HOME and
    // XDG_CONFIG_HOME pointed at a private folder, for child processes.
    QProcessEnvironment environment() const;
    // Sets the same variables in this process (restored on destruction).
    void applyToThisProcess();

    // One command on the control port; {"ok": false, "error": ...} when the
    // emulator does not answer.
    QJsonObject control(const QJsonObject &command);
    bool attach(const QJsonObject &device);
    bool detach(const QString &udid);
    bool set(const QString &udid, const QJsonObject &changes);
    QJsonArray log(const QString &udid);

    // What the emulator wrote on stderr so far (for failure messages).
    QByteArray errorOutput();

private:
    void restoreEnvironment();

    QTemporaryDir m_dir;
    QProcess m_process;
    std::unique_ptr<QTcpSocket> m_control;
    int m_usbmuxdPort = 0;
    int m_controlPort = 0;
    bool m_applied = false;
    QList<QPair<QByteArray, std::optional<QByteArray>>> m_savedEnvironment;
};
