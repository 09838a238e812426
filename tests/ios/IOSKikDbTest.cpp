#include "IOSKikStoreFixture.h"

#include "db/Sqlite3DB.h"
#include "ios/IOSKikDb.h"
#include "jobs/JobCancelled.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

QDateTime utc(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

// The attachment map as JSON, for comparing with the builder's account.
QJsonObject toJson(const QVariantMap &map)
{
    return QJsonObject::fromVariantMap(map);
}

void expectMessage(const IOSKikDb &db, const _KikMessage &m, const QJsonObject &e)
{
    SCOPED_TRACE(m._id);
    EXPECT_EQ(m.sort_key, e.value(QStringLiteral("sort_key")).toInteger());
    EXPECT_EQ(m.was_me, e.value(QStringLiteral("was_me")).toBool());
    const QJsonValue target = e.value(QStringLiteral("target_user"));
    if (target.isNull()) {
        EXPECT_EQ(m.target_user, nullptr);
    } else {
        ASSERT_NE(m.target_user, nullptr);
        EXPECT_EQ(m.target_user->_id, target.toInteger());
    }
    EXPECT_EQ(m.ts, utc(e.value(QStringLiteral("ts")).toInteger()));
    EXPECT_EQ(m.rec_ts, utc(e.value(QStringLiteral("rec_ts")).toInteger()));
    EXPECT_EQ(m.body, e.value(QStringLiteral("body")).toString());
    EXPECT_EQ(m.uid, e.value(QStringLiteral("uid")).toString());
    EXPECT_EQ(m.content_id, e.value(QStringLiteral("content_id")).toString());
    EXPECT_EQ(QString::fromLatin1(m.render_ins.toHex()), e.value(QStringLiteral("render_ins")).toString());
    const QJsonValue chat = e.value(QStringLiteral("chat"));
    if (chat.isNull()) {
        EXPECT_EQ(m.chat, nullptr);
    } else {
        ASSERT_NE(m.chat, nullptr);
        EXPECT_EQ(m.chat->_id, chat.toInteger());
    }
    EXPECT_EQ(m.app_id, e.value(QStringLiteral("app_id")).toString());
    EXPECT_EQ(m.sub_app_id, e.value(QStringLiteral("sub_app_id")).toString());
    EXPECT_EQ(toJson(m.attachment), e.value(QStringLiteral("attachment")).toObject());
    const QDir thumbs(db.thumbFolder());
    auto thumbPath = [&](const char *key) {
        const QString name = e.value(QLatin1String(key)).toString();
        return name.isEmpty() ? QString() : thumbs.filePath(name);
    };
    EXPECT_EQ(m.preview_path, thumbPath("preview"));
    EXPECT_EQ(m.icon_path, thumbPath("icon"));
    EXPECT_EQ(m.png_preview_path, thumbPath("png_preview"));
    if (e.value(QStringLiteral("content_file")).toBool()) {
        EXPECT_TRUE(QFileInfo(m.content_path).isFile()) << qPrintable(m.content_path);
    }
}

} // namespace

