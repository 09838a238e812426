#include "ios/BackupManifest.h"
#include "ios/BackupPaths.h"

#include "BackupFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

const QString kKik = QStringLiteral("AppDomain-com.kik.chat");
const QString kGroup = QStringLiteral("AppDomainGroup-group.com.kik.chat");
const QString kCore = QStringLiteral("cores/private/0f1e2d3c4b5a69788796a5b4c3d2e1f0");

class BackupKinds : public ::testing::TestWithParam<const char *>
{
protected:
    void SetUp() override
    {
        kind = QString::fromLatin1(GetParam());
        encrypted = kind.endsWith(QLatin1String("-enc"));
        ASSERT_TRUE(fx.build(kind, {QStringLiteral("--hostile")}));
        manifest = std::make_unique<BackupManifest>(fx.path);
        manifest->readProperties();
        if (encrypted) {
            ASSERT_TRUE(manifest->unlock(QStringLiteral("secret")));
        }
        manifest->buildIndex();
    }

    QString kind;
    bool encrypted = false;
    BackupFixture fx;
    std::unique_ptr<BackupManifest> manifest;
    QTemporaryDir out;
};

} // namespace

TEST_P(BackupKinds, ReadsProperties)
{
    EXPECT_EQ(manifest->uniqueDeviceId(), fx.udid);
    EXPECT_EQ(manifest->deviceName(), QStringLiteral("Test iPhone"));
    EXPECT_EQ(manifest->productType(), QStringLiteral("iPhone10,3"));
    EXPECT_EQ(manifest->serialNumber(), QStringLiteral("F17XXXXXXXXX"));
    EXPECT_EQ(manifest->isEncrypted(), encrypted);
    EXPECT_EQ(manifest->backupKeyBag().isEmpty(), !encrypted);
    EXPECT_EQ(manifest->backupDate().toMSecsSinceEpoch(), 1592217000000LL); // 2020-06-15 10:30 UTC
    EXPECT_EQ(manifest->displayName(), QStringLiteral("Test iPhone"));
    EXPECT_EQ(manifest->usesManifestDb(), kind.startsWith(QLatin1String("db")));
}

TEST_P(BackupKinds, IndexesEveryRecord)
{
    int checked = 0;
    for (const auto &v : fx.files) {
        const QJsonObject o = v.toObject();
        const MbdbRecord *r = manifest->findRecord(o.value(QStringLiteral("domain")).toString(),
                                                   o.value(QStringLiteral("path")).toString());
        ASSERT_NE(r, nullptr) << o.value(QStringLiteral("path")).toString().toStdString();
        EXPECT_EQ(qint64(r->fileSize), o.value(QStringLiteral("size")).toInteger());
        EXPECT_EQ(r->mode, o.value(QStringLiteral("mode")).toInt());
        EXPECT_EQ(r->isDir(), o.value(QStringLiteral("is_dir")).toBool());
        EXPECT_EQ(r->isLink(), o.value(QStringLiteral("is_link")).toBool());
        EXPECT_EQ(qint64(r->modifiedTime), o.value(QStringLiteral("mtime")).toInteger());
        EXPECT_EQ(r->protectionClass, o.value(QStringLiteral("protection_class")).toInt());
        EXPECT_EQ(!r->encryptionKey.isEmpty(), encrypted && !r->isDir() && !r->isLink());
        ++checked;
    }
    EXPECT_EQ(checked, fx.files.size());
}

