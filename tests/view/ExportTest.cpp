#include "RecordingProgress.h"
#include "ViewTestData.h"

#include "support/TestSupport.h"
#include "view/ExportFile.h"
#include "view/ExportMessagesCsv.h"
#include "view/ExportMessagesThread.h"
#include "view/ExportMessagesTxt.h"
#include "view/ExportText.h"
#include "view/ViewData.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

using TestSupport::readFile;

// Runs the job on its own thread; the progress object lives on that thread
// so that its calls arrive while the job runs (as they would be delivered
// to the progress dialog).
void runJob(ExportMessagesThread &job, RecordingProgress &progress)
{
    progress.moveToThread(&job);
    job.start();
    job.wait();
}

class ExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ViewData::setProgramFolder(TestSupport::binDir());
        ann = d.user(QStringLiteral("Ann Lee"), QStringLiteral("ann@talk.kik.com"));
        bob = d.user(QStringLiteral("Bob"), QStringLiteral("bob@talk.kik.com"));
        team = d.user(QStringLiteral("Team\tA\u00A0"), QStringLiteral("1100_g@groups.kik.com"), true);
        chatAnn = d.chat(ann);
        chatBob = d.chat(bob);
        chatTeam = d.chat(team);
    }

    KikMessageList threeChats()
    {
        return {
            d.message(chatAnn, QStringLiteral("hello, \"Ann\""), localTime(2022, 5, 1, 10, 0)),
            d.message(chatBob, QStringLiteral("line one\nline two"), localTime(2022, 5, 1, 10, 1), true),
            d.message(chatTeam, QStringLiteral("=SUM(A1)"), localTime(2022, 5, 1, 10, 2), false, bob),
            d.message(chatAnn, QStringLiteral("cr\ronly"), localTime(2022, 5, 1, 10, 3), true),
        };
    }

    ViewTestData d;
    _KikUser *ann = nullptr;
    _KikUser *bob = nullptr;
    _KikUser *team = nullptr;
    _KikChat *chatAnn = nullptr;
    _KikChat *chatBob = nullptr;
    _KikChat *chatTeam = nullptr;
    QTemporaryDir dir;
};

TEST(ExportTextTest, CsvFieldQuoting)
{
    EXPECT_EQ(ExportText::csvField(QStringLiteral("plain")), QStringLiteral("plain"));
    EXPECT_EQ(ExportText::csvField(QStringLiteral("a,b")), QStringLiteral("\"a,b\""));
    EXPECT_EQ(ExportText::csvField(QStringLiteral("say \"hi\", now")),
              QStringLiteral("\"say \"\"hi\"\", now\""));
    EXPECT_EQ(ExportText::csvField(QStringLiteral("two\nlines")), QStringLiteral("\"two\nlines\""));
    EXPECT_EQ(ExportText::csvField(QStringLiteral("cr\ronly")), QStringLiteral("cr\ronly"));
    EXPECT_EQ(ExportText::csvField(QStringLiteral("=1+1")), QStringLiteral("\"'=1+1\""));
    EXPECT_EQ(ExportText::csvField(QStringLiteral("+49 123")), QStringLiteral("\"'+49 123\""));
    EXPECT_EQ(ExportText::csvField(QStringLiteral("-2")), QStringLiteral("\"'-2\""));
    EXPECT_EQ(ExportText::csvField(QStringLiteral("@cmd")), QStringLiteral("\"'@cmd\""));
    EXPECT_EQ(ExportText::csvField(QStringLiteral("a=b")), QStringLiteral("a=b"));
}

TEST(ExportTextTest, OneLineRemovesEveryLineBreak)
{
    EXPECT_EQ(ExportText::oneLine(QStringLiteral("a\r\nb\nc\rd") + QChar(0x2028) + QStringLiteral("e")),
              QStringLiteral("a b cd e"));
}