TEST(IOSKikDb, LoadsEveryRecordTheStoreHolds)
{
    IOSKikStoreFixture fx;
    ASSERT_TRUE(fx.build());
    IOSKikDb db(fx.app);
    KikDataSet set;
    db.loadAll(set);
    EXPECT_EQ(db.entityNumber(QStringLiteral("KikUser")), 9);
    EXPECT_EQ(db.groupMembers().table, QStringLiteral("Z_9MEMBERS"));
    EXPECT_EQ(db.chatMessages().first, QStringLiteral("Z_4CHAT"));
    EXPECT_EQ(db.chatMessages().second, QStringLiteral("Z_7MESSAGES"));

    const QJsonObject users = fx.users();
    ASSERT_EQ(set.users.size(), users.size());
    for (auto it = users.begin(); it != users.end(); ++it) {
        const QJsonObject e = it.value().toObject();
        const _KikUser *u = set.user(it.key().toLongLong());
        ASSERT_NE(u, nullptr) << qPrintable(it.key());
        SCOPED_TRACE(u->_id);
        EXPECT_EQ(u->display_name, e.value(QStringLiteral("display_name")).toString());
        EXPECT_EQ(u->jid, e.value(QStringLiteral("jid")).toString());
        EXPECT_EQ(u->user_name, e.value(QStringLiteral("user_name")).toString());
        EXPECT_EQ(u->group_tab, e.value(QStringLiteral("group_tab")).toString());
        EXPECT_EQ(u->is_group, e.value(QStringLiteral("is_group")).toBool());
        EXPECT_EQ(u->is_group_admin, e.value(QStringLiteral("is_group_admin")).toBool());
        const QJsonValue ms = e.value(QStringLiteral("photo_ts_ms"));
        if (ms.isNull()) {
            EXPECT_FALSE(u->photo_ts.isValid());
        } else {
            EXPECT_EQ(u->photo_ts.toMSecsSinceEpoch(), ms.toInteger());
        }
        const QJsonArray members = e.value(QStringLiteral("members")).toArray();
        ASSERT_EQ(u->members.size(), members.size());
        for (int i = 0; i < members.size(); ++i) {
            const QJsonArray m = members.at(i).toArray();
            EXPECT_EQ(u->members[i].group, u);
            EXPECT_EQ(u->members[i].member->_id, m.at(0).toInteger());
            EXPECT_EQ(u->members[i].is_admin, m.at(1).toBool());
            EXPECT_EQ(u->members[i].is_banned, m.at(2).toBool());
        }
        if (e.contains(QStringLiteral("photo_file"))) {
            EXPECT_EQ(QFileInfo(u->photo_path).fileName(), e.value(QStringLiteral("photo_file")).toString());
        }
    }

    const QJsonObject chats = fx.chats();
    ASSERT_EQ(set.chats.size(), chats.size());
    for (auto it = chats.begin(); it != chats.end(); ++it) {
        const QJsonObject e = it.value().toObject();
        const _KikChat *c = set.chat(it.key().toLongLong());
        ASSERT_NE(c, nullptr) << qPrintable(it.key());
        EXPECT_EQ(c->user->_id, e.value(QStringLiteral("user")).toInteger());
        EXPECT_EQ(c->last_ts, utc(e.value(QStringLiteral("last_ts")).toInteger()));
        QList<qint64> ids;
        for (const _KikMessage *m : c->messages)
            ids.append(m->_id);
        QList<qint64> want;
        for (const auto &v : e.value(QStringLiteral("messages")).toArray())
            want.append(v.toInteger());
        std::sort(ids.begin(), ids.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(ids, want) << "chat " << c->_id;
    }

    const QJsonObject messages = fx.messages();
    ASSERT_EQ(set.messages.size(), messages.size());
    for (auto it = messages.begin(); it != messages.end(); ++it) {
        const _KikMessage *m = set.message(it.key().toLongLong());
        ASSERT_NE(m, nullptr) << qPrintable(it.key());
        expectMessage(db, *m, it.value().toObject());
    }

    // Each thumbnail is stored once, named after the MD5 of its bytes.
    QStringList thumbs = QDir(db.thumbFolder()).entryList(QDir::Files, QDir::Name);
    QStringList want;
    for (const auto &v : fx.expected.value(QStringLiteral("thumbs")).toArray())
        want.append(v.toString());
    EXPECT_EQ(thumbs, want);
    for (const QString &name : thumbs) {
        const QByteArray bytes = TestSupport::readFile(QDir(db.thumbFolder()).filePath(name));
        const QString hex =
            QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
        EXPECT_EQ(QString(name).remove(QLatin1Char('-')), hex);
    }
}

TEST(IOSKikDb, WalModeStoreLoadsTheMessagesOnlyInTheWal)
{
    IOSKikStoreFixture fx;
    ASSERT_TRUE(fx.build({QStringLiteral("--wal")}));
    const QString store = fx.app + QStringLiteral("/Documents/kik.sqlite");
    const QByteArray storeBytes = TestSupport::readFile(store);
    const QByteArray walBytes = TestSupport::readFile(store + QStringLiteral("-wal"));
    ASSERT_FALSE(walBytes.isEmpty());
    {
        IOSKikDb db(fx.app);
        KikDataSet set;
        db.loadAll(set);
        ASSERT_NE(set.message(114), nullptr);
        ASSERT_NE(set.message(115), nullptr);
        EXPECT_EQ(set.message(115)->body, QStringLiteral("also only in the WAL"));
        EXPECT_EQ(set.message(114)->chat, set.chat(11));
        EXPECT_EQ(set.messages.size(), fx.messages().size());
    }
    // Reading leaves the store and its log as they were: closing does not
    // fold the log into the store or delete it.
    EXPECT_TRUE(TestSupport::readFile(store) == storeBytes);
    EXPECT_TRUE(TestSupport::readFile(store + QStringLiteral("-wal")) == walBytes);
}

TEST(IOSKikDb, ExistingThumbnailIsNotRewritten)
{
    IOSKikStoreFixture fx;
    ASSERT_TRUE(fx.build());
    const QString name = fx.previewName(QStringLiteral("104"));
    ASSERT_FALSE(name.isEmpty());
    const QString path = QDir(fx.app).filePath(QStringLiteral("thumbs/") + name);
    TestSupport::writeFile(path, "kept");
    IOSKikDb db(fx.app);
    KikDataSet set;
    db.loadAll(set);
    EXPECT_EQ(TestSupport::readFile(path), QByteArray("kept"));
    EXPECT_EQ(set.message(104)->preview_path, path);
}

// A link planted at a thumbnail's name is replaced, never written through.
TEST(IOSKikDb, ThumbnailIsNotWrittenThroughALink)
{
    IOSKikStoreFixture fx;
    ASSERT_TRUE(fx.build());
    const QString name = fx.previewName(QStringLiteral("104"));
    ASSERT_FALSE(name.isEmpty());
    const QString outside = fx.dir.filePath(QStringLiteral("outside"));
    const QString path = QDir(fx.app).filePath(QStringLiteral("thumbs/") + name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(QFile::link(outside, path));
    IOSKikDb db(fx.app);
    KikDataSet set;
    db.loadAll(set);
    EXPECT_FALSE(QFileInfo::exists(outside));
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    const QByteArray bytes = TestSupport::readFile(path);
    EXPECT_EQ(QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex()),
              QString(name).remove(QLatin1Char('-')));
}

TEST(IOSKikDb, HostileNamesStayInsideTheirFolders)
{
    IOSKikStoreFixture fx;
    ASSERT_TRUE(fx.build());
    // A description placed where "../../escape" would lead from attachments.
    TestSupport::writeFile(
        QDir(fx.app).filePath(QStringLiteral("../escape")),
        TestSupport::readFile(QDir(fx.app).filePath(QStringLiteral("Documents/attachments/"
                                                                   "c0ffee00-0000-4000-8000-000000000001"))));
    IOSKikDb db(fx.app);
    KikDataSet set;
    db.loadAll(set);
    const _KikMessage *escape = set.message(112);
    ASSERT_NE(escape, nullptr);
    EXPECT_TRUE(escape->attachment.isEmpty());
    EXPECT_TRUE(escape->content_path.isEmpty());
    const _KikUser *evil = set.user(8);
    ASSERT_NE(evil, nullptr);
    // "../../evil@talk.kik.com" names no picture, not that of "evil@talk.kik.com".
    TestSupport::writeFile(QDir(fx.app).filePath(QStringLiteral("Documents/profpix/orig_evil@talk.kik.com")),
                           "someone else's picture");
    KikDataSet again;
    IOSKikDb(fx.app).loadAll(again);
    EXPECT_TRUE(again.user(8)->photo_path.isEmpty()) << again.user(8)->photo_path.toStdString();
    // Nothing was written beside the app folder apart from the planted file.
    EXPECT_EQ(QDir(fx.dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("escape"), QStringLiteral("expected.json")}));
}

