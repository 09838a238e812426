// Connecting to and loading from emulated phones with the real adb client:
// the helper channel, the adb-only channel and Android's backup, with the
// fallbacks and refusals a real phone produces.
#include "AndroidPhoneFixture.h"

#include "android/AdbRunner.h"
#include "android/AndroidMonitor.h"
#include "android/HelperConnection.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutex>

#include <algorithm>

namespace {

const QString kDb = QStringLiteral("ab-extract/apps/kik.android/db/kikDatabase.db");

// The channels' log lines, gathered while alive (they come from the job's
// thread).
class CommandLog
{
public:
    CommandLog() { s_previous = qInstallMessageHandler(&CommandLog::take); }
    ~CommandLog() { qInstallMessageHandler(s_previous); }

    // How many lines hold `text`.
    int count(const QString &text) const
    {
        const QMutexLocker lock(&s_mutex);
        return int(std::count_if(s_lines.cbegin(), s_lines.cend(),
                                 [&](const QString &line) { return line.contains(text); }));
    }
    void clear()
    {
        const QMutexLocker lock(&s_mutex);
        s_lines.clear();
    }

private:
    static void take(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        {
            const QMutexLocker lock(&s_mutex);
            s_lines << text;
        }
        s_previous(type, context, text);
    }

    static inline QtMessageHandler s_previous = nullptr;
    static inline QMutex s_mutex;
    static inline QStringList s_lines;
};

} // namespace

TEST_F(AndroidPhoneTest, RootedPhonesLoadThroughEitherChannelAndStayUntouched)
{
    ASSERT_TRUE(start({kikPhone(QStringLiteral("HELPER1"), true, QStringLiteral("installed")),
                       kikPhone(QStringLiteral("ADBONLY1"), true, QStringLiteral("absent"))}));
    for (const QString &serial : {QStringLiteral("HELPER1"), QStringLiteral("ADBONLY1")}) {
        const auto before = snapshot(rootOf(serial));
        const AndroidDevice device = connectOk(serial);
        EXPECT_TRUE(device.rooted) << qPrintable(serial);
        EXPECT_EQ(device.access, serial == QStringLiteral("HELPER1") ? AndroidDevice::Access::Helper
                                                                     : AndroidDevice::Access::AdbOnly);
        EXPECT_FALSE(device.externalStorage.isEmpty());
        const auto phone = makeAndroidPhone(device);
        HeadlessProgress progress;
        load(*phone, progress);
        ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << progress.errorText().toStdString();
        // The root way, without a backup: no tip was shown.
        EXPECT_TRUE(progress.tips().isEmpty()) << progress.tips().join(QStringLiteral("|")).toStdString();
        const QDir cache = device.cacheFolder();
        EXPECT_EQ(TestSupport::readFile(cache.filePath(kDb)),
                  TestSupport::readFile(kikFolder(serial) + QStringLiteral("/databases/kikDatabase.db")));
        EXPECT_EQ(
            TestSupport::readFile(
                cache.filePath(QStringLiteral("ab-extract/apps/kik.android/f/staging/thumbs/thumb-c-img"))),
            TestSupport::readFile(kikFolder(serial) + QStringLiteral("/files/staging/thumbs/thumb-c-img")));
        // Loading only reads: no staging copies stay on the shared storage.
        EXPECT_EQ(snapshot(rootOf(serial)), before) << qPrintable(serial);
    }
}

