// The offline transfer end to end: an iPhone's Kik folder into an Android
// phone's backup archive, the result read back by Python's tarfile and
// sqlite3 alone.
#include "support/TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace TestSupport;

namespace {

QJsonObject pyJson(const QString &script, const QStringList &args)
{
    const auto r = runPython(script, args);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QJsonDocument::fromJson(r.out).object();
}

QJsonObject dumpArchive(const QString &ab)
{
    return pyJson(QStringLiteral("make_android_kik.py"), {QStringLiteral("dump"), ab});
}

QHash<QString, QJsonObject> rowsByUid(const QJsonArray &rows)
{
    QHash<QString, QJsonObject> byUid;
    for (const auto &v : rows)
        byUid.insert(v.toObject().value(QStringLiteral("uid")).toString(), v.toObject());
    return byUid;
}

QJsonArray rowsOf(const QJsonObject &dump, const char *table, const QString &contentId)
{
    QJsonArray out;
    for (const auto &v : dump.value(QLatin1String(table)).toArray()) {
        if (v.toObject().value(QStringLiteral("content_id")).toString() == contentId)
            out.append(v);
    }
    return out;
}

QString valueOf(const QJsonArray &contentRows, const QString &name, int type)
{
    for (const auto &v : contentRows) {
        const QJsonObject row = v.toObject();
        if (row.value(QStringLiteral("content_name")).toString() == name
            && row.value(QStringLiteral("content_type")).toInt() == type)
            return row.value(QStringLiteral("content_string")).toString();
    }
    return QStringLiteral("(absent)");
}

// Where an entry must come in the archive: within a folder its files (a
// package's "_manifest" first) ahead of its sub-folders, both by name.
QStringList orderKey(const QString &path)
{
    QStringList parts = path.split(QLatin1Char('/'));
    const QString file = parts.takeLast();
    QStringList key;
    for (const QString &folder : parts)
        key << QStringLiteral("1") + folder;
    key << (file == QStringLiteral("_manifest") ? QStringLiteral("0") : QStringLiteral("0~") + file);
    return key;
}

bool keyLess(const QStringList &a, const QStringList &b)
{
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (a[i] != b[i])
            return a[i] < b[i];
    }
    return a.size() < b.size();
}

} // namespace

