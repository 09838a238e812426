#include "IOSKikStoreFixture.h"

#include "ios/BackupManifest.h"
#include "ios/IOSKikDb.h"
#include "ios/IOSLoadKikFromiTunesThread.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

struct KikBackup
{
    IOSKikStoreFixture store;
    QTemporaryDir dir;
    QString path;
    QJsonArray files;
    std::unique_ptr<BackupManifest> manifest;

    bool build(const QString &kind, const QString &place, const QStringList &storeOptions = {},
               const QStringList &backupOptions = {})
    {
        if (!store.build(storeOptions))
            return false;
        path = dir.filePath(QStringLiteral("backup"));
        const auto result = TestSupport::runPython(
            QStringLiteral("make_ios_kik_backup.py"),
            QStringList{store.app, path, kind, QStringLiteral("--place"), place} + backupOptions);
        EXPECT_EQ(result.exitCode, 0) << result.err.constData();
        if (result.exitCode != 0)
            return false;
        files = QJsonDocument::fromJson(result.out).object().value(QStringLiteral("files")).toArray();
        return open(kind.endsWith(QLatin1String("-enc")));
    }
    bool open(bool encrypted)
    {
        manifest = std::make_unique<BackupManifest>(path);
        manifest->readProperties();
        if (encrypted && !manifest->unlock(QStringLiteral("secret")))
            return false;
        manifest->buildIndex();
        return true;
    }
    QString cache() const { return dir.filePath(QStringLiteral("cache")); }
};

// Every file below a folder, as relative path -> bytes.
QMap<QString, QByteArray> filesBelow(const QString &folder)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        out.insert(QDir(folder).relativeFilePath(file), TestSupport::readFile(file));
    }
    return out;
}

void runJob(IOSLoadKikFromiTunesThread &job)
{
    JobRunner::runToEnd(job);
}

} // namespace

class IOSLoadKikFromiTunes : public ::testing::TestWithParam<std::tuple<const char *, const char *>>
{};

TEST_P(IOSLoadKikFromiTunes, CopiesKikFilesIntoTheAppLayoutAndTheyLoad)
{
    const QString kind = QLatin1String(std::get<0>(GetParam()));
    const QString place = QLatin1String(std::get<1>(GetParam()));
    KikBackup bk;
    ASSERT_TRUE(bk.build(kind, place, {QStringLiteral("--wal")}));
    HeadlessProgress progress;
    IOSLoadKikFromiTunesThread job(bk.manifest.get(), &progress, bk.cache());
    runJob(job);
    ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << qPrintable(progress.errorText());
    EXPECT_TRUE(job.foundData());
    EXPECT_EQ(job.kikCacheFolder().absolutePath(),
              QDir(bk.cache()).absoluteFilePath(QStringLiteral("com.kik.chat")));
    // Exactly the app folder's Documents, byte for byte (the store with its
    // -shm and -wal, attachments, content_manager, profpix) and nothing else.
    const QString documents = job.kikCacheFolder().filePath(QStringLiteral("Documents"));
    const QMap<QString, QByteArray> want =
        filesBelow(QDir(bk.store.app).filePath(QStringLiteral("Documents")));
    const QMap<QString, QByteArray> got = filesBelow(documents);
    EXPECT_EQ(got.keys(), want.keys());
    EXPECT_TRUE(got == want);
    EXPECT_TRUE(got.contains(QStringLiteral("kik.sqlite-wal")));

    IOSKikDb db(job.kikCacheFolder().absolutePath());
    KikDataSet set;
    db.loadAll(set);
    EXPECT_EQ(set.messages.size(), bk.store.messages().size());
    ASSERT_NE(set.message(115), nullptr); // only in the WAL
    EXPECT_EQ(set.message(104)->app_id, QStringLiteral("com.kik.ext.gallery"));
    EXPECT_TRUE(QFileInfo(set.message(104)->content_path).isFile());
}

INSTANTIATE_TEST_SUITE_P(AllFormats, IOSLoadKikFromiTunes,
                         ::testing::Combine(::testing::Values("mbdb", "db", "mbdb-enc", "db-enc"),
                                            ::testing::Values("app", "group")));

TEST(IOSLoadKikFromiTunesJob, BackupWithoutKikReportsNoKikData)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plain"));
    // The generic backup builder's hostile set has no Kik app container.
    const auto result =
        TestSupport::runPython(QStringLiteral("make_itunes_backup.py"),
                               {path, QStringLiteral("db"), QStringLiteral("--bulk"), QStringLiteral("3")});
    ASSERT_EQ(result.exitCode, 0) << result.err.constData();
    BackupManifest manifest(path);
    manifest.readProperties();
    manifest.buildIndex();
    HeadlessProgress progress;
    const QString cache = dir.filePath(QStringLiteral("cache"));
    IOSLoadKikFromiTunesThread job(&manifest, &progress, cache);
    runJob(job);
    EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
    EXPECT_TRUE(progress.errorText().startsWith(QStringLiteral("Found no Kik data in your iTunes Backup.")));
    EXPECT_FALSE(job.foundData());
    EXPECT_FALSE(QFileInfo::exists(cache));
}

TEST(IOSLoadKikFromiTunesJob, CancelRemovesTheCacheFolder)
{
    KikBackup bk;
    ASSERT_TRUE(bk.build(QStringLiteral("db"), QStringLiteral("app")));
    TestSupport::writeFile(QDir(bk.cache()).filePath(QStringLiteral("com.kik.chat/Documents/old")), "x");
    HeadlessProgress progress;
    progress.cancelled = true;
    IOSLoadKikFromiTunesThread job(bk.manifest.get(), &progress, bk.cache());
    runJob(job);
    EXPECT_FALSE(QFileInfo::exists(bk.cache()));
    EXPECT_FALSE(job.foundData());
    EXPECT_TRUE(progress.errorText().isEmpty());
}

