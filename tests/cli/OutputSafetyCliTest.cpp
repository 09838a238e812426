// Outputs of every command: never an input, never inside one, never a
// device node, pipe or socket, never a folder where a file is meant; file
// names made from phone data are valid and one per chat.
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

class OutputSafetyCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto built = TestSupport::runPython(
            QStringLiteral("make_localdb.py"),
            {QDir(m_root.path()).filePath(QStringLiteral("local_databases/chats")), QStringLiteral("plain")});
        ASSERT_EQ(built.exitCode, 0) << built.err.constData();
    }

    TestSupport::ProcessResult kik(const QStringList &args)
    {
        return TestSupport::run(
            QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
            QStringList{QStringLiteral("--data-root"), m_root.path(), QStringLiteral("--quiet")} + args, {},
            60000);
    }

    QString work(const QString &name) const { return QDir(m_work.path()).filePath(name); }

    // A local database `name` made by the builder in `mode`.
    void makeLocalDb(const QString &name, const QString &mode)
    {
        const auto built = TestSupport::runPython(
            QStringLiteral("make_localdb.py"),
            {QDir(m_root.path()).filePath(QStringLiteral("local_databases/") + name), mode});
        ASSERT_EQ(built.exitCode, 0) << built.err.constData();
    }

    // An Android backup archive of the builder's tree.
    QString makeArchive()
    {
        const QString tree = work(QStringLiteral("tree"));
        const QString archive = work(QStringLiteral("phone.ab"));
        EXPECT_EQ(
            TestSupport::runPython(QStringLiteral("make_android_kik.py"), {QStringLiteral("tree"), tree})
                .exitCode,
            0);
        EXPECT_EQ(TestSupport::runPython(QStringLiteral("make_android_kik.py"),
                                         {QStringLiteral("ab"), tree, archive})
                      .exitCode,
                  0);
        return archive;
    }

    QTemporaryDir m_root;
    QTemporaryDir m_work;
};