TEST_P(BackupKinds, BuildsTheDomainTree)
{
    const BackupFileNode *apps = manifest->topLevelNode(QStringLiteral("Applications"));
    ASSERT_NE(apps, nullptr);
    const BackupFileNode *kik = apps->child(QStringLiteral("com.kik.chat"));
    ASSERT_NE(kik, nullptr);
    const BackupFileNode *docs = kik->child(QStringLiteral("Documents"));
    ASSERT_NE(docs, nullptr);
    EXPECT_TRUE(docs->isDir());
    const BackupFileNode *wal = docs->child(QStringLiteral("kik.sqlite-wal"));
    ASSERT_NE(wal, nullptr);
    EXPECT_FALSE(wal->isDir()); // empty, but a file
    EXPECT_NE(docs->child(QStringLiteral("kik.sqlite")), nullptr);

    const BackupFileNode *group = manifest->topLevelNode(QStringLiteral("AppDomainGroup"));
    ASSERT_NE(group, nullptr);
    const BackupFileNode *node = group->child(QStringLiteral("group.com.kik.chat"));
    for (const char *part : {"cores", "private", "0f1e2d3c4b5a69788796a5b4c3d2e1f0", "attachments"}) {
        ASSERT_NE(node, nullptr) << part;
        node = node->child(QString::fromLatin1(part));
    }
    ASSERT_NE(node, nullptr);
    EXPECT_NE(node->child(QStringLiteral("one")), nullptr);

    // Listed domains share the top level; others get their own node.
    EXPECT_NE(manifest->topLevelNode(QStringLiteral("Library")), nullptr);
    EXPECT_NE(manifest->topLevelNode(QStringLiteral("Media")), nullptr);
    EXPECT_NE(manifest->topLevelNode(QStringLiteral("SysSharedContainerDomain-systemgroup.com.apple.x")),
              nullptr);
}

TEST_P(BackupKinds, ExtractsEveryFileExactly)
{
    for (const auto &v : fx.files) {
        const QJsonObject o = v.toObject();
        const QString path = o.value(QStringLiteral("path")).toString();
        if (path.contains(QLatin1String("/.")) || path.isEmpty()
            || o.value(QStringLiteral("is_link")).toBool())
            continue;
        const MbdbRecord *r = manifest->findRecord(o.value(QStringLiteral("domain")).toString(), path);
        ASSERT_NE(r, nullptr);
        const QString dest = out.filePath(o.value(QStringLiteral("file_id")).toString());
        manifest->extractFile(*r, dest);
        const QFileInfo info(dest);
        if (o.value(QStringLiteral("is_dir")).toBool()) {
            EXPECT_TRUE(info.isDir()) << path.toStdString();
            continue;
        }
        ASSERT_TRUE(info.isFile()) << path.toStdString();
        EXPECT_EQ(TestSupport::readFile(dest).toHex(),
                  o.value(QStringLiteral("content")).toString().toLatin1())
            << path.toStdString();
        EXPECT_EQ(info.lastModified().toSecsSinceEpoch(), o.value(QStringLiteral("mtime")).toInteger());
        EXPECT_FALSE(QFileInfo::exists(dest + QStringLiteral(".part")));
    }
}

TEST_P(BackupKinds, ListsAndExtractsAFolderBelowAPrefix)
{
    const auto docs = manifest->recordsUnder(kKik, QStringLiteral("Documents"));
    QStringList paths;
    for (const MbdbRecord *r : docs)
        paths << r->relativePath;
    EXPECT_TRUE(paths.contains(QStringLiteral("Documents")));
    EXPECT_TRUE(paths.contains(QStringLiteral("Documents/kik.sqlite-wal")));
    EXPECT_FALSE(paths.contains(QStringLiteral("Library/Caches/link")));
    EXPECT_TRUE(std::is_sorted(paths.begin(), paths.end()));

    const auto core = manifest->recordsUnder(kGroup, kCore + QStringLiteral("/"));
    EXPECT_EQ(core.size(), 4); // the folder, kik.sqlite, -wal, attachments/one

    int refused = 0;
    for (const MbdbRecord *r : docs) {
        try {
            manifest->extractInto(*r, out.path(), QStringLiteral("Documents"));
        } catch (const std::runtime_error &) {
            ++refused; // the hostile names
        }
    }
    EXPECT_EQ(refused, 2);
    EXPECT_TRUE(QFileInfo(out.filePath(QStringLiteral("kik.sqlite-wal"))).isFile());
    EXPECT_EQ(QFileInfo(out.filePath(QStringLiteral("kik.sqlite-wal"))).size(), 0);
    EXPECT_EQ(QFileInfo(out.filePath(QStringLiteral("kik.sqlite"))).size(), 1000);
    // Nothing escaped the destination.
    QDir parent(out.path());
    parent.cdUp();
    EXPECT_FALSE(QFileInfo::exists(parent.filePath(QStringLiteral("escape.txt"))));
    EXPECT_FALSE(QFileInfo::exists(QDir(out.path()).filePath(QStringLiteral("escape.txt"))));
    EXPECT_FALSE(QFileInfo::exists(QDir(out.path()).filePath(QStringLiteral("dot"))));
}

