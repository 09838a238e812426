// The emulated adb server driven by the real adb client: what the product's
// Android tests rely on behaves like a phone does.
#include "AdbEmulatorFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using TestSupport::ProcessResult;
using TestSupport::readFile;
using TestSupport::writeFile;

using namespace adbemu;
using AdbEmulatorTest = AdbEmulatorFixture;

TEST_F(AdbEmulatorTest, DevicesListsEveryPhoneWithItsState)
{
    m_phones.append(QJsonObject{{QStringLiteral("serial"), QStringLiteral("EMU0003")},
                                {QStringLiteral("root"), rootOf(QStringLiteral("EMU0003"))},
                                {QStringLiteral("state"), QStringLiteral("unauthorized")}});
    m_phones.append(QJsonObject{{QStringLiteral("serial"), QStringLiteral("EMU0004")},
                                {QStringLiteral("root"), rootOf(QStringLiteral("EMU0004"))},
                                {QStringLiteral("state"), QStringLiteral("offline")}});
    ASSERT_TRUE(start());
    const ProcessResult list = adb({QStringLiteral("devices")});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    EXPECT_EQ(list.out, QByteArray("List of devices attached\nEMU0001\tdevice\nEMU0002\tdevice\n"
                                   "EMU0003\tunauthorized\nEMU0004\toffline\n\n"));

    const ProcessResult longList = adb({QStringLiteral("devices"), QStringLiteral("-l")});
    EXPECT_TRUE(longList.out.contains("model:Galaxy_S9")) << longList.out.toStdString();

    const ProcessResult unauthorized = shell(QStringLiteral("EMU0003"), {QStringLiteral("id")});
    EXPECT_EQ(unauthorized.exitCode, 1);
    EXPECT_TRUE(unauthorized.err.contains("device unauthorized")) << unauthorized.err.toStdString();
    const ProcessResult offline = shell(QStringLiteral("EMU0004"), {QStringLiteral("id")});
    EXPECT_EQ(offline.exitCode, 1);
    EXPECT_TRUE(offline.err.contains("device offline")) << offline.err.toStdString();
    const ProcessResult unknown = shell(QStringLiteral("NOSUCH"), {QStringLiteral("id")});
    EXPECT_TRUE(unknown.err.contains("device 'NOSUCH' not found")) << unknown.err.toStdString();
    const ProcessResult ambiguous = adb({QStringLiteral("shell"), QStringLiteral("id")});
    EXPECT_TRUE(ambiguous.err.contains("more than one device")) << ambiguous.err.toStdString();
}

