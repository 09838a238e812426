// The ab and transfer commands and the android:/ab: sources, through the
// command-line program itself.
#include "android/AndroidOffline.h"
#include "app/AppError.h"
#include "app/DataRoot.h"
#include "cli/CliSource.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace TestSupport;

namespace {

void py(const QStringList &args)
{
    const auto r = runPython(QStringLiteral("make_android_kik.py"), args);
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
}

ProcessResult kik(const QTemporaryDir &dir, const QStringList &args)
{
    return run(binDir() + QStringLiteral("/velloran-kik"),
               QStringList{QStringLiteral("--data-root"), dir.filePath(QStringLiteral("root"))} + args);
}

QJsonObject json(const ProcessResult &r)
{
    return QJsonDocument::fromJson(r.out).object();
}

} // namespace

TEST(AbCli, UnpackAndPack)
{
    QTemporaryDir dir;
    py({"tree", dir.filePath("t")});
    py({"ab", dir.filePath("t"), dir.filePath("p.ab")});
    auto r = kik(dir, {"--json", "ab", "unpack", dir.filePath("p.ab"), dir.filePath("u")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(json(r).value("entries").toInt(), 4);
    EXPECT_EQ(readFile(dir.filePath("u/apps/kik.android/_manifest")),
              readFile(dir.filePath("t/apps/kik.android/_manifest")));
    r = kik(dir, {"--json", "ab", "pack", dir.filePath("u"), dir.filePath("q.ab")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(json(r).value("entries").toInt(), 4);
    EXPECT_EQ(readFile(dir.filePath("q.ab")).left(24), QByteArray("ANDROID BACKUP\n1\n1\nnone\n"));

    py({"ab", dir.filePath("t"), dir.filePath("c.ab"), "--cipher"});
    r = kik(dir, {"ab", "unpack", dir.filePath("c.ab"), dir.filePath("v")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Your backup file is encrypted")) << r.err.constData();
    // Compression flag 0: the tar follows the header as it is.
    py({"ab", dir.filePath("t"), dir.filePath("plain.ab"), "--plain"});
    r = kik(dir, {"--json", "ab", "unpack", dir.filePath("plain.ab"), dir.filePath("w")});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(json(r).value("entries").toInt(), 4);
    // Flag 1 over a tar that is not compressed.
    py({"ab", dir.filePath("t"), dir.filePath("raw.ab"), "--raw-tar"});
    r = kik(dir, {"ab", "unpack", dir.filePath("raw.ab"), dir.filePath("x")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("ab file data is corrupted.")) << r.err.constData();
    EXPECT_EQ(kik(dir, {"ab", "unpack", dir.filePath("p.ab")}).exitCode, 2);
}

TEST(AbCli, OfflineTransfer)
{
    QTemporaryDir dir;
    py({"tree", dir.filePath("phone")});
    py({"ab", dir.filePath("phone"), dir.filePath("phone.ab")});
    py({"tree", dir.filePath("other"), "--other"});
    py({"ab", dir.filePath("other"), dir.filePath("other.ab")});
    const QByteArray phone = readFile(dir.filePath("phone.ab"));

    auto r = kik(dir, {"--json", "transfer", "android:" + dir.filePath("other"), "--to-ab",
                       dir.filePath("phone.ab"), "--out", dir.filePath("new.ab")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QJsonObject o = json(r);
    EXPECT_EQ(o.value("messages").toInt(), 6);
    EXPECT_EQ(o.value("phone_messages_before").toInt(), 8);
    EXPECT_EQ(o.value("phone_messages_after").toInt(), 14);
    EXPECT_EQ(readFile(dir.filePath("phone.ab")), phone);

    // Only one chat, from an archive source; text output.
    r = kik(dir, {"--quiet", "transfer", "ab:" + dir.filePath("other.ab"), "--chat", "alice_x1@talk.kik.com",
                  "--to-ab", dir.filePath("phone.ab"), "--out", dir.filePath("new2.ab")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out.trimmed(), "Successfully transferred 3 Messages to Android.");

    EXPECT_EQ(kik(dir, {"transfer", "android:" + dir.filePath("other")}).exitCode, 2);
    r = kik(dir, {"transfer", "android:" + dir.filePath("nothing"), "--to-ab", dir.filePath("phone.ab"),
                  "--out", dir.filePath("new3.ab")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("new3.ab")));
}

TEST(AndroidSources, LoadersRegisteredForBothKinds)
{
    QTemporaryDir dir;
    py({"tree", dir.filePath("t"), "--newer"});
    py({"ab", dir.filePath("t"), dir.filePath("p.ab")});
    DataRoot::setOverride(dir.filePath("root"));
    CliContext ctx;
    const LoadedSource folder = loadSource(ctx, "android:" + dir.filePath("t"), nullptr);
    ASSERT_TRUE(folder.data);
    EXPECT_EQ(folder.data->messages.size(), 6);
    const LoadedSource archive = loadSource(ctx, "ab:" + dir.filePath("p.ab"), nullptr);
    ASSERT_TRUE(archive.data);
    EXPECT_EQ(archive.data->messages.size(), 6);
    EXPECT_TRUE(archive.cacheFolder.startsWith(DataRoot::androidCacheFolder().absolutePath()));
    EXPECT_THROW(loadSource(ctx, "android:" + dir.filePath("none"), nullptr), AppError);
    DataRoot::setOverride(QString());
}

TEST(AbCli, FailedPackKeepsAnExistingArchive)
{
    QTemporaryDir dir;
    py({"tree", dir.filePath("t")});
    writeFile(dir.filePath("old.ab"), "earlier archive");
    // A name component over 100 bytes cannot be stored as ustar.
    writeFile(dir.filePath("t/apps/") + QString(120, 'n'), "x");
    auto r = kik(dir, {"ab", "pack", dir.filePath("t"), dir.filePath("old.ab")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readFile(dir.filePath("old.ab")), "earlier archive");
    EXPECT_FALSE(QFile::exists(dir.filePath("old.ab.part")));
    // An archive inside the packed folder would contain itself.
    r = kik(dir, {"ab", "pack", dir.filePath("t"), dir.filePath("t/self.ab")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(QFile::exists(dir.filePath("t/self.ab")));
}
