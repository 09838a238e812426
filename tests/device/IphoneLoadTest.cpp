// Loading Kik from the emulated iPhone with the real libimobiledevice and
// the real idevicebackup2: the copy out of Kik's container with its cache,
// the faults a phone can show, and the fallback to a device backup.
#include "EmulatedIphone.h"

#include "app/DeviceBackupRoot.h"
#include "db/FileCacheIndex.h"
#include "device/IOSMobileBackupThread.h"
#include "ios/BackupManifest.h"
#include "ios/BackupSettingsCheck.h"
#include "ios/IOSKikDb.h"
#include "ios/IOSLoadKikMessagesThread.h"
#include "ios/IphoneKikLoadFlow.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using namespace EmulatedIphone;

// Cancels the job as soon as a progress text names `fileName`.
class CancelOnFile : public HeadlessProgress
{
public:
    explicit CancelOnFile(const QString &fileName) : m_fileName(fileName) {}
    void updateProgress(const QString &status, int percent, const QString &text) override
    {
        HeadlessProgress::updateProgress(status, percent, text);
        if (text.startsWith(QStringLiteral("Loading ") + m_fileName + QLatin1Char(',')))
            cancel();
    }

private:
    QString m_fileName;
};

// Cancels the job at its first progress that carries only a percentage (the
// backup tool's estimate), and counts the job's reports of success and
// failure even after the cancel (a dialog that is closing would show them).
class CancelOnEstimate : public HeadlessProgress
{
public:
    void updateProgress(const QString &status, int percent, const QString &text) override
    {
        HeadlessProgress::updateProgress(status, percent, text);
        if (status.isEmpty() && text.isEmpty())
            cancel();
    }
    void succeed(const QString &text) override
    {
        ++reports;
        HeadlessProgress::succeed(text);
    }
    void errorOccurred(const QString &text) override
    {
        ++reports;
        HeadlessProgress::errorOccurred(text);
    }
    int reports = 0;
};

class TestLoadUi : public IphoneLoadUi
{
public:
    std::unique_ptr<JobProgress> newProgress() override { return std::make_unique<HeadlessProgress>(); }
    bool runJob(QThread &job, JobProgress &progress) override
    {
        JobRunner::runToEnd(job);
        auto &headless = static_cast<HeadlessProgress &>(progress);
        if (!headless.errorText().isEmpty())
            errors.append(headless.errorText());
        return headless.result() == HeadlessProgress::Succeeded;
    }
    bool unlockBackup(BackupManifest &backup) override
    {
        ++passwordQuestions;
        return !password.isEmpty() && backup.unlock(password);
    }
    void showWarning(const BackupSettingsWarning &warning) override { warnings.append(warning.text); }
    void showError(const QString &text) override { errors.append(text); }

    QString password;
    int passwordQuestions = 0;
    QStringList errors;
    QStringList warnings;
};

// Files below a folder, relative to it, with their bytes.
QMap<QString, QByteArray> tree(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), TestSupport::readFile(path));
    }
    return files;
}

QStringList messageRows(const QString &appFolder)
{
    IOSKikDb db(appFolder);
    KikDataSet data;
    db.loadAll(data);
    QStringList rows;
    for (const _KikMessage *message : std::as_const(data.messages)) {
        rows.append(QStringList{message->uid, message->body, message->ts.toString(Qt::ISODateWithMs),
                                message->rec_ts.toString(Qt::ISODateWithMs), QString::number(message->was_me),
                                message->content_id, message->app_id,
                                message->chat && message->chat->user ? message->chat->user->jid : QString(),
                                QDir(appFolder).relativeFilePath(message->content_path)}
                        .join(QLatin1Char('|')));
    }
    rows.sort();
    return rows;
}

class IphoneLoadTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(store.build()); }

    void start(const QJsonObject &extra)
    {
        QJsonObject settings{{QStringLiteral("kik_container"), store.app}};
        for (auto it = extra.begin(); it != extra.end(); ++it)
            settings.insert(it.key(), it.value());
        ASSERT_TRUE(emu.start(QJsonObject{{QStringLiteral("devices"), QJsonArray{device(kUdid, settings)}}}))
            << emu.errorOutput().constData();
        emu.applyToThisProcess();
    }
    void setFaults(const QJsonObject &faults)
    {
        ASSERT_TRUE(emu.set(kUdid, {{QStringLiteral("faults"), faults}}));
    }
    // Runs the container copy; its progress stays in `progress`.
    std::unique_ptr<IOSLoadKikMessagesThread> load(HeadlessProgress &progress, int timeoutMs = 20000)
    {
        auto job = std::make_unique<IOSLoadKikMessagesThread>(mobileDeviceStack().device(kUdid), &progress);
        job->setReplyTimeoutMs(timeoutMs);
        JobRunner::runToEnd(*job);
        return job;
    }
    QString cacheDocuments() const
    {
        return QDir(root.path())
            .filePath(QStringLiteral("ios_cache/") + kUdid + QStringLiteral("/com.kik.chat/Documents"));
    }
    QString cachedStore() const { return QDir(cacheDocuments()).filePath(QStringLiteral("kik.sqlite")); }
    qint64 cachedDate(const QString &devicePath) const
    {
        FileCacheIndex index(
            QDir(root.path())
                .filePath(QStringLiteral("ios_cache/") + kUdid + QStringLiteral("/com.kik.manifest.db")));
        return index.lastDate(devicePath);
    }
    QString firstMediaFile() const
    {
        QDirIterator it(QDir(store.app).filePath(QStringLiteral("Documents/attachments")), QDir::Files);
        return it.hasNext() ? it.next() : QString();
    }

    TestSupport::ScopedDataRoot root;
    IOSKikStoreFixture store;
    IphoneEmulator emu;
};

TEST_F(IphoneLoadTest, ContainerCopyGivesTheStoreAndMediaFieldForField)
{
    start({});
    HeadlessProgress progress;
    const auto job = load(progress);
    ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << progress.errorText().toStdString();
    EXPECT_FALSE(job->needsBackup());
    EXPECT_EQ(tree(cacheDocuments()), tree(QDir(store.app).filePath(QStringLiteral("Documents"))));
    const QStringList fromPhone = messageRows(job->kikFolder().absolutePath());
    EXPECT_FALSE(fromPhone.isEmpty());
    EXPECT_EQ(fromPhone, messageRows(store.app));
}

TEST_F(IphoneLoadTest, SecondLoadCopiesOnlyTheStoreAndChangedMedia)
{
    start({});
    HeadlessProgress first;
    load(first);
    ASSERT_EQ(first.result(), HeadlessProgress::Succeeded) << first.errorText().toStdString();
    const QMap<QString, int> afterFirst = opens(emu, kUdid);
    EXPECT_GT(afterFirst.size(), 3);

    HeadlessProgress second;
    load(second);
    ASSERT_EQ(second.result(), HeadlessProgress::Succeeded);
    QMap<QString, int> opened = opens(emu, kUdid);
    QStringList again;
    for (auto it = opened.cbegin(); it != opened.cend(); ++it) {
        if (it.value() > 1)
            again.append(it.key());
    }
    EXPECT_EQ(again, QStringList{QStringLiteral("/Documents/kik.sqlite")});

    // A media file that changed on the phone is copied on the next load.
    const QString media = firstMediaFile();
    ASSERT_FALSE(media.isEmpty());
    QFile file(media);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-5), QFileDevice::FileModificationTime);
    file.close();
    HeadlessProgress third;
    load(third);
    const QString devicePath = QStringLiteral("/Documents/attachments/") + QFileInfo(media).fileName();
    EXPECT_EQ(opens(emu, kUdid).value(devicePath), opened.value(devicePath) + 1);
}

TEST_F(IphoneLoadTest, ReadErrorInTheStoreFailsAndLeavesNoStoreBehind)
{
    start({{QStringLiteral("faults"),
            QJsonObject{{QStringLiteral("afc_read_error"), 4},
                        {QStringLiteral("afc_read_error_path"), QStringLiteral("kik.sqlite")}}}});
    HeadlessProgress progress;
    load(progress);
    EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
    EXPECT_TRUE(progress.errorText().contains(QStringLiteral("/Documents/kik.sqlite")));
    EXPECT_TRUE(progress.errorText().contains(QStringLiteral("incomplete")));
    EXPECT_FALSE(QFileInfo::exists(cachedStore()));
}

