// The emulated phones beyond the shell: the helper app behind adb forward,
// installs, phones coming and going.
#include "AdbEmulatorFixture.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

using namespace adbemu;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

using AdbEmulatorPhoneTest = AdbEmulatorFixture;

constexpr int kWaitMs = 10000;

// One line from the helper (without its line feed), or "<none>" when the
// helper closed or said nothing within the time limit.
QByteArray readLine(QTcpSocket &socket)
{
    QDeadlineTimer deadline(kWaitMs);
    while (!socket.canReadLine() && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
    }
    if (!socket.canReadLine())
        return QByteArrayLiteral("<none>");
    return socket.readLine().chopped(1);
}

QByteArray readExact(QTcpSocket &socket, qint64 size)
{
    QDeadlineTimer deadline(kWaitMs);
    while (socket.bytesAvailable() < size && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
    }
    return socket.read(size);
}

bool connectTo(QTcpSocket &socket, int port)
{
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    return socket.waitForConnected(kWaitMs);
}

void sendLine(QTcpSocket &socket, const QByteArray &line)
{
    socket.write(line + '\n');
    socket.waitForBytesWritten(kWaitMs);
}

// A free local port, as the product picks its channel ports.
int freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

} // namespace

class AdbEmulatorChannelTest : public AdbEmulatorFixture
{
protected:
    // Tells the helper to serve `kind` on a fresh port and forwards it.
    int openChannel(const QString &serial, const QString &kind)
    {
        const int port = freePort();
        const ProcessResult am = shell(
            serial, {QStringLiteral("am"), QStringLiteral("broadcast"), QStringLiteral("-n"),
                     QStringLiteral("com.velloran.marrowlink/.AdbSyncBroadcastReceiver"),
                     QStringLiteral("-d"), QStringLiteral("backup://127.0.0.1:%1/%2").arg(port).arg(kind)});
        EXPECT_EQ(am.exitCode, 0);
        EXPECT_TRUE(am.out.contains("Broadcast completed: result=0")) << am.out.toStdString();
        forward(serial, port);
        return port;
    }
    void forward(const QString &serial, int port)
    {
        const ProcessResult fw =
            adb({QStringLiteral("-s"), serial, QStringLiteral("forward"), QStringLiteral("tcp:%1").arg(port),
                 QStringLiteral("tcp:%1").arg(port)});
        EXPECT_EQ(fw.exitCode, 0) << fw.err.toStdString();
    }
};

TEST_F(AdbEmulatorChannelTest, HelperAnswersOnlyAfterItWasToldTheChannel)
{
    ASSERT_TRUE(start());
    const int port = freePort();
    forward(kRooted, port);
    QTcpSocket early;
    ASSERT_TRUE(connectTo(early, port));
    EXPECT_EQ(readLine(early), QByteArray("<none>"));

    const int info = openChannel(kRooted, QStringLiteral("device-info"));
    QTcpSocket socket;
    ASSERT_TRUE(connectTo(socket, info));
    EXPECT_EQ(readLine(socket), QByteArray("$ready:"));
    const QByteArray hello = readLine(socket);
    EXPECT_TRUE(hello.startsWith("$hello:version=312;model=Pixel 7;manufacturer=Google;"))
        << hello.toStdString();
    EXPECT_TRUE(hello.contains(";sdk=13;sdk_id=33;root=1;storage1=/storage/emulated/0/;"))
        << hello.toStdString();
    sendLine(socket, "$bye:");

    const ProcessResult list = adb({QStringLiteral("forward"), QStringLiteral("--list")});
    EXPECT_TRUE(list.out.contains(QStringLiteral("EMU0001 tcp:%1 tcp:%1").arg(info).toUtf8()))
        << list.out.toStdString();
}