TEST(IOSKikDb, BadStoresThrowFromTheAccessLayer)
{
    {
        IOSKikStoreFixture fx;
        ASSERT_TRUE(fx.build({QStringLiteral("--drop-table"), QStringLiteral("Z_9BANSINVERSE")}));
        IOSKikDb db(fx.app);
        KikDataSet set;
        EXPECT_THROW(db.loadAll(set), std::runtime_error);
    }
    {
        // Without KikUser in Z_PRIMARYKEY the relationship tables are named
        // with 0, which the store does not have.
        IOSKikStoreFixture fx;
        ASSERT_TRUE(fx.build({QStringLiteral("--omit-entity"), QStringLiteral("KikUser")}));
        IOSKikDb db(fx.app);
        EXPECT_THROW(db.ensureOpen(), std::runtime_error);
        KikDataSet set;
        EXPECT_THROW(db.loadAll(set), std::runtime_error);
    }
    {
        QTemporaryDir tmp;
        IOSKikDb db(tmp.path());
        KikDataSet set;
        EXPECT_THROW(db.loadAll(set), std::runtime_error);
    }
}

TEST(IOSKikDb, CoreDataTimeTruncatesFromTheAppleEpoch)
{
    EXPECT_EQ(IOSKikDb::coreDataTime(0), utc(978307200));
    EXPECT_EQ(IOSKikDb::coreDataTime(450000001.99), utc(978307200 + 450000001));
    EXPECT_EQ(IOSKikDb::coreDataTime(0).timeSpec(), Qt::UTC);
}

