#include "cli/IosSources.h"
#include "ios/BackupManifest.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobCancelled.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class ImportItunesCli : public ::testing::TestWithParam<std::tuple<const char *, const char *>>
{
protected:
    bool buildBackup(const QString &kind, const QString &place)
    {
        m_app = m_work.filePath(QStringLiteral("com.kik.chat"));
        const QString json = m_work.filePath(QStringLiteral("expected.json"));
        const auto store = TestSupport::runPython(QStringLiteral("make_ios_kik_store.py"),
                                                  {m_app, json, QStringLiteral("--wal")});
        EXPECT_EQ(store.exitCode, 0) << store.err.constData();
        m_expected = QJsonDocument::fromJson(TestSupport::readFile(json)).object();
        m_backup = m_work.filePath(QStringLiteral("backup"));
        const auto backup =
            TestSupport::runPython(QStringLiteral("make_ios_kik_backup.py"),
                                   {m_app, m_backup, kind, QStringLiteral("--place"), place,
                                    QStringLiteral("--device-name"), QStringLiteral("Ann's iPhone")});
        EXPECT_EQ(backup.exitCode, 0) << backup.err.constData();
        return store.exitCode == 0 && backup.exitCode == 0;
    }
    TestSupport::ProcessResult cli(const QStringList &args)
    {
        return TestSupport::run(
            QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
            QStringList{QStringLiteral("--data-root"), m_root.path(), QStringLiteral("--quiet")} + args);
    }
    QTemporaryDir m_root;
    QTemporaryDir m_work;
    QString m_app;
    QString m_backup;
    QJsonObject m_expected;
};

qint64 ms(const QJsonValue &seconds)
{
    return seconds.toInteger() * 1000;
}

QString md5Name(const QByteArray &bytes)
{
    const QString hex = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    return hex.left(8) + QLatin1Char('-') + hex.mid(8, 4) + QLatin1Char('-') + hex.mid(12, 4)
           + QLatin1Char('-') + hex.mid(16, 4) + QLatin1Char('-') + hex.mid(20);
}

} // namespace

