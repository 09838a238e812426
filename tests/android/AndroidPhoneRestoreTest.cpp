// Transfers onto emulated phones with the real adb client: the merged
// database put back as superuser (helper or adb-only channel) or by
// Android's restore, nothing lost or doubled, and a cancel at any step
// leaving the phone as it was.
#include "AndroidPhoneFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace {

// The phone's record of superuser changes to `path` ("chown", "chmod",
// "restorecon"), in order.
QStringList opsOn(const QJsonObject &files, const QString &path)
{
    QStringList ops;
    for (const QJsonValue &op : files.value(QStringLiteral("ops")).toArray()) {
        if (op.toObject().value(QStringLiteral("path")).toString() == path)
            ops << op.toObject().value(QStringLiteral("op")).toString();
    }
    return ops;
}

// One attribute ("owner", "mode") of a file in the phone's file record.
QString fileAttribute(const QJsonObject &files, const QString &path, const QString &attribute)
{
    return files.value(QStringLiteral("files")).toObject().value(path).toObject().value(attribute).toString();
}

// How many command lines the phone ran that copy a file into Kik's folder
// one by one.
int fileByFileCopies(const QJsonArray &log)
{
    int copies = 0;
    for (const QJsonValue &entry : log) {
        const QString text = entry.toObject().value(QStringLiteral("text")).toString();
        copies += text.contains(QStringLiteral("dd if="))
                          && text.contains(QStringLiteral("of='/data/data/kik.android/"))
                      ? 1
                      : 0;
    }
    return copies;
}

// Cancels the job at its n-th progress report.
class CancelAtReport : public HeadlessProgress
{
public:
    explicit CancelAtReport(int n) : m_n(n) {}
    void updateProgress(const QString &status, int percent, const QString &text) override
    {
        HeadlessProgress::updateProgress(status, percent, text);
        if (updates() == m_n)
            cancel();
    }

private:
    int m_n;
};

} // namespace