TEST_F(AdbEmulatorTest, ShellAnswersPropertiesAndPassesExitCodes)
{
    ASSERT_TRUE(start());
    const ProcessResult model =
        shell(kPlain, {QStringLiteral("getprop"), QStringLiteral("ro.product.model")});
    EXPECT_EQ(model.exitCode, 0);
    EXPECT_EQ(model.out, QByteArray("Galaxy S9\n"));
    EXPECT_EQ(shell(kPlain, {QStringLiteral("getprop"), QStringLiteral("ro.build.version.sdk")}).out,
              QByteArray("33\n"));

    const ProcessResult missing = shell(kPlain, {QStringLiteral("ls"), QStringLiteral("/nowhere")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("No such file or directory")) << missing.err.toStdString();
    EXPECT_EQ(shell(kPlain, {QStringLiteral("exit"), QStringLiteral("42")}).exitCode, 42);
    EXPECT_EQ(shell(kPlain, {QStringLiteral("false"), QStringLiteral("||"), QStringLiteral("exit"),
                             QStringLiteral("7")})
                  .exitCode,
              7);
    EXPECT_EQ(shell(kPlain, {QStringLiteral("nosuchtool")}).exitCode, 127);

    const QJsonArray commands = m_emulator.log(kPlain, QStringLiteral("shell"));
    ASSERT_FALSE(commands.isEmpty());
    EXPECT_EQ(commands.first().toObject().value(QStringLiteral("text")).toString(),
              QStringLiteral("getprop ro.product.model"));
}

TEST_F(AdbEmulatorTest, SuRunsAsRootOnlyOnRootedPhones)
{
    ASSERT_TRUE(start());
    const ProcessResult rooted =
        shell(kRooted, {QStringLiteral("su"), QStringLiteral("-c"), QStringLiteral("id")});
    EXPECT_EQ(rooted.exitCode, 0);
    EXPECT_TRUE(rooted.out.startsWith("uid=0(root)")) << rooted.out.toStdString();
    EXPECT_TRUE(shell(kRooted, {QStringLiteral("id")}).out.startsWith("uid=2000(shell)"));

    const ProcessResult plain =
        shell(kPlain, {QStringLiteral("su"), QStringLiteral("-c"), QStringLiteral("id")});
    EXPECT_EQ(plain.exitCode, 127);
    EXPECT_TRUE(plain.err.contains("su: inaccessible or not found")) << plain.err.toStdString();

    // Rooted, but the user refused the prompt.
    ASSERT_TRUE(m_emulator.set(kRooted, {{QStringLiteral("su_denied"), true}}));
    const ProcessResult denied =
        shell(kRooted, {QStringLiteral("su"), QStringLiteral("-c"), QStringLiteral("id")});
    EXPECT_EQ(denied.exitCode, 1);
    EXPECT_TRUE(denied.out.isEmpty());
    ASSERT_TRUE(m_emulator.set(kRooted, {{QStringLiteral("su_denied"), false}}));

    // The app's folder is closed to the shell user and open to root.
    const QString db = QStringLiteral("/data/data/kik.android/databases/kikDatabase.db");
    EXPECT_EQ(shell(kRooted, {QStringLiteral("cat"), db}).exitCode, 1);
    const ProcessResult asRoot = shell(kRooted, {QStringLiteral("su"), QStringLiteral("-c"),
                                                 QStringLiteral("'cat ") + db + QLatin1Char('\'')});
    EXPECT_EQ(asRoot.exitCode, 0);
    EXPECT_EQ(asRoot.out, readFile(appFile(kRooted, QStringLiteral("databases/kikDatabase.db"))));
}

TEST_F(AdbEmulatorTest, ShellQuotingFollowsTheDeviceShell)
{
    ASSERT_TRUE(start());
    writeFile(rootOf(kPlain) + QStringLiteral("/sdcard/my \"chats\" $HOME.txt"), "quoted");
    // adb joins its arguments with blanks: quoting is the caller's job.
    const ProcessResult single =
        shell(kPlain, {QStringLiteral("cat"), QStringLiteral("'/sdcard/my \"chats\" $HOME.txt'")});
    EXPECT_EQ(single.exitCode, 0) << single.err.toStdString();
    EXPECT_EQ(single.out, QByteArray("quoted"));
    const ProcessResult escaped =
        shell(kPlain, {QStringLiteral("cat"), QStringLiteral("\"/sdcard/my \\\"chats\\\" \\$HOME.txt\"")});
    EXPECT_EQ(escaped.out, QByteArray("quoted")) << escaped.err.toStdString();
    const ProcessResult unquoted =
        shell(kPlain, {QStringLiteral("cat"), QStringLiteral("/sdcard/my \"chats\" $HOME.txt")});
    EXPECT_NE(unquoted.exitCode, 0);

    // Double quotes still expand command substitutions; single quotes do not.
    EXPECT_EQ(shell(kPlain, {QStringLiteral("echo"), QStringLiteral("\"$(whoami)x\"")}).out,
              QByteArray("shellx\n"));
    EXPECT_EQ(shell(kPlain, {QStringLiteral("echo"), QStringLiteral("'$(id)'")}).out, QByteArray("$(id)\n"));
    // Words are expanded when their command runs, not when the line is read.
    EXPECT_EQ(shell(kPlain, {QStringLiteral("cat /nowhere 2>/dev/null; echo $?")}).out, QByteArray("1\n"));
    EXPECT_EQ(shell(kPlain, {QStringLiteral("false && echo $(touch /sdcard/ran)")}).exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(rootOf(kPlain) + QStringLiteral("/sdcard/ran")));
    // A quoted glob stays literal, an unquoted one expands.
    writeFile(rootOf(kPlain) + QStringLiteral("/sdcard/d/a.txt"), "a");
    EXPECT_EQ(shell(kPlain, {QStringLiteral("rm"), QStringLiteral("-f"), QStringLiteral("\"/sdcard/d/*\"")})
                  .exitCode,
              0);
    EXPECT_TRUE(QFileInfo::exists(rootOf(kPlain) + QStringLiteral("/sdcard/d/a.txt")));
    EXPECT_EQ(
        shell(kPlain, {QStringLiteral("rm"), QStringLiteral("-f"), QStringLiteral("/sdcard/d/*")}).exitCode,
        0);
    EXPECT_FALSE(QFileInfo::exists(rootOf(kPlain) + QStringLiteral("/sdcard/d/a.txt")));
}

TEST_F(AdbEmulatorTest, RootChangesOfOwnerModeAndContextAreRecorded)
{
    ASSERT_TRUE(start());
    const QString db = QStringLiteral("/data/data/kik.android/databases/kikDatabase.db");
    const auto su = [&](const QString &command) {
        return shell(kRooted, {QStringLiteral("su"), QStringLiteral("-c"),
                               QLatin1Char('\'') + command + QLatin1Char('\'')});
    };
    const auto meta = [&]() { return m_emulator.files(kRooted)[QStringLiteral("files")][db].toObject(); };
    ASSERT_EQ(su(QStringLiteral("dd if=") + db + QStringLiteral(" of=") + db
                 + QStringLiteral(".new && mv -f ") + db + QStringLiteral(".new ") + db)
                  .exitCode,
              0);
    // What root writes belongs to root and lacks the app's SELinux categories;
    // a rename keeps both.
    EXPECT_EQ(meta()[QStringLiteral("owner")].toString(), QStringLiteral("root"));
    EXPECT_EQ(meta()[QStringLiteral("context")].toString(), QStringLiteral("u:object_r:app_data_file:s0"));

    const ProcessResult fix =
        su(QStringLiteral("chown $(stat -c %u:%g /data/data/kik.android) ") + db
           + QStringLiteral(" && chmod 660 ") + db + QStringLiteral(" && restorecon ") + db);
    ASSERT_EQ(fix.exitCode, 0) << fix.err.toStdString();
    EXPECT_EQ(meta()[QStringLiteral("owner")].toString(), QStringLiteral("u0_a150"));
    EXPECT_EQ(meta()[QStringLiteral("group")].toString(), QStringLiteral("u0_a150"));
    EXPECT_EQ(meta()[QStringLiteral("mode")].toString(), QStringLiteral("660"));
    EXPECT_EQ(meta()[QStringLiteral("context")],
              QStringLiteral("u:object_r:app_data_file:s0:c150,c256,c512,c768"));
    EXPECT_EQ(su(QStringLiteral("stat -c %U:%u:%a ") + db).out, QByteArray("u0_a150:10150:660\n"));
    const QJsonArray ops = m_emulator.files(kRooted)[QStringLiteral("ops")].toArray();
    ASSERT_EQ(ops.size(), 3);
    EXPECT_EQ(ops.at(0)[QStringLiteral("op")], QStringLiteral("chown"));
    EXPECT_EQ(ops.at(2)[QStringLiteral("op")], QStringLiteral("restorecon"));

    const ProcessResult denied =
        shell(kPlain, {QStringLiteral("chown"), QStringLiteral("shell"), QStringLiteral("/sdcard")});
    EXPECT_EQ(denied.exitCode, 1);
}

TEST_F(AdbEmulatorTest, TarUnpacksOnlyBelowItsFolderAndXargsPassesWords)
{
    ASSERT_TRUE(start());
    const QString archive = local(QStringLiteral("hostile.tar"));
    const ProcessResult made = TestSupport::runPython(QStringLiteral("make_android_kik.py"),
                                                      {QStringLiteral("hostile-tar"), archive});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    ASSERT_EQ(
        adb({QStringLiteral("-s"), kRooted, QStringLiteral("push"), archive, QStringLiteral("/sdcard/h.tar")})
            .exitCode,
        0);
    // "files/out" is a link out of Kik's folder on the phone.
    ASSERT_TRUE(QFile::link(rootOf(kRooted) + QStringLiteral("/sdcard"),
                            appFile(kRooted, QStringLiteral("files/out"))));
    const auto su = [&](const QString &command) {
        return shell(kRooted, {QStringLiteral("su"), QStringLiteral("-c"),
                               QLatin1Char('\'') + command + QLatin1Char('\'')});
    };
    const ProcessResult listed = su(QStringLiteral("tar -tf /sdcard/h.tar"));
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_EQ(listed.out, QByteArray("files/ok.txt\n../escape.txt\n/abs.txt\nfiles/../../up.txt\nfiles/lnk\n"
                                     "files/out/through.txt\n"));

    // The shell user may not write into an app's folder.
    EXPECT_EQ(shell(kRooted, {QStringLiteral("tar"), QStringLiteral("-xf"), QStringLiteral("/sdcard/h.tar"),
                              QStringLiteral("-C"), QStringLiteral("/data/data/kik.android")})
                  .exitCode,
              1);
    EXPECT_FALSE(QFileInfo::exists(appFile(kRooted, QStringLiteral("files/ok.txt"))));

    const ProcessResult unpacked = su(QStringLiteral("tar -xf /sdcard/h.tar -C /data/data/kik.android"));
    EXPECT_EQ(unpacked.exitCode, 1);
    EXPECT_TRUE(unpacked.err.contains("refusing ../escape.txt")) << unpacked.err.toStdString();
    EXPECT_EQ(readFile(appFile(kRooted, QStringLiteral("files/ok.txt"))), QByteArray("fine"));
    for (const QString &bad :
         {QStringLiteral("/data/data/escape.txt"), QStringLiteral("/abs.txt"),
          QStringLiteral("/data/data/kik.android/abs.txt"), QStringLiteral("/data/data/up.txt"),
          QStringLiteral("/data/up.txt"), QStringLiteral("/sdcard/through.txt")})
        EXPECT_FALSE(QFileInfo::exists(rootOf(kRooted) + bad)) << qPrintable(bad);
    EXPECT_FALSE(QFileInfo(appFile(kRooted, QStringLiteral("files/lnk"))).isSymLink());
    // What root unpacked belongs to root until it is handed over.
    EXPECT_EQ(
        m_emulator
            .files(kRooted)[QStringLiteral("files")][QStringLiteral("/data/data/kik.android/files/ok.txt")]
            .toObject()[QStringLiteral("owner")]
            .toString(),
        QStringLiteral("root"));

    EXPECT_EQ(su(QStringLiteral("echo /sdcard/x1 /sdcard/x2 | xargs touch")).exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(rootOf(kRooted) + QStringLiteral("/sdcard/x1")));
    EXPECT_TRUE(QFileInfo::exists(rootOf(kRooted) + QStringLiteral("/sdcard/x2")));
    EXPECT_EQ(su(QStringLiteral("echo /sdcard/x1 | xargs nosuchtool")).exitCode, 127);
    EXPECT_EQ(su(QStringLiteral("echo /sdcard/none | xargs rm")).exitCode, 123);
}

TEST_F(AdbEmulatorTest, PullAndPushAreByteIdentical)
{
    ASSERT_TRUE(start());
    QByteArray payload(300000, '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char((qint64(i) * 7919) % 251);
    writeFile(local(QStringLiteral("big.bin")), payload);
    writeFile(local(QStringLiteral("empty.bin")), QByteArray());
    for (const QString &name : {QStringLiteral("big.bin"), QStringLiteral("empty.bin")}) {
        const ProcessResult push = adb({QStringLiteral("-s"), kPlain, QStringLiteral("push"), local(name),
                                        QStringLiteral("/sdcard/") + name});
        ASSERT_EQ(push.exitCode, 0) << push.err.toStdString();
        EXPECT_EQ(readFile(rootOf(kPlain) + QStringLiteral("/sdcard/") + name), readFile(local(name)));
        const ProcessResult pull =
            adb({QStringLiteral("-s"), kPlain, QStringLiteral("pull"),
                 QStringLiteral("/storage/emulated/0/") + name, local(QStringLiteral("back-")) + name});
        ASSERT_EQ(pull.exitCode, 0) << pull.err.toStdString();
        ASSERT_TRUE(QFileInfo::exists(local(QStringLiteral("back-")) + name));
        EXPECT_EQ(readFile(local(QStringLiteral("back-")) + name), readFile(local(name)));
    }
    // The shell user cannot read the app's private files.
    const ProcessResult denied =
        adb({QStringLiteral("-s"), kPlain, QStringLiteral("pull"),
             QStringLiteral("/data/data/kik.android/databases/kikDatabase.db"), local(QStringLiteral("x"))});
    EXPECT_EQ(denied.exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(local(QStringLiteral("x"))));
}

TEST_F(AdbEmulatorTest, BackupWritesTheAppDataAsAnArchive)
{
    ASSERT_TRUE(start());
    const QString archive = local(QStringLiteral("kik.ab"));
    const ProcessResult backup = adb({QStringLiteral("-s"), kPlain, QStringLiteral("backup"),
                                      QStringLiteral("-f"), archive, QStringLiteral("kik.android")});
    ASSERT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    EXPECT_TRUE(readFile(archive).startsWith("ANDROID BACKUP\n5\n1\nnone\n"));
    const QJsonObject dump = inspect(archive);
    const QStringList names = entryNames(dump);
    ASSERT_FALSE(names.isEmpty());
    EXPECT_EQ(names.first(), QStringLiteral("apps/kik.android/_manifest"));
    EXPECT_TRUE(names.contains(QStringLiteral("apps/kik.android/db/kikDatabase.db")));
    EXPECT_TRUE(names.contains(QStringLiteral("apps/kik.android/sp/KikPreferences.xml")));
    EXPECT_TRUE(names.contains(QStringLiteral("apps/kik.android/f/staging/thumbs/thumb-c-img")));
    EXPECT_EQ(dump.value(QStringLiteral("messagesTable")).toArray().size(), 8);
}

TEST_F(AdbEmulatorTest, BackupModesOfNewerAndLockedPhones)
{
    ASSERT_TRUE(start());
    const QString archive = local(QStringLiteral("a12.ab"));
    ASSERT_TRUE(m_emulator.set(kPlain, {{QStringLiteral("backup"), QStringLiteral("android12")}}));
    const ProcessResult empty = adb({QStringLiteral("-s"), kPlain, QStringLiteral("backup"),
                                     QStringLiteral("-f"), archive, QStringLiteral("kik.android")});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(readFile(archive).toHex(), QByteArray("ANDROID BACKUP\n5\n1\nnone\n").toHex()
                                             + QByteArray("78da62601805a360148c5400000000ffff030004000001"));
    EXPECT_TRUE(entryNames(inspect(archive, QStringLiteral("inspect"))).isEmpty());

    ASSERT_TRUE(m_emulator.set(kPlain, {{QStringLiteral("backup"), QStringLiteral("encrypted")}}));
    const QString locked = local(QStringLiteral("locked.ab"));
    EXPECT_EQ(adb({QStringLiteral("-s"), kPlain, QStringLiteral("backup"), QStringLiteral("-f"), locked,
                   QStringLiteral("kik.android")})
                  .exitCode,
              0);
    EXPECT_TRUE(readFile(locked).startsWith("ANDROID BACKUP\n5\n1\nAES-256\n"));
}

TEST_F(AdbEmulatorTest, BackupAndRestoreWaitForTheUsersAnswer)
{
    QJsonObject waiting = m_phones.at(1).toObject();
    waiting.insert(QStringLiteral("confirm"), QStringLiteral("wait"));
    m_phones[1] = waiting;
    ASSERT_TRUE(start());
    const QString archive = local(QStringLiteral("confirmed.ab"));
    QProcess backup;
    backup.setProcessEnvironment(m_emulator.environment());
    backup.start(AdbEmulator::adbProgram(), {QStringLiteral("-s"), kPlain, QStringLiteral("backup"),
                                             QStringLiteral("-f"), archive, QStringLiteral("kik.android")});
    ASSERT_TRUE(m_emulator.waitForLog(kPlain, QStringLiteral("prompt")));
    EXPECT_NE(backup.state(), QProcess::NotRunning);
    EXPECT_TRUE(m_emulator.answerUser(kPlain, true));
    ASSERT_TRUE(backup.waitForFinished(30000));
    EXPECT_EQ(backup.exitCode(), 0);
    EXPECT_TRUE(entryNames(inspect(archive)).contains(QStringLiteral("apps/kik.android/db/kikDatabase.db")));

    // An answer given ahead serves the next prompt: the user says no.
    EXPECT_FALSE(m_emulator.answerUser(kPlain, false));
    const QByteArray before = readFile(appFile(kPlain, QStringLiteral("databases/kikDatabase.db")));
    writeFile(appFile(kPlain, QStringLiteral("databases/kikDatabase.db")), "changed");
    const ProcessResult restore = adb({QStringLiteral("-s"), kPlain, QStringLiteral("restore"), archive});
    EXPECT_EQ(restore.exitCode, 0);
    EXPECT_EQ(readFile(appFile(kPlain, QStringLiteral("databases/kikDatabase.db"))), QByteArray("changed"));
    EXPECT_FALSE(before.isEmpty());
}

TEST_F(AdbEmulatorTest, RestoreReplacesTheAppData)
{
    const QString tree = local(QStringLiteral("other-tree"));
    ASSERT_EQ(TestSupport::runPython(QStringLiteral("make_android_kik.py"),
                                     {QStringLiteral("tree"), tree, QStringLiteral("--other")})
                  .exitCode,
              0);
    // Incompressible content makes the archive far larger than one read.
    QByteArray noise(300000, '\0');
    QRandomGenerator generator(42);
    for (char &byte : noise)
        byte = char(generator.bounded(256));
    writeFile(tree + QStringLiteral("/apps/kik.android/f/noise.bin"), noise);
    const QString archive = local(QStringLiteral("other.ab"));
    ASSERT_EQ(
        TestSupport::runPython(QStringLiteral("make_android_kik.py"), {QStringLiteral("ab"), tree, archive})
            .exitCode,
        0);
    ASSERT_TRUE(start());
    writeFile(appFile(kPlain, QStringLiteral("files/stale.txt")), "left from before");
    const ProcessResult restore = adb({QStringLiteral("-s"), kPlain, QStringLiteral("restore"), archive});
    ASSERT_EQ(restore.exitCode, 0) << restore.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(appFile(kPlain, QStringLiteral("files/stale.txt"))));
    EXPECT_EQ(readFile(appFile(kPlain, QStringLiteral("files/noise.bin"))), noise);
    EXPECT_EQ(readFile(appFile(kPlain, QStringLiteral("databases/kikDatabase.db"))),
              readFile(tree + QStringLiteral("/apps/kik.android/db/kikDatabase.db")));

    // Android 12 leaves Kik out of restores.
    ASSERT_TRUE(m_emulator.set(kPlain, {{QStringLiteral("backup"), QStringLiteral("android12")}}));
    writeFile(appFile(kPlain, QStringLiteral("files/new.txt")), "after the restore");
    ASSERT_EQ(adb({QStringLiteral("-s"), kPlain, QStringLiteral("restore"), archive}).exitCode, 0);
    EXPECT_EQ(readFile(appFile(kPlain, QStringLiteral("files/new.txt"))), QByteArray("after the restore"));

    // Android skips a package whose archive does not start with its manifest.
    QFile::remove(tree + QStringLiteral("/apps/kik.android/_manifest"));
    ASSERT_EQ(
        TestSupport::runPython(QStringLiteral("make_android_kik.py"), {QStringLiteral("ab"), tree, archive})
            .exitCode,
        0);
    writeFile(appFile(kRooted, QStringLiteral("files/kept.txt")), "kept");
    ASSERT_EQ(adb({QStringLiteral("-s"), kRooted, QStringLiteral("restore"), archive}).exitCode, 0);
    EXPECT_EQ(readFile(appFile(kRooted, QStringLiteral("files/kept.txt"))), QByteArray("kept"));
}