// Every field the builder wrote comes back out of the local database the
// import made: the message set by uid, chat partner, sender, both times, body,
// app ids, content id, the whole attachment map and the media files.
TEST_P(ImportItunesCli, ImportedMessagesEqualWhatTheStoreHolds)
{
    const QString kind = QLatin1String(std::get<0>(GetParam()));
    ASSERT_TRUE(buildBackup(kind, QLatin1String(std::get<1>(GetParam()))));
    const QStringList password = kind.endsWith(QLatin1String("-enc"))
                                     ? QStringList{QStringLiteral("--password"), QStringLiteral("secret")}
                                     : QStringList{};
    const auto imported =
        cli(QStringList{QStringLiteral("--json"), QStringLiteral("import-itunes"), m_backup} + password);
    ASSERT_EQ(imported.exitCode, 0) << imported.err.constData();
    const QJsonObject result = QJsonDocument::fromJson(imported.out).object();
    EXPECT_EQ(result.value(QStringLiteral("db")).toString(), QStringLiteral("Ann's iPhone_Backup"));

    const auto listed = cli({QStringLiteral("--json"), QStringLiteral("messages"),
                             QStringLiteral("localdb:Ann's iPhone_Backup")});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.constData();
    const QJsonArray messages = QJsonDocument::fromJson(listed.out).array();
    const QJsonObject users = m_expected.value(QStringLiteral("users")).toObject();
    const QJsonObject chats = m_expected.value(QStringLiteral("chats")).toObject();
    const QJsonObject expected = m_expected.value(QStringLiteral("messages")).toObject();
    auto jidOf = [&](const QJsonValue &userKey) {
        return userKey.isNull() ? QJsonValue(QJsonValue::Null)
                                : users.value(QString::number(userKey.toInteger()))
                                      .toObject()
                                      .value(QStringLiteral("jid"));
    };
    // Messages outside every known chat are not part of any conversation.
    QStringList wantUids;
    for (const auto &v : expected) {
        if (!v.toObject().value(QStringLiteral("chat")).isNull())
            wantUids.append(v.toObject().value(QStringLiteral("uid")).toString());
    }
    QStringList gotUids;
    for (const auto &v : messages)
        gotUids.append(v.toObject().value(QStringLiteral("uid")).toString());
    wantUids.sort();
    gotUids.sort();
    ASSERT_EQ(gotUids, wantUids);

    const QDir media(QDir(m_app).filePath(QStringLiteral("Documents/content_manager/data_cache")));
    for (const auto &v : messages) {
        const QJsonObject m = v.toObject();
        const QString uid = m.value(QStringLiteral("uid")).toString();
        const QJsonObject e = expected.value(QString::number(uid.right(12).toLongLong())).toObject();
        ASSERT_EQ(e.value(QStringLiteral("uid")).toString(), uid);
        SCOPED_TRACE(uid.toStdString());
        const QJsonObject chat =
            chats.value(QString::number(e.value(QStringLiteral("chat")).toInteger())).toObject();
        EXPECT_EQ(m.value(QStringLiteral("chat")), jidOf(chat.value(QStringLiteral("user"))));
        // The owner's own messages have no sender.
        EXPECT_EQ(m.value(QStringLiteral("sender")), e.value(QStringLiteral("was_me")).toBool()
                                                         ? QJsonValue(QJsonValue::Null)
                                                         : jidOf(e.value(QStringLiteral("target_user"))));
        EXPECT_EQ(m.value(QStringLiteral("was_me")).toBool(), e.value(QStringLiteral("was_me")).toBool());
        EXPECT_EQ(m.value(QStringLiteral("ts")).toInteger(), ms(e.value(QStringLiteral("ts"))));
        EXPECT_EQ(m.value(QStringLiteral("rec_ts")).toInteger(), ms(e.value(QStringLiteral("rec_ts"))));
        EXPECT_EQ(m.value(QStringLiteral("body")).toString(), e.value(QStringLiteral("body")).toString());
        for (const char *field : {"app_id", "sub_app_id", "content_id"}) {
            EXPECT_EQ(m.value(QLatin1String(field)).toString(), e.value(QLatin1String(field)).toString())
                << field;
        }
        EXPECT_EQ(m.value(QStringLiteral("attachment")).toObject(),
                  e.value(QStringLiteral("attachment")).toObject());

        // Media: the content file and the preview thumbnail, byte for byte.
        const QString contentPath = m.value(QStringLiteral("content_path")).toString();
        if (e.value(QStringLiteral("content_file")).toBool()) {
            EXPECT_EQ(
                TestSupport::readFile(contentPath),
                TestSupport::readFile(media.filePath(e.value(QStringLiteral("content_id")).toString())));
        } else {
            EXPECT_FALSE(QFileInfo(contentPath).isFile()) << qPrintable(contentPath);
        }
        const QString preview = e.value(QStringLiteral("preview")).toString();
        const QString previewPath = m.value(QStringLiteral("preview_path")).toString();
        if (preview.isEmpty()) {
            EXPECT_TRUE(previewPath.isEmpty()) << qPrintable(previewPath);
        } else {
            EXPECT_EQ(QFileInfo(previewPath).fileName(), preview);
            EXPECT_EQ(md5Name(TestSupport::readFile(previewPath)), preview);
        }
    }
}

