// The command-line tool against emulated Android phones, as a user runs it:
// devices, chats and messages of adb:SERIAL, and the whole transfer of an
// iTunes backup onto a phone, checked on the phone's own database.
#include "support/AdbEmulator.h"
#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace TestSupport;

namespace {

class AndroidPhoneCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(AdbEmulator::adbProgram()).isExecutable())
            GTEST_SKIP() << "the adb client is not installed";
    }

    QJsonObject phone(const QString &serial, bool rooted, const QString &helper)
    {
        EXPECT_TRUE(AdbEmulator::makeKikPhone(root(serial)));
        QJsonObject p = AdbEmulator::phone(serial, root(serial), rooted);
        p.insert(QStringLiteral("helper"), helper);
        p.insert(QStringLiteral("sdk"), 29);
        p.insert(QStringLiteral("manufacturer"), QStringLiteral("Google"));
        p.insert(QStringLiteral("model"), QStringLiteral("Pixel 4"));
        return p;
    }

    bool start(const QJsonArray &phones)
    {
        const bool ok = m_emulator.start({{QStringLiteral("phones"), phones}}, 300);
        EXPECT_TRUE(ok) << m_emulator.errorText().toStdString();
        if (ok)
            m_emulator.applyToThisProcess();
        return ok;
    }

    QString root(const QString &serial) const { return m_dir.filePath(QStringLiteral("phones/") + serial); }

    // An iTunes backup of a Kik store written by the Python fixtures; empty
    // when they failed.
    QString itunesBackup()
    {
        const QString app = m_dir.filePath(QStringLiteral("com.kik.chat"));
        const QString backup = m_dir.filePath(QStringLiteral("backup"));
        const bool made = runPython(QStringLiteral("make_ios_kik_store.py"),
                                    {app, m_dir.filePath(QStringLiteral("expected.json"))})
                                  .exitCode
                              == 0
                          && runPython(QStringLiteral("make_ios_kik_backup.py"),
                                       {app, backup, QStringLiteral("db"), QStringLiteral("--place"),
                                        QStringLiteral("app")})
                                     .exitCode
                                 == 0;
        return made ? backup : QString();
    }

    ProcessResult cli(const QStringList &args)
    {
        return run(binDir() + QStringLiteral("/velloran-kik"),
                   QStringList{QStringLiteral("--data-root"), m_dir.filePath(QStringLiteral("data"))} + args,
                   QByteArray(), 180000);
    }

    QJsonDocument json(const ProcessResult &r)
    {
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out);
    }

    QTemporaryDir m_dir;
    AdbEmulator m_emulator;
};

} // namespace

TEST_F(AndroidPhoneCli, DevicesListsEveryPhoneWithItsState)
{
    QJsonObject locked = phone(QStringLiteral("LOCKED1"), false, QStringLiteral("absent"));
    locked.insert(QStringLiteral("state"), QStringLiteral("unauthorized"));
    ASSERT_TRUE(start({phone(QStringLiteral("HELPER1"), true, QStringLiteral("installed")), locked}));
    const QJsonArray rows = json(cli({QStringLiteral("--json"), QStringLiteral("devices")})).array();
    QJsonArray android;
    for (const QJsonValue &row : rows) {
        if (row.toObject().value(QStringLiteral("kind")) == QStringLiteral("android"))
            android.append(row);
    }
    ASSERT_EQ(android.size(), 2);
    EXPECT_EQ(android[0].toObject(), (QJsonObject{{QStringLiteral("kind"), QStringLiteral("android")},
                                                  {QStringLiteral("id"), QStringLiteral("HELPER1")},
                                                  {QStringLiteral("name"), QStringLiteral("Google Pixel 4")},
                                                  {QStringLiteral("state"), QStringLiteral("device")}}));
    EXPECT_EQ(android[1].toObject().value(QStringLiteral("id")), QStringLiteral("LOCKED1"));
    EXPECT_EQ(android[1].toObject().value(QStringLiteral("state")), QStringLiteral("unauthorized"));

    // The locked phone cannot be read, and says why.
    const ProcessResult r = cli({QStringLiteral("chats"), QStringLiteral("adb:LOCKED1")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("the phone is unauthorized")) << r.err.toStdString();
    const ProcessResult several = cli({QStringLiteral("chats"), QStringLiteral("adb:auto")});
    EXPECT_EQ(several.exitCode, 1);
    EXPECT_TRUE(several.err.contains("2 Android phones are connected")) << several.err.toStdString();
    const ProcessResult unknown = cli({QStringLiteral("chats"), QStringLiteral("adb:NOPE")});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains("No Android phone with the serial NOPE")) << unknown.err.toStdString();
}