TEST_F(IphoneLoadTest, MediaFileCutShortIsCopiedAgainNextTime)
{
    const QString media = QFileInfo(firstMediaFile()).fileName();
    start({{QStringLiteral("faults"), QJsonObject{{QStringLiteral("afc_read_error"), 4},
                                                  {QStringLiteral("afc_read_error_path"), media}}}});
    const QString devicePath = QStringLiteral("/Documents/attachments/") + media;
    HeadlessProgress progress;
    auto job = load(progress);
    ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << progress.errorText().toStdString();
    EXPECT_EQ(job->incompleteFiles(), QStringList{devicePath});
    EXPECT_EQ(cachedDate(devicePath), 0);

    setFaults({});
    HeadlessProgress again;
    job = load(again);
    EXPECT_TRUE(job->incompleteFiles().isEmpty());
    EXPECT_EQ(opens(emu, kUdid).value(devicePath), 2);
    EXPECT_GT(cachedDate(devicePath), 0);
}

TEST_F(IphoneLoadTest, PhoneUnpluggedMidCopyIsAnErrorWithoutAStore)
{
    start({{QStringLiteral("faults"), QJsonObject{{QStringLiteral("drop_after_bytes"), 1000}}}});
    HeadlessProgress progress;
    load(progress);
    EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
    EXPECT_FALSE(progress.errorText().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(cachedStore()));
}

TEST_F(IphoneLoadTest, StalledPhoneEndsInAnErrorWithinTheReplyTimeout)
{
    start({{QStringLiteral("faults"), QJsonObject{{QStringLiteral("stall"), QStringLiteral("afc_read")}}}});
    HeadlessProgress progress;
    load(progress, 1000);
    EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
    EXPECT_TRUE(progress.errorText().contains(QStringLiteral("incomplete")))
        << progress.errorText().toStdString();
    EXPECT_FALSE(QFileInfo::exists(cachedStore()));
}

TEST_F(IphoneLoadTest, HostileRepliesEndInErrorsNotCrashes)
{
    start({});
    for (const char *kind : {"huge_entire", "unknown_op", "bad_magic", "short_this", "truncated"}) {
        setFaults({{QStringLiteral("afc_hostile"), QString::fromLatin1(kind)},
                   {QStringLiteral("afc_hostile_op"), QStringLiteral("FILE_READ")}});
        HeadlessProgress progress;
        load(progress, 1000);
        // A reply that breaks no rule (a short "this length") may pass; the
        // others must fail the store's copy.
        if (QByteArray(kind) != "short_this") {
            EXPECT_EQ(progress.result(), HeadlessProgress::Failed) << kind;
            EXPECT_FALSE(QFileInfo::exists(cachedStore())) << kind;
        }
    }
}

TEST_F(IphoneLoadTest, HostileContainerReplyCountsAsARefusal)
{
    start({});
    for (const char *kind : {"huge_length", "zero_length", "garbage"}) {
        setFaults({{QStringLiteral("house_arrest_hostile"), QString::fromLatin1(kind)}});
        HeadlessProgress progress;
        const auto job = load(progress, 2000);
        EXPECT_EQ(progress.result(), HeadlessProgress::Succeeded)
            << kind << progress.errorText().toStdString();
        EXPECT_TRUE(job->needsBackup()) << kind;
    }
}

TEST_F(IphoneLoadTest, LinksAreNotFollowedAndFailedListingsCopyNothing)
{
    ASSERT_TRUE(QFile::link(QDir(store.dir.path()).filePath(QStringLiteral("expected.json")),
                            QDir(store.app).filePath(QStringLiteral("Documents/attachments/outside-link"))));
    start({{QStringLiteral("faults"),
            QJsonObject{{QStringLiteral("afc_list_error"), 4},
                        {QStringLiteral("afc_list_error_path"), QStringLiteral("profpix")}}}});
    HeadlessProgress progress;
    load(progress);
    ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << progress.errorText().toStdString();
    EXPECT_FALSE(
        QFileInfo::exists(QDir(cacheDocuments()).filePath(QStringLiteral("attachments/outside-link"))));
    EXPECT_FALSE(QFileInfo::exists(QDir(cacheDocuments()).filePath(QStringLiteral("profpix"))));
    EXPECT_TRUE(QFileInfo::exists(cachedStore()));
}

