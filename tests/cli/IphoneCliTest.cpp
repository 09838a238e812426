// The command-line tool against the emulated iPhone, run as a user runs it:
// devices, the iphone: source of chats, messages, backup, export and the
// offline transfer, and what it says when something is wrong.
#include "support/IphoneEmulator.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kOtherUdid = QStringLiteral("00008101-000E1D2C3B4A5968");

class IphoneCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_app = m_work.filePath(QStringLiteral("com.kik.chat"));
        const auto built = TestSupport::runPython(
            QStringLiteral("make_ios_kik_store.py"),
            {m_app, m_work.filePath(QStringLiteral("expected.json")), QStringLiteral("--wal")});
        ASSERT_EQ(built.exitCode, 0) << built.err.constData();
    }
    QJsonObject phone(const QString &udid, const QJsonObject &extra = {}) const
    {
        QJsonObject d{{QStringLiteral("udid"), udid},
                      {QStringLiteral("name"), QStringLiteral("Emu iPhone")},
                      {QStringLiteral("product_type"), QStringLiteral("iPhone12,1")},
                      {QStringLiteral("product_version"), QStringLiteral("16.7")},
                      {QStringLiteral("kik_container"), m_app}};
        for (auto it = extra.begin(); it != extra.end(); ++it)
            d.insert(it.key(), it.value());
        return d;
    }
    void start(const QJsonArray &devices)
    {
        ASSERT_TRUE(m_emu.start(QJsonObject{{QStringLiteral("devices"), devices}}))
            << m_emu.errorOutput().constData();
        const QProcessEnvironment env = m_emu.environment();
        for (const char *name : {"USBMUXD_SOCKET_ADDRESS", "HOME", "XDG_CONFIG_HOME"})
            m_env << QString::fromLatin1(name) + QLatin1Char('=') + env.value(QString::fromLatin1(name));
    }
    TestSupport::ProcessResult cli(const QStringList &args)
    {
        return TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
                                QStringList{QStringLiteral("--data-root"), m_root.path()} + args, {}, 120000,
                                m_env);
    }
    QJsonDocument json(const QStringList &args)
    {
        const auto result = cli(QStringList{QStringLiteral("--json"), QStringLiteral("--quiet")} + args);
        EXPECT_EQ(result.exitCode, 0) << result.err.constData();
        return QJsonDocument::fromJson(result.out);
    }

    QTemporaryDir m_root;
    QTemporaryDir m_work;
    QString m_app;
    IphoneEmulator m_emu;
    QStringList m_env;
};

TEST_F(IphoneCli, DevicesListsEachIphone)
{
    start({phone(kUdid), phone(kOtherUdid, {{QStringLiteral("name"), QStringLiteral("Second")},
                                            {QStringLiteral("product_version"), QStringLiteral("17.1")}})});
    const QJsonArray rows = json({QStringLiteral("devices")}).array();
    QStringList seen;
    for (const QJsonValue &row : rows) {
        const QJsonObject o = row.toObject();
        if (o.value(QStringLiteral("kind")).toString() == QLatin1String("iphone"))
            seen << QStringList{o.value(QStringLiteral("id")).toString(),
                                o.value(QStringLiteral("name")).toString(),
                                o.value(QStringLiteral("state")).toString()}
                        .join(QLatin1Char('|'));
    }
    seen.sort();
    EXPECT_EQ(seen, (QStringList{kUdid + QStringLiteral("|Emu iPhone|iPhone12,1 iOS 16.7"),
                                 kOtherUdid + QStringLiteral("|Second|iPhone12,1 iOS 17.1")}));
}

TEST_F(IphoneCli, DevicesSaysHowToStartUsbmuxdWhenItIsNotThere)
{
    m_env << QStringLiteral("USBMUXD_SOCKET_ADDRESS=127.0.0.1:1");
    const auto result = cli({QStringLiteral("devices")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.err.contains("usbmuxd -f")) << result.err.constData();
}

TEST_F(IphoneCli, ChatsAndMessagesOfTheIphoneEqualThoseOfItsFolder)
{
    start({phone(kUdid)});
    const QJsonDocument chatsOfPhone = json({QStringLiteral("chats"), QStringLiteral("iphone:auto")});
    EXPECT_FALSE(chatsOfPhone.array().isEmpty());
    EXPECT_EQ(chatsOfPhone, json({QStringLiteral("chats"), QStringLiteral("ios:") + m_app}));

    // Messages name their content files below the folder they were read
    // from. Previews are drawn into a cache folder of each source (an input
    // folder is never written), so those are compared by their bytes.
    const QString cache =
        QDir(m_root.path()).filePath(QStringLiteral("ios_cache/") + kUdid + QStringLiteral("/com.kik.chat"));
    QJsonArray phoneMessages = json({QStringLiteral("messages"), QStringLiteral("iphone:") + kUdid}).array();
    QJsonArray folderMessages = json({QStringLiteral("messages"), QStringLiteral("ios:") + m_app}).array();
    ASSERT_EQ(phoneMessages.size(), folderMessages.size());
    int previews = 0;
    for (qsizetype i = 0; i < phoneMessages.size(); ++i) {
        QJsonObject fromPhone = phoneMessages.at(i).toObject();
        QJsonObject fromFolder = folderMessages.at(i).toObject();
        const QString phonePreview = fromPhone.take(QStringLiteral("preview_path")).toString();
        const QString folderPreview = fromFolder.take(QStringLiteral("preview_path")).toString();
        EXPECT_EQ(phonePreview.isEmpty(), folderPreview.isEmpty());
        if (!phonePreview.isEmpty() && !folderPreview.isEmpty()) {
            EXPECT_EQ(TestSupport::readFile(phonePreview), TestSupport::readFile(folderPreview));
            EXPECT_FALSE(TestSupport::readFile(phonePreview).isEmpty());
            ++previews;
        }
        phoneMessages[i] = fromPhone;
        folderMessages[i] = fromFolder;
    }
    EXPECT_GT(previews, 0);
    QByteArray phoneText = QJsonDocument(phoneMessages).toJson();
    phoneText.replace(QDir(cache).absolutePath().toUtf8(), "APP");
    QByteArray folderText = QJsonDocument(folderMessages).toJson();
    folderText.replace(QDir(m_app).absolutePath().toUtf8(), "APP");
    EXPECT_EQ(phoneText, folderText);
}

TEST_F(IphoneCli, AutoNeedsExactlyOneIphone)
{
    start({phone(kUdid), phone(kOtherUdid)});
    const auto two = cli({QStringLiteral("chats"), QStringLiteral("iphone:auto")});
    EXPECT_EQ(two.exitCode, 1);
    EXPECT_TRUE(two.err.contains(kUdid.toUtf8()) && two.err.contains(kOtherUdid.toUtf8()))
        << two.err.constData();
    const auto unknown = cli({QStringLiteral("chats"), QStringLiteral("iphone:0000")});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains("The iPhone 0000 is not connected.")) << unknown.err.constData();
}