TEST(IOSKikDb, KeyedArchiveStringsByPosition)
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("archive"));
    const QString script = QStringLiteral(
        "import plistlib,sys\n"
        "U=plistlib.UID\n"
        "o=['$null',{'NS.keys':[U(2),U(3)],'NS.objects':[U(4),U(5)],'$class':U(6)},"
        "'fileURL','size','file:///a.mp4','12',{'$classname':'NSDictionary'}]\n"
        "open(sys.argv[1],'wb').write(plistlib.dumps({'$archiver':'NSKeyedArchiver',"
        "'$version':100000,'$top':{'root':U(1)},'$objects':o},fmt=plistlib.FMT_BINARY))\n"
        "open(sys.argv[1]+'.short','wb').write(plistlib.dumps({'$objects':o[:4]},fmt=plistlib.FMT_BINARY))\n"
        "open(sys.argv[1]+'.other','wb').write(plistlib.dumps({'$objects':['$null','x']},fmt=plistlib.FMT_"
        "BINARY))\n");
    const auto result =
        TestSupport::run(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path});
    ASSERT_EQ(result.exitCode, 0) << result.err.constData();
    const QMap<QString, QString> strings = IOSKikDb::readKeyedArchiveStrings(path);
    EXPECT_EQ(strings.value(QStringLiteral("fileURL")), QStringLiteral("file:///a.mp4"));
    EXPECT_EQ(strings.value(QStringLiteral("size")), QStringLiteral("12"));
    EXPECT_EQ(strings.size(), 2);
    EXPECT_TRUE(IOSKikDb::readKeyedArchiveStrings(path + QStringLiteral(".short")).isEmpty());
    EXPECT_TRUE(IOSKikDb::readKeyedArchiveStrings(path + QStringLiteral(".other")).isEmpty());
    EXPECT_TRUE(IOSKikDb::readKeyedArchiveStrings(tmp.filePath(QStringLiteral("none"))).isEmpty());
}

TEST(IOSKikDb, RealStoreFrom2015)
{
    const QString folder = TestSupport::realFixture(QStringLiteral("ios-kik-store-2015"));
    if (folder.isEmpty())
        GTEST_SKIP() << "the real iOS Kik store sample is not present";
    // Read in place: nothing may be written into the sample's folder.
    const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    IOSKikDb db(folder, IOSKikDb::Access::Untouched);
    KikDataSet set;
    db.loadAll(set);
    EXPECT_EQ(set.users.size(), 25);
    EXPECT_EQ(set.chats.size(), 6);
    EXPECT_EQ(set.messages.size(), 60);
    qsizetype links = 0;
    for (const _KikChat *c : set.chats)
        links += c->messages.size();
    EXPECT_EQ(links, 61);

    QList<const _KikUser *> groups;
    for (const _KikUser *u : set.users) {
        if (u->is_group)
            groups.append(u);
    }
    ASSERT_EQ(groups.size(), 1);
    const _KikUser *group = groups.first();
    EXPECT_EQ(group->_id, 24);
    EXPECT_TRUE(group->is_group_admin);
    QList<qint64> members;
    for (const _KikMember &m : group->members) {
        EXPECT_EQ(m.group, group);
        members.append(m.member->_id);
    }
    std::sort(members.begin(), members.end());
    EXPECT_EQ(members, (QList<qint64>{8, 15, 23, 25}));
    // Membership does not land on the members themselves.
    for (const _KikUser *u : set.users) {
        if (u != group) {
            EXPECT_TRUE(u->members.isEmpty()) << u->_id;
        }
    }
    int withContent = 0;
    for (const _KikMessage *m : set.messages) {
        if (!m->content_id.isEmpty())
            ++withContent;
        EXPECT_TRUE(m->ts.isValid());
    }
    EXPECT_EQ(withContent, 2);
    EXPECT_FALSE(set.message(20)->content_id.isEmpty());
    db.close();
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    EXPECT_EQ(QDir(folder + QStringLiteral("/Documents")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("kik.sqlite")});
}