TEST_F(IphoneLoadTest, CancelMidFileLeavesNoPartialFileAndNoCacheEntry)
{
    const QString big = QDir(store.app).filePath(QStringLiteral("Documents/content_manager/big-video"));
    TestSupport::writeFile(big, QByteArray(32 * 1024 * 1024, 'v'));
    start({});
    CancelOnFile progress(QStringLiteral("big-video"));
    load(progress);
    EXPECT_TRUE(progress.isCancelled());
    EXPECT_FALSE(
        QFileInfo::exists(QDir(cacheDocuments()).filePath(QStringLiteral("content_manager/big-video"))));
    EXPECT_EQ(cachedDate(QStringLiteral("/Documents/content_manager/big-video")), 0);
}

class IphoneBackupFallbackTest : public IphoneLoadTest
{
protected:
    void startWithBackup(const QString &kind, const QJsonObject &extra = {})
    {
        const QString source = QDir(store.dir.path()).filePath(QStringLiteral("backup-source"));
        ASSERT_TRUE(makeBackupSource(store.app, source, kind));
        QJsonObject settings{{QStringLiteral("kik_container"), QJsonValue::Null},
                             {QStringLiteral("backup_source"), source}};
        for (auto it = extra.begin(); it != extra.end(); ++it)
            settings.insert(it.key(), it.value());
        start(settings);
    }
    QString deviceBackup() const { return tempBackupRoot().filePath(kUdid); }
};

TEST_F(IphoneBackupFallbackTest, RefusedContainerFallsBackToADeviceBackup)
{
    startWithBackup(QStringLiteral("db"));
    TestLoadUi ui;
    const IphoneKikLoadResult result = loadKikFromIphone(mobileDeviceStack().device(kUdid), ui);
    ASSERT_TRUE(result.loaded) << ui.errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(result.fromBackup);
    EXPECT_EQ(ui.passwordQuestions, 0);
    EXPECT_TRUE(QFileInfo::exists(QDir(deviceBackup()).filePath(QStringLiteral("Manifest.db"))));
    EXPECT_EQ(messageRows(result.kikFolder), messageRows(store.app));
}

TEST_F(IphoneBackupFallbackTest, EncryptedDeviceBackupAsksForThePassword)
{
    startWithBackup(QStringLiteral("db-enc"), {{QStringLiteral("will_encrypt"), true}});
    TestLoadUi refusing;
    EXPECT_FALSE(loadKikFromIphone(mobileDeviceStack().device(kUdid), refusing).loaded);
    EXPECT_EQ(refusing.passwordQuestions, 1);

    TestLoadUi ui;
    ui.password = QStringLiteral("secret");
    const IphoneKikLoadResult result = loadKikFromIphone(mobileDeviceStack().device(kUdid), ui);
    ASSERT_TRUE(result.loaded) << ui.errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(messageRows(result.kikFolder), messageRows(store.app));
}

TEST_F(IphoneBackupFallbackTest, ICloudBackupStopsTheFallbackWithTheWarning)
{
    startWithBackup(QStringLiteral("db"), {{QStringLiteral("icloud_backup"), true}});
    TestLoadUi ui;
    EXPECT_FALSE(loadKikFromIphone(mobileDeviceStack().device(kUdid), ui).loaded);
    EXPECT_EQ(ui.warnings, QStringList{QStringLiteral("Failed to transfer data to device. Please turn off "
                                                      "iCloud backup on your iPhone to try again.")});
    EXPECT_FALSE(QFileInfo::exists(deviceBackup()));
}