TEST_F(AndroidPhoneTest, ManyThumbnailsComeDownInArchivesUnlessThePhoneCannotPack)
{
    const QStringList many{QStringLiteral("--thumbs=2100")};
    ASSERT_TRUE(start({kikPhone(QStringLiteral("HELPER1"), true, QStringLiteral("installed"), {}, many),
                       kikPhone(QStringLiteral("ADBONLY1"), true, QStringLiteral("absent"), {}, many),
                       kikPhone(QStringLiteral("NOTAR1"), true, QStringLiteral("absent"),
                                {{QStringLiteral("missing_commands"), QJsonArray{QStringLiteral("tar")}}},
                                {QStringLiteral("--thumbs=6")})}));
    CommandLog commands;
    for (const QString &serial :
         {QStringLiteral("HELPER1"), QStringLiteral("ADBONLY1"), QStringLiteral("NOTAR1")}) {
        const QString phoneThumbs = kikFolder(serial) + QStringLiteral("/files/staging/thumbs");
        // Two thumbnails the messages name are gone from the phone: its tar
        // reports them and packs the others.
        QFile::remove(phoneThumbs + QStringLiteral("/thumb-t-2"));
        QFile::remove(phoneThumbs + QStringLiteral("/thumb-t-1500"));
        const auto before = snapshot(rootOf(serial));
        const AndroidDevice device = connectOk(serial);
        const auto phone = makeAndroidPhone(device);
        HeadlessProgress progress;
        load(*phone, progress);
        ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << progress.errorText().toStdString();
        const QString local =
            device.cacheFolder().filePath(QStringLiteral("ab-extract/apps/kik.android/f/staging/thumbs"));
        EXPECT_EQ(snapshot(local).size(), serial == QStringLiteral("NOTAR1") ? 6 : 2099)
            << qPrintable(serial);
        EXPECT_EQ(snapshot(local), snapshot(phoneThumbs)) << qPrintable(serial);
        EXPECT_EQ(commands.count(QStringLiteral("su command, tar -cf ")),
                  serial == QStringLiteral("NOTAR1") ? 1 : 3)
            << qPrintable(serial);
        commands.clear();
        // The archives and their lists are gone from the shared storage.
        EXPECT_EQ(snapshot(rootOf(serial)), before) << qPrintable(serial);
    }
}

TEST_F(AndroidPhoneTest, PlainPhoneLoadsThroughItsBackupAfterTheTip)
{
    ASSERT_TRUE(start({kikPhone(QStringLiteral("PLAIN1"), false, QStringLiteral("absent"))}));
    const AndroidDevice device = connectOk(QStringLiteral("PLAIN1"));
    EXPECT_FALSE(device.rooted);
    EXPECT_EQ(device.uid, QStringLiteral("PLAIN1"));
    EXPECT_EQ(device.cacheFolder().dirName(), QStringLiteral("PLAIN1"));
    const auto phone = makeAndroidPhone(device);
    HeadlessProgress progress;
    load(*phone, progress);
    ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << progress.errorText().toStdString();
    ASSERT_EQ(progress.tips().size(), 1);
    EXPECT_TRUE(progress.tips().first().contains(QStringLiteral("backup Kik data")))
        << progress.tips().first().toStdString();
    EXPECT_EQ(TestSupport::readFile(device.cacheFolder().filePath(kDb)),
              TestSupport::readFile(kikFolder(QStringLiteral("PLAIN1"))
                                    + QStringLiteral("/databases/kikDatabase.db")));
    // The archive the phone wrote stays in the archive folder.
    EXPECT_EQ(QDir(m_dir.filePath(QStringLiteral("archives")))
                  .entryList({QStringLiteral("PLAIN1-*.ab")}, QDir::Files)
                  .size(),
              1);

    // Without the fetch flag only the cache is checked.
    HeadlessProgress cached;
    load(*phone, cached, false);
    EXPECT_EQ(cached.result(), HeadlessProgress::Succeeded);
    EXPECT_TRUE(cached.tips().isEmpty());
}

TEST_F(AndroidPhoneTest, RootFailureFallsBackToTheBackupWithItsReason)
{
    ASSERT_TRUE(start({kikPhone(QStringLiteral("NOSD1"), true, QStringLiteral("absent"),
                                {{QStringLiteral("shared_storage"), false}})}));
    const AndroidDevice device = connectOk(QStringLiteral("NOSD1"));
    EXPECT_TRUE(device.rooted);
    EXPECT_TRUE(device.externalStorage.isEmpty());
    const auto phone = makeAndroidPhone(device);
    HeadlessProgress progress;
    load(*phone, progress);
    ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << progress.errorText().toStdString();
    ASSERT_EQ(progress.tips().size(), 2);
    EXPECT_TRUE(progress.tips()[0].startsWith(
        QStringLiteral("Find no SD Card on Device. Failed to backup data from your root device.")))
        << progress.tips()[0].toStdString();
    EXPECT_TRUE(QFileInfo(device.cacheFolder().filePath(kDb)).isFile());
}