TEST_P(BackupKinds, LinksAreNotExtracted)
{
    const MbdbRecord *link = manifest->findRecord(kKik, QStringLiteral("Library/Caches/link"));
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->isLink());
    EXPECT_EQ(link->linkTarget, QStringLiteral("/var/mobile/target"));
    const QString dest = out.filePath(QStringLiteral("link"));
    EXPECT_THROW(manifest->extractFile(*link, dest), std::runtime_error);
    EXPECT_FALSE(QFileInfo(dest).exists() || QFileInfo(dest).isSymLink());
}

TEST_P(BackupKinds, MissingContentFileIsAnError)
{
    const MbdbRecord *r = manifest->findRecord(kKik, QStringLiteral("Documents/kik.sqlite"));
    ASSERT_NE(r, nullptr);
    ASSERT_TRUE(QFile::remove(manifest->contentPath(*r)));
    const QString dest = out.filePath(QStringLiteral("kik.sqlite"));
    try {
        manifest->extractFile(*r, dest);
        FAIL() << "extracted a missing file";
    } catch (const std::runtime_error &e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith(QStringLiteral("can not open ")));
    }
    EXPECT_FALSE(QFileInfo::exists(dest));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, BackupKinds, ::testing::Values("mbdb", "db", "mbdb-enc", "db-enc"));

class EncryptedBackup : public ::testing::TestWithParam<const char *>
{};

TEST_P(EncryptedBackup, WrongPasswordThenRightOne)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QString::fromLatin1(GetParam())));
    BackupManifest m(fx.path);
    m.readProperties();
    EXPECT_FALSE(m.unlock(QStringLiteral("wrong")));
    EXPECT_FALSE(m.isUnlocked());
    EXPECT_FALSE(m.unlock(QString()));
    EXPECT_TRUE(m.unlock(QStringLiteral("secret")));
    EXPECT_EQ(m.classKey(3).size(), 32);
    EXPECT_TRUE(m.classKey(12).isEmpty()); // wrapped with the device key only
}

TEST_P(EncryptedBackup, RefusesToExtractWhileLockedAndBadCiphertext)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QString::fromLatin1(GetParam())));
    BackupManifest locked(fx.path);
    locked.readProperties();
    if (locked.usesManifestDb()) {
        EXPECT_THROW(locked.buildIndex(), std::runtime_error);
    }

    BackupManifest m(fx.path);
    m.readProperties();
    ASSERT_TRUE(m.unlock(QStringLiteral("secret")));
    m.buildIndex();
    const MbdbRecord *r = m.findRecord(kKik, QStringLiteral("Documents/kik.sqlite"));
    ASSERT_NE(r, nullptr);
    QTemporaryDir out;
    EXPECT_THROW(locked.extractFile(*r, out.filePath(QStringLiteral("a"))), std::runtime_error);

    // A ciphertext whose length is not a multiple of 16.
    QFile content(m.contentPath(*r));
    ASSERT_TRUE(content.open(QIODevice::Append));
    content.write("x");
    content.close();
    try {
        m.extractFile(*r, out.filePath(QStringLiteral("b")));
        FAIL() << "decrypted a partial block";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("The backup's copy of ") + kKik
                      + QStringLiteral("/Documents/kik.sqlite is damaged: its encrypted content "
                                       "is cut short."));
    }
    EXPECT_FALSE(QFileInfo::exists(out.filePath(QStringLiteral("b"))));

    // A wrapped file key of the wrong length.
    MbdbRecord shortKey = *r;
    shortKey.encryptionKey.chop(8);
    EXPECT_THROW(m.extractFile(shortKey, out.filePath(QStringLiteral("c"))), std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(Both, EncryptedBackup, ::testing::Values("mbdb-enc", "db-enc"));

TEST(BackupManifest, PropertyFailures)
{
    QTemporaryDir dir;
    BackupManifest missing(dir.path());
    try {
        missing.readProperties();
        FAIL();
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("Cannot find ")
                      + QDir(dir.path()).filePath(QStringLiteral("Manifest.plist")));
    }
    TestSupport::writeFile(dir.filePath(QStringLiteral("Manifest.plist")), "bplist00garbage");
    EXPECT_THROW(missing.readProperties(), std::runtime_error);
    TestSupport::writeFile(dir.filePath(QStringLiteral("Manifest.mbdb")), "mbdb\x05\x00\x00\x05Home");
    EXPECT_THROW(missing.buildIndex(), std::runtime_error);
}