TEST(IOSLoadKikFromiTunesJob, MissingBackupFileIsSkippedAndOldDocumentsGo)
{
    KikBackup bk;
    ASSERT_TRUE(bk.build(QStringLiteral("mbdb"), QStringLiteral("app")));
    const QString skipped = QStringLiteral("Documents/profpix/thumb_bob_b2@talk.kik.com");
    for (const auto &v : bk.files) {
        const QJsonObject f = v.toObject();
        if (f.value(QStringLiteral("path")).toString() == skipped) {
            ASSERT_TRUE(QFile::remove(QDir(bk.path).filePath(f.value(QStringLiteral("file_id")).toString())));
        }
    }
    const QString stale = QDir(bk.cache()).filePath(QStringLiteral("com.kik.chat/Documents/stale"));
    TestSupport::writeFile(stale, "old run");
    HeadlessProgress progress;
    IOSLoadKikFromiTunesThread job(bk.manifest.get(), &progress, bk.cache());
    runJob(job);
    ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << qPrintable(progress.errorText());
    EXPECT_TRUE(job.foundData());
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_FALSE(QFileInfo::exists(job.kikCacheFolder().filePath(skipped)));
    EXPECT_TRUE(QFileInfo::exists(
        job.kikCacheFolder().filePath(QStringLiteral("Documents/profpix/orig_anna_x1@talk.kik.com"))));
    EXPECT_FALSE(QFileInfo::exists(job.kikCacheFolder().filePath(QStringLiteral("Documents/other.db"))));
}

// Several accounts leave several core folders in the app-group container;
// the one whose store changed last is copied, and nothing of the others.
// The older cores sort before and after it, so tree order alone cannot pass.
TEST(IOSLoadKikFromiTunesJob, NewestCoreOfTheGroupContainerIsCopied)
{
    for (const QString &kind : {QStringLiteral("mbdb"), QStringLiteral("db-enc")}) {
        SCOPED_TRACE(kind.toStdString());
        KikBackup bk;
        ASSERT_TRUE(bk.build(kind, QStringLiteral("group"), {}, {QStringLiteral("--old-cores")}));
        HeadlessProgress progress;
        IOSLoadKikFromiTunesThread job(bk.manifest.get(), &progress, bk.cache());
        runJob(job);
        ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << qPrintable(progress.errorText());
        EXPECT_TRUE(job.foundData());
        const QString documents = job.kikCacheFolder().filePath(QStringLiteral("Documents"));
        EXPECT_TRUE(filesBelow(documents)
                    == filesBelow(QDir(bk.store.app).filePath(QStringLiteral("Documents"))));
        EXPECT_FALSE(QFileInfo::exists(QDir(documents).filePath(QStringLiteral("attachments/old-only"))));
    }
}

// Records whose names would lead out of the folder they are copied into
// ("..", backslashes) and symbolic links are left in the backup; everything
// else is copied and nothing lands outside the cache.
TEST(IOSLoadKikFromiTunesJob, HostileNamesAreNotCopied)
{
    for (const QString &kind : {QStringLiteral("mbdb"), QStringLiteral("db")}) {
        SCOPED_TRACE(kind.toStdString());
        KikBackup bk;
        ASSERT_TRUE(bk.build(kind, QStringLiteral("app"), {}, {QStringLiteral("--hostile-names")}));
        HeadlessProgress progress;
        // Deep inside the work folder, so that "../../.." stays in reach of
        // the check below.
        const QString cache = QDir(bk.dir.path()).filePath(QStringLiteral("a/b/c/cache"));
        IOSLoadKikFromiTunesThread job(bk.manifest.get(), &progress, cache);
        runJob(job);
        ASSERT_EQ(progress.result(), HeadlessProgress::Succeeded) << qPrintable(progress.errorText());
        const QString documents = job.kikCacheFolder().filePath(QStringLiteral("Documents"));
        EXPECT_TRUE(filesBelow(documents)
                    == filesBelow(QDir(bk.store.app).filePath(QStringLiteral("Documents"))));
        QDirIterator all(bk.dir.path(), QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
        while (all.hasNext()) {
            const QFileInfo info(all.next());
            EXPECT_FALSE(info.fileName().contains(QLatin1String("escape"))) << qPrintable(info.filePath());
            EXPECT_FALSE(info.isSymLink()) << qPrintable(info.filePath());
        }
    }
}

// A file that cannot be decrypted ends the run with its error text and
// leaves no half-filled cache behind.
TEST(IOSLoadKikFromiTunesJob, FailedCopyReportsTheErrorAndRemovesTheCache)
{
    KikBackup bk;
    ASSERT_TRUE(bk.build(QStringLiteral("db-enc"), QStringLiteral("app")));
    bool damaged = false;
    for (const auto &v : bk.files) {
        const QJsonObject f = v.toObject();
        if (f.value(QStringLiteral("path")).toString() != QLatin1String("Documents/kik.sqlite"))
            continue;
        const QString id = f.value(QStringLiteral("file_id")).toString();
        QFile content(QDir(bk.path).filePath(id.left(2) + QLatin1Char('/') + id));
        damaged = content.resize(content.size() - 5);
    }
    ASSERT_TRUE(damaged);
    HeadlessProgress progress;
    IOSLoadKikFromiTunesThread job(bk.manifest.get(), &progress, bk.cache());
    runJob(job);
    EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
    EXPECT_FALSE(progress.errorText().isEmpty());
    EXPECT_FALSE(job.foundData());
    EXPECT_FALSE(QFileInfo::exists(bk.cache()));
}