TEST_F(AndroidPhoneTest, BackupsWithoutKikOrEncryptedFailAtOnceAndKeepTheCache)
{
    ASSERT_TRUE(start(
        {kikPhone(QStringLiteral("A12"), false, QStringLiteral("absent"),
                  {{QStringLiteral("backup"), QStringLiteral("android12")}, {QStringLiteral("sdk"), 31}}),
         kikPhone(QStringLiteral("ENC1"), false, QStringLiteral("absent"),
                  {{QStringLiteral("backup"), QStringLiteral("encrypted")}}),
         kikPhone(QStringLiteral("REFUSE1"), false, QStringLiteral("absent"),
                  {{QStringLiteral("backup"), QStringLiteral("refused")}})}));
    for (const QString &serial : {QStringLiteral("A12"), QStringLiteral("ENC1"), QStringLiteral("REFUSE1")}) {
        const AndroidDevice device = connectOk(serial);
        // A cache from an earlier load stays as it was.
        TestSupport::writeFile(device.cacheFolder().filePath(kDb), "earlier load");
        const auto phone = makeAndroidPhone(device);
        HeadlessProgress progress;
        load(*phone, progress);
        ASSERT_EQ(progress.result(), HeadlessProgress::Failed) << qPrintable(serial);
        const QString error = progress.errorText();
        if (serial == QStringLiteral("A12")) {
            EXPECT_EQ(error, AndroidLoadKikThread::rootNeededMessage());
        } else if (serial == QStringLiteral("ENC1")) {
            EXPECT_TRUE(error.contains(QStringLiteral("Your backup file is encrypted.")))
                << error.toStdString();
            EXPECT_TRUE(error.contains(QStringLiteral(" attempt=1"))) << error.toStdString();
        } else {
            EXPECT_TRUE(error.contains(QStringLiteral("adb-backup -f "))) << error.toStdString();
        }
        EXPECT_EQ(TestSupport::readFile(device.cacheFolder().filePath(kDb)), "earlier load")
            << qPrintable(serial);
    }
}

TEST_F(AndroidPhoneTest, ConnectionRefusalsGiveTheirMessages)
{
    QJsonObject noKik = AdbEmulator::phone(QStringLiteral("NOKIK"), rootOf(QStringLiteral("NOKIK")), false);
    QDir().mkpath(rootOf(QStringLiteral("NOKIK")) + QStringLiteral("/sdcard"));
    ASSERT_TRUE(start({noKik, kikPhone(QStringLiteral("OLD1"), true, QStringLiteral("old")),
                       kikPhone(QStringLiteral("ERR1"), true, QStringLiteral("error")),
                       kikPhone(QStringLiteral("GARBAGE1"), true, QStringLiteral("garbage"))}));
    HeadlessProgress progress;
    connect(QStringLiteral("NOKIK"), progress);
    EXPECT_EQ(progress.errorText(), QStringLiteral("Can't find Kik installed on device."));

    HeadlessProgress old;
    connect(QStringLiteral("OLD1"), old);
    EXPECT_TRUE(old.errorText().contains(HelperConnection::tooOldMessage())) << old.errorText().toStdString();

    for (const QString &serial : {QStringLiteral("ERR1"), QStringLiteral("GARBAGE1")}) {
        HeadlessProgress bad;
        connect(serial, bad);
        EXPECT_EQ(bad.result(), HeadlessProgress::Failed) << qPrintable(serial);
        EXPECT_TRUE(bad.errorText().startsWith(QStringLiteral("Please try the following:")))
            << bad.errorText().toStdString();
    }
}