TEST_F(AndroidPhoneTest, TransferKeepsThePhonesMessagesAndAddsTheNewOnesOnce)
{
    ASSERT_TRUE(start({kikPhone(QStringLiteral("HELPER1"), true, QStringLiteral("installed")),
                       kikPhone(QStringLiteral("ADBONLY1"), true, QStringLiteral("absent"))}));
    const AndroidLoaded other = otherMessages(3);
    const KikMessageList messages = other.data->allMessages();
    ASSERT_FALSE(messages.isEmpty());
    const QStringList newThumbs{QStringLiteral("thumb-o-t-1"), QStringLiteral("thumb-o-t-2"),
                                QStringLiteral("thumb-o-t-3")};
    for (const QString &serial : {QStringLiteral("HELPER1"), QStringLiteral("ADBONLY1")}) {
        const QStringList before = phoneUids(serial);
        const AndroidDevice device = connectOk(serial);
        const auto phone = makeAndroidPhone(device);
        ASSERT_TRUE(loadsOk(*phone));

        HeadlessProgress progress;
        restore(*phone, messages, progress);
        ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << progress.errorText().toStdString();
        EXPECT_EQ(progress.successText(),
                  QStringLiteral("Successfully transferred %1 Messages to Android.").arg(messages.size()));
        EXPECT_TRUE(progress.tips().isEmpty()) << progress.tips().join(QStringLiteral("|")).toStdString();

        const QStringList after = phoneUids(serial);
        EXPECT_EQ(QSet<QString>(after.cbegin(), after.cend()).size(), after.size()) << "a message is doubled";
        for (const QString &uid : before)
            EXPECT_TRUE(after.contains(uid)) << qPrintable(uid);
        for (const _KikMessage *m : messages)
            EXPECT_TRUE(after.contains(m->uid)) << qPrintable(m->uid);

        // Kik can open what was put back: its owner, a security context, no
        // leftovers beside it or on the shared storage.
        auto owner = [&](const QString &path) {
            return m_emulator
                .adb({QStringLiteral("-s"), serial, QStringLiteral("shell"),
                      QStringLiteral("su -c 'stat -c %u:%g ") + path + QStringLiteral("'")})
                .out.trimmed();
        };
        EXPECT_EQ(owner(QStringLiteral("/data/data/kik.android/databases/kikDatabase.db")),
                  owner(QStringLiteral("/data/data/kik.android")));
        EXPECT_FALSE(owner(QStringLiteral("/data/data/kik.android")).isEmpty());
        bool relabelled = false;
        for (const QJsonValue &op : m_emulator.files(serial).value(QStringLiteral("ops")).toArray()) {
            const QJsonObject o = op.toObject();
            relabelled = relabelled
                         || (o.value(QStringLiteral("op")) == QStringLiteral("restorecon")
                             && o.value(QStringLiteral("path"))
                                    == QStringLiteral("/data/data/kik.android/databases/kikDatabase.db"));
        }
        EXPECT_TRUE(relabelled) << qPrintable(serial);
        EXPECT_EQ(
            QDir(kikFolder(serial) + QStringLiteral("/databases")).entryList(QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("kikDatabase.db")});
        EXPECT_FALSE(QFileInfo::exists(rootOf(serial) + QStringLiteral("/sdcard/Kik/su")));

        // The new thumbnails arrive whole, each Kik's, with the mode the
        // database gets and its security context.
        const QJsonObject files = m_emulator.files(serial);
        for (const QString &name : newThumbs) {
            const QString path = QStringLiteral("/data/data/kik.android/files/staging/thumbs/") + name;
            EXPECT_EQ(
                TestSupport::readFile(kikFolder(serial) + QStringLiteral("/files/staging/thumbs/") + name),
                otherThumb(name))
                << qPrintable(name);
            EXPECT_EQ(owner(path), owner(QStringLiteral("/data/data/kik.android"))) << qPrintable(name);
            EXPECT_EQ(fileAttribute(files, path, QStringLiteral("mode")), QStringLiteral("777"))
                << qPrintable(name);
            EXPECT_TRUE(opsOn(files, path).contains(QStringLiteral("restorecon"))) << qPrintable(name);
        }
        // All of them went in one archive, not one superuser copy each.
        EXPECT_EQ(fileByFileCopies(m_emulator.log(serial)), 0) << qPrintable(serial);
    }
}

TEST_F(AndroidPhoneTest, PhonesWithFewerToolsStillTakeTheFilesAsKiksOwn)
{
    // A phone from before toybox (no tar: one copy per file) and one
    // without restorecon (nothing to relabel).
    ASSERT_TRUE(
        start({kikPhone(QStringLiteral("NOTAR1"), true, QStringLiteral("absent"),
                        {{QStringLiteral("missing_commands"), QJsonArray{QStringLiteral("tar")}}}),
               kikPhone(QStringLiteral("NOLABEL1"), true, QStringLiteral("installed"),
                        {{QStringLiteral("missing_commands"), QJsonArray{QStringLiteral("restorecon")}}})}));
    const AndroidLoaded other = otherMessages(2);
    const KikMessageList messages = other.data->allMessages();
    for (const QString &serial : {QStringLiteral("NOTAR1"), QStringLiteral("NOLABEL1")}) {
        const AndroidDevice device = connectOk(serial);
        const auto phone = makeAndroidPhone(device);
        ASSERT_TRUE(loadsOk(*phone));
        HeadlessProgress progress;
        restore(*phone, messages, progress);
        ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << progress.errorText().toStdString();
        EXPECT_TRUE(progress.tips().isEmpty())
            << qPrintable(serial) << progress.tips().join(QStringLiteral("|")).toStdString();
        const QStringList after = phoneUids(serial);
        for (const _KikMessage *m : messages)
            EXPECT_TRUE(after.contains(m->uid)) << qPrintable(serial) << " " << qPrintable(m->uid);
        const QJsonObject files = m_emulator.files(serial);
        const QString kikOwner =
            fileAttribute(files, QStringLiteral("/data/data/kik.android/databases/kikDatabase.db"),
                          QStringLiteral("owner"));
        EXPECT_EQ(kikOwner, QStringLiteral("u0_a150")) << qPrintable(serial);
        for (const QString &name : {QStringLiteral("thumb-o-t-1"), QStringLiteral("thumb-o-t-2")}) {
            const QString path = QStringLiteral("/data/data/kik.android/files/staging/thumbs/") + name;
            EXPECT_EQ(
                TestSupport::readFile(kikFolder(serial) + QStringLiteral("/files/staging/thumbs/") + name),
                otherThumb(name))
                << qPrintable(serial) << " " << qPrintable(name);
            EXPECT_EQ(fileAttribute(files, path, QStringLiteral("owner")), QStringLiteral("u0_a150"))
                << qPrintable(serial) << " " << qPrintable(name);
        }
        EXPECT_EQ(
            QDir(kikFolder(serial) + QStringLiteral("/databases")).entryList(QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("kikDatabase.db")});
        EXPECT_FALSE(QFileInfo::exists(rootOf(serial) + QStringLiteral("/sdcard/Kik/su")))
            << qPrintable(serial);
    }
    EXPECT_GT(fileByFileCopies(m_emulator.log(QStringLiteral("NOTAR1"))), 2);
    EXPECT_EQ(fileByFileCopies(m_emulator.log(QStringLiteral("NOLABEL1"))), 0);
}

