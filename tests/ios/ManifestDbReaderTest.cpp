#include "ios/ManifestDbReader.h"

#include "BackupFixture.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

TEST(ManifestDbReader, ReadsBuilderDatabase)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QStringLiteral("db"), {QStringLiteral("--hostile")}));
    const auto table = readManifestDb(fx.path + QStringLiteral("/Manifest.db"));
    EXPECT_EQ(table.size(), fx.files.size()); // the unsafe file id is left out
    for (const auto &v : fx.files) {
        const QJsonObject o = v.toObject();
        const QString id = o.value(QStringLiteral("file_id")).toString();
        ASSERT_TRUE(table.contains(id));
        const MbdbRecord &r = table.value(id);
        EXPECT_EQ(r.storedFileId, id);
        EXPECT_EQ(r.relativePath, o.value(QStringLiteral("path")).toString());
        EXPECT_EQ(r.flags, o.value(QStringLiteral("is_dir")).toBool()
                               ? 2
                               : (o.value(QStringLiteral("is_link")).toBool() ? 4 : 1));
        EXPECT_EQ(qint64(r.fileSize), o.value(QStringLiteral("size")).toInteger());
    }
}

TEST(ManifestDbReader, FlagsDecideWhenTheModeHasNoType)
{
    MbdbRecord r;
    r.flags = 2;
    EXPECT_TRUE(r.isDir());
    r.flags = 1;
    EXPECT_TRUE(r.isFile());
    r.mode = 040755; // the mode wins when it carries a type
    EXPECT_TRUE(r.isDir());
}

TEST(ManifestDbReader, GarbageArchivesAreRefusedWithoutCrashing)
{
    MbdbRecord r;
    EXPECT_FALSE(parseFileArchive(QByteArray(), r));
    EXPECT_FALSE(parseFileArchive("bplist00", r));
    QRandomGenerator rng(1234);
    for (int i = 0; i < 200; ++i) {
        QByteArray bytes("bplist00");
        const int n = 8 + int(rng.bounded(200));
        for (int k = 0; k < n; ++k)
            bytes.append(char(rng.bounded(256)));
        MbdbRecord junk;
        parseFileArchive(bytes, junk); // must simply return
    }
    // A keyed archive whose root reference points past its objects.
    const QByteArray xml =
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
        "<key>$objects</key><array><string>$null</string></array>"
        "<key>$top</key><dict><key>root</key><dict><key>CF$UID</key><integer>99</integer></dict></dict>"
        "</dict></plist>";
    EXPECT_FALSE(parseFileArchive(xml, r));
}

// The backup's own Manifest.db is read without SQLite writing beside it,
// and rows still in its write-ahead log are seen.
TEST(ManifestDbReader, ReadsWalModeDatabasesWithoutTouchingTheBackup)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QStringLiteral("db"), {QStringLiteral("--wal")}));
    const QDir folder(fx.path);
    const QString db = folder.filePath(QStringLiteral("Manifest.db"));
    const QString wal = db + QStringLiteral("-wal");
    const QByteArray walBytes = TestSupport::readFile(wal);
    ASSERT_FALSE(walBytes.isEmpty());
    const QStringList before = folder.entryList(QDir::Files, QDir::Name);

    const QString fromWal =
        fileId(QStringLiteral("AppDomain-com.kik.chat"), QStringLiteral("Documents/from-wal.txt"));
    const auto table = readManifestDb(db);
    EXPECT_EQ(table.size(), fx.files.size());
    EXPECT_TRUE(table.contains(fromWal));
    EXPECT_EQ(folder.entryList(QDir::Files, QDir::Name), before);
    EXPECT_EQ(TestSupport::readFile(wal), walBytes);

    // The same database in WAL mode with no log beside it: still nothing
    // is created in the backup folder.
    ASSERT_TRUE(QFile::remove(wal));
    const auto withoutLog = readManifestDb(db);
    EXPECT_EQ(withoutLog.size(), fx.files.size() - 1);
    EXPECT_FALSE(withoutLog.contains(fromWal));
    QStringList expected = before;
    expected.removeAll(QStringLiteral("Manifest.db-wal"));
    EXPECT_EQ(folder.entryList(QDir::Files, QDir::Name), expected);
}