TEST_F(ExportTest, TextExportKeepsOneLinePerMessage)
{
    const QString path = dir.filePath(QStringLiteral("chats.txt"));
    RecordingProgress progress;
    ExportMessagesThread job(threeChats(), path, ExportFormat::Text, &progress);
    runJob(job, progress);
    ASSERT_TRUE(job.succeeded()) << qPrintable(job.errorText());
    const QStringList lines = QString::fromUtf8(readFile(path)).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 6); // head, four messages, the empty rest after the last line end
    EXPECT_TRUE(lines.last().isEmpty());
    EXPECT_TRUE(lines.at(0).startsWith(QStringLiteral("Date") + QString(26, QLatin1Char(' '))
                                       + QStringLiteral("Flag  Name")));
    EXPECT_EQ(lines.at(0).indexOf(QStringLiteral("Message")), 76);
    // Time order across chats; the line break became a space.
    EXPECT_TRUE(lines.at(1).endsWith(QStringLiteral("hello, \"Ann\"")));
    EXPECT_EQ(lines.at(1).mid(30, 6), QStringLiteral("From  "));
    EXPECT_EQ(lines.at(1).mid(36, 40), QStringLiteral("Ann Lee").leftJustified(40));
    EXPECT_TRUE(lines.at(2).endsWith(QStringLiteral("line one line two")));
    EXPECT_EQ(lines.at(2).mid(30, 6), QStringLiteral("To    "));
    // In a group the sender is named.
    EXPECT_EQ(lines.at(3).mid(36, 40).trimmed(), QStringLiteral("Bob"));
    EXPECT_TRUE(lines.at(4).endsWith(QStringLiteral("cronly")));
    EXPECT_EQ(job.writtenFiles(), QStringList{path});
    EXPECT_EQ(progress.successes, QStringList{QStringLiteral("Successfully exported 4 Messages.")});
    EXPECT_EQ(progress.statuses.value(0), QStringLiteral("Exporting Messages..."));
    EXPECT_EQ(progress.texts.last(), QStringLiteral("Messages: 4/4"));
    EXPECT_EQ(progress.percents.last(), 100);
}

TEST_F(ExportTest, CsvExportQuotesAndGuardsFormulas)
{
    const QString path = dir.filePath(QStringLiteral("chats.csv"));
    RecordingProgress progress;
    ExportMessagesThread job(threeChats(), path, ExportFormat::Csv, &progress);
    runJob(job, progress);
    ASSERT_TRUE(job.succeeded()) << qPrintable(job.errorText());
    const QString csv = QString::fromUtf8(readFile(path));
    EXPECT_EQ(csv, QStringLiteral("date,send,user,content\n"
                                  "2022-05-01 10:00:00,0,Ann Lee,\"hello, \"\"Ann\"\"\"\n"
                                  "2022-05-01 10:01:00,1,Bob,\"line one\nline two\"\n"
                                  "2022-05-01 10:02:00,0,Bob,\"'=SUM(A1)\"\n"
                                  "2022-05-01 10:03:00,1,Ann Lee,cr\ronly\n"));
}

TEST_F(ExportTest, PdfExportWritesOneReadableFilePerChat)
{
    const QString out = dir.filePath(QStringLiteral("chats-pdf"));
    RecordingProgress progress;
    ExportMessagesThread job(threeChats(), out, ExportFormat::Pdf, &progress);
    runJob(job, progress);
    ASSERT_TRUE(job.succeeded()) << qPrintable(job.errorText());
    const QStringList files = QDir(out).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files, (QStringList{QStringLiteral("Ann Lee.pdf"), QStringLiteral("Bob.pdf"),
                                  QStringLiteral("TeamA.pdf")}));
    EXPECT_EQ(job.writtenFiles().size(), 3);
    if (!TestSupport::toolsPresent({QStringLiteral("pdfinfo"), QStringLiteral("pdftotext")}))
        GTEST_SKIP() << "poppler-utils is not installed";
    const auto info =
        TestSupport::run(QStringLiteral("pdfinfo"), {QDir(out).filePath(QStringLiteral("Ann Lee.pdf"))});
    ASSERT_EQ(info.exitCode, 0) << info.err.constData();
    EXPECT_TRUE(QString::fromUtf8(info.out).contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))));
    const auto text =
        TestSupport::run(QStringLiteral("pdftotext"),
                         {QDir(out).filePath(QStringLiteral("Ann Lee.pdf")), QStringLiteral("-")});
    ASSERT_EQ(text.exitCode, 0);
    const QString body = QString::fromUtf8(text.out);
    EXPECT_TRUE(body.contains(QStringLiteral("hello, \"Ann\""))) << qPrintable(body);
    EXPECT_TRUE(body.contains(QStringLiteral("01 May 2022 @ 10:00 AM")));
    EXPECT_TRUE(body.contains(QStringLiteral("only")));
    EXPECT_FALSE(body.contains(QStringLiteral("line one")));
    const auto group = TestSupport::run(
        QStringLiteral("pdftotext"), {QDir(out).filePath(QStringLiteral("TeamA.pdf")), QStringLiteral("-")});
    EXPECT_TRUE(QString::fromUtf8(group.out).contains(QStringLiteral("Bob"))); // the sender's name
}

