// house_arrest, AFC and usbmuxd events of the emulated iPhone, through the
// bare client of MuxTestClient (libimobiledevice-utils 1.3.0 has no tool
// that speaks house_arrest).
#include "MuxTestClient.h"

#include "support/IphoneEmulator.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
constexpr quint64 kReadDir = 3, kFileInfo = 10, kFileOpen = 13, kFileRead = 15, kFileClose = 20;
constexpr quint64 kStatus = 1, kData = 2, kOpenResult = 14;

QMap<QString, QString> pairsOf(const QByteArray &data)
{
    QList<QByteArray> fields = data.split('\0');
    QMap<QString, QString> out;
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2)
        out.insert(QString::fromUtf8(fields[i]), QString::fromUtf8(fields[i + 1]));
    return out;
}

QStringList namesOf(const QByteArray &data)
{
    QStringList out;
    for (const QByteArray &name : data.split('\0'))
        if (!name.isEmpty())
            out << QString::fromUtf8(name);
    return out;
}

class IphoneEmulatorAfcTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid());
        container = work.filePath(QStringLiteral("container"));
        const auto made = TestSupport::runPython(QStringLiteral("make_ios_kik_store.py"),
                                                 {container, work.filePath(QStringLiteral("expected.json"))});
        ASSERT_EQ(made.exitCode, 0) << made.err.constData();
        ASSERT_TRUE(
            QFile::link(QStringLiteral("kik.sqlite"), container + QStringLiteral("/Documents/store-link")));
    }

    void startWith(const QJsonObject &extra)
    {
        QJsonObject d{{QStringLiteral("udid"), kUdid},
                      {QStringLiteral("ssl_session"), false},
                      {QStringLiteral("kik_container"), container}};
        for (auto it = extra.begin(); it != extra.end(); ++it)
            d.insert(it.key(), it.value());
        ASSERT_TRUE(emu.start({{QStringLiteral("devices"), QJsonArray{d}}})) << emu.errorOutput().constData();
    }

    quint32 deviceId()
    {
        MuxTestClient mux(emu.usbmuxdPort());
        const QVariantList list = mux.mux({{QStringLiteral("MessageType"), QStringLiteral("ListDevices")}})
                                      .value(QStringLiteral("DeviceList"))
                                      .toList();
        return list.isEmpty() ? 0 : list.first().toMap().value(QStringLiteral("DeviceID")).toUInt();
    }

    // A lockdownd connection in a session, opened as a host does.
    std::unique_ptr<MuxTestClient> session()
    {
        MuxTestClient mux(emu.usbmuxdPort());
        const QByteArray record = mux.mux({{QStringLiteral("MessageType"), QStringLiteral("ReadPairRecord")},
                                           {QStringLiteral("PairRecordID"), kUdid}})
                                      .value(QStringLiteral("PairRecordData"))
                                      .toByteArray();
        // The record is an XML plist inside the data; only its HostID matters.
        const qsizetype from = record.indexOf("<string>", record.indexOf("<key>HostID</key>")) + 8;
        const QString hostId = QString::fromUtf8(record.mid(from, record.indexOf("</string>", from) - from));
        auto lockdown = std::make_unique<MuxTestClient>(emu.usbmuxdPort());
        if (!lockdown->connectTo(deviceId(), 62078))
            return nullptr;
        const QVariantMap started =
            lockdown
                ->exchange({{QStringLiteral("Request"), QStringLiteral("StartSession")},
                            {QStringLiteral("HostID"), hostId}})
                .toMap();
        return started.contains(QStringLiteral("SessionID")) ? std::move(lockdown) : nullptr;
    }

    quint16 startService(const QString &service)
    {
        auto lockdown = session();
        if (!lockdown)
            return 0;
        return quint16(lockdown
                           ->exchange({{QStringLiteral("Request"), QStringLiteral("StartService")},
                                       {QStringLiteral("Service"), service}})
                           .toMap()
                           .value(QStringLiteral("Port"))
                           .toUInt());
    }

    // A house_arrest connection that vended `bundle`; `answer` gets the reply.
    std::unique_ptr<MuxTestClient> vend(const QString &bundle, QVariantMap *answer = nullptr)
    {
        const quint16 port = startService(QStringLiteral("com.apple.mobile.house_arrest"));
        auto client = std::make_unique<MuxTestClient>(emu.usbmuxdPort());
        if (port == 0 || !client->connectTo(deviceId(), port))
            return nullptr;
        const QVariantMap reply =
            client
                ->exchange({{QStringLiteral("Command"), QStringLiteral("VendContainer")},
                            {QStringLiteral("Identifier"), bundle}})
                .toMap();
        if (answer)
            *answer = reply;
        return client;
    }

    quint64 open(MuxTestClient &afc, const QString &path)
    {
        QByteArray params(8, '\0');
        params[0] = 1; // read only
        const auto r = afc.afc(kFileOpen, params + afcPath(path));
        return r.operation == kOpenResult && r.data.size() == 8
                   ? qFromLittleEndian<quint64>(r.data.constData())
                   : 0;
    }

    QByteArray readAll(MuxTestClient &afc, quint64 handle)
    {
        QByteArray out;
        for (int i = 0; i < 100000; ++i) {
            const auto r = afc.afc(kFileRead, afcHandle(handle, 65536));
            if (r.operation != kData || r.data.isEmpty())
                break;
            out += r.data;
        }
        return out;
    }

    QStringList loggedAfc()
    {
        QStringList ops;
        for (const QJsonValue &v : emu.log(kUdid)) {
            const QJsonObject e = v.toObject();
            if (e.value(QStringLiteral("service")).toString() == QStringLiteral("afc")
                && e.value(QStringLiteral("via")).toString() == QStringLiteral("house_arrest"))
                ops << e.value(QStringLiteral("op")).toString() + QLatin1Char(' ')
                           + e.value(QStringLiteral("path")).toString();
        }
        return ops;
    }

    QTemporaryDir work;
    QString container;
    IphoneEmulator emu;
};

} // namespace

