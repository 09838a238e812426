#include "SampleChats.h"

#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"
#include "model/BackupKikMessagesThread.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace SampleChats;

namespace {

QString dbFile(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("velloran-kik.db"));
}

struct BackupRun
{
    HeadlessProgress::Result result;
    QString error;
    QString success;
    QStringList texts;
    bool cancelled = false;
};

BackupRun backUp(const KikMessageList &messages, const QString &folder, int cancelAt = -1)
{
    HeadlessProgress progress;
    progress.cancelAtPercent = cancelAt;
    BackupKikMessagesThread job(messages, folder, &progress);
    // To cancel at an exact point, the progress object answers on the job's
    // own thread, so each report is handled before the job goes on.
    if (cancelAt >= 0)
        progress.moveToThread(&job);
    JobRunner::runToEnd(job);
    return {progress.result(), progress.errorText(), progress.successText(), progress.texts(),
            job.wasCancelled()};
}

} // namespace

TEST(BackupKikMessagesThread, SecondRunAddsNothingAndCountsTheSame)
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("mine"));
    KikDataSet set;
    fill(set);
    const BackupRun first = backUp(set.allMessages(), folder);
    ASSERT_EQ(first.result, HeadlessProgress::Succeeded) << first.error.toStdString();
    EXPECT_EQ(first.success, QStringLiteral("Successfully backed up 5 messages."));
    const QString counts = tableCounts(dbFile(folder));
    EXPECT_EQ(counts, QStringLiteral("3,2,2,5,5"));
    const BackupRun second = backUp(set.allMessages(), folder);
    EXPECT_EQ(second.result, HeadlessProgress::Succeeded);
    EXPECT_EQ(second.success, first.success);
    EXPECT_EQ(tableCounts(dbFile(folder)), counts);
}

TEST(BackupKikMessagesThread, ProgressTextsCountMessages)
{
    QTemporaryDir tmp;
    KikDataSet set;
    fill(set);
    const BackupRun run = backUp(set.allMessages(), tmp.filePath(QStringLiteral("p")));
    ASSERT_GE(run.texts.size(), 6);
    EXPECT_EQ(run.texts.first(), QStringLiteral("Progress:0%"));
    EXPECT_EQ(run.texts[1], QStringLiteral("Messages: 1/5"));
    EXPECT_EQ(run.texts.last(), QStringLiteral("Messages: 5/5"));
}

TEST(BackupKikMessagesThread, MessagesAreStoredInTimeOrder)
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("o"));
    KikDataSet set;
    fill(set);
    // Listed newest first; the job stores them oldest first.
    KikMessageList reversed = set.allMessages();
    std::reverse(reversed.begin(), reversed.end());
    ASSERT_EQ(backUp(reversed, folder).result, HeadlessProgress::Succeeded);
    EXPECT_EQ(count(dbFile(folder), QStringLiteral("select _id from kik_message where uid='u1'")), 1);
    EXPECT_EQ(count(dbFile(folder), QStringLiteral("select _id from kik_message where uid='g2'")), 5);
}

TEST(BackupKikMessagesThread, CancelHalfwayLeavesDatabaseAsBefore)
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("c"));
    KikDataSet set;
    fill(set);
    KikMessageList firstTwo = set.allMessages().mid(0, 2);
    ASSERT_EQ(backUp(firstTwo, folder).result, HeadlessProgress::Succeeded);
    const QString before = tableCounts(dbFile(folder));

    KikDataSet more;
    fill(more);
    for (int i = 0; i < 200; ++i)
        message(more, 1000 + i, more.chat(10), QStringLiteral("extra-%1").arg(i), 100 + i,
                QStringLiteral("m"));
    const BackupRun run = backUp(more.allMessages(), folder, 50);
    EXPECT_EQ(run.result, HeadlessProgress::Failed);
    EXPECT_TRUE(run.cancelled);
    EXPECT_TRUE(run.error.isEmpty()) << "cancel reports nothing";
    EXPECT_TRUE(run.success.isEmpty());
    EXPECT_EQ(tableCounts(dbFile(folder)), before);

    // A cancel that comes with the report of the last message still rolls
    // everything back.
    const BackupRun last = backUp(more.allMessages(), folder, 100);
    EXPECT_TRUE(last.cancelled);
    EXPECT_EQ(last.texts.last(), QStringLiteral("Messages: %1/%1").arg(more.allMessages().size()));
    EXPECT_TRUE(last.error.isEmpty());
    EXPECT_TRUE(last.success.isEmpty());
    EXPECT_EQ(tableCounts(dbFile(folder)), before);
}

TEST(BackupKikMessagesThread, CancelledRunTakesTheMediaItCopiedOutAgain)
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("media"));
    KikDataSet set;
    fill(set);
    ASSERT_EQ(backUp(set.allMessages().mid(0, 2), folder).result, HeadlessProgress::Succeeded);
    TestSupport::writeFile(QDir(folder).filePath(QStringLiteral("files/earlier")), "earlier");
    const QStringList filesBefore =
        QDir(QDir(folder).filePath(QStringLiteral("files"))).entryList(QDir::Files);

    const QString source = tmp.filePath(QStringLiteral("clip"));
    TestSupport::writeFile(source, "video");
    KikDataSet more;
    fill(more);
    _KikMessage *video = message(more, 2000, more.chat(10), QStringLiteral("video-1"), 50, QString());
    video->content_id = QStringLiteral("cid-video");
    video->content_path = source;
    video->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("clip.mp4"));
    // Cancelled with the last message's report: the video is merged (and
    // its file copied in) before the cancel is seen.
    const BackupRun run = backUp(more.allMessages(), folder, 100);
    EXPECT_TRUE(run.cancelled);
    EXPECT_EQ(QDir(QDir(folder).filePath(QStringLiteral("files"))).entryList(QDir::Files), filesBefore)
        << "media of a run that rolled back stay behind";
    EXPECT_EQ(TestSupport::readFile(QDir(folder).filePath(QStringLiteral("files/earlier"))),
              QByteArray("earlier"));

    // The same run to its end keeps the file.
    const BackupRun done = backUp(more.allMessages(), folder);
    ASSERT_EQ(done.result, HeadlessProgress::Succeeded) << done.error.toStdString();
    EXPECT_TRUE(QFileInfo::exists(QDir(folder).filePath(QStringLiteral("files/cid-video"))));
}

