// The export command: its arguments, and exports of a local database in
// every format, read back from the files they wrote.
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TestSupport::ProcessResult kik(const QStringList &args)
{
    return TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")), args);
}

TEST(ExportCommandTest, UsageErrorsExitWithTwo)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("x.txt"));
    auto r = kik({QStringLiteral("export"), QStringLiteral("localdb:none"), QStringLiteral("--format"),
                  QStringLiteral("rtf"), QStringLiteral("--out"), out});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("--format must be txt, doc, csv, pdf or html"));
    r = kik({QStringLiteral("export"), QStringLiteral("localdb:none"), QStringLiteral("--out"), out});
    EXPECT_EQ(r.exitCode, 2);
    r = kik({QStringLiteral("export"), QStringLiteral("nosuchkind:x"), QStringLiteral("--format"),
             QStringLiteral("txt"), QStringLiteral("--out"), out});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST(ExportCommandTest, HelpNamesTheFormats)
{
    const auto r = kik({QStringLiteral("export"), QStringLiteral("--help")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("txt|doc|csv|pdf|html"));
}

class ExportCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto built = TestSupport::runPython(
            QStringLiteral("make_localdb.py"),
            {QDir(root.path()).filePath(QStringLiteral("local_databases/chats")), QStringLiteral("plain")});
        ASSERT_EQ(built.exitCode, 0) << built.err.constData();
    }

    // Runs an export with --json and returns its result object.
    QJsonObject exportJson(const QString &format, const QString &target, const QStringList &extra = {})
    {
        const auto r = kik(QStringList{QStringLiteral("--data-root"), root.path(), QStringLiteral("--json"),
                                       QStringLiteral("--quiet"), QStringLiteral("export"),
                                       QStringLiteral("localdb:chats"), QStringLiteral("--format"), format,
                                       QStringLiteral("--out"), target}
                           + extra);
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        return QJsonDocument::fromJson(r.out).object();
    }

    QString outPath(const QString &name) const { return QDir(out.path()).filePath(name); }

    // A PDF export of a big archive into `folder`, stopped at the job's first
    // item report as Ctrl+C would stop it.
    TestSupport::ProcessResult terminatedPdfExport(const QString &folder)
    {
        const auto built = TestSupport::runPython(
            QStringLiteral("make_localdb.py"),
            {QDir(root.path()).filePath(QStringLiteral("local_databases/big")), QStringLiteral("big:40000")});
        EXPECT_EQ(built.exitCode, 0) << built.err.constData();
        return TestSupport::terminateAfter(
            QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
            {QStringLiteral("--data-root"), root.path(), QStringLiteral("export"),
             QStringLiteral("localdb:big"), QStringLiteral("--format"), QStringLiteral("pdf"),
             QStringLiteral("--out"), folder},
            "Messages:");
    }

    QTemporaryDir root;
    QTemporaryDir out;
};

TEST_F(ExportCli, TextCsvAndDocWriteOneFile)
{
    const QJsonObject csv = exportJson(QStringLiteral("csv"), outPath(QStringLiteral("chats.csv")));
    EXPECT_EQ(csv.value(QStringLiteral("format")).toString(), QStringLiteral("csv"));
    EXPECT_EQ(csv.value(QStringLiteral("out")).toString(), outPath(QStringLiteral("chats.csv")));
    EXPECT_EQ(csv.value(QStringLiteral("messages")).toInt(), 3);
    EXPECT_EQ(csv.value(QStringLiteral("files")).toArray(), QJsonArray{outPath(QStringLiteral("chats.csv"))});
    const QStringList rows = QString::fromUtf8(TestSupport::readFile(outPath(QStringLiteral("chats.csv"))))
                                 .split(QLatin1Char('\n'));
    ASSERT_EQ(rows.size(), 5) << qPrintable(rows.join(QLatin1Char('|')));
    EXPECT_EQ(rows.at(0), QStringLiteral("date,send,user,content"));
    EXPECT_TRUE(rows.at(1).endsWith(QStringLiteral(",0,Ann Example,Hello Ann \u2713")))
        << qPrintable(rows.at(1));
    EXPECT_TRUE(rows.at(2).contains(QStringLiteral(",1,Ann Example,")));
    EXPECT_TRUE(rows.at(3).endsWith(QStringLiteral(",0,Bob,group hello"))); // the group's sender

    // ".doc" holds the text format, the same bytes as ".txt".
    const QJsonObject doc = exportJson(QStringLiteral("doc"), outPath(QStringLiteral("chats.doc")));
    EXPECT_EQ(doc.value(QStringLiteral("format")).toString(), QStringLiteral("doc"));
    exportJson(QStringLiteral("txt"), outPath(QStringLiteral("chats.txt")));
    const QByteArray text = TestSupport::readFile(outPath(QStringLiteral("chats.txt")));
    EXPECT_EQ(TestSupport::readFile(outPath(QStringLiteral("chats.doc"))), text);
    EXPECT_TRUE(text.startsWith("Date                          Flag  Name"));
    EXPECT_EQ(text.count('\n'), 4);

    // Only the chosen chat.
    const QJsonObject one = exportJson(QStringLiteral("txt"), outPath(QStringLiteral("ann.txt")),
                                       {QStringLiteral("--chat"), QStringLiteral("ann_x@talk.kik.com")});
    EXPECT_EQ(one.value(QStringLiteral("messages")).toInt(), 2);
    EXPECT_EQ(TestSupport::readFile(outPath(QStringLiteral("ann.txt"))).count('\n'), 3);
}