TEST_F(AdbEmulatorChannelTest, HelperCopiesAsRootAndSendsFilesInBlocks)
{
    ASSERT_TRUE(start());
    ASSERT_TRUE(m_emulator.set(kRooted, {{QStringLiteral("block_size"), 1000}}));
    const int port = openChannel(kRooted, QStringLiteral("download"));
    QTcpSocket socket;
    ASSERT_TRUE(connectTo(socket, port));
    ASSERT_EQ(readLine(socket), QByteArray("$ready:"));

    const QByteArray db = readFile(appFile(kRooted, QStringLiteral("databases/kikDatabase.db")));
    sendLine(socket, "$sucmd:dd if=\"/data/data/kik.android/databases/kikDatabase.db\" "
                     "of=\"/storage/emulated/0/k.db\"");
    EXPECT_EQ(readLine(socket), QByteArray("$sucmd:0"));

    // The helper itself cannot read the app's folder, only shared storage.
    sendLine(socket, "$dload:/data/data/kik.android/databases/kikDatabase.db");
    EXPECT_TRUE(readLine(socket).startsWith("$error:"));

    sendLine(socket, "$dloadex:" + QByteArray("/sdcard").toBase64() + ',' + QByteArray("k.db").toBase64());
    EXPECT_EQ(readLine(socket), "$file:" + QByteArray::number(db.size()));
    QByteArray received;
    for (int blocks = 0; blocks <= db.size() / 1000 + 1; ++blocks) {
        const QByteArray line = readLine(socket);
        if (line == ".")
            break;
        ASSERT_TRUE(line.startsWith("$block:")) << line.toStdString();
        received += readExact(socket, line.mid(7).toLongLong());
        sendLine(socket, ".");
    }
    sendLine(socket, "$file:");
    EXPECT_EQ(received, db);

    sendLine(socket, "$file:/sdcard/up.txt");
    socket.write("$block:5\nhello");
    EXPECT_EQ(readLine(socket), QByteArray("."));
    sendLine(socket, ".");
    EXPECT_EQ(readLine(socket), QByteArray("$file:"));
    EXPECT_EQ(readFile(rootOf(kRooted) + QStringLiteral("/sdcard/up.txt")), QByteArray("hello"));
    sendLine(socket, "$bye:");

    const QJsonArray su = m_emulator.log(kRooted, QStringLiteral("helper-su"));
    ASSERT_EQ(su.size(), 1);
    EXPECT_EQ(su.first()[QStringLiteral("status")].toInt(), 0);
}

TEST_F(AdbEmulatorChannelTest, MissingFilesComeAsEmptyAndUnpluggingClosesTheChannel)
{
    ASSERT_TRUE(start());
    const int port = openChannel(kRooted, QStringLiteral("download"));
    QTcpSocket socket;
    ASSERT_TRUE(connectTo(socket, port));
    ASSERT_EQ(readLine(socket), QByteArray("$ready:"));
    sendLine(socket, "$dload:/sdcard/Kik/su/kikDatabase.db-journal");
    EXPECT_EQ(readLine(socket), QByteArray("$file:0"));
    EXPECT_EQ(readLine(socket), QByteArray("."));
    sendLine(socket, "$file:");
    sendLine(socket, "$sucmd:false");
    EXPECT_EQ(readLine(socket), QByteArray("$sucmd:1"));

    ASSERT_TRUE(m_emulator.detach(kRooted));
    EXPECT_EQ(readLine(socket), QByteArray("<none>"));
    EXPECT_EQ(socket.state(), QAbstractSocket::UnconnectedState);
    EXPECT_FALSE(
        adb({QStringLiteral("forward"), QStringLiteral("--list")}).out.contains(QByteArray::number(port)));
}

TEST_F(AdbEmulatorChannelTest, PhoneThatGoesAwayMidDownloadDropsTheChannel)
{
    ASSERT_TRUE(start());
    writeFile(rootOf(kRooted) + QStringLiteral("/sdcard/big.bin"), QByteArray(300000, 'b'));
    ASSERT_TRUE(m_emulator.set(kRooted, {{QStringLiteral("gone_after_bytes"), 100000}}));
    const int port = openChannel(kRooted, QStringLiteral("download"));
    QTcpSocket socket;
    ASSERT_TRUE(connectTo(socket, port));
    ASSERT_EQ(readLine(socket), QByteArray("$ready:"));
    sendLine(socket, "$dload:/sdcard/big.bin");
    EXPECT_EQ(readLine(socket), QByteArray("$file:300000"));
    qint64 received = 0;
    for (int block = 0; block < 10; ++block) {
        const QByteArray line = readLine(socket);
        if (!line.startsWith("$block:"))
            break;
        received += readExact(socket, line.mid(7).toLongLong()).size();
        sendLine(socket, ".");
    }
    EXPECT_LT(received, 300000);
    EXPECT_EQ(readLine(socket), QByteArray("<none>"));
    EXPECT_EQ(adb({QStringLiteral("devices")}).out,
              QByteArray("List of devices attached\nEMU0002\tdevice\n\n"));
}