TEST(BackupKikMessagesThread, CancelBeforeTheFirstMessageCreatesNoDatabase)
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("early"));
    KikDataSet set;
    fill(set);
    // The job's first report (0 %) cancels it.
    const BackupRun run = backUp(set.allMessages(), folder, 0);
    EXPECT_TRUE(run.cancelled);
    EXPECT_EQ(run.texts, QStringList{QStringLiteral("Progress:0%")});
    EXPECT_TRUE(run.error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST(BackupKikMessagesThread, CancelledNewDatabaseLeavesNoFolder)
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("fresh"));
    KikDataSet set;
    fill(set);
    for (int i = 0; i < 100; ++i)
        message(set, 1000 + i, set.chat(10), QStringLiteral("x%1").arg(i), 100 + i, QStringLiteral("m"));
    backUp(set.allMessages(), folder, 10);
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST(BackupKikMessagesThread, CancelledRunInFolderWithoutDatabaseLeavesItAsBefore)
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("named"));
    ASSERT_TRUE(QDir().mkpath(QDir(folder).filePath(QStringLiteral("files"))));
    TestSupport::writeFile(QDir(folder).filePath(QStringLiteral("notes.txt")), "keep");
    KikDataSet set;
    fill(set);
    for (int i = 0; i < 100; ++i)
        message(set, 1000 + i, set.chat(10), QStringLiteral("x%1").arg(i), 100 + i, QStringLiteral("m"));
    const BackupRun run = backUp(set.allMessages(), folder, 10);
    EXPECT_EQ(run.result, HeadlessProgress::Failed);
    EXPECT_FALSE(QFileInfo::exists(dbFile(folder))) << "a half-made database would be listed";
    const QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_EQ(left, QStringList({QStringLiteral("files"), QStringLiteral("notes.txt")}));
}

TEST(BackupKikMessagesThread, FailingInsertReachesErrorWithUtf8TextAndRollsBack)
{
    QTemporaryDir tmp;
    ASSERT_EQ(TestSupport::runPython(QStringLiteral("make_localdb.py"),
                                     {tmp.path(), QStringLiteral("failing-insert")})
                  .exitCode,
              0);
    const QString before = tableCounts(dbFile(tmp.path()));
    KikDataSet set;
    fill(set);
    const BackupRun run = backUp(set.allMessages(), tmp.path());
    EXPECT_EQ(run.result, HeadlessProgress::Failed);
    EXPECT_TRUE(run.error.contains(QStringLiteral("Speicher voll – äöü 日本"))) << run.error.toStdString();
    EXPECT_EQ(tableCounts(dbFile(tmp.path())), before) << "the users inserted first roll back";
    EXPECT_TRUE(QFileInfo::exists(dbFile(tmp.path()))) << "an existing database is kept";
}

TEST(BackupKikMessagesThread, BadDatabasesFailThroughErrorPath)
{
    for (const char *mode : {"garbage", "no-chat-messages"}) {
        QTemporaryDir tmp;
        ASSERT_EQ(
            TestSupport::runPython(QStringLiteral("make_localdb.py"), {tmp.path(), QString::fromLatin1(mode)})
                .exitCode,
            0);
        const QByteArray before = TestSupport::readFile(dbFile(tmp.path()));
        KikDataSet set;
        fill(set);
        const BackupRun run = backUp(set.allMessages(), tmp.path());
        EXPECT_EQ(run.result, HeadlessProgress::Failed) << mode;
        EXPECT_FALSE(run.error.isEmpty()) << mode;
        EXPECT_EQ(TestSupport::readFile(dbFile(tmp.path())), before) << mode;
        EXPECT_EQ(set.messages.size(), 5);
        EXPECT_EQ(set.chat(10)->messages.size(), 3) << "the source is untouched";
    }
}

TEST(BackupKikMessagesThread, MessageWithoutChatIsStoredUnlinked)
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("n"));
    KikDataSet set;
    message(set, 1, nullptr, QStringLiteral("lonely"), 1, QStringLiteral("x"));
    ASSERT_EQ(backUp(set.allMessages(), folder).result, HeadlessProgress::Succeeded);
    EXPECT_EQ(count(dbFile(folder), QStringLiteral("select count(*) from kik_message")), 1);
    EXPECT_EQ(count(dbFile(folder), QStringLiteral("select count(*) from kik_chat_messages")), 0);
}

TEST(BackupKikMessagesThread, EmptyFolderIsRefusedAndTouchesNothing)
{
    QTemporaryDir tmp;
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(tmp.path()));
    KikDataSet set;
    fill(set);
    const BackupRun run = backUp(set.allMessages(), QString());
    QDir::setCurrent(cwd);
    EXPECT_EQ(run.result, HeadlessProgress::Failed);
    EXPECT_FALSE(run.error.isEmpty());
    EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}