TEST_F(ExportCli, PdfAndHtmlWriteOneFilePerChatNamedAfterThePartner)
{
    const QString pdfFolder = outPath(QStringLiteral("chats-pdf"));
    const QJsonObject pdf = exportJson(QStringLiteral("pdf"), pdfFolder);
    EXPECT_EQ(pdf.value(QStringLiteral("files")).toArray(),
              (QJsonArray{QDir(pdfFolder).filePath(QStringLiteral("Ann Example.pdf")),
                          QDir(pdfFolder).filePath(QStringLiteral("Fellows.pdf"))}));
    EXPECT_EQ(QDir(pdfFolder).entryList(QDir::Files).size(), 2);

    const QString htmlFolder = outPath(QStringLiteral("chats-html"));
    const QJsonObject html = exportJson(QStringLiteral("html"), htmlFolder);
    EXPECT_EQ(html.value(QStringLiteral("files")).toArray(),
              (QJsonArray{QDir(htmlFolder).filePath(QStringLiteral("Ann Example.html")),
                          QDir(htmlFolder).filePath(QStringLiteral("Fellows.html"))}));
    const auto check = TestSupport::runPython(QStringLiteral("check_html_export.py"), {htmlFolder});
    ASSERT_EQ(check.exitCode, 0) << check.err.constData();
    const QJsonObject result = QJsonDocument::fromJson(check.out).object();
    EXPECT_EQ(result.value(QStringLiteral("pages")).toInt(), 2);
    EXPECT_TRUE(result.value(QStringLiteral("errors")).toArray().isEmpty()) << check.out.constData();

    if (!TestSupport::toolsPresent({QStringLiteral("pdftotext")}))
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const auto text =
        TestSupport::run(QStringLiteral("pdftotext"),
                         {QDir(pdfFolder).filePath(QStringLiteral("Fellows.pdf")), QStringLiteral("-")});
    ASSERT_EQ(text.exitCode, 0) << text.err.constData();
    EXPECT_TRUE(text.out.contains("group hello"));
    EXPECT_TRUE(text.out.contains("Bob"));
}

TEST_F(ExportCli, FailureExitsWithOneAndLeavesNothing)
{
    const QString blocked = outPath(QStringLiteral("no/such/folder/chats.csv"));
    const auto r = kik({QStringLiteral("--data-root"), root.path(), QStringLiteral("export"),
                        QStringLiteral("localdb:chats"), QStringLiteral("--format"), QStringLiteral("csv"),
                        QStringLiteral("--out"), blocked});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("chats.csv")) << r.err.constData();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(blocked));
}

TEST_F(ExportCli, TerminateCancelsAndRemovesTheOutputFolder)
{
    const QString folder = outPath(QStringLiteral("big-pdf"));
    const auto r = terminatedPdfExport(folder);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 3) << r.err.constData();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folder)) << "nothing half-written is kept";
}

TEST_F(ExportCli, TerminateKeepsWhatWasInAnExistingFolder)
{
    const QString folder = outPath(QStringLiteral("mine"));
    TestSupport::writeFile(QDir(folder).filePath(QStringLiteral("keep.txt")), "precious");
    const auto r = terminatedPdfExport(folder);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 3) << r.err.constData();
    EXPECT_TRUE(r.err.endsWith("Cancelled.\n")) << r.err.constData();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
              QStringList{QStringLiteral("keep.txt")});
    EXPECT_EQ(TestSupport::readFile(QDir(folder).filePath(QStringLiteral("keep.txt"))),
              QByteArray("precious"));
}

} // namespace

namespace {

TEST_F(ExportCli, ProgressWithoutATerminalIsALinePerPercent)
{
    const auto built = TestSupport::runPython(
        QStringLiteral("make_localdb.py"),
        {QDir(root.path()).filePath(QStringLiteral("local_databases/many")), QStringLiteral("big:40000")});
    ASSERT_EQ(built.exitCode, 0) << built.err.constData();
    const auto r = kik({QStringLiteral("--data-root"), root.path(), QStringLiteral("export"),
                        QStringLiteral("localdb:many"), QStringLiteral("--format"), QStringLiteral("csv"),
                        QStringLiteral("--out"), outPath(QStringLiteral("many.csv"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_GE(r.err.count('\n'), 50);
    EXPECT_LE(r.err.count('\n'), 105) << "one line per percent at most";
    EXPECT_FALSE(r.err.contains('\r'));
}

} // namespace