TEST_F(ExportTest, HtmlExportPagesAreWellFormedAndTheirFilesResolve)
{
    QTemporaryDir media;
    const QString content = media.filePath(QStringLiteral("7f3c9a"));
    TestSupport::writeFile(content, QByteArray(100, 'v'));
    const QString preview = media.filePath(QStringLiteral("7f3c9a-preview.jpg"));
    TestSupport::writeFile(preview, readFile(ViewData::dataPath(QStringLiteral("kikbb/empty_photo.jpg"))));
    KikMessageList list = threeChats();
    _KikMessage *video = d.message(chatBob, QString(), localTime(2022, 5, 1, 11, 0));
    video->app_id = QStringLiteral("com.kik.ext.video");
    video->content_path = content;
    video->preview_path = preview;
    video->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("clip.mp4"));
    _KikMessage *missing = d.message(chatBob, QString(), localTime(2022, 5, 1, 11, 1));
    missing->app_id = QStringLiteral("com.kik.ext.gallery");
    missing->content_path = media.filePath(QStringLiteral("gone"));
    missing->attachment.insert(QStringLiteral("string:file-url"),
                               QStringLiteral("http://files.example/1.jpg"));
    _KikMessage *emoji = d.message(chatAnn, QStringLiteral("\U0001F600 & <b>"), localTime(2022, 5, 1, 11, 2));
    // Phone data with script addresses and quotes: nothing of it may run
    // or break the page.
    _KikMessage *sticker = d.message(chatAnn, QString(), localTime(2022, 5, 1, 11, 3));
    sticker->app_id = QStringLiteral("com.kik.cards");
    sticker->sub_app_id = QStringLiteral("Stickers");
    sticker->attachment.insert(QStringLiteral("extra:sticker_url"), QStringLiteral("javascript:alert('x')"));
    _KikMessage *quoted = d.message(chatAnn, QString(), localTime(2022, 5, 1, 11, 4));
    quoted->app_id = QStringLiteral("com.kik.ext.camera");
    quoted->attachment.insert(QStringLiteral("string:file-url"),
                              QStringLiteral("http://a.example/\"><script>x</script>"));
    list << video << missing << emoji << sticker << quoted;

    const QString out = dir.filePath(QStringLiteral("chats-html"));
    RecordingProgress progress;
    ExportMessagesThread job(list, out, ExportFormat::Html, &progress);
    runJob(job, progress);
    ASSERT_TRUE(job.succeeded()) << qPrintable(job.errorText());
    EXPECT_EQ(QDir(out).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("Ann Lee.html"), QStringLiteral("Bob.html"),
                           QStringLiteral("TeamA.html")}));
    EXPECT_TRUE(QFileInfo::exists(QDir(out).filePath(QStringLiteral("files/style.css"))));
    EXPECT_TRUE(QFileInfo::exists(QDir(out).filePath(QStringLiteral("files/bb2_09.png"))));
    EXPECT_TRUE(QFileInfo::exists(QDir(out).filePath(QStringLiteral("emoji/1F600.png"))));
    EXPECT_TRUE(QFileInfo::exists(QDir(out).filePath(QStringLiteral("kikemoji/3a29.png"))));
    // The content file got the suffix of its file name.
    EXPECT_EQ(readFile(QDir(out).filePath(QStringLiteral("files/7f3c9a.mp4"))), QByteArray(100, 'v'));
    const QString bobPage = QString::fromUtf8(readFile(QDir(out).filePath(QStringLiteral("Bob.html"))));
    EXPECT_TRUE(bobPage.contains(QStringLiteral("<a href=\"files/7f3c9a.mp4\" target=\"_blank\">")));
    EXPECT_TRUE(bobPage.contains(
        QStringLiteral("<a href=\"http://files.example/1.jpg\" target=\"_blank\"><img "
                       "style=\"max-width:128px;max-height:128px;\" src=\"files/empty_photo.jpg\"")));
    EXPECT_TRUE(bobPage.contains(QStringLiteral(
        "<link href=\"files/style.css\" type=\"text/css\" rel=\"stylesheet\"/></head><body>")));
    EXPECT_TRUE(bobPage.contains(QStringLiteral("<title>Velloran iPhone Kik to Android Transfer</title>")));

    const auto check = TestSupport::runPython(QStringLiteral("check_html_export.py"), {out});
    ASSERT_EQ(check.exitCode, 0) << check.err.constData();
    const QJsonObject result = QJsonDocument::fromJson(check.out).object();
    EXPECT_EQ(result.value(QStringLiteral("pages")).toInt(), 3);
    // three style sheets, one emoji, the video link and its preview, three empty photos
    EXPECT_EQ(result.value(QStringLiteral("links")).toInt(), 9);
    const QString annPage = QString::fromUtf8(readFile(QDir(out).filePath(QStringLiteral("Ann Lee.html"))));
    EXPECT_FALSE(annPage.contains(QStringLiteral("javascript"), Qt::CaseInsensitive));
    EXPECT_FALSE(annPage.contains(QStringLiteral("<script")));
    EXPECT_TRUE(result.value(QStringLiteral("errors")).toArray().isEmpty()) << check.out.constData();
}