TEST(IosToAbTransfer, EveryMessageOnceInOrderWithAttachments)
{
    QTemporaryDir dir;
    const QString app = dir.filePath(QStringLiteral("com.kik.chat"));
    const auto store =
        runPython(QStringLiteral("make_ios_kik_store.py"),
                  {app, dir.filePath(QStringLiteral("expected.json")), QStringLiteral("--wal")});
    ASSERT_EQ(store.exitCode, 0) << store.err.constData();
    const QJsonObject expected =
        QJsonDocument::fromJson(readFile(dir.filePath(QStringLiteral("expected.json")))).object();
    ASSERT_FALSE(expected.isEmpty());
    ASSERT_EQ(runPython(QStringLiteral("make_android_kik.py"),
                        {QStringLiteral("tree"), dir.filePath(QStringLiteral("phone"))})
                  .exitCode,
              0);
    ASSERT_EQ(runPython(QStringLiteral("make_android_kik.py"),
                        {QStringLiteral("ab"), dir.filePath(QStringLiteral("phone")),
                         dir.filePath(QStringLiteral("phone.ab"))})
                  .exitCode,
              0);
    const QByteArray phoneBytes = readFile(dir.filePath(QStringLiteral("phone.ab")));

    const auto r = run(binDir() + QStringLiteral("/velloran-kik"),
                       {QStringLiteral("--data-root"), dir.filePath(QStringLiteral("root")),
                        QStringLiteral("--json"), QStringLiteral("transfer"), QStringLiteral("ios:") + app,
                        QStringLiteral("--to-ab"), dir.filePath(QStringLiteral("phone.ab")),
                        QStringLiteral("--out"), dir.filePath(QStringLiteral("out/new.ab"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("phone.ab"))), phoneBytes);

    // The iPhone messages that belong to a chat are the ones transferred.
    QJsonObject iphone;
    const QJsonObject expectedMessages = expected.value(QStringLiteral("messages")).toObject();
    for (auto it = expectedMessages.begin(); it != expectedMessages.end(); ++it) {
        if (!it.value().toObject().value(QStringLiteral("chat")).isNull())
            iphone.insert(it.value().toObject().value(QStringLiteral("uid")).toString(), it.value());
    }
    ASSERT_GE(iphone.size(), 10);
    const QJsonObject result = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(result.value(QStringLiteral("messages")).toInt(), iphone.size());
    EXPECT_EQ(result.value(QStringLiteral("phone_messages_before")).toInt(), 8);
    EXPECT_EQ(result.value(QStringLiteral("phone_messages_after")).toInt(), 8 + iphone.size());

    const QJsonObject before = dumpArchive(dir.filePath(QStringLiteral("phone.ab")));
    const QJsonObject after = dumpArchive(dir.filePath(QStringLiteral("out/new.ab")));
    const QJsonArray rows = after.value(QStringLiteral("messagesTable")).toArray();
    ASSERT_EQ(rows.size(), 8 + iphone.size());

    // Every phone row unchanged in every column but _id.
    const QHash<QString, QJsonObject> merged = rowsByUid(rows);
    QHash<QString, qint64> keys; // the order key each row was sorted by
    for (const auto &v : before.value(QStringLiteral("messagesTable")).toArray()) {
        QJsonObject old = v.toObject();
        const QString uid = old.value(QStringLiteral("uid")).toString();
        keys.insert(uid, old.value(QStringLiteral("_id")).toInteger());
        ASSERT_TRUE(merged.contains(uid)) << uid.toStdString();
        QJsonObject now = merged.value(uid);
        old.remove(QStringLiteral("_id"));
        now.remove(QStringLiteral("_id"));
        EXPECT_EQ(now, old) << uid.toStdString();
    }
    // Every iPhone message exactly once, with its chat, time and text.
    QHash<QString, int> seen;
    for (const auto &v : rows)
        ++seen[v.toObject().value(QStringLiteral("uid")).toString()];
    for (auto it = iphone.begin(); it != iphone.end(); ++it) {
        const QJsonObject m = it.value().toObject();
        EXPECT_EQ(seen.value(it.key()), 1) << it.key().toStdString();
        const QJsonObject row = merged.value(it.key());
        keys.insert(it.key(), m.value(QStringLiteral("sort_key")).toInteger());
        EXPECT_EQ(row.value(QStringLiteral("timestamp")).toInteger() / 1000,
                  m.value(QStringLiteral("ts")).toInteger())
            << it.key().toStdString();
        EXPECT_EQ(row.value(QStringLiteral("was_me")).toInt(),
                  m.value(QStringLiteral("was_me")).toBool() ? 1 : 0);
        EXPECT_EQ(row.value(QStringLiteral("read_state")).toInt(), 500);
        const QString chatUser = QString::number(expected[QStringLiteral("chats")][QString::number(
            m.value(QStringLiteral("chat")).toInt())][QStringLiteral("user")]
                                                     .toInt());
        EXPECT_EQ(row.value(QStringLiteral("bin_id")).toString(),
                  expected[QStringLiteral("users")][chatUser][QStringLiteral("jid")].toString());
        if (m.value(QStringLiteral("render_ins")).toString().isEmpty()) {
            EXPECT_EQ(row.value(QStringLiteral("body")).toString(),
                      m.value(QStringLiteral("body")).toString())
                << it.key().toStdString();
        }
    }

    // _id follows the merge order: by time, except rows close in key and
    // time, which keep their key order.
    for (qsizetype i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].toObject().value(QStringLiteral("_id")).toInteger(), i + 1);
        if (i == 0)
            continue;
        const QJsonObject a = rows[i - 1].toObject(), b = rows[i].toObject();
        const qint64 ka = keys.value(a.value(QStringLiteral("uid")).toString()),
                     kb = keys.value(b.value(QStringLiteral("uid")).toString());
        const qint64 ta = a.value(QStringLiteral("timestamp")).toInteger(),
                     tb = b.value(QStringLiteral("timestamp")).toInteger();
        if (std::abs(ka - kb) <= 10 && std::abs(ta - tb) / 1000 <= 60) {
            EXPECT_LT(ka, kb) << a.value(QStringLiteral("uid")).toString().toStdString();
        } else {
            EXPECT_LE(ta, tb) << a.value(QStringLiteral("uid")).toString().toStdString();
        }
    }

    // Attachments: a gallery photo gets Kik's media values, a card its own
    // values, extras and links.
    const QString photo = QStringLiteral("c0ffee00-0000-4000-8000-000000000001");
    const QJsonArray photoRows = rowsOf(after, "KIKContentTable", photo);
    EXPECT_EQ(valueOf(photoRows, QStringLiteral("app-name"), 2), QStringLiteral("Gallery"));
    EXPECT_EQ(valueOf(photoRows, QStringLiteral("file-size"), 2), QStringLiteral("2048"));
    EXPECT_EQ(valueOf(photoRows, QStringLiteral("file-name"), 2), QStringLiteral("IMG_0001.JPG"));
    EXPECT_EQ(valueOf(photoRows, QStringLiteral("allow-forward"), 2), QStringLiteral("true"));
    const QString photoPreview =
        expected[QStringLiteral("messages")][QStringLiteral("104")][QStringLiteral("preview")].toString();
    EXPECT_EQ(valueOf(photoRows, QStringLiteral("preview"), 3), photoPreview);
    const QString card = QStringLiteral("c0ffee00-0000-4000-8000-000000000002");
    const QJsonArray cardRows = rowsOf(after, "KIKContentTable", card);
    EXPECT_EQ(valueOf(cardRows, QStringLiteral("title"), 2), QString::fromUtf8("Hi \u2603"));
    EXPECT_EQ(valueOf(cardRows, QStringLiteral("card-url"), 4), QStringLiteral("https://cards.kik.com/x"));
    const QJsonArray links = rowsOf(after, "KIKContentURITable", card);
    ASSERT_EQ(links.size(), 2);
    EXPECT_EQ(links[0].toObject().value(QStringLiteral("content_uri")).toString(),
              QStringLiteral("kik-card://x"));
    EXPECT_EQ(links[1].toObject().value(QStringLiteral("platform")).toString(), QStringLiteral("android"));
    EXPECT_EQ(
        valueOf(rowsOf(after, "KIKContentTable", QStringLiteral("c0ffee00-0000-4000-8000-000000000004")),
                QStringLiteral("layout"), 2),
        QStringLiteral("video"));
    EXPECT_EQ(rowsOf(after, "KIKContentRetainCountTable", photo).size(), 1);

    // Thumbnails: each under its name, holding the bytes that name hashes.
    const QJsonObject thumbs = after.value(QStringLiteral("thumbs")).toObject();
    EXPECT_TRUE(thumbs.contains(QStringLiteral("thumb-c-img")));
    for (const auto &name : expected.value(QStringLiteral("thumbs")).toArray()) {
        ASSERT_TRUE(thumbs.contains(name.toString())) << name.toString().toStdString();
        EXPECT_EQ(thumbs.value(name.toString()).toString(),
                  QString(name.toString()).remove(QLatin1Char('-')));
    }

    // Entry fields and order as Android's restore wants them.
    const QJsonArray entries = after.value(QStringLiteral("entries")).toArray();
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_EQ(after.value(QStringLiteral("header")).toString(),
              QStringLiteral("ANDROID BACKUP\n1\n1\nnone\n"));
    EXPECT_EQ(entries.first().toObject().value(QStringLiteral("name")).toString(),
              QStringLiteral("apps/kik.android/_manifest"));
    QStringList previous;
    for (const auto &v : entries) {
        const QJsonObject e = v.toObject();
        const QString name = e.value(QStringLiteral("name")).toString();
        EXPECT_EQ(e.value(QStringLiteral("mode")).toInt(), 0642) << name.toStdString();
        EXPECT_EQ(e.value(QStringLiteral("type")).toString(), QStringLiteral("0"));
        EXPECT_EQ(e.value(QStringLiteral("uid")).toInt(), 0);
        EXPECT_EQ(e.value(QStringLiteral("gid")).toInt(), 0);
        EXPECT_FALSE(e.value(QStringLiteral("pax")).toBool());
        EXPECT_GT(e.value(QStringLiteral("mtime")).toInteger(), 0);
        const QStringList key = orderKey(name);
        EXPECT_TRUE(previous.isEmpty() || keyLess(previous, key)) << name.toStdString();
        previous = key;
    }
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("out")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("new.ab")});
}