TEST_F(AdbEmulatorChannelTest, HelperServesChannelsOverWifi)
{
    const int control = freePort();
    QJsonObject phone = m_phones.at(0).toObject();
    phone.insert(QStringLiteral("wifi_port"), control);
    m_phones[0] = phone;
    ASSERT_TRUE(start());
    const int port = freePort();
    QTcpSocket request;
    ASSERT_TRUE(connectTo(request, control));
    sendLine(request, QStringLiteral("backup://127.0.0.1:%1/device-info").arg(port).toUtf8());
    EXPECT_EQ(readLine(request), QByteArray("1"));
    QTcpSocket socket;
    ASSERT_TRUE(connectTo(socket, port));
    EXPECT_EQ(readLine(socket), QByteArray("$ready:"));
    EXPECT_TRUE(readLine(socket).startsWith("$hello:version=312;"));
}

TEST_F(AdbEmulatorChannelTest, HelperFailureModes)
{
    ASSERT_TRUE(start());
    ASSERT_TRUE(m_emulator.set(kRooted, {{QStringLiteral("helper"), QStringLiteral("error")}}));
    const int port = openChannel(kRooted, QStringLiteral("device-info"));
    QTcpSocket socket;
    ASSERT_TRUE(connectTo(socket, port));
    EXPECT_EQ(readLine(socket), QByteArray("$ready:"));
    const QByteArray error = readLine(socket);
    ASSERT_TRUE(error.startsWith("$error:"));
    EXPECT_FALSE(QByteArray::fromBase64(error.mid(7)).isEmpty());

    ASSERT_TRUE(m_emulator.set(kRooted, {{QStringLiteral("helper"), QStringLiteral("garbage")}}));
    QTcpSocket garbage;
    ASSERT_TRUE(connectTo(garbage, port));
    EXPECT_EQ(readLine(garbage), QByteArray("$ready:"));
    const QByteArray noise = readLine(garbage);
    EXPECT_FALSE(noise.startsWith("$")) << noise.toStdString();
    EXPECT_NE(noise, QByteArray("<none>"));

    ASSERT_TRUE(m_emulator.set(kRooted, {{QStringLiteral("helper"), QStringLiteral("old")}}));
    QTcpSocket old;
    ASSERT_TRUE(connectTo(old, port));
    EXPECT_EQ(readLine(old), QByteArray("$ready:"));
    const QByteArray hello = readLine(old);
    EXPECT_TRUE(hello.startsWith("$hello:model=")) << hello.toStdString();
}

TEST_F(AdbEmulatorPhoneTest, InstallRegistersTheHelper)
{
    ASSERT_TRUE(start());
    const QString apk = local(QStringLiteral("helper.apk"));
    writeFile(apk, QByteArray("PK\x03\x04 not really an apk"));
    const ProcessResult before =
        shell(kPlain, {QStringLiteral("pm"), QStringLiteral("list"), QStringLiteral("packages")});
    EXPECT_TRUE(before.out.contains("package:kik.android\n"));
    EXPECT_FALSE(before.out.contains("com.velloran.marrowlink"));

    const ProcessResult install = adb({QStringLiteral("-s"), kPlain, QStringLiteral("install"), apk});
    EXPECT_EQ(install.exitCode, 0) << install.err.toStdString();
    EXPECT_TRUE(install.out.contains("Success"));
    EXPECT_TRUE(shell(kPlain, {QStringLiteral("pm"), QStringLiteral("list"), QStringLiteral("packages")})
                    .out.contains("package:com.velloran.marrowlink\n"));
    const QJsonArray installed = m_emulator.files(kPlain)[QStringLiteral("installed")].toArray();
    ASSERT_EQ(installed.size(), 1);
    EXPECT_EQ(installed.first()[QStringLiteral("size")].toInt(), 22);

    ASSERT_TRUE(m_emulator.set(kRooted, {{QStringLiteral("install_result"),
                                          QStringLiteral("Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]")}}));
    const ProcessResult failed = adb({QStringLiteral("-s"), kRooted, QStringLiteral("install"), apk});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(QByteArray(failed.out + failed.err).contains("INSTALL_FAILED_INSUFFICIENT_STORAGE"));
}

