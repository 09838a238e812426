#include "support/TestSupport.h"

#include "../ios/BackupFixture.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

TestSupport::ProcessResult cli(const QStringList &args)
{
    TestSupport::ScopedDataRoot root;
    return TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
                            QStringList{QStringLiteral("--data-root"), root.path(), QStringLiteral("--json")}
                                + args);
}

class ItunesCli : public ::testing::TestWithParam<const char *>
{};

} // namespace

TEST_P(ItunesCli, FilesAndExtract)
{
    const QString kind = QString::fromLatin1(GetParam());
    BackupFixture fx;
    ASSERT_TRUE(fx.build(kind));
    const QStringList pw = kind.endsWith(QLatin1String("-enc"))
                               ? QStringList{QStringLiteral("--password"), QStringLiteral("secret")}
                               : QStringList();

    auto files = cli(QStringList{QStringLiteral("itunes"), QStringLiteral("files"), fx.path,
                                 QStringLiteral("--domain"), QStringLiteral("AppDomain-com.kik.chat")}
                     + pw);
    ASSERT_EQ(files.exitCode, 0) << files.err.constData();
    const QJsonArray list = QJsonDocument::fromJson(files.out).array();
    int expected = 0;
    for (const auto &v : fx.files)
        expected += v.toObject().value(QStringLiteral("domain")).toString()
                    == QLatin1String("AppDomain-com.kik.chat");
    EXPECT_EQ(list.size(), expected);
    bool sawWal = false;
    for (const auto &v : list) {
        const QJsonObject o = v.toObject();
        const QJsonObject want =
            fx.file(o.value(QStringLiteral("domain")).toString(), o.value(QStringLiteral("path")).toString());
        ASSERT_FALSE(want.isEmpty());
        EXPECT_EQ(o.value(QStringLiteral("file_id")), want.value(QStringLiteral("file_id")));
        EXPECT_EQ(o.value(QStringLiteral("size")).toInteger(),
                  want.value(QStringLiteral("size")).toInteger());
        EXPECT_EQ(o.value(QStringLiteral("is_dir")), want.value(QStringLiteral("is_dir")));
        EXPECT_EQ(o.value(QStringLiteral("mtime")).toInteger(),
                  want.value(QStringLiteral("mtime")).toInteger() * 1000);
        EXPECT_EQ(o.value(QStringLiteral("protection_class")),
                  want.value(QStringLiteral("protection_class")));
        sawWal |= o.value(QStringLiteral("path")).toString() == QLatin1String("Documents/kik.sqlite-wal");
    }
    EXPECT_TRUE(sawWal);

    QTemporaryDir out;
    const QString dest = out.filePath(QStringLiteral("sub/kik.sqlite"));
    auto extract = cli(QStringList{QStringLiteral("itunes"), QStringLiteral("extract"), fx.path,
                                   QStringLiteral("AppDomain-com.kik.chat"),
                                   QStringLiteral("Documents/kik.sqlite"), dest}
                       + pw);
    ASSERT_EQ(extract.exitCode, 0) << extract.err.constData();
    EXPECT_EQ(QJsonDocument::fromJson(extract.out).object().value(QStringLiteral("size")).toInt(), 1000);
    EXPECT_EQ(TestSupport::readFile(dest).toHex(),
              fx.file(QStringLiteral("AppDomain-com.kik.chat"), QStringLiteral("Documents/kik.sqlite"))
                  .value(QStringLiteral("content"))
                  .toString()
                  .toLatin1());
}

INSTANTIATE_TEST_SUITE_P(AllKinds, ItunesCli, ::testing::Values("mbdb", "db", "mbdb-enc", "db-enc"));

TEST(ItunesCliErrors, WrongOrMissingPasswordFails)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QStringLiteral("db-enc")));
    auto none = cli({QStringLiteral("itunes"), QStringLiteral("files"), fx.path});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains("Password is required.")) << none.err.constData();
    auto wrong = cli({QStringLiteral("itunes"), QStringLiteral("files"), fx.path,
                      QStringLiteral("--password"), QStringLiteral("nope")});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_TRUE(wrong.err.contains("Invalid password.")) << wrong.err.constData();
    QTemporaryDir dir;
    TestSupport::writeFile(dir.filePath(QStringLiteral("pw")), "secret\n");
    auto byFile = cli({QStringLiteral("itunes"), QStringLiteral("files"), fx.path,
                       QStringLiteral("--password-file"), dir.filePath(QStringLiteral("pw"))});
    EXPECT_EQ(byFile.exitCode, 0) << byFile.err.constData();
    auto missing =
        cli({QStringLiteral("itunes"), QStringLiteral("extract"), fx.path, QStringLiteral("HomeDomain"),
             QStringLiteral("nope"), dir.filePath(QStringLiteral("o")), QStringLiteral("--password"),
             QStringLiteral("secret")});
    EXPECT_EQ(missing.exitCode, 1);
}

TEST(ItunesCliErrors, BackupsListsOnlyBackupFolders)
{
    QTemporaryDir root;
    BackupFixture a;
    ASSERT_TRUE(a.build(QStringLiteral("mbdb")));
    const QString aPath = root.filePath(QStringLiteral("one"));
    ASSERT_TRUE(QDir().rename(a.path, aPath));
    BackupFixture b;
    ASSERT_TRUE(
        b.build(QStringLiteral("db-enc"), {QStringLiteral("--date"), QStringLiteral("2021-01-02T03:04:05")}));
    ASSERT_TRUE(QDir().rename(b.path, root.filePath(QStringLiteral("two"))));
    QDir(root.path()).mkpath(QStringLiteral("not-a-backup"));
    TestSupport::writeFile(root.filePath(QStringLiteral("plist-only/Manifest.plist")), "x");

    auto r = cli({QStringLiteral("backups"), QStringLiteral("--root"), root.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonArray list = QJsonDocument::fromJson(r.out).array();
    ASSERT_EQ(list.size(), 2);
    QMap<QString, QJsonObject> byName;
    for (const auto &v : list)
        byName.insert(QFileInfo(v.toObject().value(QStringLiteral("path")).toString()).fileName(),
                      v.toObject());
    EXPECT_EQ(byName.value(QStringLiteral("one")).value(QStringLiteral("encrypted")).toBool(), false);
    EXPECT_EQ(byName.value(QStringLiteral("two")).value(QStringLiteral("encrypted")).toBool(), true);
    EXPECT_EQ(byName.value(QStringLiteral("two")).value(QStringLiteral("date")).toInteger(), 1609556645000LL);
    EXPECT_EQ(byName.value(QStringLiteral("one")).value(QStringLiteral("name")).toString(),
              QStringLiteral("Test iPhone-one"));
}
