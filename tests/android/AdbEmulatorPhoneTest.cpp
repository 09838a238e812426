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
                     QStringLiteral("-d"),
                     QStringLiteral("backup://127.0.0.1:%1/%2").arg(port).arg(kind)});
        EXPECT_EQ(am.exitCode, 0);
        EXPECT_TRUE(am.out.contains("Broadcast completed: result=0")) << am.out.toStdString();
        forward(serial, port);
        return port;
    }
    void forward(const QString &serial, int port)
    {
        const ProcessResult fw = adb({QStringLiteral("-s"), serial, QStringLiteral("forward"),
                                      QStringLiteral("tcp:%1").arg(port),
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

    sendLine(socket, "$dloadex:" + QByteArray("/sdcard").toBase64() + ','
                         + QByteArray("k.db").toBase64());
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
    writeFile(apk, QByteArray("PK\x03\x04 not really an apk", 25));
    const ProcessResult before = shell(kPlain, {QStringLiteral("pm"), QStringLiteral("list"),
                                                QStringLiteral("packages")});
    EXPECT_TRUE(before.out.contains("package:kik.android\n"));
    EXPECT_FALSE(before.out.contains("com.velloran.marrowlink"));

    const ProcessResult install = adb({QStringLiteral("-s"), kPlain, QStringLiteral("install"), apk});
    EXPECT_EQ(install.exitCode, 0) << install.err.toStdString();
    EXPECT_TRUE(install.out.contains("Success"));
    EXPECT_TRUE(shell(kPlain, {QStringLiteral("pm"), QStringLiteral("list"), QStringLiteral("packages")})
                    .out.contains("package:com.velloran.marrowlink\n"));
    const QJsonArray installed = m_emulator.files(kPlain)[QStringLiteral("installed")].toArray();
    ASSERT_EQ(installed.size(), 1);
    EXPECT_EQ(installed.first()[QStringLiteral("size")].toInt(), 25);

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
    ASSERT_TRUE(m_emulator.set(QStringLiteral("EMU0003"), {{QStringLiteral("state"), QStringLiteral("device")}}));
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
    const ProcessResult pull = adb({QStringLiteral("-s"), kPlain, QStringLiteral("pull"),
                                    QStringLiteral("/sdcard/big.bin"), target});
    EXPECT_FALSE(pull.crashed) << "adb hung";
    EXPECT_NE(pull.exitCode, 0);
    EXPECT_NE(readFile(target).size(), 1 << 20);
    EXPECT_EQ(adb({QStringLiteral("devices")}).out,
              QByteArray("List of devices attached\nEMU0001\tdevice\n\n"));
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