TEST_F(AdbEmulatorPhoneTest, AttachAndDetachShowInTheDeviceList)
{
    ASSERT_TRUE(start());
    ASSERT_TRUE(m_emulator.detach(kPlain));
    EXPECT_EQ(adb({QStringLiteral("devices")}).out,
              QByteArray("List of devices attached\nEMU0001\tdevice\n\n"));
    QJsonObject third = AdbEmulator::phone(QStringLiteral("EMU0003"), rootOf(kPlain));
    third.insert(QStringLiteral("state"), QStringLiteral("unauthorized"));
    ASSERT_TRUE(m_emulator.attach(third));
    EXPECT_EQ(adb({QStringLiteral("devices")}).out,
              QByteArray("List of devices attached\nEMU0001\tdevice\nEMU0003\tunauthorized\n\n"));
    ASSERT_TRUE(
        m_emulator.set(QStringLiteral("EMU0003"), {{QStringLiteral("state"), QStringLiteral("device")}}));
    EXPECT_EQ(shell(QStringLiteral("EMU0003"), {QStringLiteral("echo"), QStringLiteral("up")}).out,
              QByteArray("up\n"));
    EXPECT_FALSE(m_emulator.detach(QStringLiteral("NOSUCH")));
}

TEST_F(AdbEmulatorPhoneTest, PhoneThatGoesAwayMidPullFailsTheClient)
{
    ASSERT_TRUE(start());
    writeFile(rootOf(kPlain) + QStringLiteral("/sdcard/big.bin"), QByteArray(1 << 20, 'k'));
    ASSERT_TRUE(m_emulator.set(kPlain, {{QStringLiteral("gone_after_bytes"), 200000}}));
    const QString target = local(QStringLiteral("partial.bin"));
    const ProcessResult pull = adb(
        {QStringLiteral("-s"), kPlain, QStringLiteral("pull"), QStringLiteral("/sdcard/big.bin"), target});
    EXPECT_FALSE(pull.crashed) << "adb hung";
    EXPECT_NE(pull.exitCode, 0);
    EXPECT_NE(readFile(target).size(), 1 << 20);
    EXPECT_EQ(adb({QStringLiteral("devices")}).out,
              QByteArray("List of devices attached\nEMU0001\tdevice\n\n"));

    // A backup cut short still leaves adb's exit status at 0: only the
    // archive's content tells.
    ASSERT_TRUE(m_emulator.set(kRooted, {{QStringLiteral("gone_after_bytes"), 100}}));
    const QString archive = local(QStringLiteral("cut.ab"));
    const ProcessResult backup = adb({QStringLiteral("-s"), kRooted, QStringLiteral("backup"),
                                      QStringLiteral("-f"), archive, QStringLiteral("kik.android")});
    EXPECT_FALSE(backup.crashed) << "adb hung";
    EXPECT_EQ(readFile(archive).size(), 100);
    EXPECT_EQ(adb({QStringLiteral("devices")}).out, QByteArray("List of devices attached\n\n"));

    // Plugged back in, the phone keeps its options.
    ASSERT_TRUE(m_emulator.attach({{QStringLiteral("serial"), kPlain}}));
    ASSERT_TRUE(m_emulator.set(kPlain, {{QStringLiteral("gone_after_bytes"), QJsonValue()}}));
    EXPECT_EQ(shell(kPlain, {QStringLiteral("getprop"), QStringLiteral("ro.product.model")}).out,
              QByteArray("Galaxy S9\n"));
    EXPECT_EQ(
        adb({QStringLiteral("-s"), kPlain, QStringLiteral("pull"), QStringLiteral("/sdcard/big.bin"), target})
            .exitCode,
        0);
    EXPECT_EQ(readFile(target).size(), 1 << 20);
}

TEST_F(AdbEmulatorPhoneTest, OlderClientsPathsForInstallAndShell)
{
    // A phone without abb_exec gets "exec:cmd package 'install'", one
    // without shell_v2 the old shell whose exit status is always 0.
    QJsonObject old = m_phones.at(1).toObject();
    old.insert(QStringLiteral("features"), QStringLiteral("cmd"));
    m_phones[1] = old;
    ASSERT_TRUE(start());
    const QString apk = local(QStringLiteral("helper.apk"));
    writeFile(apk, QByteArray(70000, 'a'));
    const ProcessResult install = adb({QStringLiteral("-s"), kPlain, QStringLiteral("install"), apk});
    EXPECT_EQ(install.exitCode, 0) << install.err.toStdString();
    const QJsonArray services = m_emulator.log(kPlain, QStringLiteral("service"));
    ASSERT_FALSE(services.isEmpty());
    EXPECT_TRUE(services.last()[QStringLiteral("text")].toString().startsWith(
        QStringLiteral("exec:cmd package 'install'")))
        << services.last()[QStringLiteral("text")].toString().toStdString();
    EXPECT_EQ(m_emulator.files(kPlain)[QStringLiteral("installed")][0][QStringLiteral("size")].toInt(),
              70000);

    const ProcessResult v1 = shell(kPlain, {QStringLiteral("ls"), QStringLiteral("/nowhere")});
    EXPECT_EQ(v1.exitCode, 0);
    EXPECT_TRUE(v1.out.contains("No such file or directory")) << v1.out.toStdString();
}