TEST_F(AndroidPhoneCli, ChatsAndMessagesOfAPhoneMatchItsDatabase)
{
    ASSERT_TRUE(start({phone(QStringLiteral("PLAIN1"), false, QStringLiteral("absent"))}));
    const QString tree = m_dir.filePath(QStringLiteral("direct"));
    QDir().mkpath(tree + QStringLiteral("/apps/kik.android/db"));
    QFile::copy(root(QStringLiteral("PLAIN1"))
                    + QStringLiteral("/data/data/kik.android/databases/kikDatabase.db"),
                tree + QStringLiteral("/apps/kik.android/db/kikDatabase.db"));
    // The phone read through adb gives what its database file gives.
    EXPECT_EQ(
        json(cli({QStringLiteral("--json"), QStringLiteral("--yes"), QStringLiteral("chats"),
                  QStringLiteral("adb:auto")})),
        json(cli({QStringLiteral("--json"), QStringLiteral("chats"), QStringLiteral("android:") + tree})));
    const QJsonArray messages = json(cli({QStringLiteral("--json"), QStringLiteral("--yes"),
                                          QStringLiteral("messages"), QStringLiteral("adb:PLAIN1")}))
                                    .array();
    ASSERT_FALSE(messages.isEmpty());
    int own = 0;
    for (const QJsonValue &v : messages) {
        const QJsonObject m = v.toObject();
        if (m.value(QStringLiteral("was_me")).toBool()) {
            ++own;
            EXPECT_TRUE(m.value(QStringLiteral("sender")).isNull())
                << QJsonDocument(m).toJson().toStdString();
        }
    }
    EXPECT_GT(own, 0);
    // Without --yes the tip waits for Enter, which an empty input gives.
    const ProcessResult r = cli({QStringLiteral("chats"), QStringLiteral("adb:PLAIN1")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Press Enter to continue")) << r.err.toStdString();
}

TEST_F(AndroidPhoneCli, TransferOfAnItunesBackupIsVerifiedOnThePhone)
{
    ASSERT_TRUE(start({phone(QStringLiteral("HELPER1"), true, QStringLiteral("installed")),
                       phone(QStringLiteral("ADBONLY1"), true, QStringLiteral("absent")),
                       phone(QStringLiteral("PLAIN1"), false, QStringLiteral("absent"))}));
    const QString backup = itunesBackup();
    ASSERT_FALSE(backup.isEmpty());
    const QJsonArray source =
        json(cli({QStringLiteral("--json"), QStringLiteral("messages"), QStringLiteral("itunes:") + backup}))
            .array();
    ASSERT_FALSE(source.isEmpty());

    for (const QString &serial :
         {QStringLiteral("HELPER1"), QStringLiteral("ADBONLY1"), QStringLiteral("PLAIN1")}) {
        const QJsonObject result =
            json(cli({QStringLiteral("--json"), QStringLiteral("--yes"), QStringLiteral("transfer"),
                      QStringLiteral("itunes:") + backup, QStringLiteral("--to-android"), serial}))
                .object();
        EXPECT_EQ(result.value(QStringLiteral("messages")).toInt(), source.size()) << qPrintable(serial);
        EXPECT_EQ(result.value(QStringLiteral("verified")).toInt(), source.size()) << qPrintable(serial);
        EXPECT_EQ(result.value(QStringLiteral("phone_messages_after")).toInt(),
                  result.value(QStringLiteral("phone_messages_before")).toInt() + source.size());
        // Safety copies of the phone's state before the transfer.
        const QString cache = m_dir.filePath(QStringLiteral("data/android_cache"));
        const QStringList phones = QDir(cache).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        bool copies = false;
        for (const QString &folder : phones)
            copies = copies
                     || !QDir(cache + QLatin1Char('/') + folder + QStringLiteral("/dbfiles-before-restore"))
                             .entryList({QStringLiteral("*.dbdir")}, QDir::Dirs)
                             .isEmpty();
        EXPECT_TRUE(copies);

        // Again: nothing is doubled.
        const QJsonObject again =
            json(cli({QStringLiteral("--json"), QStringLiteral("--yes"), QStringLiteral("transfer"),
                      QStringLiteral("itunes:") + backup, QStringLiteral("--to-android"), serial}))
                .object();
        EXPECT_EQ(again.value(QStringLiteral("phone_messages_after")).toInt(),
                  result.value(QStringLiteral("phone_messages_after")).toInt());
        EXPECT_EQ(again.value(QStringLiteral("verified")).toInt(), source.size());
    }
}

TEST_F(AndroidPhoneCli, TransferThatDoesNotReachThePhoneFailsNamingTheMissingMessages)
{
    // The phone takes the restore archive but keeps its data as it was.
    QJsonObject ignoring = phone(QStringLiteral("PLAIN1"), false, QStringLiteral("absent"));
    ignoring.insert(QStringLiteral("restore"), QStringLiteral("ignored"));
    ASSERT_TRUE(start({ignoring}));
    const QString backup = itunesBackup();
    ASSERT_FALSE(backup.isEmpty());
    const int sent =
        json(cli({QStringLiteral("--json"), QStringLiteral("messages"), QStringLiteral("itunes:") + backup}))
            .array()
            .size();
    ASSERT_GT(sent, 0);
    const ProcessResult r =
        cli({QStringLiteral("--json"), QStringLiteral("--yes"), QStringLiteral("transfer"),
             QStringLiteral("itunes:") + backup, QStringLiteral("--to-android"), QStringLiteral("PLAIN1")});
    EXPECT_EQ(r.exitCode, 1) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(
        QStringLiteral("%1 of the %1 transferred messages are missing on the phone").arg(sent).toUtf8()))
        << r.err.toStdString();
}

TEST(AndroidPhoneCliWithoutAdb, MissingAdbIsNamed)
{
    QTemporaryDir dir;
    const ProcessResult r =
        run(binDir() + QStringLiteral("/velloran-kik"),
            {QStringLiteral("--data-root"), dir.path(), QStringLiteral("chats"), QStringLiteral("adb:auto")},
            QByteArray(), 60000, {QStringLiteral("PATH=") + dir.path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("adb is missing or failed (run adb failed.)")) << r.err.toStdString();
}

// A full disk on the computer: the tool says so, names the folder it could
// not write, and ends with 1; the phone's data stays as it was.
TEST_F(AndroidPhoneCli, AFullDiskIsReportedAsSuch)
{
    ASSERT_TRUE(start({phone(QStringLiteral("ROOT1"), true, QStringLiteral("installed"))}));
    const QString kikDb =
        root(QStringLiteral("ROOT1")) + QStringLiteral("/data/data/kik.android/databases/kikDatabase.db");
    const QByteArray before = readFile(kikDb);
    ASSERT_FALSE(before.isEmpty());
    // Every file the tool (and the adb it starts) writes is cut at 4 KiB, as
    // on a full disk: the write fails with EFBIG instead of ending the tool.
    ProcessResult r;
    {
        TestSupport::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.ok());
        r = cli({QStringLiteral("--yes"), QStringLiteral("chats"), QStringLiteral("adb:ROOT1")});
    }

    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QString err = QString::fromUtf8(r.err);
    EXPECT_TRUE(err.contains(QStringLiteral("There is not enough free space on the computer's disk to write ")
                             + QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("data")))))
        << r.err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("Free some space and try again."))) << r.err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("corrupted"))) << r.err.toStdString();
    EXPECT_EQ(readFile(kikDb), before);
}
