// Starts tests/emulators/adb_phone_emulator.py, an adb server with emulated
// Android phones, so that tests run the real adb client against it.
//
//   AdbEmulator emulator;
//   AdbEmulator::makeKikPhone(dir.filePath("phone"));
//   const QJsonObject phone = AdbEmulator::phone("EMU0001", dir.filePath("phone"), true);
//   emulator.start({{"phones", QJsonArray{phone}}});
//   emulator.applyToThisProcess();          // code under test runs "adb" itself
//   ... run the job ...
//   emulator.log("EMU0001", "shell");       // the command lines the phone ran
//   emulator.files("EMU0001")["files"];     // owners, modes, labels set as root
#pragma once

#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class AdbEmulator
{
public:
    AdbEmulator();
    ~AdbEmulator();
    AdbEmulator(const AdbEmulator &) = delete;
    AdbEmulator &operator=(const AdbEmulator &) = delete;

    // Writes `config` ({"phones": [...]}, keys documented in the script) to a
    // temporary file, starts the emulator and waits (bounded) for its ports.
    bool start(const QJsonObject &config, int lifetimeSeconds = 600);
    // Waits (bounded) until the emulator has ended by itself.
    bool waitForExit(int timeoutMs);
    // Why start() failed: the emulator's error output.
    QString errorText() const { return m_error; }

    int adbPort() const { return m_adbPort; }
    int controlPort() const { return m_controlPort; }
    // "tcp:127.0.0.1:PORT", the value for ADB_SERVER_SOCKET.
    QString serverSocket() const;
    // This process's environment with ADB_SERVER_SOCKET set, ANDROID_SERIAL
    // and TERM removed (both change what the adb client sends).
    QProcessEnvironment environment() const;
    // Puts the same settings into this process's environment (for code under
    // test that starts adb itself); the destructor restores them.
    void applyToThisProcess();

    // One control request; the answer, or {"ok": false, "error": ...} when
    // the emulator cannot be reached.
    QJsonObject control(const QJsonObject &request);
    bool attach(const QJsonObject &phone);
    bool detach(const QString &serial);
    bool set(const QString &serial, const QJsonObject &values);
    // What the phone received (empty serial: the server's requests).
    QJsonArray log(const QString &serial = QString());
    // Only the log entries of one kind ("shell", "sync", "helper", ...).
    QJsonArray log(const QString &serial, const QString &kind);
    // Waits (bounded) until the phone's log holds an entry of this kind
    // (for instance "prompt": a backup or restore waits for the user).
    bool waitForLog(const QString &serial, const QString &kind, int timeoutMs = 30000);
    // Answers the phone's backup/restore prompt (or the next one) for the
    // user; true when one was shown.
    bool answerUser(const QString &serial, bool agree);
    // The side table: "files" (mode/owner/group/context per path), "ops",
    // "installed", "channels".
    QJsonObject files(const QString &serial);

    // Runs the real adb client with environment(); bounded by `timeoutMs`.
    TestSupport::ProcessResult adb(const QStringList &arguments, int timeoutMs = 60000,
                                   const QByteArray &input = QByteArray()) const;

    // A phone object with the given serial and folder (rooted as asked,
    // helper installed); callers add or change keys.
    static QJsonObject phone(const QString &serial, const QString &root, bool rooted = false);
    // Lays out a phone folder with Kik's data (make_android_kik.py phone):
    // <root>/data/data/kik.android/{databases,files,shared_prefs}, <root>/sdcard.
    static bool makeKikPhone(const QString &root, const QStringList &flags = QStringList());
    static QString adbProgram() { return QStringLiteral("/usr/bin/adb"); }

private:
    QProcess m_process;
    QTemporaryDir m_dir;
    QString m_error;
    int m_adbPort = 0;
    int m_controlPort = 0;
    bool m_applied = false;
    QByteArray m_savedSocket, m_savedSerial, m_savedTerm;
    bool m_hadSocket = false, m_hadSerial = false, m_hadTerm = false;
};