TEST_F(AndroidPhoneTest, PhoneGoneMidLoadLeavesTheCacheAsItWas)
{
    ASSERT_TRUE(start({kikPhone(QStringLiteral("GONE1"), true, QStringLiteral("installed"),
                                {{QStringLiteral("gone_after_bytes"), 20000}}),
                       kikPhone(QStringLiteral("GONE2"), false, QStringLiteral("absent"),
                                {{QStringLiteral("gone_after_bytes"), 400}})}));
    for (const QString &serial : {QStringLiteral("GONE1"), QStringLiteral("GONE2")}) {
        const AndroidDevice device = connectOk(serial);
        TestSupport::writeFile(device.cacheFolder().filePath(kDb), "earlier load");
        const auto phone = makeAndroidPhone(device);
        HeadlessProgress progress;
        load(*phone, progress);
        EXPECT_EQ(progress.result(), HeadlessProgress::Failed)
            << qPrintable(serial) << " " << progress.tips().join(QStringLiteral("|")).toStdString();
        EXPECT_FALSE(progress.errorText().isEmpty());
        EXPECT_EQ(TestSupport::readFile(device.cacheFolder().filePath(kDb)), "earlier load")
            << qPrintable(serial);
        EXPECT_FALSE(QFileInfo::exists(device.cacheFolder().filePath(QStringLiteral("fetch-work"))));
    }
}

TEST_F(AndroidPhoneTest, StallingHelperEndsWithAnErrorInsteadOfHanging)
{
    ASSERT_TRUE(start({kikPhone(QStringLiteral("STALL1"), true, QStringLiteral("stall"))}));
    HeadlessProgress progress;
    connect(QStringLiteral("STALL1"), progress);
    EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
    EXPECT_TRUE(progress.errorText().startsWith(QStringLiteral("Please try the following:")))
        << progress.errorText().toStdString();
}

TEST_F(AndroidPhoneTest, MonitorReportsPhonesPluggedInAndOut)
{
    ASSERT_TRUE(start({kikPhone(QStringLiteral("FIRST1"), false, QStringLiteral("absent")),
                       kikPhone(QStringLiteral("SECOND1"), false, QStringLiteral("absent"))}));
    QStringList events;
    {
        AndroidMonitor monitor([] { return adbDevices(); }, 50);
        QObject::connect(&monitor, &AndroidMonitor::deviceConnected, &monitor, [&](const AdbDevice &d) {
            events << QStringLiteral("+") + d.serial + QStringLiteral(":") + d.state;
        });
        QObject::connect(&monitor, &AndroidMonitor::deviceDisconnected, &monitor,
                         [&](const QString &s) { events << QStringLiteral("-") + s; });
        monitor.startMonitor();
        auto waitFor = [&](int count) {
            QDeadlineTimer deadline(20000);
            while (events.size() < count && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        };
        waitFor(2);
        ASSERT_TRUE(m_emulator.detach(QStringLiteral("FIRST1")));
        waitFor(3);
        QJsonObject again =
            AdbEmulator::phone(QStringLiteral("FIRST1"), rootOf(QStringLiteral("FIRST1")), false);
        again.insert(QStringLiteral("state"), QStringLiteral("unauthorized"));
        ASSERT_TRUE(m_emulator.attach(again));
        waitFor(4);
        ASSERT_TRUE(
            m_emulator.set(QStringLiteral("FIRST1"), {{QStringLiteral("state"), QStringLiteral("device")}}));
        // Authorising keeps the serial: nothing more is reported.
        ASSERT_TRUE(m_emulator.detach(QStringLiteral("SECOND1")));
        waitFor(5);
    }
    EXPECT_EQ(events, (QStringList{QStringLiteral("+FIRST1:device"), QStringLiteral("+SECOND1:device"),
                                   QStringLiteral("-FIRST1"), QStringLiteral("+FIRST1:unauthorized"),
                                   QStringLiteral("-SECOND1")}));
}