TEST(BackupManifest, GarbageManifestDbAndKeyBag)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QStringLiteral("db")));
    TestSupport::writeFile(fx.path + QStringLiteral("/Manifest.db"), QByteArray(4096, 'g'));
    BackupManifest m(fx.path);
    m.readProperties();
    EXPECT_THROW(m.buildIndex(), std::runtime_error);

    BackupFixture enc;
    ASSERT_TRUE(enc.build(QStringLiteral("db-enc")));
    // An encrypted Manifest.db cut to a partial block.
    QFile db(enc.path + QStringLiteral("/Manifest.db"));
    ASSERT_TRUE(db.resize(db.size() - 3));
    BackupManifest cut(enc.path);
    cut.readProperties();
    ASSERT_TRUE(cut.unlock(QStringLiteral("secret")));
    try {
        cut.buildIndex();
        ADD_FAILURE() << "a cut Manifest.db was read";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()),
                  "The backup's Manifest.db is damaged: its encrypted content is cut short.");
    }

    // A Manifest.plist whose key bag is garbage: unlocking reports it.
    BackupManifest noBag(fx.path);
    noBag.readProperties();
    EXPECT_THROW(noBag.unlock(QStringLiteral("secret")), std::runtime_error);
}

TEST(BackupManifest, DisplayNameAndKey)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QStringLiteral("mbdb"), {}, QStringLiteral("my-backup")));
    BackupManifest m(fx.path);
    m.readProperties();
    EXPECT_EQ(m.displayName(), QStringLiteral("Test iPhone-my-backup"));
    BackupManifest same(fx.path + QStringLiteral("/../my-backup/."));
    EXPECT_EQ(same.backupKey(), m.backupKey());
    EXPECT_EQ(m.backupKey().size(), 32);

    BackupFixture stamped;
    ASSERT_TRUE(stamped.build(QStringLiteral("db"), {},
                              QStringLiteral("0123456789abcdef0123456789abcdef01234567-20200615-103000")));
    BackupManifest s(stamped.path);
    s.readProperties();
    EXPECT_EQ(s.displayName(), QStringLiteral("Test iPhone-20200615-103000"));
}

TEST(BackupManifest, ManifestDbSkipsUnsafeFileIds)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QStringLiteral("db"), {QStringLiteral("--hostile")}));
    BackupManifest m(fx.path);
    m.readProperties();
    m.buildIndex();
    EXPECT_EQ(m.findRecord(QStringLiteral("HomeDomain"), QStringLiteral("Library/evil")), nullptr);
    MbdbRecord forged;
    forged.storedFileId = QStringLiteral("../../../etc/passwd");
    EXPECT_TRUE(m.contentPath(forged).isEmpty());
    QTemporaryDir out;
    EXPECT_THROW(m.extractFile(forged, out.filePath(QStringLiteral("x"))), std::runtime_error);
}

