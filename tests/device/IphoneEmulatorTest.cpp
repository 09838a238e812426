// The emulated iPhone against the real libimobiledevice tools (idevice_id,
// ideviceinfo, idevicebackup2), and house_arrest + AFC through a small
// client written here, so the emulator is known to speak what real clients
// expect before product tests rely on it.
#include "support/IphoneEmulator.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <plist/plist.h>
#include <usbmuxd.h>

#include <cstdlib>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kOtherUdid = QStringLiteral("00008101-000E1D2C3B4A5968");

QJsonObject device(const QString &udid, const QJsonObject &extra = {})
{
    QJsonObject d{{QStringLiteral("udid"), udid}, {QStringLiteral("name"), QStringLiteral("Emu iPhone")}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        d.insert(it.key(), it.value());
    return d;
}

QJsonObject config(const QJsonArray &devices)
{
    return {{QStringLiteral("devices"), devices}};
}

TestSupport::ProcessResult runTool(const QProcessEnvironment &env, const QString &program,
                                   const QStringList &arguments)
{
    TestSupport::ProcessResult result;
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForStarted(30000))
        return result;
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(5000);
        result.crashed = true;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitCode();
    return result;
}

QStringList lines(const QByteArray &text)
{
    return QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

class IphoneEmulatorTest : public ::testing::Test
{
protected:
    void startWith(const QJsonArray &devices)
    {
        ASSERT_TRUE(emu.start(config(devices))) << emu.errorOutput().constData();
    }
    TestSupport::ProcessResult tool(const QString &program, const QStringList &arguments)
    {
        return runTool(emu.environment(), program, arguments);
    }
    IphoneEmulator emu;
};

} // namespace

TEST_F(IphoneEmulatorTest, IdeviceIdListsAttachedPhones)
{
    startWith({device(kUdid), device(kOtherUdid)});
    const auto r = tool(QStringLiteral("idevice_id"), {QStringLiteral("-l")});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(lines(r.out), (QStringList{kUdid, kOtherUdid}));

    ASSERT_TRUE(emu.detach(kOtherUdid));
    EXPECT_EQ(lines(tool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}).out), QStringList{kUdid});
}