TEST_F(IphoneCli, BackupAndExportTakeTheIphoneAsSource)
{
    start({phone(kUdid)});
    const int messages = json({QStringLiteral("messages"), QStringLiteral("ios:") + m_app}).array().size();
    const QJsonObject backup = json({QStringLiteral("backup"), QStringLiteral("iphone:") + kUdid,
                                     QStringLiteral("--db"), QStringLiteral("FromPhone")})
                                   .object();
    EXPECT_EQ(backup.value(QStringLiteral("messages")).toInt(), messages);
    EXPECT_EQ(json({QStringLiteral("messages"), QStringLiteral("localdb:FromPhone")}).array().size(),
              messages);

    const QString csv = m_work.filePath(QStringLiteral("out.csv"));
    const QJsonObject exported =
        json({QStringLiteral("export"), QStringLiteral("iphone:auto"), QStringLiteral("--format"),
              QStringLiteral("csv"), QStringLiteral("--out"), csv})
            .object();
    EXPECT_EQ(exported.value(QStringLiteral("messages")).toInt(), messages);
    EXPECT_GT(QFileInfo(csv).size(), 0);
}

TEST_F(IphoneCli, OfflineTransferTakesTheIphoneAsSource)
{
    start({phone(kUdid)});
    const QString tree = m_work.filePath(QStringLiteral("phone"));
    const QString ab = m_work.filePath(QStringLiteral("phone.ab"));
    ASSERT_EQ(TestSupport::runPython(QStringLiteral("make_android_kik.py"), {QStringLiteral("tree"), tree})
                  .exitCode,
              0);
    ASSERT_EQ(TestSupport::runPython(QStringLiteral("make_android_kik.py"), {QStringLiteral("ab"), tree, ab})
                  .exitCode,
              0);
    const QJsonObject fromPhone =
        json({QStringLiteral("transfer"), QStringLiteral("iphone:auto"), QStringLiteral("--to-ab"), ab,
              QStringLiteral("--out"), m_work.filePath(QStringLiteral("a.ab"))})
            .object();
    const QJsonObject fromFolder =
        json({QStringLiteral("transfer"), QStringLiteral("ios:") + m_app, QStringLiteral("--to-ab"), ab,
              QStringLiteral("--out"), m_work.filePath(QStringLiteral("b.ab"))})
            .object();
    EXPECT_GT(fromPhone.value(QStringLiteral("messages")).toInt(), 0);
    EXPECT_EQ(fromPhone.value(QStringLiteral("messages")), fromFolder.value(QStringLiteral("messages")));
    EXPECT_EQ(fromPhone.value(QStringLiteral("phone_messages_after")),
              fromFolder.value(QStringLiteral("phone_messages_after")));
}

TEST_F(IphoneCli, UnreadableStoreIsNamed)
{
    TestSupport::writeFile(QDir(m_app).filePath(QStringLiteral("Documents/kik.sqlite")),
                           QByteArray(4096, 'x'));
    QFile::remove(QDir(m_app).filePath(QStringLiteral("Documents/kik.sqlite-wal")));
    QFile::remove(QDir(m_app).filePath(QStringLiteral("Documents/kik.sqlite-shm")));
    start({phone(kUdid)});
    const auto result = cli({QStringLiteral("chats"), QStringLiteral("iphone:auto")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("kik.sqlite")) << result.err.constData();
}

TEST_F(IphoneCli, PhoneThatWaitsForTrustSaysSo)
{
    start({phone(
        kUdid, {{QStringLiteral("paired"), false}, {QStringLiteral("pairing"), QStringLiteral("pending")}})});
    const auto result = cli({QStringLiteral("chats"), QStringLiteral("iphone:auto")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("click \"Trust\"")) << result.err.constData();
    EXPECT_TRUE(result.err.contains("AMDevicePair(-19)")) << result.err.constData();
}

} // namespace