TEST_F(AndroidPhoneTest, AFailedPushOfDataReadAsSuperuserFailsWithoutAPretendedRestore)
{
    // The owner cannot be given, so the push fails. The tree was read as
    // superuser and has no app manifest: Android's restore would ignore it,
    // so the job must fail instead of sending it and reporting success.
    ASSERT_TRUE(
        start({kikPhone(QStringLiteral("NOCHOWN2"), true, QStringLiteral("absent"),
                        {{QStringLiteral("missing_commands"), QJsonArray{QStringLiteral("chown")}}})}));
    const QStringList before = phoneUids(QStringLiteral("NOCHOWN2"));
    const AndroidDevice device = connectOk(QStringLiteral("NOCHOWN2"));
    const auto phone = makeAndroidPhone(device);
    ASSERT_TRUE(loadsOk(*phone));
    const AndroidLoaded other = otherMessages(2);
    HeadlessProgress progress;
    restore(*phone, other.data->allMessages(), progress);
    EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
    EXPECT_TRUE(progress.errorText().contains(QStringLiteral("nothing on the phone was changed")))
        << progress.errorText().toStdString();
    EXPECT_TRUE(progress.tips().isEmpty()) << progress.tips().join(QStringLiteral("|")).toStdString();
    EXPECT_TRUE(m_emulator.log(QStringLiteral("NOCHOWN2"), QStringLiteral("restore")).isEmpty());
    EXPECT_EQ(phoneUids(QStringLiteral("NOCHOWN2")), before);
    EXPECT_FALSE(QFileInfo::exists(kikFolder(QStringLiteral("NOCHOWN2"))
                                   + QStringLiteral("/databases/kikDatabase.db.velloran-new")));
    EXPECT_FALSE(QFileInfo::exists(rootOf(QStringLiteral("NOCHOWN2")) + QStringLiteral("/sdcard/Kik/su")));
}

