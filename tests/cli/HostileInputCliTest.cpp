// Damaged and hostile inputs given to the command-line tool: inputs are
// read and never written, and odd entries of other apps stop nothing.
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class HostileInputCli : public ::testing::Test
{
protected:
    TestSupport::ProcessResult cli(const QStringList &args)
    {
        return TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
                                QStringList{QStringLiteral("--data-root"), m_root.path(),
                                            QStringLiteral("--json"), QStringLiteral("--quiet")}
                                    + args);
    }
    void python(const QString &script, const QStringList &args)
    {
        const auto r = TestSupport::runPython(script, args);
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    }
    QTemporaryDir m_root;
    QTemporaryDir m_work;
};

// Every entry below a folder (files with their bytes).
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path),
                     QFileInfo(path).isFile() ? TestSupport::readFile(path) : QByteArray("<dir>"));
    }
    return files;
}

} // namespace

TEST_F(HostileInputCli, IosFolderIsNeverWritten)
{
    for (const QString &flag : {QStringLiteral("--hot-journal"), QStringLiteral("--wal")}) {
        SCOPED_TRACE(flag.toStdString());
        const QString app = m_work.filePath(flag.mid(2) + QStringLiteral("/com.kik.chat"));
        python(QStringLiteral("make_ios_kik_store.py"),
               {app, m_work.filePath(QStringLiteral("expected.json")), flag});
        QFile::remove(app + QStringLiteral("/Documents/kik.sqlite-shm"));
        const auto before = snapshot(app);
        for (const QString &command : {QStringLiteral("chats"), QStringLiteral("messages")}) {
            const auto r = cli({command, QStringLiteral("ios:") + app});
            EXPECT_EQ(r.exitCode, 0) << r.err.constData();
            EXPECT_FALSE(r.out.contains("HALF-WRITTEN"));
        }
        EXPECT_EQ(snapshot(app), before);
        EXPECT_FALSE(QFileInfo::exists(app + QStringLiteral("/thumbs")));
    }
}

TEST_F(HostileInputCli, AndroidFolderInWalModeIsNeverWritten)
{
    const QString tree = m_work.filePath(QStringLiteral("tree"));
    python(QStringLiteral("make_android_kik.py"), {QStringLiteral("tree"), tree, QStringLiteral("--wal")});
    const QString db = tree + QStringLiteral("/apps/kik.android/db/kikDatabase.db");
    QFile::remove(db + QStringLiteral("-shm"));
    const auto before = snapshot(tree);
    const auto r = cli({QStringLiteral("messages"), QStringLiteral("android:") + tree});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(QJsonDocument::fromJson(r.out).array().size(), 7);
    EXPECT_EQ(snapshot(tree), before);
}

TEST_F(HostileInputCli, OddEntriesOfOtherAppsDoNotStopReadingKik)
{
    for (const QString &kind : {QStringLiteral("deep"), QStringLiteral("clash")}) {
        const QString ab = m_work.filePath(kind + QStringLiteral(".ab"));
        python(QStringLiteral("make_android_kik.py"),
               {QStringLiteral("odd"), ab, kind, QStringLiteral("2000")});
        const auto r = cli({QStringLiteral("messages"), QStringLiteral("ab:") + ab});
        EXPECT_EQ(r.exitCode, 0) << kind.toStdString() << ": " << r.err.constData();
        EXPECT_EQ(QJsonDocument::fromJson(r.out).array().size(), 6) << kind.toStdString();
    }
}

TEST_F(HostileInputCli, NotAnAndroidBackupIsSaidSo)
{
    const QString text = m_work.filePath(QStringLiteral("passwd.ab"));
    TestSupport::writeFile(
        text, "root:x:0:0:root:/root:/bin/bash\ndaemon:x:1:1::/:/bin/sh\nbin:x:2:2\nsys:x:3:3\n");
    const auto r = cli({QStringLiteral("chats"), QStringLiteral("ab:") + text});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("is not an Android backup archive")) << r.err.constData();
    EXPECT_FALSE(r.err.contains("encrypted")) << r.err.constData();
}

TEST_F(HostileInputCli, DeeplyNestedManifestPlistIsAnErrorNotACrash)
{
    const QString backup = m_work.filePath(QStringLiteral("backup"));
    python(QStringLiteral("make_itunes_backup.py"), {backup, QStringLiteral("db")});
    for (const char *kind : {"deep-xml", "deep-binary"}) {
        python(QStringLiteral("make_hostile_plist.py"),
               {backup + QStringLiteral("/Manifest.plist"), QString::fromLatin1(kind),
                QStringLiteral("100000")});
        const auto files = cli({QStringLiteral("itunes"), QStringLiteral("files"), backup});
        EXPECT_EQ(files.exitCode, 1) << kind << ": " << files.err.constData();
        EXPECT_TRUE(files.err.contains("Manifest.plist")) << files.err.constData();
        const auto chats = cli({QStringLiteral("chats"), QStringLiteral("itunes:") + backup});
        EXPECT_EQ(chats.exitCode, 1) << kind << ": " << chats.err.constData();
    }
}