TEST_F(IphoneLoadTest, BackupSettingsCheckNamesWhatToChange)
{
    start({{QStringLiteral("icloud_backup"), true}, {QStringLiteral("will_encrypt"), true}});
    MobileDevice &phone = *mobileDeviceStack().device(kUdid);
    const BackupSettingsWarning cloud = checkBackupSettings(phone, true, true);
    EXPECT_EQ(cloud.html(),
              QStringLiteral("Failed to transfer data to device. Please turn off iCloud backup on "
                             "your iPhone to try again.<br/><br/><img src=\":res/close_icloudbk.jpg\"/>"));
    const BackupSettingsWarning encrypted = checkBackupSettings(phone, false, true);
    EXPECT_EQ(encrypted.image, QStringLiteral(":res/close_itunesbkenc.jpg"));
    EXPECT_TRUE(encrypted.text.contains(QStringLiteral("uncheck \"Encrypt iPhone backup\" option")));
    EXPECT_TRUE(checkBackupSettings(phone, false, false).isEmpty());
}

TEST_F(IphoneBackupFallbackTest, BackupFailuresAreWordedAndLeaveNoBackup)
{
    startWithBackup(QStringLiteral("db"));
    const struct
    {
        QJsonObject faults;
        QString start;
    } cases[] = {
        {{{QStringLiteral("backup_drop"), true}}, QStringLiteral("Connection to device lost.")},
        {{{QStringLiteral("backup_error"), 105}}, QString()},
        {{{QStringLiteral("backup_no_status"), true}}, QString()},
    };
    for (const auto &c : cases) {
        setFaults(c.faults);
        HeadlessProgress progress;
        IOSMobileBackupThread job(mobileDeviceStack().device(kUdid), &progress);
        JobRunner::runToEnd(job);
        EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
        if (c.start.isEmpty())
            EXPECT_TRUE(progress.errorText().endsWith(
                QStringLiteral("Note: You can restart your device to try again.")))
                << progress.errorText().toStdString();
        else
            EXPECT_TRUE(progress.errorText().startsWith(c.start)) << progress.errorText().toStdString();
        EXPECT_FALSE(QFileInfo::exists(deviceBackup()));
    }
}

TEST_F(IphoneBackupFallbackTest, CancelStopsTheBackupToolAndKeepsNoBackup)
{
    startWithBackup(
        QStringLiteral("db"),
        {{QStringLiteral("faults"), QJsonObject{{QStringLiteral("stall"), QStringLiteral("backup")}}}});
    CancelOnEstimate progress;
    IOSMobileBackupThread job(mobileDeviceStack().device(kUdid), &progress);
    JobRunner::runToEnd(job);
    EXPECT_TRUE(progress.isCancelled());
    EXPECT_TRUE(job.wasCancelled());
    EXPECT_EQ(progress.reports, 0) << "a cancel is reported neither as success nor as an error";
    EXPECT_TRUE(progress.errorText().isEmpty()) << progress.errorText().toStdString();
    EXPECT_FALSE(QFileInfo::exists(deviceBackup()));
}

TEST_F(IphoneBackupFallbackTest, CancelBeforeTheToolStartsKeepsAFinishedBackup)
{
    // The phone runs the iOS version its backup names, so the backup left by
    // the first run is one a later run would bring up to date.
    startWithBackup(QStringLiteral("db"), {{QStringLiteral("product_version"), QStringLiteral("13.5")}});
    HeadlessProgress first;
    IOSMobileBackupThread made(mobileDeviceStack().device(kUdid), &first);
    JobRunner::runToEnd(made);
    ASSERT_EQ(first.result(), HeadlessProgress::Succeeded) << first.errorText().toStdString();
    const QMap<QString, QByteArray> before = tree(deviceBackup());
    ASSERT_TRUE(IOSMobileBackupThread::isReusable(deviceBackup(), QStringLiteral("13.5")));

    CancelOnEstimate progress;
    progress.cancel();
    IOSMobileBackupThread job(mobileDeviceStack().device(kUdid), &progress);
    JobRunner::runToEnd(job);
    EXPECT_TRUE(job.wasCancelled());
    EXPECT_EQ(progress.reports, 0);
    EXPECT_EQ(tree(deviceBackup()), before) << "the finished backup is kept as it was";
}

} // namespace
