// Arguments that used to pass silently: a missing --root, a --chat that
// names no chat, an empty --data-root, device names that are no valid
// database names, database names that are too long.
#include "app/AppError.h"
#include "cli/LocalDbBackup.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TestSupport::ProcessResult kik(const QString &root, const QStringList &args)
{
    return TestSupport::run(
        QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
        QStringList{QStringLiteral("--data-root"), root, QStringLiteral("--quiet")} + args, {}, 120000);
}

} // namespace

TEST(BadArgumentsCli, MissingRootUnknownChatAndEmptyDataRootAreErrors)
{
    QTemporaryDir root;
    const auto missing = kik(root.path(), {QStringLiteral("backups"), QStringLiteral("--root"),
                                           QDir(root.path()).filePath(QStringLiteral("nonexistent"))});
    EXPECT_EQ(missing.exitCode, 1) << missing.out.constData();
    EXPECT_TRUE(missing.err.contains("nonexistent")) << missing.err.constData();

    ASSERT_EQ(TestSupport::runPython(QStringLiteral("make_localdb.py"),
                                     {QDir(root.path()).filePath(QStringLiteral("local_databases/chats"))})
                  .exitCode,
              0);
    QTemporaryDir work;
    const QString out = QDir(work.path()).filePath(QStringLiteral("x.txt"));
    const auto nobody =
        kik(root.path(), {QStringLiteral("export"), QStringLiteral("localdb:chats"), QStringLiteral("--chat"),
                          QStringLiteral("nobody@talk.kik.com"), QStringLiteral("--format"),
                          QStringLiteral("txt"), QStringLiteral("--out"), out});
    EXPECT_EQ(nobody.exitCode, 1);
    EXPECT_TRUE(nobody.err.contains("nobody@talk.kik.com")) << nobody.err.constData();
    EXPECT_FALSE(nobody.out.contains("Successfully"));
    EXPECT_FALSE(QFileInfo::exists(out));

    for (const QStringList &args :
         {QStringList{QStringLiteral("--data-root"), QString(), QStringLiteral("version")},
          QStringList{QStringLiteral("--data-root="), QStringLiteral("version")}}) {
        const auto empty =
            TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")), args);
        EXPECT_EQ(empty.exitCode, 2) << empty.out.constData();
    }
}

TEST(BadArgumentsCli, DefaultDatabaseNameFromAnyDeviceName)
{
    EXPECT_EQ(defaultLocalDbName(QStringLiteral("Bob's iPhone / work")),
              QStringLiteral("Bob's iPhone work_Backup"));
    EXPECT_EQ(defaultLocalDbName(QStringLiteral("a\tb\nc:d")), QStringLiteral("a b c d_Backup"));
    EXPECT_EQ(defaultLocalDbName(QStringLiteral(" / ")), QStringLiteral("iPhone_Backup"));
    EXPECT_EQ(defaultLocalDbName(QStringLiteral("..")), QStringLiteral("iPhone_Backup"));
    const QString long300 = defaultLocalDbName(QString(300, QChar(0x00e9)));
    EXPECT_LE(long300.toUtf8().size(), kMaxLocalDbNameBytes);
    EXPECT_TRUE(long300.endsWith(QStringLiteral("_Backup")));
    EXPECT_EQ(checkedLocalDbName(long300), long300);
    EXPECT_THROW(checkedLocalDbName(QString(300, QLatin1Char('n'))), AppError);
}

TEST(BadArgumentsCli, ImportItunesNamesTheDatabaseAfterAnyDevice)
{
    QTemporaryDir root;
    QTemporaryDir work;
    const QString app = QDir(work.path()).filePath(QStringLiteral("app"));
    ASSERT_EQ(TestSupport::runPython(QStringLiteral("make_ios_kik_store.py"),
                                     {app, QDir(work.path()).filePath(QStringLiteral("expected.json"))})
                  .exitCode,
              0);
    const QString backup = QDir(work.path()).filePath(QStringLiteral("backup"));
    const QString device = QStringLiteral("Bob's iPhone / work ") + QString(300, QLatin1Char('x'));
    const auto built =
        TestSupport::runPython(QStringLiteral("make_ios_kik_backup.py"),
                               {app, backup, QStringLiteral("db"), QStringLiteral("--place"),
                                QStringLiteral("app"), QStringLiteral("--device-name"), device});
    ASSERT_EQ(built.exitCode, 0) << built.err.constData();

    const auto tooLong = kik(root.path(), {QStringLiteral("import-itunes"), backup, QStringLiteral("--db"),
                                           QString(300, QLatin1Char('n'))});
    EXPECT_EQ(tooLong.exitCode, 2);
    EXPECT_TRUE(tooLong.err.contains("too long")) << tooLong.err.constData();

    const auto imported =
        kik(root.path(), {QStringLiteral("--json"), QStringLiteral("import-itunes"), backup});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.constData();
    const QString name =
        QJsonDocument::fromJson(imported.out).object().value(QStringLiteral("db")).toString();
    EXPECT_TRUE(name.startsWith(QStringLiteral("Bob's iPhone work xxx"))) << qPrintable(name);
    EXPECT_TRUE(name.endsWith(QStringLiteral("_Backup")));
    EXPECT_TRUE(QFileInfo(QDir(root.path()).filePath(QStringLiteral("local_databases/") + name)).isDir());
}
