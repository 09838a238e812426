#include "app/Log.h"
#include "app/LogCategories.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <vector>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

// Points the log at a fresh folder as a new process start on `day` would.
class LogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = dir.filePath(QStringLiteral("qlogs"));
        Log::resetForTests(QDate(2026, 3, 14));
        Log::install(folder, 10);
        qInstallMessageHandler(nullptr); // tests call Log::write directly
    }
    void TearDown() override { Log::resetForTests(); }

    QTemporaryDir dir;
    QString folder;
};

} // namespace

TEST_F(LogTest, LinesAreFormattedByTypeAndFlushed)
{
    Log::write(QtDebugMsg, QStringLiteral("hello"));
    Log::write(QtWarningMsg, QStringLiteral("careful"));
    Log::write(QtCriticalMsg, QStringLiteral("bad ä"));
    const QString file = QDir(folder).filePath(QStringLiteral("log-20260314.txt"));
    EXPECT_EQ(Log::currentFile(), file);
    const QList<QByteArray> lines = readFile(file).split('\n');
    ASSERT_EQ(lines.size(), 4); // three lines and the empty rest after the last "\n"
    EXPECT_TRUE(lines[0].startsWith("(D ")) << lines[0].constData();
    EXPECT_TRUE(lines[0].endsWith(") hello"));
    EXPECT_TRUE(lines[1].startsWith("(W "));
    EXPECT_TRUE(lines[2].endsWith(") bad \xc3\xa4"));
    // "(D hh:mm:ss) " is 13 characters.
    EXPECT_EQ(lines[0].indexOf(')'), 11);
}

TEST(LogFormat, FatalAndTime)
{
    EXPECT_EQ(Log::formatLine(QtFatalMsg, QTime(23, 59, 59), QStringLiteral("x")),
              QByteArray("(F 23:59:59) x\n"));
    EXPECT_EQ(Log::formatLine(QtDebugMsg, QTime(0, 0, 1), QStringLiteral("y")),
              QByteArray("(D 00:00:01) y\n"));
}

TEST(LogFormat, NamedCategoryComesBeforeTheText)
{
    EXPECT_EQ(Log::formatLine(QtWarningMsg, QTime(8, 5, 3), QStringLiteral("z"), "velloran.android"),
              QByteArray("(W 08:05:03) velloran.android: z\n"));
    // Qt's own category of plain qDebug() and friends adds nothing.
    EXPECT_EQ(Log::formatLine(QtDebugMsg, QTime(8, 5, 3), QStringLiteral("z"), "default"),
              QByteArray("(D 08:05:03) z\n"));
}

TEST_F(LogTest, InstalledHandlerWritesTheCategoryOfEachMessage)
{
    Log::install(folder, 10);
    qCWarning(lcAndroid).noquote() << "phone gone";
    qCCritical(lcDb, "disk %s", "full");
    qWarning("plain");
    qInstallMessageHandler(nullptr);
    const QList<QByteArray> lines = readFile(Log::currentFile()).split('\n');
    ASSERT_EQ(lines.size(), 4) << readFile(Log::currentFile()).constData();
    EXPECT_TRUE(lines[0].startsWith("(W ")) << lines[0].constData();
    EXPECT_TRUE(lines[0].endsWith(") velloran.android: phone gone")) << lines[0].constData();
    EXPECT_TRUE(lines[1].startsWith("(C ")) << lines[1].constData();
    EXPECT_TRUE(lines[1].endsWith(") velloran.db: disk full")) << lines[1].constData();
    EXPECT_TRUE(lines[2].endsWith(") plain")) << lines[2].constData();
    EXPECT_EQ(lines[2].indexOf(')'), 11);
}

TEST_F(LogTest, FileNameIsFixedAtTheFirstMessage)
{
    Log::write(QtDebugMsg, QStringLiteral("before midnight"));
    const QString first = Log::currentFile();
    // The process goes on past midnight: the file does not roll over.
    Log::write(QtDebugMsg, QStringLiteral("after midnight"));
    EXPECT_EQ(Log::currentFile(), first);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1);
    // A later start on another day writes a file of its own and keeps the old one.
    Log::resetForTests(QDate(2026, 3, 15));
    Log::write(QtDebugMsg, QStringLiteral("next day"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name),
              QStringList({QStringLiteral("log-20260314.txt"), QStringLiteral("log-20260315.txt")}));
    // A second start on the same day appends to that day's file.
    Log::resetForTests(QDate(2026, 3, 15));
    Log::write(QtDebugMsg, QStringLiteral("again"));
    EXPECT_EQ(readFile(Log::currentFile()).count('\n'), 2);
}

TEST(LogPrune, KeepsTheTenNewestByName)
{
    QTemporaryDir dir;
    for (int day = 1; day <= 11; ++day)
        writeFile(dir.filePath(QStringLiteral("log-202601%1.txt").arg(day, 2, 10, QLatin1Char('0'))), "x");
    QDir().mkpath(dir.filePath(QStringLiteral("subfolder"))); // not a file: not counted
    Log::prune(dir.path(), 10);
    const QStringList left = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(left.size(), 10);
    EXPECT_EQ(left.first(), QStringLiteral("log-20260102.txt"));
    EXPECT_EQ(left.last(), QStringLiteral("log-20260111.txt"));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("subfolder"))));

    Log::prune(dir.path(), 10); // ten or fewer: nothing goes
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 10);
}

TEST_F(LogTest, WritesFromManyThreadsDoNotInterleave)
{
    constexpr int kThreads = 8;
    constexpr int kLines = 200;
    std::vector<QThread *> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.push_back(QThread::create([t] {
            for (int i = 0; i < kLines; ++i)
                Log::write(QtDebugMsg, QStringLiteral("thread %1 line %2 ").arg(t).arg(i)
                                           + QString(40, QLatin1Char('x')));
        }));
        threads.back()->start();
    }
    for (QThread *thread : threads) {
        thread->wait();
        delete thread;
    }
    const QList<QByteArray> lines = readFile(Log::currentFile()).split('\n');
    ASSERT_EQ(lines.size(), kThreads * kLines + 1);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        ASSERT_TRUE(lines[i].startsWith("(D ")) << lines[i].constData();
        ASSERT_TRUE(lines[i].endsWith(QByteArray(40, 'x'))) << lines[i].constData();
    }
}

TEST(LogOpen, UnwritableFolderStaysSilent)
{
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("file"));
    writeFile(blocker, "not a folder");
    Log::resetForTests(QDate(2026, 1, 1));
    Log::install(blocker + QStringLiteral("/qlogs"), 10);
    qInstallMessageHandler(nullptr);
    Log::write(QtWarningMsg, QStringLiteral("goes nowhere"));
    EXPECT_TRUE(Log::currentFile().isEmpty());
    Log::resetForTests();
}