TEST_P(ImportItunesCli, ItunesSourceListsAndBacksUpTheSameMessages)
{
    const QString kind = QLatin1String(std::get<0>(GetParam()));
    ASSERT_TRUE(buildBackup(kind, QLatin1String(std::get<1>(GetParam()))));
    const QStringList password = kind.endsWith(QLatin1String("-enc"))
                                     ? QStringList{QStringLiteral("--password"), QStringLiteral("secret")}
                                     : QStringList{};
    const QString source = QStringLiteral("itunes:") + m_backup;
    const auto listed =
        cli(QStringList{QStringLiteral("--json"), QStringLiteral("messages"), source} + password);
    ASSERT_EQ(listed.exitCode, 0) << listed.err.constData();
    const QJsonArray messages = QJsonDocument::fromJson(listed.out).array();
    EXPECT_EQ(messages.size(), m_expected.value(QStringLiteral("messages")).toObject().size());
    // The copied files sit in the data root's iOS cache, laid out as on the phone.
    const QStringList caches =
        QDir(m_root.filePath(QStringLiteral("ios_cache"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(caches.size(), 1);
    EXPECT_TRUE(QFileInfo(m_root.filePath(QStringLiteral("ios_cache/") + caches.first()
                                          + QStringLiteral("/com.kik.chat/Documents/kik.sqlite")))
                    .size()
                > 0);
    const auto backup = cli(QStringList{QStringLiteral("--json"), QStringLiteral("backup"), source,
                                        QStringLiteral("--db"), QStringLiteral("copy")}
                            + password);
    ASSERT_EQ(backup.exitCode, 0) << backup.err.constData();
    EXPECT_GT(QJsonDocument::fromJson(backup.out).object().value(QStringLiteral("messages")).toInt(), 0);
    if (!password.isEmpty()) {
        const auto wrong =
            cli({QStringLiteral("messages"), source, QStringLiteral("--password"), QStringLiteral("wrong")});
        EXPECT_EQ(wrong.exitCode, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ImportItunesCli,
                         ::testing::Combine(::testing::Values("mbdb", "db", "mbdb-enc", "db-enc"),
                                            ::testing::Values("app", "group")));

TEST(ImportItunesCliErrors, BackupWithoutKikSaysSo)
{
    QTemporaryDir root;
    QTemporaryDir work;
    const QString backup = work.filePath(QStringLiteral("b"));
    ASSERT_EQ(
        TestSupport::runPython(QStringLiteral("make_itunes_backup.py"),
                               {backup, QStringLiteral("db"), QStringLiteral("--bulk"), QStringLiteral("2")})
            .exitCode,
        0);
    const auto result =
        TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
                         {QStringLiteral("--data-root"), root.path(), QStringLiteral("--quiet"),
                          QStringLiteral("import-itunes"), backup});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("Found no Kik data in your iTunes Backup.")) << result.err.constData();
    EXPECT_FALSE(QDir(root.path()).exists(QStringLiteral("local_databases/Test iPhone_Backup")));
}

// A cancel (Ctrl+C) that reaches the itunes: load ends it without reading
// anything and without leaving copied files behind; it arrives as the
// cancellation every job throws, so the command exits with the cancel code
// instead of reporting a failure.
TEST(ImportItunesCliErrors, CancelledLoadReadsNothingAndKeepsNoCache)
{
    TestSupport::ScopedDataRoot root;
    QTemporaryDir work;
    const QString app = work.filePath(QStringLiteral("com.kik.chat"));
    const QString backup = work.filePath(QStringLiteral("b"));
    ASSERT_EQ(TestSupport::runPython(QStringLiteral("make_ios_kik_store.py"),
                                     {app, work.filePath(QStringLiteral("e.json"))})
                  .exitCode,
              0);
    ASSERT_EQ(TestSupport::runPython(
                  QStringLiteral("make_ios_kik_backup.py"),
                  {app, backup, QStringLiteral("db"), QStringLiteral("--place"), QStringLiteral("app")})
                  .exitCode,
              0);
    CliContext ctx;
    HeadlessProgress progress;
    progress.cancel();
    EXPECT_THROW(loadItunesKik(backup, ctx, &progress), JobCancelled);
    const QDir caches(QDir(root.path()).filePath(QStringLiteral("ios_cache")));
    EXPECT_TRUE(caches.entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());

    // Without a cancel the same load reads the store.
    HeadlessProgress running;
    const ItunesKikLoad full = loadItunesKik(backup, ctx, &running);
    EXPECT_FALSE(full.source.data->messages.isEmpty());
}

// Kik installed but without a store (never signed in): the short message,
// and no database is made.
TEST(ImportItunesCliErrors, KikWithoutAStoreSaysSo)
{
    QTemporaryDir root;
    QTemporaryDir work;
    const QString app = work.filePath(QStringLiteral("com.kik.chat"));
    TestSupport::writeFile(
        app + QStringLiteral("/Documents/attachments/c0ffee00-0000-4000-8000-000000000009"),
        "not a description");
    const QString backup = work.filePath(QStringLiteral("b"));
    ASSERT_EQ(TestSupport::runPython(
                  QStringLiteral("make_ios_kik_backup.py"),
                  {app, backup, QStringLiteral("mbdb"), QStringLiteral("--place"), QStringLiteral("app")})
                  .exitCode,
              0);
    const auto result =
        TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
                         {QStringLiteral("--data-root"), root.path(), QStringLiteral("--quiet"),
                          QStringLiteral("import-itunes"), backup});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.trimmed(), QByteArray("Found no Kik data in your iTunes Backup."));
    EXPECT_FALSE(QDir(root.path()).exists(QStringLiteral("local_databases/Test iPhone_Backup")));
}