TEST_F(AndroidPhoneTest, FailedUnpackingFallsBackToAndroidsRestore)
{
    // tar and xargs are there, but the owner cannot be given: the files
    // would be no use to Kik, so the push counts as failed and the job goes
    // on with Android's restore. That needs the app manifest a phone backup
    // carries; it is put in the loaded tree as a backup load leaves it.
    ASSERT_TRUE(
        start({kikPhone(QStringLiteral("NOCHOWN1"), true, QStringLiteral("absent"),
                        {{QStringLiteral("missing_commands"), QJsonArray{QStringLiteral("chown")}}})}));
    const AndroidDevice device = connectOk(QStringLiteral("NOCHOWN1"));
    const auto phone = makeAndroidPhone(device);
    ASSERT_TRUE(loadsOk(*phone));
    TestSupport::writeFile(
        device.cacheFolder().filePath(QStringLiteral("ab-extract/apps/kik.android/_manifest")),
        "1\nkik.android\n");
    const AndroidLoaded other = otherMessages(2);
    HeadlessProgress progress;
    restore(*phone, other.data->allMessages(), progress);
    ASSERT_EQ(progress.tips().size(), 2) << progress.tips().join(QStringLiteral("|")).toStdString();
    EXPECT_TRUE(progress.tips().first().contains(QStringLiteral("another mode")))
        << progress.tips().first().toStdString();
    EXPECT_TRUE(progress.tips().last().contains(QStringLiteral("restore")))
        << progress.tips().last().toStdString();
    // The restore archive went to the phone; the database the push left
    // beside the phone's is gone, and so is the staging folder.
    bool restoreArrived = false;
    for (const QJsonValue &entry : m_emulator.log(QStringLiteral("NOCHOWN1"), QStringLiteral("restore")))
        restoreArrived = restoreArrived
                         || entry.toObject()
                                .value(QStringLiteral("text"))
                                .toString()
                                .startsWith(QStringLiteral("archive of"));
    EXPECT_TRUE(restoreArrived);
    EXPECT_FALSE(QFileInfo::exists(kikFolder(QStringLiteral("NOCHOWN1"))
                                   + QStringLiteral("/databases/kikDatabase.db.velloran-new")));
    EXPECT_FALSE(QFileInfo::exists(rootOf(QStringLiteral("NOCHOWN1")) + QStringLiteral("/sdcard/Kik/su")));
    // Nothing the cache keeps for undoing lies in the archive's tree.
    EXPECT_FALSE(QFileInfo::exists(
        device.cacheFolder().filePath(QStringLiteral("ab-extract/apps/kik.android/db.before-restore"))));
    for (const QJsonValue &entry : m_emulator.log(QStringLiteral("NOCHOWN1"), QStringLiteral("restore")))
        EXPECT_FALSE(entry.toObject()
                         .value(QStringLiteral("text"))
                         .toString()
                         .contains(QStringLiteral("before-restore")))
            << entry.toObject().value(QStringLiteral("text")).toString().toStdString();
}

TEST_F(AndroidPhoneTest, PlainPhoneTakesTheTransferByAndroidsRestore)
{
    ASSERT_TRUE(start({kikPhone(QStringLiteral("PLAIN1"), false, QStringLiteral("absent"))}));
    // Kik's hidden files must survive a restore, which replaces the app's data.
    TestSupport::writeFile(kikFolder(QStringLiteral("PLAIN1")) + QStringLiteral("/files/.kik_state"),
                           "hidden state");
    const QStringList before = phoneUids(QStringLiteral("PLAIN1"));
    const AndroidDevice device = connectOk(QStringLiteral("PLAIN1"));
    const auto phone = makeAndroidPhone(device);
    ASSERT_TRUE(loadsOk(*phone));
    const AndroidLoaded other = otherMessages(); // owns the messages
    const KikMessageList messages = other.data->allMessages();
    HeadlessProgress progress;
    restore(*phone, messages, progress);
    ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << progress.errorText().toStdString();
    ASSERT_EQ(progress.tips().size(), 1);
    EXPECT_TRUE(progress.tips().first().contains(QStringLiteral("restore")))
        << progress.tips().first().toStdString();
    const QStringList after = phoneUids(QStringLiteral("PLAIN1"));
    for (const QString &uid : before)
        EXPECT_TRUE(after.contains(uid)) << qPrintable(uid);
    for (const _KikMessage *m : messages)
        EXPECT_TRUE(after.contains(m->uid)) << qPrintable(m->uid);
    EXPECT_EQ(
        TestSupport::readFile(kikFolder(QStringLiteral("PLAIN1")) + QStringLiteral("/files/.kik_state")),
        "hidden state");
}

