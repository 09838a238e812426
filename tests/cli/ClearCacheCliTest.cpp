// velloran-kik clear-cache: the phones' caches and the device backup work
// folder go, wherever that folder's base was put; the local databases and
// other files of the data root stay.
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class ClearCacheCli : public ::testing::Test
{
protected:
    TestSupport::ProcessResult cli(const QStringList &args)
    {
        return TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
                                QStringList{QStringLiteral("--data-root"), m_root.path()} + args);
    }
    QString rootPath(const QString &relative) const { return QDir(m_root.path()).filePath(relative); }
    // A data root with cached phone data, a device backup in a work folder
    // on another base, and a local database.
    void fill()
    {
        TestSupport::writeFile(rootPath(QStringLiteral("ios_cache/UDID1/com.kik.chat/Documents/kik.sqlite")),
                               "x");
        TestSupport::writeFile(rootPath(QStringLiteral("android_cache/SERIAL1/ab-extract/backup.ab")), "x");
        TestSupport::writeFile(
            QDir(m_base.path()).filePath(QStringLiteral("__velloran_iosbk_temp/UDID1/Manifest.db")), "x");
        TestSupport::writeFile(rootPath(QStringLiteral("__velloran_iosbk_temp.path")),
                               m_base.path().toUtf8());
        const auto built = TestSupport::runPython(
            QStringLiteral("make_localdb.py"),
            {rootPath(QStringLiteral("local_databases/Kept")), QStringLiteral("plain")});
        ASSERT_EQ(built.exitCode, 0) << built.err.constData();
        TestSupport::writeFile(rootPath(QStringLiteral("notes.txt")), "mine");
    }
    void expectCleared()
    {
        EXPECT_FALSE(QFileInfo::exists(rootPath(QStringLiteral("ios_cache"))));
        EXPECT_FALSE(QFileInfo::exists(rootPath(QStringLiteral("android_cache"))));
        EXPECT_FALSE(
            QFileInfo::exists(QDir(m_base.path()).filePath(QStringLiteral("__velloran_iosbk_temp"))));
        EXPECT_FALSE(QFileInfo::exists(rootPath(QStringLiteral("__velloran_iosbk_temp.path"))));
        EXPECT_TRUE(QFileInfo(m_base.path()).isDir());
        EXPECT_FALSE(QDir(rootPath(QStringLiteral("local_databases/Kept"))).isEmpty());
        EXPECT_EQ(TestSupport::readFile(rootPath(QStringLiteral("notes.txt"))), QByteArray("mine"));
    }

    QTemporaryDir m_root;
    QTemporaryDir m_base;
};

} // namespace

TEST_F(ClearCacheCli, RemovesTheCachesAndTheBackupWorkFolderAndKeepsTheRest)
{
    fill();
    const auto json = cli({QStringLiteral("--json"), QStringLiteral("clear-cache")});
    EXPECT_EQ(json.exitCode, 0) << json.err.constData();
    const QJsonDocument doc = QJsonDocument::fromJson(json.out);
    EXPECT_TRUE(doc.isObject() && doc.object().isEmpty()) << json.out.constData();
    expectCleared();

    // Again, without --json and with nothing left to clear: the success text.
    const auto text = cli({QStringLiteral("clear-cache")});
    EXPECT_EQ(text.exitCode, 0) << text.err.constData();
    EXPECT_EQ(text.out.trimmed(), QByteArray("Successfully cleared cache files."));
}

TEST_F(ClearCacheCli, TakesNoArguments)
{
    fill();
    const auto result = cli({QStringLiteral("clear-cache"), QStringLiteral("extra")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(QFileInfo::exists(rootPath(QStringLiteral("ios_cache/UDID1"))));
}
