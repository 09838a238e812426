// SIGTERM reaches every command from its first moment: while a source is
// still being read (here from a pipe that gives nothing), while an archive
// is being unpacked, and the command ends with exit code 3 leaving nothing
// half-written. A password file is read only up to a small size.
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 30000;

QString program()
{
    return QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik"));
}

// Opens the pipe for writing as soon as the program has opened it for
// reading; -1 when it never does (or ends first).
int openWriter(const QString &fifo, QProcess &process)
{
    const QDeadlineTimer deadline(kWaitMs);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            ::fcntl(fd, F_SETFL, 0);
            return fd;
        }
        process.waitForFinished(20); // returns early when the program ends
    }
    return -1;
}

// True once a regular file exists below `folder`, outside `skipped`.
bool anyFileOutside(const QString &folder, const QString &skipped)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.isFile() && !info.absoluteFilePath().startsWith(skipped + QLatin1Char('/'))
            && info.fileName() != QLatin1String("big.ab"))
            return true;
    }
    return false;
}

struct Stopped
{
    bool ended = false;
    bool crashed = false;
    int exitCode = -1;
    QByteArray err;
};

Stopped terminate(QProcess &process, int signal = SIGTERM)
{
    ::kill(pid_t(process.processId()), signal);
    Stopped result;
    result.ended = process.waitForFinished(kWaitMs);
    if (!result.ended) {
        process.kill();
        process.waitForFinished();
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.err = process.readAllStandardError();
    return result;
}

class SignalCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_fifo = work(QStringLiteral("pipe"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(m_fifo).constData(), 0600), 0);
    }

    QString work(const QString &name) const { return QDir(m_work.path()).filePath(name); }

    void start(QProcess &process, const QStringList &args)
    {
        process.start(program(),
                      QStringList{QStringLiteral("--data-root"), m_root.path(), QStringLiteral("--quiet")}
                          + args);
        ASSERT_TRUE(process.waitForStarted());
    }

    QTemporaryDir m_root;
    QTemporaryDir m_work;
    QString m_fifo;
};

} // namespace

TEST_F(SignalCli, CommandsStopWhileTheirSourceIsStillBeingRead)
{
    const QString out = work(QStringLiteral("out.csv"));
    const QString newArchive = work(QStringLiteral("new.ab"));
    const QList<QStringList> commands = {
        {QStringLiteral("chats"), QStringLiteral("ab:") + m_fifo},
        {QStringLiteral("export"), QStringLiteral("ab:") + m_fifo, QStringLiteral("--format"),
         QStringLiteral("csv"), QStringLiteral("--out"), out},
        {QStringLiteral("transfer"), QStringLiteral("ab:") + m_fifo, QStringLiteral("--to-ab"),
         work(QStringLiteral("phone.ab")), QStringLiteral("--out"), newArchive},
        // The password file is read first of all.
        {QStringLiteral("chats"), QStringLiteral("localdb:none"), QStringLiteral("--password-file"), m_fifo},
    };
    int signal = SIGTERM;
    for (const QStringList &command : commands) {
        SCOPED_TRACE(command.join(QLatin1Char(' ')).toStdString());
        // Ctrl+C and a kill alike.
        signal = signal == SIGTERM ? SIGINT : SIGTERM;
        QProcess process;
        start(process, command);
        const int writer = openWriter(m_fifo, process);
        ASSERT_GE(writer, 0) << "the program never opened the pipe";
        // The pipe stays open and empty: the program waits for data.
        const Stopped stopped = terminate(process, signal);
        ::close(writer);
        EXPECT_TRUE(stopped.ended);
        EXPECT_FALSE(stopped.crashed) << "ended by the signal itself, not by the program";
        EXPECT_EQ(stopped.exitCode, 3) << stopped.err.constData();
        EXPECT_FALSE(QFileInfo::exists(out));
        EXPECT_FALSE(QFileInfo::exists(newArchive));
    }
}

TEST_F(SignalCli, AStoppedUnpackLeavesNoPartialTree)
{
    // An archive of many incompressible files, fed through the pipe but for
    // its last part, so that the unpack has written files and waits.
    const QString tree = work(QStringLiteral("tree"));
    ASSERT_EQ(TestSupport::runPython(QStringLiteral("make_android_kik.py"), {QStringLiteral("tree"), tree})
                  .exitCode,
              0);
    QRandomGenerator random(13);
    for (int i = 0; i < 150; ++i) {
        QByteArray bytes(16384, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        TestSupport::writeFile(QDir(tree).filePath(QStringLiteral("apps/kik.android/f/bulk/%1.bin").arg(i)),
                               bytes);
    }
    const QString archive = work(QStringLiteral("big.ab"));
    ASSERT_EQ(
        TestSupport::runPython(QStringLiteral("make_android_kik.py"), {QStringLiteral("ab"), tree, archive})
            .exitCode,
        0);
    const QByteArray bytes = TestSupport::readFile(archive);
    ASSERT_GT(bytes.size(), 1 << 21);
    const QByteArray head = bytes.left(bytes.size() * 3 / 4);

    // Feeds the head, waits (bounded) until the command has written a file
    // below `watched` (outside the tree), then stops it.
    const auto feedAndStop = [&](const QStringList &args, const QString &watched) {
        QProcess process;
        start(process, args);
        const int writer = openWriter(m_fifo, process);
        EXPECT_GE(writer, 0);
        if (writer < 0)
            return Stopped{};
        EXPECT_EQ(::write(writer, head.constData(), size_t(head.size())), head.size());
        const QDeadlineTimer deadline(kWaitMs);
        while (!anyFileOutside(watched, tree) && !deadline.hasExpired()
               && process.state() == QProcess::Running)
            process.waitForFinished(20);
        EXPECT_TRUE(anyFileOutside(watched, tree)) << "nothing was written before the signal";
        const Stopped stopped = terminate(process);
        ::close(writer);
        return stopped;
    };

    Stopped stopped = feedAndStop(
        {QStringLiteral("ab"), QStringLiteral("unpack"), m_fifo, work(QStringLiteral("unpacked"))},
        m_work.path());
    EXPECT_FALSE(stopped.crashed);
    EXPECT_EQ(stopped.exitCode, 3) << stopped.err.constData();
    QStringList left =
        QDir(m_work.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    left.sort();
    EXPECT_EQ(left, (QStringList{QStringLiteral("big.ab"), QStringLiteral("pipe"), QStringLiteral("tree")}));

    // Reading the archive as a source unpacks it into the cache: a stop
    // leaves no partial copy there.
    const QString cache = QDir(m_root.path()).filePath(QStringLiteral("android_cache"));
    stopped = feedAndStop({QStringLiteral("chats"), QStringLiteral("ab:") + m_fifo}, cache);
    EXPECT_FALSE(stopped.crashed);
    EXPECT_EQ(stopped.exitCode, 3) << stopped.err.constData();
    EXPECT_FALSE(anyFileOutside(cache, tree)) << "a partial unpack stayed in the cache";
}

TEST_F(SignalCli, AnEndlessPasswordFileIsRefusedQuickly)
{
    // An endless source as input: read up to a small limit, then refused.
    const auto r = TestSupport::run(program(),
                                    {QStringLiteral("--data-root"), m_root.path(), QStringLiteral("chats"),
                                     QStringLiteral("localdb:none"), QStringLiteral("--password-file"),
                                     QStringLiteral("/dev/zero")},
                                    {}, kWaitMs);
    EXPECT_EQ(r.exitCode, 1) << r.err.constData();
    EXPECT_TRUE(r.err.contains("longer than")) << r.err.constData();
}