TEST_F(ExportTest, CancelRemovesTheOutputFolder)
{
    const QString out = dir.filePath(QStringLiteral("chats-pdf"));
    RecordingProgress progress;
    progress.cancelAfter = 3;
    ExportMessagesThread job(threeChats(), out, ExportFormat::Pdf, &progress);
    runJob(job, progress);
    EXPECT_TRUE(job.wasCancelled());
    EXPECT_FALSE(job.succeeded());
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_TRUE(progress.successes.isEmpty());
    EXPECT_TRUE(progress.errors.isEmpty());
}

TEST_F(ExportTest, CancelInAnExistingFolderRemovesOnlyWhatTheExportWrote)
{
    // The page of the first chat is written and the second begun when the
    // cancel comes (reports: the title, then one per message).
    const QString out = dir.filePath(QStringLiteral("mine"));
    TestSupport::writeFile(QDir(out).filePath(QStringLiteral("keep.txt")), "precious");
    RecordingProgress progress;
    progress.cancelAfter = 3;
    ExportMessagesThread job(threeChats(), out, ExportFormat::Html, &progress);
    runJob(job, progress);
    EXPECT_TRUE(job.wasCancelled());
    EXPECT_FALSE(job.succeeded());
    EXPECT_TRUE(job.writtenFiles().isEmpty());
    EXPECT_TRUE(progress.errors.isEmpty()) << qPrintable(progress.errors.join(QLatin1Char('\n')));
    EXPECT_TRUE(progress.successes.isEmpty());
    EXPECT_EQ(progress.texts.size(), 3) << "stopped at the next message";
    EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
              QStringList{QStringLiteral("keep.txt")});
    EXPECT_EQ(readFile(QDir(out).filePath(QStringLiteral("keep.txt"))), QByteArray("precious"));
}