TEST_F(IphoneEmulatorTest, IdeviceIdWithNothingListening)
{
    // A port that was free a moment ago: nothing answers there.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("USBMUXD_SOCKET_ADDRESS"), QStringLiteral("127.0.0.1:%1").arg(port));
    const auto r = runTool(env, QStringLiteral("idevice_id"), {QStringLiteral("-l")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(QByteArray(r.out + r.err).contains("ERROR: Unable to retrieve device list!"));
}

TEST_F(IphoneEmulatorTest, IdeviceinfoReadsValuesInPlainAndSslSessions)
{
    startWith({device(kUdid, {{QStringLiteral("ssl_session"), false},
                              {QStringLiteral("name"), QStringLiteral("Plain Zoë")}}),
               device(kOtherUdid, {{QStringLiteral("ssl_session"), true},
                                   {QStringLiteral("name"), QStringLiteral("Secure Zoë")},
                                   {QStringLiteral("icloud_backup"), true}})});
    for (const auto &[udid, name] : {std::pair{kUdid, QStringLiteral("Plain Zoë")},
                                     std::pair{kOtherUdid, QStringLiteral("Secure Zoë")}}) {
        const auto r = tool(QStringLiteral("ideviceinfo"),
                            {QStringLiteral("-u"), udid, QStringLiteral("-k"), QStringLiteral("DeviceName")});
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_EQ(QString::fromUtf8(r.out).trimmed(), name);
    }
    const auto backup =
        tool(QStringLiteral("ideviceinfo"), {QStringLiteral("-u"), kOtherUdid, QStringLiteral("-q"),
                                             QStringLiteral("com.apple.mobile.backup")});
    EXPECT_TRUE(lines(backup.out).contains(QStringLiteral("CloudBackupEnabled: true")))
        << backup.out.constData();
    EXPECT_TRUE(lines(backup.out).contains(QStringLiteral("WillEncrypt: false")));
}

TEST_F(IphoneEmulatorTest, PairingErrorsReachIdeviceinfo)
{
    const std::pair<const char *, const char *> cases[] = {
        {"pending", "Pairing dialog response pending"},
        {"denied", "User denied pairing"},
        {"passcode", "Password protected"},
    };
    QJsonArray devices;
    int i = 0;
    for (const auto &[pairing, message] : cases) {
        devices.append(device(
            QStringLiteral("0000000%1-UNPAIRED").arg(i++),
            {{QStringLiteral("paired"), false}, {QStringLiteral("pairing"), QString::fromLatin1(pairing)}}));
    }
    devices.append(device(kUdid, {{QStringLiteral("pairing"), QStringLiteral("invalid_host")}}));
    startWith(devices);

    i = 0;
    for (const auto &[pairing, message] : cases) {
        const auto r = tool(QStringLiteral("ideviceinfo"),
                            {QStringLiteral("-u"), QStringLiteral("0000000%1-UNPAIRED").arg(i++)});
        EXPECT_NE(r.exitCode, 0) << pairing;
        EXPECT_TRUE(r.err.contains(QByteArray("ERROR: Could not connect to lockdownd: ").append(message)))
            << pairing << ": " << r.err.constData();
    }
    const auto r = tool(QStringLiteral("ideviceinfo"), {QStringLiteral("-u"), kUdid});
    EXPECT_TRUE(r.err.contains("Invalid HostID")) << r.err.constData();
}

TEST_F(IphoneEmulatorTest, PhoneThatDoesNotAnswerFailsTheTool)
{
    startWith({device(kUdid)});
    for (const char *point : {"usbmuxd_connect", "lockdown_query"}) {
        ASSERT_TRUE(emu.set(kUdid, {{QStringLiteral("faults"),
                                     QJsonObject{{QStringLiteral("stall"), QString::fromLatin1(point)},
                                                 {QStringLiteral("stall_seconds"), 1}}}}));
        const auto r = tool(QStringLiteral("ideviceinfo"), {QStringLiteral("-u"), kUdid, QStringLiteral("-k"),
                                                            QStringLiteral("DeviceName")});
        EXPECT_NE(r.exitCode, 0) << point;
        EXPECT_TRUE(r.err.contains("ERROR: Could not connect to lockdownd")) << point << r.err.constData();
    }
}

TEST_F(IphoneEmulatorTest, TrustGrantedLaterLetsTheClientPair)
{
    startWith({device(
        kUdid, {{QStringLiteral("paired"), false}, {QStringLiteral("pairing"), QStringLiteral("pending")}})});
    const QStringList args{QStringLiteral("-u"), kUdid, QStringLiteral("-k"), QStringLiteral("ProductType")};
    EXPECT_NE(tool(QStringLiteral("ideviceinfo"), args).exitCode, 0);

    ASSERT_TRUE(emu.set(kUdid, {{QStringLiteral("pairing"), QStringLiteral("ok")}}));
    const auto paired = tool(QStringLiteral("ideviceinfo"), args);
    EXPECT_EQ(paired.exitCode, 0) << paired.err.constData();
    EXPECT_EQ(paired.out.trimmed(), QByteArray("iPhone12,1"));
    // The record the client saved through usbmuxd serves the next run.
    const auto again = tool(QStringLiteral("ideviceinfo"), args);
    EXPECT_EQ(again.out.trimmed(), QByteArray("iPhone12,1"));
    int pairRequests = 0;
    for (const QJsonValue &v : emu.log(kUdid))
        pairRequests += v.toObject().value(QStringLiteral("request")).toString() == QStringLiteral("Pair");
    EXPECT_EQ(pairRequests, 2);
}

// The library in this process: a TLS session, then StopSession and plain
// text again on the same connection.
TEST_F(IphoneEmulatorTest, InProcessSessionStopsBackToPlainText)
{
    startWith({device(kUdid, {{QStringLiteral("ssl_session"), true}})});
    emu.applyToThisProcess();
    const QByteArray udid = kUdid.toUtf8();

    char *record = nullptr;
    uint32_t recordSize = 0;
    ASSERT_EQ(usbmuxd_read_pair_record(udid.constData(), &record, &recordSize), 0);
    plist_t pairRecord = nullptr;
    plist_from_memory(record, recordSize, &pairRecord);
    free(record);
    ASSERT_NE(pairRecord, nullptr);
    char *hostId = nullptr;
    plist_get_string_val(plist_dict_get_item(pairRecord, "HostID"), &hostId);
    plist_free(pairRecord);
    ASSERT_NE(hostId, nullptr);

    idevice_t phone = nullptr;
    ASSERT_EQ(idevice_new(&phone, udid.constData()), IDEVICE_E_SUCCESS);
    lockdownd_client_t client = nullptr;
    ASSERT_EQ(lockdownd_client_new(phone, &client, "emulator-test"), LOCKDOWN_E_SUCCESS);
    char *session = nullptr;
    int ssl = 0;
    EXPECT_EQ(lockdownd_start_session(client, hostId, &session, &ssl), LOCKDOWN_E_SUCCESS);
    EXPECT_EQ(ssl, 1);
    plist_t capacity = nullptr;
    EXPECT_EQ(lockdownd_get_value(client, "com.apple.disk_usage", "TotalDiskCapacity", &capacity),
              LOCKDOWN_E_SUCCESS);
    EXPECT_EQ(plist_get_node_type(capacity), PLIST_UINT);
    plist_free(capacity);
    EXPECT_EQ(lockdownd_stop_session(client, session), LOCKDOWN_E_SUCCESS);

    plist_t name = nullptr;
    EXPECT_EQ(lockdownd_get_value(client, nullptr, "DeviceName", &name), LOCKDOWN_E_SUCCESS);
    char *text = nullptr;
    plist_get_string_val(name, &text);
    EXPECT_STREQ(text, "Emu iPhone");
    free(text);
    plist_free(name);
    free(session);
    free(hostId);
    lockdownd_client_free(client);
    idevice_free(phone);
}

TEST_F(IphoneEmulatorTest, ConfiguredValuesReplaceAndRemove)
{
    startWith({device(
        kUdid, {{QStringLiteral("values"),
                 QJsonObject{{QString(),
                              QJsonObject{{QStringLiteral("DeviceName"), QStringLiteral("Renamed")},
                                          {QStringLiteral("MobileSubscriberCountryCode"), QJsonValue::Null}}},
                             {QStringLiteral("com.apple.mobile.backup"),
                              QJsonObject{{QStringLiteral("WillEncrypt"), true}}}}}})});
    const auto value = [&](const QStringList &args) {
        return QString::fromUtf8(
                   tool(QStringLiteral("ideviceinfo"), QStringList{QStringLiteral("-u"), kUdid} + args).out)
            .trimmed();
    };
    EXPECT_EQ(value({QStringLiteral("-k"), QStringLiteral("DeviceName")}), QStringLiteral("Renamed"));
    EXPECT_EQ(value({QStringLiteral("-k"), QStringLiteral("MobileSubscriberCountryCode")}), QString());
    EXPECT_EQ(value({QStringLiteral("-k"), QStringLiteral("MobileSubscriberNetworkCode")}),
              QStringLiteral("260"));
    EXPECT_TRUE(value({QStringLiteral("-q"), QStringLiteral("com.apple.mobile.backup")})
                    .contains(QStringLiteral("WillEncrypt: true")));
}

TEST_F(IphoneEmulatorTest, ControlRefusesWhatItDoesNotKnow)
{
    startWith({device(kUdid)});
    const QJsonObject typo = emu.control(
        {{QStringLiteral("cmd"), QStringLiteral("set")},
         {QStringLiteral("udid"), kUdid},
         {QStringLiteral("faults"), QJsonObject{{QStringLiteral("stal"), QStringLiteral("afc_read")}}}});
    EXPECT_FALSE(typo.value(QStringLiteral("ok")).toBool());
    EXPECT_TRUE(typo.value(QStringLiteral("error")).toString().contains(QStringLiteral("stal")));
    EXPECT_FALSE(emu.set(kUdid, {{QStringLiteral("pairing"), QStringLiteral("maybe")}}));
    EXPECT_FALSE(emu.set(QStringLiteral("unknown-udid"), {{QStringLiteral("name"), QStringLiteral("x")}}));
    EXPECT_FALSE(emu.attach({{QStringLiteral("name"), QStringLiteral("no udid")}}));
    EXPECT_FALSE(emu.attach(device(kUdid))); // already attached
    EXPECT_FALSE(
        emu.control({{QStringLiteral("cmd"), QStringLiteral("dance")}}).value(QStringLiteral("ok")).toBool());
    // None of it changed the phone.
    EXPECT_EQ(lines(tool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}).out), QStringList{kUdid});
}