TEST_F(IphoneEmulatorAfcTest, HouseArrestServesTheContainer)
{
    startWith({});
    QVariantMap answer;
    auto afc = vend(QStringLiteral("com.kik.chat"), &answer);
    ASSERT_TRUE(afc);
    EXPECT_EQ(answer.value(QStringLiteral("Status")).toString(), QStringLiteral("Complete"));

    const auto dir = afc->afc(kReadDir, afcPath(QStringLiteral("/Documents")));
    ASSERT_EQ(dir.operation, kData);
    const QStringList names = namesOf(dir.data);
    EXPECT_TRUE(names.contains(QStringLiteral(".")) && names.contains(QStringLiteral("..")));
    EXPECT_TRUE(names.contains(QStringLiteral("kik.sqlite")));
    EXPECT_EQ(dir.packetNumber, 1u);

    const QString storePath = container + QStringLiteral("/Documents/kik.sqlite");
    const auto info = pairsOf(afc->afc(kFileInfo, afcPath(QStringLiteral("/Documents/kik.sqlite"))).data);
    EXPECT_EQ(info.value(QStringLiteral("st_ifmt")), QStringLiteral("S_IFREG"));
    EXPECT_EQ(info.value(QStringLiteral("st_size")).toLongLong(), QFileInfo(storePath).size());
    EXPECT_EQ(info.value(QStringLiteral("st_mtime")).toLongLong() / 1000000,
              QFileInfo(storePath).lastModified().toMSecsSinceEpoch());
    EXPECT_TRUE(info.contains(QStringLiteral("st_birthtime")) && info.contains(QStringLiteral("st_blocks")));
    const auto link = pairsOf(afc->afc(kFileInfo, afcPath(QStringLiteral("/Documents/store-link"))).data);
    EXPECT_EQ(link.value(QStringLiteral("st_ifmt")), QStringLiteral("S_IFLNK"));
    EXPECT_EQ(link.value(QStringLiteral("LinkTarget")), QStringLiteral("kik.sqlite"));
    EXPECT_EQ(pairsOf(afc->afc(kFileInfo, afcPath(QStringLiteral("/Documents"))).data)
                  .value(QStringLiteral("st_ifmt")),
              QStringLiteral("S_IFDIR"));

    const quint64 handle = open(*afc, QStringLiteral("/Documents/kik.sqlite"));
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(readAll(*afc, handle), TestSupport::readFile(storePath));
    EXPECT_EQ(afc->afc(kFileClose, afcHandle(handle, 0).left(8)).status, 0u);

    const QStringList ops = loggedAfc();
    EXPECT_TRUE(ops.contains(QStringLiteral("FILE_READ /Documents/kik.sqlite")));
    EXPECT_FALSE(ops.contains(QStringLiteral("FILE_READ /Documents/store-link")));
}

