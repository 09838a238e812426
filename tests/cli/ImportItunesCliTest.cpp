#include "support/TestSupport.h"

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
        const auto backup = TestSupport::runPython(
            QStringLiteral("make_ios_kik_backup.py"),
            {m_app, m_backup, kind, QStringLiteral("--place"), place, QStringLiteral("--device-name"),
             QStringLiteral("Ann's iPhone")});
        EXPECT_EQ(backup.exitCode, 0) << backup.err.constData();
        return store.exitCode == 0 && backup.exitCode == 0;
    }
    TestSupport::ProcessResult cli(const QStringList &args)
    {
        return TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
                                QStringList{QStringLiteral("--data-root"), m_root.path(),
                                            QStringLiteral("--quiet")}
                                    + args);
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

} // namespace

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
    // Messages outside every known chat are not part of any conversation.
    int inChats = 0;
    for (const auto &v : expected)
        inChats += v.toObject().value(QStringLiteral("chat")).isNull() ? 0 : 1;
    ASSERT_EQ(messages.size(), inChats);
    for (const auto &v : messages) {
        const QJsonObject m = v.toObject();
        const QString uid = m.value(QStringLiteral("uid")).toString();
        const QJsonObject e = expected.value(QString::number(uid.right(3).toInt())).toObject();
        ASSERT_FALSE(e.isEmpty()) << qPrintable(uid);
        SCOPED_TRACE(uid.toStdString());
        EXPECT_EQ(m.value(QStringLiteral("body")).toString(), e.value(QStringLiteral("body")).toString());
        EXPECT_EQ(m.value(QStringLiteral("ts")).toInteger(), ms(e.value(QStringLiteral("ts"))));
        EXPECT_EQ(m.value(QStringLiteral("was_me")).toBool(), e.value(QStringLiteral("was_me")).toBool());
        const QJsonValue target = e.value(QStringLiteral("target_user"));
        EXPECT_EQ(m.value(QStringLiteral("sender")),
                  target.isNull() ? QJsonValue(QJsonValue::Null)
                                  : users.value(QString::number(target.toInteger()))
                                        .toObject()
                                        .value(QStringLiteral("jid")));
        const QJsonObject chat = chats.value(QString::number(e.value(QStringLiteral("chat")).toInteger())).toObject();
        const QString partner = users.value(QString::number(chat.value(QStringLiteral("user")).toInteger()))
                                    .toObject()
                                    .value(QStringLiteral("jid"))
                                    .toString();
        EXPECT_EQ(m.value(QStringLiteral("chat")).toString(), partner);
        EXPECT_EQ(m.value(QStringLiteral("content_id")).toString(),
                  e.value(QStringLiteral("content_id")).toString());
        EXPECT_EQ(m.value(QStringLiteral("app_id")).toString(), e.value(QStringLiteral("app_id")).toString());
        const QJsonObject att = e.value(QStringLiteral("attachment")).toObject();
        for (auto it = att.begin(); it != att.end(); ++it) {
            if (it.value().isString()) {
                EXPECT_EQ(m.value(QStringLiteral("attachment")).toObject().value(it.key()), it.value())
                    << qPrintable(it.key());
            }
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
    const auto listed = cli(QStringList{QStringLiteral("--json"), QStringLiteral("messages"), source} + password);
    ASSERT_EQ(listed.exitCode, 0) << listed.err.constData();
    const QJsonArray messages = QJsonDocument::fromJson(listed.out).array();
    EXPECT_EQ(messages.size(), m_expected.value(QStringLiteral("messages")).toObject().size());
    // The copied files sit in the data root's iOS cache, laid out as on the phone.
    const QStringList caches = QDir(m_root.filePath(QStringLiteral("ios_cache"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
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
        const auto wrong = cli({QStringLiteral("messages"), source, QStringLiteral("--password"),
                                QStringLiteral("wrong")});
        EXPECT_EQ(wrong.exitCode, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ImportItunesCli,
                         ::testing::Values(std::make_tuple("mbdb", "app"), std::make_tuple("db", "group"),
                                           std::make_tuple("mbdb-enc", "app"),
                                           std::make_tuple("db-enc", "group")));

TEST(ImportItunesCliErrors, BackupWithoutKikSaysSo)
{
    QTemporaryDir root;
    QTemporaryDir work;
    const QString backup = work.filePath(QStringLiteral("b"));
    ASSERT_EQ(TestSupport::runPython(QStringLiteral("make_itunes_backup.py"),
                                     {backup, QStringLiteral("db"), QStringLiteral("--bulk"), QStringLiteral("2")})
                  .exitCode,
              0);
    const auto result = TestSupport::run(
        QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
        {QStringLiteral("--data-root"), root.path(), QStringLiteral("--quiet"), QStringLiteral("import-itunes"),
         backup});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("Found no Kik data in your iTunes Backup.")) << result.err.constData();
    EXPECT_FALSE(QDir(root.path()).exists(QStringLiteral("local_databases/Test iPhone_Backup")));
}