TEST(BackupPaths, SafeDestination)
{
    const QString base = QDir::cleanPath(QDir::tempPath() + QStringLiteral("/dest"));
    EXPECT_EQ(BackupPaths::safeDestination(base, QStringLiteral("a/b.txt")),
              base + QStringLiteral("/a/b.txt"));
    for (const char *bad : {"..", "../x", "a/../../x", "./a", "a//b", "/etc/passwd", "a\\..\\b", "c:x", ""})
        EXPECT_TRUE(BackupPaths::safeDestination(base, QString::fromLatin1(bad)).isEmpty()) << bad;
    EXPECT_TRUE(
        BackupPaths::safeDestination(base, QStringLiteral("a") + QChar(0) + QStringLiteral("b")).isEmpty());
}

TEST(BackupPaths, DefaultRoot)
{
    TestSupport::ScopedDataRoot root;
    QTemporaryDir home;
#if defined(Q_OS_WIN)
    EXPECT_TRUE(BackupPaths::defaultBackupRootFor(home.path())
                    .endsWith(QStringLiteral("Application Data/Apple Computer/MobileSync/Backup")));
    QDir(home.path()).mkpath(QStringLiteral("AppData/Roaming"));
    EXPECT_TRUE(BackupPaths::defaultBackupRootFor(home.path())
                    .endsWith(QStringLiteral("AppData/Roaming/Apple Computer/MobileSync/Backup")));
#elif defined(Q_OS_MACOS)
    EXPECT_EQ(BackupPaths::defaultBackupRootFor(home.path()),
              home.path() + QStringLiteral("/Library/Application Support/MobileSync/Backup"));
#else
    EXPECT_EQ(BackupPaths::defaultBackupRoot(), BackupPaths::deviceBackupWorkRoot());
    EXPECT_TRUE(BackupPaths::deviceBackupWorkRoot().startsWith(root.path()));
#endif
}

TEST_P(EncryptedBackup, NeverWritesOverTheBackupsOwnContentFile)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QString::fromLatin1(GetParam())));
    BackupManifest m(fx.path);
    m.readProperties();
    ASSERT_TRUE(m.unlock(QStringLiteral("secret")));
    m.buildIndex();
    const MbdbRecord *r = m.findRecord(kKik, QStringLiteral("Documents/kik.sqlite"));
    ASSERT_NE(r, nullptr);
    const QString content = m.contentPath(*r);
    const QByteArray cipher = TestSupport::readFile(content);
    ASSERT_FALSE(cipher.isEmpty());
    // Named directly and through a path of another form.
    const QString otherForm =
        QFileInfo(content).absolutePath() + QStringLiteral("/./") + QFileInfo(content).fileName();
    for (const QString &target : {content, otherForm}) {
        EXPECT_THROW(m.extractFile(*r, target), std::runtime_error) << target.toStdString();
        EXPECT_EQ(TestSupport::readFile(content), cipher);
    }
}

// A Manifest.mbdb that does not start with "mbdb" is no backup: not listed,
// and reading it says so; a folder with neither manifest says that.
TEST(BackupManifest, MbdbWithWrongMagicOrNoManifestAtAll)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QStringLiteral("mbdb")));
    EXPECT_TRUE(BackupManifest::looksLikeBackup(fx.path));
    const QString mbdb = fx.path + QStringLiteral("/Manifest.mbdb");
    QByteArray bytes = TestSupport::readFile(mbdb);
    bytes.replace(0, 4, "mbdx");
    TestSupport::writeFile(mbdb, bytes);
    EXPECT_FALSE(BackupManifest::looksLikeBackup(fx.path));
    BackupManifest wrong(fx.path);
    wrong.readProperties();
    try {
        wrong.buildIndex();
        ADD_FAILURE() << "read a Manifest.mbdb with a wrong magic";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("does not start with \"mbdb\""), std::string::npos) << e.what();
    }
    ASSERT_TRUE(QFile::remove(mbdb));
    BackupManifest none(fx.path);
    none.readProperties();
    try {
        none.buildIndex();
        ADD_FAILURE() << "indexed a folder without a manifest";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("holds neither Manifest.db nor Manifest.mbdb"),
                  std::string::npos)
            << e.what();
    }
}