TEST_F(IphoneEmulatorAfcTest, StatusCodesOfAfc)
{
    startWith({});
    auto afc = vend(QStringLiteral("com.kik.chat"));
    ASSERT_TRUE(afc);
    EXPECT_EQ(afc->afc(kFileInfo, afcPath(QStringLiteral("/Documents/none"))).status, 8u);
    EXPECT_EQ(afc->afc(kReadDir, afcPath(QStringLiteral("/Documents/kik.sqlite"))).status, 4u);
    EXPECT_EQ(afc->afc(kFileRead, afcHandle(77, 100)).status, 7u);
    EXPECT_EQ(afc->afc(kReadDir, afcPath(QStringLiteral("/Documents/../../.."))).status, 8u);
    EXPECT_EQ(afc->afc(99, QByteArray()).status, 6u);
    QByteArray writeMode(8, '\0');
    writeMode[0] = 3;
    EXPECT_EQ(afc->afc(kFileOpen, writeMode + afcPath(QStringLiteral("/Documents/new"))).status, 10u);
    EXPECT_FALSE(QFileInfo::exists(container + QStringLiteral("/Documents/new")));
}

TEST_F(IphoneEmulatorAfcTest, AppNotInstalled)
{
    startWith({{QStringLiteral("kik_container"), QJsonValue::Null}});
    QVariantMap answer;
    ASSERT_TRUE(vend(QStringLiteral("com.kik.chat"), &answer));
    EXPECT_EQ(answer.value(QStringLiteral("Error")).toString(), QStringLiteral("ApplicationLookupFailed"));

    // Installed, but the phone refuses to vend its container.
    ASSERT_TRUE(emu.set(
        kUdid, {{QStringLiteral("kik_container"), container},
                {QStringLiteral("faults"),
                 QJsonObject{{QStringLiteral("vend_error"), QStringLiteral("InstallationLookupFailed")}}}}));
    ASSERT_TRUE(vend(QStringLiteral("com.kik.chat"), &answer));
    EXPECT_EQ(answer.value(QStringLiteral("Error")).toString(), QStringLiteral("InstallationLookupFailed"));
}

TEST_F(IphoneEmulatorAfcTest, PhoneGoesAwayMidFile)
{
    startWith({{QStringLiteral("faults"), QJsonObject{{QStringLiteral("drop_after_bytes"), 1000}}}});
    MuxTestClient listener(emu.usbmuxdPort());
    EXPECT_EQ(listener.mux({{QStringLiteral("MessageType"), QStringLiteral("Listen")}})
                  .value(QStringLiteral("Number")),
              QVariant(0u));
    const QVariantMap attached = listener.nextPushed();
    EXPECT_EQ(attached.value(QStringLiteral("MessageType")).toString(), QStringLiteral("Attached"));

    auto afc = vend(QStringLiteral("com.kik.chat"));
    ASSERT_TRUE(afc);
    const quint64 handle = open(*afc, QStringLiteral("/Documents/kik.sqlite"));
    const auto cut = afc->afc(kFileRead, afcHandle(handle, 65536));
    EXPECT_FALSE(cut.complete);
    EXPECT_TRUE(afc->waitForClose());

    const QVariantMap detached = listener.nextPushed();
    EXPECT_EQ(detached.value(QStringLiteral("MessageType")).toString(), QStringLiteral("Detached"));
    EXPECT_EQ(detached.value(QStringLiteral("DeviceID")), attached.value(QStringLiteral("DeviceID")));
    EXPECT_EQ(deviceId(), 0u);
}

TEST_F(IphoneEmulatorAfcTest, FaultsOnRequests)
{
    startWith({{QStringLiteral("faults"),
                QJsonObject{{QStringLiteral("afc_read_error"), 20},
                            {QStringLiteral("afc_read_error_path"), QStringLiteral("kik.sqlite")},
                            {QStringLiteral("afc_list_error"), 8},
                            {QStringLiteral("afc_list_error_path"), QStringLiteral("attachments")}}}});
    auto afc = vend(QStringLiteral("com.kik.chat"));
    ASSERT_TRUE(afc);
    EXPECT_EQ(afc->afc(kFileRead, afcHandle(open(*afc, QStringLiteral("/Documents/kik.sqlite")), 100)).status,
              20u);
    EXPECT_EQ(afc->afc(kReadDir, afcPath(QStringLiteral("/Documents/attachments"))).status, 8u);
    EXPECT_EQ(afc->afc(kReadDir, afcPath(QStringLiteral("/Documents"))).operation, kData);

    // Hostile: a data answer claiming 2^62 bytes.
    ASSERT_TRUE(
        emu.set(kUdid, {{QStringLiteral("faults"),
                         QJsonObject{{QStringLiteral("afc_hostile"), QStringLiteral("huge_entire")},
                                     {QStringLiteral("afc_hostile_op"), QStringLiteral("READ_DIR")}}}}));
    const auto huge = afc->afc(kReadDir, afcPath(QStringLiteral("/Documents")));
    EXPECT_EQ(huge.entireLength, quint64(1) << 62);
    EXPECT_FALSE(huge.complete);
}