TEST_F(ExportTest, CancelledHtmlPageTakesItsCopiedFilesOutOfFoldersThatWereThere)
{
    // The folders for media and emoji were there before: what the page in
    // progress copied into them goes, what they held stays.
    const QString out = dir.filePath(QStringLiteral("mine"));
    TestSupport::writeFile(QDir(out).filePath(QStringLiteral("files/keep.bin")), "mine");
    TestSupport::writeFile(QDir(out).filePath(QStringLiteral("emoji/keep.png")), "mine");
    QTemporaryDir media;
    const QString content = media.filePath(QStringLiteral("7f3c9a"));
    TestSupport::writeFile(content, QByteArray(100, 'v'));
    _KikMessage *emoji = d.message(chatAnn, QStringLiteral("\U0001F600"), localTime(2022, 5, 1, 10, 0));
    _KikMessage *video = d.message(chatAnn, QString(), localTime(2022, 5, 1, 10, 1));
    video->app_id = QStringLiteral("com.kik.ext.video");
    video->content_path = content;
    video->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("clip.mp4"));
    _KikMessage *after = d.message(chatAnn, QStringLiteral("later"), localTime(2022, 5, 1, 10, 2));

    // Reports: the title, then one per message; the cancel comes with the
    // video's, so the page is open with both copies made.
    RecordingProgress progress;
    progress.cancelAfter = 3;
    ExportMessagesThread job({emoji, video, after}, out, ExportFormat::Html, &progress);
    runJob(job, progress);
    EXPECT_TRUE(job.wasCancelled());
    EXPECT_TRUE(progress.errors.isEmpty()) << qPrintable(progress.errors.join(QLatin1Char('\n')));
    const auto names = [&out](const QString &sub) {
        return QDir(QDir(out).filePath(sub))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    };
    EXPECT_EQ(names(QStringLiteral("files")), QStringList{QStringLiteral("keep.bin")});
    EXPECT_EQ(names(QStringLiteral("emoji")), QStringList{QStringLiteral("keep.png")});
    EXPECT_EQ(names(QString()), QStringList({QStringLiteral("emoji"), QStringLiteral("files")}));
}

TEST_F(ExportTest, CancelDuringTheLastMessageLeavesAnEarlierFileAsItWas)
{
    // The cancel comes with the report of the last message: the loop has
    // nothing more to check, yet the file is not replaced.
    const QString earlier = dir.filePath(QStringLiteral("earlier.csv"));
    TestSupport::writeFile(earlier, "earlier export");
    RecordingProgress progress;
    progress.cancelAfter = 1 + int(threeChats().size());
    ExportMessagesThread job(threeChats(), earlier, ExportFormat::Csv, &progress);
    runJob(job, progress);
    EXPECT_TRUE(job.wasCancelled());
    EXPECT_FALSE(job.succeeded());
    EXPECT_TRUE(job.writtenFiles().isEmpty());
    EXPECT_EQ(progress.texts.last(), QStringLiteral("Messages: 4/4"));
    EXPECT_TRUE(progress.errors.isEmpty());
    EXPECT_TRUE(progress.successes.isEmpty());
    EXPECT_EQ(readFile(earlier), "earlier export");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList{QStringLiteral("earlier.csv")})
        << "no temporary file is left";
}

TEST_F(ExportTest, FailureKeepsWhatWasInAnExistingFolder)
{
    // The user picked a folder that already holds files: a failing export
    // removes only what it wrote.
    const QString out = dir.filePath(QStringLiteral("mine"));
    TestSupport::writeFile(QDir(out).filePath(QStringLiteral("keep.txt")), "precious");
    // A folder in the way of the page of the second chat makes it fail.
    QDir(out).mkpath(QStringLiteral("Bob.html"));
    TestSupport::writeFile(QDir(out).filePath(QStringLiteral("Bob.html/inside")), "x");
    RecordingProgress progress;
    ExportMessagesThread job(threeChats(), out, ExportFormat::Html, &progress);
    runJob(job, progress);
    // uniqueFilePath steps around the folder, so this succeeds; now block
    // the "files" folder with a plain file instead.
    ASSERT_TRUE(job.succeeded()) << qPrintable(job.errorText());
    EXPECT_TRUE(QFileInfo::exists(QDir(out).filePath(QStringLiteral("Bob(1).html"))));

    const QString out2 = dir.filePath(QStringLiteral("mine2"));
    TestSupport::writeFile(QDir(out2).filePath(QStringLiteral("keep.txt")), "precious");
    TestSupport::writeFile(QDir(out2).filePath(QStringLiteral("files")), "not a folder");
    RecordingProgress progress2;
    ExportMessagesThread job2(threeChats(), out2, ExportFormat::Html, &progress2);
    runJob(job2, progress2);
    EXPECT_FALSE(job2.succeeded());
    ASSERT_EQ(progress2.errors.size(), 1);
    EXPECT_EQ(readFile(QDir(out2).filePath(QStringLiteral("keep.txt"))), QByteArray("precious"));
    EXPECT_EQ(readFile(QDir(out2).filePath(QStringLiteral("files"))), QByteArray("not a folder"));
    EXPECT_FALSE(QFileInfo::exists(QDir(out2).filePath(QStringLiteral("emoji"))));
    EXPECT_TRUE(QDir(out2).entryList({QStringLiteral("*.html")}, QDir::Files).isEmpty());
}