class IphoneEmulatorBackupTest : public IphoneEmulatorTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid());
        source = work.filePath(QStringLiteral("prepared"));
        const auto made =
            TestSupport::runPython(QStringLiteral("make_itunes_backup.py"), {source, QStringLiteral("db")});
        ASSERT_EQ(made.exitCode, 0) << made.err.constData();
        target = work.filePath(QStringLiteral("backups"));
        ASSERT_TRUE(QDir().mkpath(target));
    }
    void startWithFaults(const QJsonObject &faults)
    {
        startWith(
            {device(kUdid, {{QStringLiteral("backup_source"), source}, {QStringLiteral("faults"), faults}})});
    }
    TestSupport::ProcessResult backup()
    {
        return tool(QStringLiteral("idevicebackup2"), {QStringLiteral("-u"), kUdid, QStringLiteral("backup"),
                                                       QStringLiteral("--full"), target});
    }

    QTemporaryDir work;
    QString source;
    QString target;
};

TEST_F(IphoneEmulatorBackupTest, IdevicebackupWritesTheBackupTheSourceHolds)
{
    startWithFaults({});
    const auto r = backup();
    EXPECT_EQ(r.exitCode, 0) << r.out.constData() << r.err.constData();
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("Backup Successful."))) << r.out.constData();

    const QDir written(QDir(target).filePath(kUdid));
    int compared = 0;
    QDirIterator it(source, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString rel = QDir(source).relativeFilePath(it.next());
        if (rel == QStringLiteral("Info.plist"))
            continue; // written by the computer, not the phone
        EXPECT_EQ(TestSupport::readFile(written.filePath(rel)), TestSupport::readFile(it.filePath()))
            << rel.toStdString();
        ++compared;
    }
    EXPECT_GT(compared, 5);
    EXPECT_TRUE(QFileInfo::exists(written.filePath(QStringLiteral("Info.plist"))));

    // Python's sqlite3 reads the Manifest.db the tool wrote.
    const auto rows =
        TestSupport::run(QStringLiteral("/usr/bin/python3"),
                         {QStringLiteral("-c"),
                          QStringLiteral("import sqlite3,sys;print(sqlite3.connect(sys.argv[1]).execute("
                                         "'select count(*) from Files').fetchone()[0])"),
                          written.filePath(QStringLiteral("Manifest.db"))});
    EXPECT_EQ(rows.exitCode, 0) << rows.err.constData();
    EXPECT_GT(rows.out.trimmed().toInt(), 5);
}