bool isCharDevice(const QString &path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

bool isFifo(const QString &path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

} // namespace

TEST_F(OutputSafetyCli, AnOutputThatIsOrLiesInsideAnInputIsRefused)
{
    const QString app = work(QStringLiteral("app"));
    ASSERT_EQ(TestSupport::runPython(QStringLiteral("make_ios_kik_store.py"),
                                     {app, work(QStringLiteral("expected.json"))})
                  .exitCode,
              0);
    const QString store = QDir(app).filePath(QStringLiteral("Documents/kik.sqlite"));
    const QByteArray storeBytes = TestSupport::readFile(store);

    auto r = kik({QStringLiteral("export"), QStringLiteral("ios:") + app, QStringLiteral("--format"),
                  QStringLiteral("csv"), QStringLiteral("--out"), store});
    EXPECT_EQ(r.exitCode, 2) << r.err.constData();
    EXPECT_TRUE(r.err.contains("input")) << r.err.constData();
    EXPECT_EQ(TestSupport::readFile(store), storeBytes);

    // Inside the input folder, even where nothing is yet.
    const QString inside = QDir(app).filePath(QStringLiteral("Documents/new.csv"));
    r = kik({QStringLiteral("export"), QStringLiteral("ios:") + app, QStringLiteral("--format"),
             QStringLiteral("csv"), QStringLiteral("--out"), inside});
    EXPECT_EQ(r.exitCode, 2) << r.err.constData();
    EXPECT_FALSE(QFileInfo::exists(inside));

    // The local database being read.
    const QString db = QDir(m_root.path()).filePath(QStringLiteral("local_databases/chats/velloran-kik.db"));
    const QByteArray dbBytes = TestSupport::readFile(db);
    r = kik({QStringLiteral("export"), QStringLiteral("localdb:chats"), QStringLiteral("--format"),
             QStringLiteral("txt"), QStringLiteral("--out"), db});
    EXPECT_EQ(r.exitCode, 2) << r.err.constData();
    r = kik({QStringLiteral("backup"), QStringLiteral("localdb:chats"), QStringLiteral("--db"),
             QStringLiteral("chats")});
    EXPECT_EQ(r.exitCode, 2) << r.err.constData();
    EXPECT_EQ(TestSupport::readFile(db), dbBytes);

    // The archive read by ab unpack, by transfer, or the password file.
    const QString archive = makeArchive();
    const QByteArray archiveBytes = TestSupport::readFile(archive);
    r = kik({QStringLiteral("transfer"), QStringLiteral("localdb:chats"), QStringLiteral("--to-ab"), archive,
             QStringLiteral("--out"), archive});
    EXPECT_EQ(r.exitCode, 2) << r.err.constData();
    r = kik({QStringLiteral("transfer"), QStringLiteral("ab:") + archive, QStringLiteral("--to-ab"), archive,
             QStringLiteral("--out"), work(QStringLiteral("new.ab"))});
    EXPECT_NE(r.exitCode, 2) << "a different output is accepted: " << r.err.constData();
    r = kik({QStringLiteral("ab"), QStringLiteral("unpack"), archive, archive});
    EXPECT_EQ(r.exitCode, 2) << r.err.constData();
    TestSupport::writeFile(work(QStringLiteral("pw.txt")), "secret\n");
    r = kik({QStringLiteral("export"), QStringLiteral("localdb:chats"), QStringLiteral("--password-file"),
             work(QStringLiteral("pw.txt")), QStringLiteral("--format"), QStringLiteral("csv"),
             QStringLiteral("--out"), work(QStringLiteral("pw.txt"))});
    EXPECT_EQ(r.exitCode, 2) << r.err.constData();
    EXPECT_EQ(TestSupport::readFile(work(QStringLiteral("pw.txt"))), "secret\n");
    EXPECT_EQ(TestSupport::readFile(archive), archiveBytes);
}

TEST_F(OutputSafetyCli, ItunesExtractNeverWritesIntoTheBackup)
{
    const QString backup = work(QStringLiteral("backup"));
    ASSERT_EQ(TestSupport::runPython(QStringLiteral("make_itunes_backup.py"), {backup, QStringLiteral("db")})
                  .exitCode,
              0);
    const QString manifest = QDir(backup).filePath(QStringLiteral("Manifest.db"));
    const QByteArray before = TestSupport::readFile(manifest);
    const QStringList what{QStringLiteral("AppDomain-com.kik.chat"), QStringLiteral("Documents/kik.sqlite")};
    auto r = kik(QStringList{QStringLiteral("itunes"), QStringLiteral("extract"), backup} + what
                 + QStringList{manifest});
    EXPECT_EQ(r.exitCode, 2) << r.err.constData();
    EXPECT_EQ(TestSupport::readFile(manifest), before);
    const QString inside = QDir(backup).filePath(QStringLiteral("kik.sqlite"));
    r = kik(QStringList{QStringLiteral("itunes"), QStringLiteral("extract"), backup} + what
            + QStringList{inside});
    EXPECT_EQ(r.exitCode, 2) << r.err.constData();
    EXPECT_FALSE(QFileInfo::exists(inside));
    // Beside the backup it works.
    r = kik(QStringList{QStringLiteral("itunes"), QStringLiteral("extract"), backup} + what
            + QStringList{work(QStringLiteral("kik.sqlite"))});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
}

TEST_F(OutputSafetyCli, DeviceNodesPipesAndFoldersAreNeverReplacedOrRemoved)
{
    // Nodes of our own, made in the test's folder (never anything in /dev).
    const QString node = work(QStringLiteral("null-node"));
    const bool haveNode = ::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    const QString fifo = work(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = work(QStringLiteral("folder"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString archive = makeArchive();

    QStringList targets{fifo, folder};
    if (haveNode)
        targets << node;
    for (const QString &target : std::as_const(targets)) {
        const QList<QStringList> commands = {
            {QStringLiteral("export"), QStringLiteral("localdb:chats"), QStringLiteral("--format"),
             QStringLiteral("csv"), QStringLiteral("--out"), target},
            {QStringLiteral("export"), QStringLiteral("localdb:chats"), QStringLiteral("--format"),
             QStringLiteral("txt"), QStringLiteral("--out"), target},
            {QStringLiteral("transfer"), QStringLiteral("localdb:chats"), QStringLiteral("--to-ab"), archive,
             QStringLiteral("--out"), target},
            {QStringLiteral("ab"), QStringLiteral("pack"), work(QStringLiteral("tree")), target},
        };
        for (const QStringList &command : commands) {
            const auto r = kik(command);
            EXPECT_EQ(r.exitCode, 2) << qPrintable(command.join(QLatin1Char(' '))) << r.err.constData();
            EXPECT_FALSE(r.err.contains(".part")) << r.err.constData();
        }
    }
    if (haveNode) {
        EXPECT_TRUE(isCharDevice(node)) << "the device node is still there";
    }
    EXPECT_TRUE(isFifo(fifo));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    // A PDF or HTML export needs a folder; a pipe is not one.
    const auto r = kik({QStringLiteral("export"), QStringLiteral("localdb:chats"), QStringLiteral("--format"),
                        QStringLiteral("pdf"), QStringLiteral("--out"), fifo});
    EXPECT_EQ(r.exitCode, 2) << r.err.constData();
    EXPECT_TRUE(isFifo(fifo));
    // Nothing but the nodes, the folder and the archive's files is left.
    QStringList left =
        QDir(m_work.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    left.sort();
    QStringList expected{QStringLiteral("fifo"), QStringLiteral("folder"), QStringLiteral("phone.ab"),
                         QStringLiteral("tree")};
    if (haveNode)
        expected << QStringLiteral("null-node");
    expected.sort();
    EXPECT_EQ(left, expected);
}

TEST_F(OutputSafetyCli, ATextExportReplacesAnEarlierFileInOneStep)
{
    const QString locked = work(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(locked));
    const QString file = QDir(locked).filePath(QStringLiteral("old.csv"));
    TestSupport::writeFile(file, "earlier export");
    makeLocalDb(QStringLiteral("chats2"), QStringLiteral("plain"));
    const auto ok = kik({QStringLiteral("export"), QStringLiteral("localdb:chats2"),
                         QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--out"), file});
    ASSERT_EQ(ok.exitCode, 0) << ok.err.constData();
    EXPECT_TRUE(TestSupport::readFile(file).startsWith("date,send,user,content"));
    EXPECT_EQ(QDir(locked).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary file is left";
}

TEST_F(OutputSafetyCli, ChatFileNamesDropControlCharactersAndNeverShareAFile)
{
    makeLocalDb(QStringLiteral("twins"), QStringLiteral("twins"));
    for (const QString &format : {QStringLiteral("pdf"), QStringLiteral("html")}) {
        const QString out = work(QStringLiteral("twins-") + format);
        const auto r =
            kik({QStringLiteral("--json"), QStringLiteral("export"), QStringLiteral("localdb:twins"),
                 QStringLiteral("--format"), format, QStringLiteral("--out"), out});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        const QJsonArray files =
            QJsonDocument::fromJson(r.out).object().value(QStringLiteral("files")).toArray();
        EXPECT_EQ(files.size(), 3) << r.out.constData();
        for (const QJsonValue &file : files) {
            const QString path = file.toString();
            EXPECT_TRUE(QFileInfo(path).isFile()) << qPrintable(path);
            EXPECT_FALSE(path.contains(QChar(0)));
        }
        const QStringList pages = QDir(out).entryList(QDir::Files);
        EXPECT_EQ(pages.size(), 3) << qPrintable(pages.join(QLatin1Char('|')));
        EXPECT_TRUE(pages.contains(QStringLiteral("Twinalice.") + format));
        EXPECT_TRUE(pages.contains(QStringLiteral("Twinbob.") + format));
    }
}

TEST_F(OutputSafetyCli, AVeryLongChatNameGivesAShortenedFileName)
{
    makeLocalDb(QStringLiteral("long"), QStringLiteral("long-name:5000"));
    const QString out = work(QStringLiteral("long-pdf"));
    const auto r = kik({QStringLiteral("--json"), QStringLiteral("export"), QStringLiteral("localdb:long"),
                        QStringLiteral("--format"), QStringLiteral("pdf"), QStringLiteral("--out"), out});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QStringList pages = QDir(out).entryList(QDir::Files);
    ASSERT_EQ(pages.size(), 2);
    for (const QString &page : pages) {
        EXPECT_LE(page.toUtf8().size(), 255);
        EXPECT_TRUE(page.endsWith(QStringLiteral(".pdf")));
    }
}