TEST_F(IphoneEmulatorAfcTest, StalledReadAnswersNothing)
{
    startWith(
        {{QStringLiteral("faults"), QJsonObject{{QStringLiteral("stall"), QStringLiteral("afc_read")}}}});
    auto afc = vend(QStringLiteral("com.kik.chat"));
    ASSERT_TRUE(afc);
    const quint64 handle = open(*afc, QStringLiteral("/Documents/kik.sqlite"));
    ASSERT_NE(handle, 0u);
    const auto stalled = afc->afc(kFileRead, afcHandle(handle, 100), 1500);
    EXPECT_FALSE(stalled.complete);
    EXPECT_EQ(stalled.entireLength, 0u); // not even a header came
}

TEST_F(IphoneEmulatorAfcTest, StallThatEndsInAClose)
{
    startWith({{QStringLiteral("faults"),
                QJsonObject{{QStringLiteral("stall"), QJsonArray{QStringLiteral("afc_list")}},
                            {QStringLiteral("stall_seconds"), 1}}}});
    auto afc = vend(QStringLiteral("com.kik.chat"));
    ASSERT_TRUE(afc);
    EXPECT_FALSE(afc->afc(kReadDir, afcPath(QStringLiteral("/Documents")), 20000).complete);
    EXPECT_TRUE(afc->waitForClose());
}

TEST_F(IphoneEmulatorAfcTest, ListenSeesAttachAndDetach)
{
    startWith({});
    MuxTestClient listener(emu.usbmuxdPort());
    ASSERT_EQ(listener.mux({{QStringLiteral("MessageType"), QStringLiteral("Listen")}})
                  .value(QStringLiteral("Number")),
              QVariant(0u));
    EXPECT_EQ(listener.nextPushed()
                  .value(QStringLiteral("Properties"))
                  .toMap()
                  .value(QStringLiteral("SerialNumber"))
                  .toString(),
              kUdid);

    const QString other = QStringLiteral("00008101-000E1D2C3B4A5968");
    ASSERT_TRUE(emu.attach({{QStringLiteral("udid"), other}}));
    const QVariantMap attached = listener.nextPushed();
    EXPECT_EQ(attached.value(QStringLiteral("MessageType")).toString(), QStringLiteral("Attached"));
    EXPECT_EQ(
        attached.value(QStringLiteral("Properties")).toMap().value(QStringLiteral("SerialNumber")).toString(),
        other);
    ASSERT_TRUE(emu.detach(other));
    const QVariantMap detached = listener.nextPushed();
    EXPECT_EQ(detached.value(QStringLiteral("MessageType")).toString(), QStringLiteral("Detached"));
    EXPECT_EQ(detached.value(QStringLiteral("DeviceID")), attached.value(QStringLiteral("DeviceID")));
    EXPECT_FALSE(emu.detach(other));
}

TEST_F(IphoneEmulatorAfcTest, HostileLockdownLength)
{
    startWith({{QStringLiteral("faults"),
                QJsonObject{{QStringLiteral("lockdown_hostile"), QStringLiteral("huge_length")}}}});
    // Outside a session the values come back normally ...
    MuxTestClient lockdown(emu.usbmuxdPort());
    ASSERT_TRUE(lockdown.connectTo(deviceId(), 62078));
    EXPECT_EQ(lockdown
                  .exchange({{QStringLiteral("Request"), QStringLiteral("GetValue")},
                             {QStringLiteral("Key"), QStringLiteral("ProductVersion")}})
                  .toMap()
                  .value(QStringLiteral("Value"))
                  .toString(),
              QStringLiteral("16.7"));
    // ... inside a session the answer's length is absurd.
    auto inSession = session();
    ASSERT_TRUE(inSession);
    inSession->sendFramed({{QStringLiteral("Request"), QStringLiteral("GetValue")},
                           {QStringLiteral("Key"), QStringLiteral("DeviceName")}});
    EXPECT_EQ(inSession->readExact(4), QByteArray("\xff\xff\xff\xf0", 4));
}