namespace {

std::string loadError(const QString &app)
{
    try {
        IOSKikDb db(app);
        KikDataSet set;
        db.loadAll(set);
    } catch (const std::runtime_error &e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

// A damaged store is reported as such, never with SQLite's raw statement.
TEST(IOSKikDb, DamagedStoresSayWhatIsWrong)
{
    IOSKikStoreFixture fx;
    ASSERT_TRUE(fx.build());
    const QString store = fx.app + QStringLiteral("/Documents/kik.sqlite");
    const QByteArray original = TestSupport::readFile(store);
    const auto damage = [&](const char *sql) {
        TestSupport::writeFile(store, original);
        Sqlite3DB db;
        db.openThrow(store, Sqlite3DB::ReadWrite);
        db.executeThrow(Sqlite3Sql(QString::fromLatin1(sql)));
    };
    const std::string damaged = "The Kik store (Documents/kik.sqlite) is damaged: ";
    for (const char *sql : {"update Z_PRIMARYKEY set Z_ENT=-1 where Z_NAME='KikUser'",
                            "delete from Z_PRIMARYKEY where Z_NAME='KikMessage'", "drop table Z_PRIMARYKEY",
                            "drop table ZKIKMESSAGE", "drop table Z_4MESSAGES",
                            "alter table Z_9MEMBERS rename column Z_9MEMBERS to X"}) {
        damage(sql);
        const std::string error = loadError(fx.app);
        EXPECT_EQ(error.rfind(damaged, 0), 0u) << sql << ": " << error;
        EXPECT_EQ(error.find("select"), std::string::npos) << sql << ": " << error;
    }
    TestSupport::writeFile(store, QByteArray(8192, 'x'));
    EXPECT_EQ(loadError(fx.app).rfind(damaged, 0), 0u) << loadError(fx.app);
}

namespace {

// Every file below a folder with its bytes.
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

// A folder of the user's is only read: a hot journal is rolled back in a
// private copy (the messages read are those before the crash), thumbnails
// go to the work folder, and nothing in the folder changes.
TEST(IOSKikDb, InputFolderWithHotJournalIsReadFromACopy)
{
    IOSKikStoreFixture fx;
    ASSERT_TRUE(fx.build({QStringLiteral("--hot-journal")}));
    const auto before = snapshot(fx.app);
    ASSERT_TRUE(before.contains(QStringLiteral("Documents/kik.sqlite-journal")));
    QTemporaryDir work;
    {
        IOSKikDb db(fx.app, IOSKikDb::Access::Input, work.path());
        KikDataSet set;
        db.loadAll(set);
        EXPECT_EQ(set.messages.size(), fx.messages().size());
        for (const _KikMessage *m : std::as_const(set.messages))
            EXPECT_FALSE(m->body.startsWith(QLatin1String("HALF-WRITTEN"))) << m->_id;
        const QString preview = set.message(104)->preview_path;
        EXPECT_TRUE(preview.startsWith(work.path())) << preview.toStdString();
        EXPECT_TRUE(QFileInfo(preview).isFile());
    }
    EXPECT_EQ(snapshot(fx.app), before);
}

// A WAL store without "-shm", and one with garbage "-shm": read, the newest
// rows included, and left byte for byte as they were.
TEST(IOSKikDb, InputFolderInWalModeIsNotWritten)
{
    for (const QByteArray &shm : {QByteArray(), QByteArray(32768, '\xA5')}) {
        IOSKikStoreFixture fx;
        ASSERT_TRUE(fx.build({QStringLiteral("--wal")}));
        const QString store = fx.app + QStringLiteral("/Documents/kik.sqlite");
        QFile::remove(store + QStringLiteral("-shm"));
        if (!shm.isEmpty())
            TestSupport::writeFile(store + QStringLiteral("-shm"), shm);
        const auto before = snapshot(fx.app);
        QTemporaryDir work;
        {
            IOSKikDb db(fx.app, IOSKikDb::Access::Input, work.path());
            KikDataSet set;
            db.loadAll(set);
            ASSERT_NE(set.message(115), nullptr);
            EXPECT_EQ(set.message(115)->body, QStringLiteral("also only in the WAL"));
        }
        EXPECT_EQ(snapshot(fx.app), before) << "shm " << shm.size();
    }
    // Garbage in "-wal": whatever SQLite makes of it, the folder stays.
    IOSKikStoreFixture fx;
    ASSERT_TRUE(fx.build());
    TestSupport::writeFile(fx.app + QStringLiteral("/Documents/kik.sqlite-wal"), QByteArray(4096, 'g'));
    const auto before = snapshot(fx.app);
    QTemporaryDir work;
    {
        IOSKikDb db(fx.app, IOSKikDb::Access::Input, work.path());
        KikDataSet set;
        db.loadAll(set);
        EXPECT_EQ(set.messages.size(), fx.messages().size());
    }
    EXPECT_EQ(snapshot(fx.app), before);
}

// Attachment descriptions nested tens of thousands of levels deep (XML or
// binary) are passed over without a crash; the message loads without them.
TEST(IOSKikDb, DeeplyNestedAttachmentDescriptionIsPassedOver)
{
    for (const char *kind : {"deep-xml", "deep-binary"}) {
        IOSKikStoreFixture fx;
        ASSERT_TRUE(fx.build());
        const QString description = fx.app
                                    + QStringLiteral("/Documents/attachments/"
                                                     "c0ffee00-0000-4000-8000-000000000001");
        const auto r =
            TestSupport::runPython(QStringLiteral("make_hostile_plist.py"),
                                   {description, QString::fromLatin1(kind), QStringLiteral("100000")});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        IOSKikDb db(fx.app);
        KikDataSet set;
        db.loadAll(set);
        EXPECT_EQ(set.messages.size(), fx.messages().size()) << kind;
    }
}

// A description with many "string" entries (XML, or binary, whose arrays
// libplist indexes by walking them) loads every one of them.
class ManyStrings : public ::testing::TestWithParam<const char *>
{};

TEST_P(ManyStrings, AttachmentDescriptionLoadsEveryEntry)
{
    IOSKikStoreFixture fx;
    ASSERT_TRUE(fx.build());
    const QString description = fx.app
                                + QStringLiteral("/Documents/attachments/"
                                                 "c0ffee00-0000-4000-8000-000000000001");
    const auto r =
        TestSupport::runPython(QStringLiteral("make_hostile_plist.py"),
                               {description, QString::fromLatin1(GetParam()), QStringLiteral("50000")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    IOSKikDb db(fx.app);
    KikDataSet set;
    db.loadAll(set);
    const _KikMessage *m = nullptr;
    for (const _KikMessage *candidate : std::as_const(set.messages)) {
        if (candidate->content_id == QLatin1String("c0ffee00-0000-4000-8000-000000000001"))
            m = candidate;
    }
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->attachment.value(QStringLiteral("string:k49999")).toString(), QStringLiteral("v49999"));
    EXPECT_EQ(m->attachment.value(QStringLiteral("string:k0")).toString(), QStringLiteral("v0"));

    // A cancel is looked for while the long description is read, not only
    // between messages, and stops the load.
    int checks = 0;
    IOSKikDb counted(fx.app);
    counted.setCancelCheck([&checks] { return ++checks < 0; });
    KikDataSet all;
    counted.loadAll(all);
    EXPECT_GE(checks, fx.messages().size() + 50000 / 4096);
    IOSKikDb stopped(fx.app);
    int seen = 0;
    stopped.setCancelCheck([&seen, &checks] { return ++seen >= checks; });
    KikDataSet part;
    EXPECT_THROW(stopped.loadAll(part), JobCancelled);
}

INSTANTIATE_TEST_SUITE_P(Formats, ManyStrings, ::testing::Values("strings", "strings-binary"));
