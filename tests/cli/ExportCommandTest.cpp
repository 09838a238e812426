// The export command's arguments. End-to-end exports of a real source are
// covered where the source kinds are registered.
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>

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

} // namespace