TEST_F(AdbEmulatorPhoneTest, PhoneWithoutSharedStorage)
{
    QJsonObject bare = m_phones.at(0).toObject();
    bare.insert(QStringLiteral("shared_storage"), false);
    m_phones[0] = bare;
    ASSERT_TRUE(start());
    EXPECT_EQ(shell(kRooted, {QStringLiteral("ls"), QStringLiteral("/sdcard")}).exitCode, 1);
    EXPECT_EQ(shell(kRooted,
                    {QStringLiteral("su"), QStringLiteral("-c"), QStringLiteral("'mkdir -p /sdcard/Kik/su'")})
                  .exitCode,
              1);
    writeFile(local(QStringLiteral("x.bin")), "x");
    const ProcessResult push = adb({QStringLiteral("-s"), kRooted, QStringLiteral("push"),
                                    local(QStringLiteral("x.bin")), QStringLiteral("/sdcard/x.bin")});
    EXPECT_EQ(push.exitCode, 1);
    EXPECT_TRUE(QByteArray(push.out + push.err).contains("couldn't create file"))
        << push.err.toStdString() << push.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(rootOf(kRooted) + QStringLiteral("/sdcard/x.bin")));
    const ProcessResult hello =
        shell(kRooted, {QStringLiteral("getprop"), QStringLiteral("ro.build.version.release")});
    EXPECT_EQ(hello.out, QByteArray("13\n"));
}

TEST_F(AdbEmulatorPhoneTest, SettingsReachThisProcessForCodeThatStartsAdb)
{
    ASSERT_TRUE(start());
    const QByteArray before = qgetenv("ADB_SERVER_SOCKET");
    {
        AdbEmulator other;
        ASSERT_TRUE(other.start({{QStringLiteral("phones"), QJsonArray()}}));
        other.applyToThisProcess();
        EXPECT_EQ(qgetenv("ADB_SERVER_SOCKET"), other.serverSocket().toUtf8());
        EXPECT_FALSE(qEnvironmentVariableIsSet("ANDROID_SERIAL"));
        QProcess adb;
        adb.start(AdbEmulator::adbProgram(), {QStringLiteral("devices")});
        ASSERT_TRUE(adb.waitForFinished(30000));
        EXPECT_EQ(adb.readAllStandardOutput(), QByteArray("List of devices attached\n\n"));
    }
    EXPECT_EQ(qgetenv("ADB_SERVER_SOCKET"), before);
}

TEST(AdbEmulatorLifetimeTest, BadConfigurationIsRefusedWithItsReason)
{
    AdbEmulator emulator;
    const QJsonObject phone{{QStringLiteral("serial"), QStringLiteral("EMU0009")},
                            {QStringLiteral("root"), QStringLiteral("unused")},
                            {QStringLiteral("colour"), QStringLiteral("blue")}};
    EXPECT_FALSE(emulator.start({{QStringLiteral("phones"), QJsonArray{phone}}}));
    EXPECT_TRUE(emulator.errorText().contains(QStringLiteral("unknown phone keys: colour")))
        << emulator.errorText().toStdString();
}

TEST(AdbEmulatorLifetimeTest, EmulatorEndsAfterItsLifetime)
{
    AdbEmulator emulator;
    ASSERT_TRUE(emulator.start({{QStringLiteral("phones"), QJsonArray()}}, 1));
    EXPECT_TRUE(emulator.waitForExit(30000));
}

TEST(AdbEmulatorLifetimeTest, EmulatorEndsWithItsOwner)
{
    if (!QFileInfo(AdbEmulator::adbProgram()).isExecutable())
        GTEST_SKIP() << "the adb client is not installed";
    QProcessEnvironment environment;
    {
        AdbEmulator emulator;
        ASSERT_TRUE(emulator.start({{QStringLiteral("phones"), QJsonArray()}}));
        environment = emulator.environment();
        EXPECT_EQ(emulator.adb({QStringLiteral("devices")}).exitCode, 0);
    }
    QProcess adb;
    adb.setProcessEnvironment(environment);
    adb.start(AdbEmulator::adbProgram(), {QStringLiteral("devices")});
    ASSERT_TRUE(adb.waitForFinished(30000));
    EXPECT_EQ(adb.exitCode(), 1);
    EXPECT_TRUE(adb.readAllStandardError().contains("cannot connect to daemon"));
}