TEST_F(ExportTest, UnknownFormatAndUnwritableFileAreJobErrors)
{
    RecordingProgress progress;
    ExportMessagesThread job(threeChats(), dir.filePath(QStringLiteral("x")), 7, &progress);
    runJob(job, progress);
    EXPECT_EQ(progress.errors, QStringList{QStringLiteral("not support export format.")});

    const QString blocked = dir.filePath(QStringLiteral("no/such/folder/chats.csv"));
    RecordingProgress progress2;
    ExportMessagesThread job2(threeChats(), blocked, ExportFormat::Csv, &progress2);
    runJob(job2, progress2);
    EXPECT_FALSE(job2.succeeded());
    ASSERT_EQ(progress2.errors.size(), 1);
    EXPECT_TRUE(progress2.errors.first().contains(QStringLiteral("chats.csv")));
    EXPECT_TRUE(progress2.successes.isEmpty());
}

TEST_F(ExportTest, SpecialFilesAreRefusedAndAnEarlierFileSurvivesACancel)
{
    // A pipe and (when allowed) a device node of our own as outputs.
    QStringList specials{dir.filePath(QStringLiteral("pipe"))};
    ASSERT_EQ(::mkfifo(QFile::encodeName(specials.first()).constData(), 0600), 0);
    const QString node = dir.filePath(QStringLiteral("node"));
    if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        specials << node;
    for (const QString &special : std::as_const(specials)) {
        for (const int format : {ExportFormat::Text, ExportFormat::Csv, ExportFormat::Pdf}) {
            RecordingProgress progress;
            ExportMessagesThread job(threeChats(), special, format, &progress);
            runJob(job, progress);
            EXPECT_FALSE(job.succeeded());
            EXPECT_EQ(progress.errors.size(), 1);
            struct stat st = {};
            ASSERT_EQ(::lstat(QFile::encodeName(special).constData(), &st), 0) << "removed";
            EXPECT_FALSE(S_ISREG(st.st_mode)) << "replaced by a regular file";
        }
    }
    // A cancelled text export leaves the file that was there as it was.
    const QString earlier = dir.filePath(QStringLiteral("earlier.txt"));
    TestSupport::writeFile(earlier, "earlier export");
    RecordingProgress progress;
    progress.cancelAfter = 2;
    ExportMessagesThread job(threeChats(), earlier, ExportFormat::Text, &progress);
    runJob(job, progress);
    EXPECT_TRUE(job.wasCancelled());
    EXPECT_EQ(readFile(earlier), "earlier export");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
              specials.size() + 1)
        << "no temporary file is left";
}

TEST_F(ExportTest, CopyExportFileNeverOverwrites)
{
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    QByteArray bytes(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 % 251);
    TestSupport::writeFile(source, bytes);
    const QString target = dir.filePath(QStringLiteral("target.bin"));
    ASSERT_TRUE(copyExportFile(source, target));
    EXPECT_EQ(readFile(target), bytes);
    // A file that is already there stays as it is.
    TestSupport::writeFile(target, "mine");
    EXPECT_FALSE(copyExportFile(source, target));
    EXPECT_EQ(readFile(target), QByteArray("mine"));
    EXPECT_FALSE(copyExportFile(dir.filePath(QStringLiteral("missing")), dir.filePath(QStringLiteral("t2"))));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("t2"))));
}

TEST_F(ExportTest, ChatFileNames)
{
    EXPECT_EQ(ExportMessagesThread::chatFileName(chatTeam, QStringLiteral(".pdf")),
              QStringLiteral("TeamA.pdf"));
    EXPECT_EQ(ExportMessagesThread::chatFileName(nullptr, QStringLiteral(".html")),
              QStringLiteral("unknown-chat.html"));
    _KikChat *slashy = d.chat(d.user(QStringLiteral("../a/b:c"), QStringLiteral("x@talk.kik.com")));
    const QString name = ExportMessagesThread::chatFileName(slashy, QStringLiteral(".pdf"));
    EXPECT_FALSE(name.contains(QLatin1Char('/')));
    EXPECT_TRUE(name.endsWith(QStringLiteral(".pdf")));
}

} // namespace
