#include "support/TestSupport.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using TestSupport::ProcessResult;

namespace {

ProcessResult cli(const QStringList &args, const QStringList &env = {})
{
    return TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")), args, {},
                            60000, env);
}

} // namespace

TEST(CliShell, HelpListsCommandsAndExitsZero)
{
    const ProcessResult r = cli({QStringLiteral("--help")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("Usage: velloran-kik [GLOBAL OPTIONS] COMMAND"));
    EXPECT_TRUE(r.out.contains("version"));
    const ProcessResult one = cli({QStringLiteral("version"), QStringLiteral("--help")});
    EXPECT_EQ(one.exitCode, 0);
    EXPECT_TRUE(one.out.contains("Print the program and library versions."));
    // A two-word command's first word with --help lists the commands it starts.
    const ProcessResult group = cli({QStringLiteral("localdb"), QStringLiteral("--help")});
    EXPECT_EQ(group.exitCode, 0) << group.err.constData();
    EXPECT_TRUE(group.out.contains("localdb list")) << group.out.constData();
    EXPECT_TRUE(group.out.contains("localdb delete NAME")) << group.out.constData();
    EXPECT_FALSE(group.out.contains("itunes files"));
}

TEST(CliShell, VersionJsonIsOneDocumentOnStdout)
{
    QTemporaryDir root;
    const ProcessResult r = cli(
        {QStringLiteral("--data-root"), root.path(), QStringLiteral("--json"), QStringLiteral("version")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out.constData();
    const QJsonObject obj = doc.object();
    EXPECT_FALSE(obj.value(QStringLiteral("version")).toString().isEmpty());
    EXPECT_TRUE(obj.value(QStringLiteral("qt")).toString().startsWith(QStringLiteral("6.")));
    EXPECT_TRUE(obj.value(QStringLiteral("sqlite")).toString().startsWith(QStringLiteral("3.")));
    // The run was logged below the given data root, not elsewhere.
    EXPECT_EQ(QDir(root.filePath(QStringLiteral("qlogs"))).entryList(QDir::Files).size(), 1);
}

TEST(CliShell, DataRootFromTheEnvironment)
{
    QTemporaryDir root;
    const ProcessResult r =
        cli({QStringLiteral("version")}, {QStringLiteral("VELLORAN_DATA_ROOT=") + root.path()});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("velloran-kik "));
    EXPECT_TRUE(QDir(root.filePath(QStringLiteral("qlogs"))).exists());
}

TEST(CliShell, UsageErrorsExitTwo)
{
    const QList<QStringList> bad = {
        {},
        {QStringLiteral("no-such-command")},
        {QStringLiteral("--bogus"), QStringLiteral("version")},
        {QStringLiteral("--data-root")},
        {QStringLiteral("version"), QStringLiteral("extra")},
        {QStringLiteral("version"), QStringLiteral("--unknown")},
        {QStringLiteral("localdb")},
        {QStringLiteral("localdb"), QStringLiteral("erase"), QStringLiteral("x")},
    };
    for (const QStringList &args : bad) {
        const ProcessResult r = cli(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.contains("velloran-kik: ")) << r.err.constData();
    }
}