TEST_F(IphoneEmulatorBackupTest, PhoneAbortsWithAnErrorCode)
{
    startWithFaults(
        {{QStringLiteral("backup_error"),
          QJsonObject{{QStringLiteral("code"), 105},
                      {QStringLiteral("description"), QStringLiteral("Insufficient free space")}}}});
    const auto r = backup();
    const QStringList out = lines(r.out);
    EXPECT_TRUE(out.contains(QStringLiteral("ErrorCode 105: Insufficient free space"))) << r.out.constData();
    EXPECT_TRUE(out.contains(QStringLiteral("Backup Failed (Error Code 105)."))) << r.out.constData();
    EXPECT_FALSE(out.contains(QStringLiteral("Backup Successful.")));
}

TEST_F(IphoneEmulatorBackupTest, PhoneDropsTheBackup)
{
    startWithFaults({{QStringLiteral("backup_drop"), true}});
    const auto r = backup();
    EXPECT_TRUE(r.out.contains("ERROR: Could not receive from mobilebackup2")) << r.out.constData();
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("Backup Aborted.")));
}

TEST_F(IphoneEmulatorBackupTest, NoStatusPlistFailsWithExitStatusZero)
{
    startWithFaults({{QStringLiteral("backup_no_status"), true}});
    const auto r = backup();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("Backup Failed (Error Code 0)."))) << r.out.constData();
    EXPECT_FALSE(QFileInfo::exists(QDir(target).filePath(kUdid + QStringLiteral("/Status.plist"))));
}

TEST_F(IphoneEmulatorBackupTest, UserCancelsOnThePhone)
{
    startWithFaults({{QStringLiteral("backup_cancel"), true}});
    const auto r = backup();
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("User has cancelled the backup process on the device.")))
        << r.out.constData();
    EXPECT_FALSE(lines(r.out).contains(QStringLiteral("Backup Successful.")));
}

// The real tool spins for ever when the phone goes away mid-upload; only a
// signal ends it.
TEST_F(IphoneEmulatorBackupTest, PhoneGoesAwayDuringTheBackup)
{
    startWithFaults({{QStringLiteral("backup_detach_after_files"), 3}});
    QProcess process;
    process.setProcessEnvironment(emu.environment());
    process.start(QStringLiteral("idevicebackup2"),
                  {QStringLiteral("-u"), kUdid, QStringLiteral("backup"), QStringLiteral("--full"), target});
    ASSERT_TRUE(process.waitForStarted(30000));
    bool gone = false;
    for (int i = 0; i < 600 && !gone; ++i) {
        process.waitForFinished(100);
        gone = !lines(tool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}).out).contains(kUdid);
    }
    EXPECT_TRUE(gone);
    EXPECT_FALSE(process.waitForFinished(1500));
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_TRUE(lines(process.readAllStandardOutput()).contains(QStringLiteral("Backup Aborted.")));
}