TEST_F(AndroidPhoneTest, CancelAtAnyStepLeavesPhoneAndCacheAsTheyWere)
{
    ASSERT_TRUE(start({kikPhone(QStringLiteral("HELPER1"), true, QStringLiteral("installed")),
                       kikPhone(QStringLiteral("ADBONLY1"), true, QStringLiteral("absent"))}));
    // New thumbnails too: a cancel must not leave any of them behind.
    const AndroidLoaded other = otherMessages(3); // owns the messages
    const KikMessageList messages = other.data->allMessages();
    for (const QString &serial : {QStringLiteral("HELPER1"), QStringLiteral("ADBONLY1")}) {
        const AndroidDevice device = connectOk(serial);
        const auto phone = makeAndroidPhone(device);
        ASSERT_TRUE(loadsOk(*phone));
        const auto phoneBefore = snapshot(rootOf(serial));
        const QString cacheDb =
            device.cacheFolder().filePath(QStringLiteral("ab-extract/apps/kik.android/db"));
        const auto cacheBefore = snapshot(cacheDb);

        // How many reports a whole run makes, on a copy of the phone.
        int reports = 0;
        for (int n = 1; n < 200; ++n) {
            CancelAtReport progress(n);
            restore(*phone, messages, progress, true);
            if (progress.updates() < n) {
                // Fewer reports than n: the run completed without a cancel.
                EXPECT_EQ(progress.result(), HeadlessProgress::Succeeded)
                    << progress.errorText().toStdString();
                reports = n - 1;
                break;
            }
            EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
            EXPECT_TRUE(progress.errorText().isEmpty()) << n << " " << progress.errorText().toStdString();
            const auto phoneAfter = snapshot(rootOf(serial));
            QStringList changed;
            for (auto it = phoneAfter.cbegin(); it != phoneAfter.cend(); ++it) {
                if (phoneBefore.value(it.key()) != it.value())
                    changed << it.key();
            }
            for (auto it = phoneBefore.cbegin(); it != phoneBefore.cend(); ++it) {
                if (!phoneAfter.contains(it.key()))
                    changed << it.key() + QStringLiteral(" (gone)");
            }
            EXPECT_TRUE(changed.isEmpty()) << qPrintable(serial) << " cancelled at report " << n << ": "
                                           << changed.join(QStringLiteral(", ")).toStdString();
            EXPECT_TRUE(snapshot(cacheDb) == cacheBefore)
                << qPrintable(serial) << " cancelled at report " << n;
        }
        EXPECT_GT(reports, 3) << qPrintable(serial);
    }
}

TEST_F(AndroidPhoneTest, PhoneGoneDuringTheRootPushKeepsItsDatabase)
{
    ASSERT_TRUE(start({kikPhone(QStringLiteral("GONE1"), true, QStringLiteral("installed"))}));
    const AndroidDevice device = connectOk(QStringLiteral("GONE1"));
    const auto phone = makeAndroidPhone(device);
    ASSERT_TRUE(loadsOk(*phone));
    const QByteArray phoneDb = TestSupport::readFile(kikFolder(QStringLiteral("GONE1"))
                                                     + QStringLiteral("/databases/kikDatabase.db"));
    const QString cacheDb = device.cacheFolder().filePath(QStringLiteral("ab-extract/apps/kik.android/db"));
    const auto cacheBefore = snapshot(cacheDb);
    ASSERT_TRUE(m_emulator.set(QStringLiteral("GONE1"), {{QStringLiteral("gone_after_bytes"), 30000}}));
    HeadlessProgress progress;
    const AndroidLoaded other = otherMessages();
    restore(*phone, other.data->allMessages(), progress);
    EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
    EXPECT_FALSE(progress.errorText().isEmpty());
    EXPECT_EQ(TestSupport::readFile(kikFolder(QStringLiteral("GONE1"))
                                    + QStringLiteral("/databases/kikDatabase.db")),
              phoneDb);
    EXPECT_EQ(QDir(kikFolder(QStringLiteral("GONE1")) + QStringLiteral("/databases"))
                  .entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("kikDatabase.db")});
    EXPECT_EQ(snapshot(cacheDb), cacheBefore);
}
