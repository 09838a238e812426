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
    py({QStringLiteral("tree"), dir.filePath(QStringLiteral("t"))});
    py({QStringLiteral("ab"), dir.filePath(QStringLiteral("t")), dir.filePath(QStringLiteral("p.ab"))});
    auto r = kik(dir, {QStringLiteral("--json"), QStringLiteral("ab"), QStringLiteral("unpack"),
                       dir.filePath(QStringLiteral("p.ab")), dir.filePath(QStringLiteral("u"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(json(r).value(QStringLiteral("entries")).toInt(), 4);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("u/apps/kik.android/_manifest"))),
              readFile(dir.filePath(QStringLiteral("t/apps/kik.android/_manifest"))));
    r = kik(dir, {QStringLiteral("--json"), QStringLiteral("ab"), QStringLiteral("pack"),
                  dir.filePath(QStringLiteral("u")), dir.filePath(QStringLiteral("q.ab"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(json(r).value(QStringLiteral("entries")).toInt(), 4);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("q.ab"))).left(24),
              QByteArray("ANDROID BACKUP\n1\n1\nnone\n"));

    py({QStringLiteral("ab"), dir.filePath(QStringLiteral("t")), dir.filePath(QStringLiteral("c.ab")),
        QStringLiteral("--cipher")});
    r = kik(dir, {QStringLiteral("ab"), QStringLiteral("unpack"), dir.filePath(QStringLiteral("c.ab")),
                  dir.filePath(QStringLiteral("v"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Your backup file is encrypted")) << r.err.constData();
    // Compression flag 0: the tar follows the header as it is.
    py({QStringLiteral("ab"), dir.filePath(QStringLiteral("t")), dir.filePath(QStringLiteral("plain.ab")),
        QStringLiteral("--plain")});
    r = kik(dir, {QStringLiteral("--json"), QStringLiteral("ab"), QStringLiteral("unpack"),
                  dir.filePath(QStringLiteral("plain.ab")), dir.filePath(QStringLiteral("w"))});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(json(r).value(QStringLiteral("entries")).toInt(), 4);
    // Flag 1 over a tar that is not compressed.
    py({QStringLiteral("ab"), dir.filePath(QStringLiteral("t")), dir.filePath(QStringLiteral("raw.ab")),
        QStringLiteral("--raw-tar")});
    r = kik(dir, {QStringLiteral("ab"), QStringLiteral("unpack"), dir.filePath(QStringLiteral("raw.ab")),
                  dir.filePath(QStringLiteral("x"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("ab file data is corrupted.")) << r.err.constData();
    EXPECT_EQ(kik(dir, {QStringLiteral("ab"), QStringLiteral("unpack"), dir.filePath(QStringLiteral("p.ab"))})
                  .exitCode,
              2);
}

TEST(AbCli, OfflineTransfer)
{
    QTemporaryDir dir;
    py({QStringLiteral("tree"), dir.filePath(QStringLiteral("phone"))});
    py({QStringLiteral("ab"), dir.filePath(QStringLiteral("phone")),
        dir.filePath(QStringLiteral("phone.ab"))});
    py({QStringLiteral("tree"), dir.filePath(QStringLiteral("other")), QStringLiteral("--other")});
    py({QStringLiteral("ab"), dir.filePath(QStringLiteral("other")),
        dir.filePath(QStringLiteral("other.ab"))});
    const QByteArray phone = readFile(dir.filePath(QStringLiteral("phone.ab")));

    auto r = kik(dir, {QStringLiteral("--json"), QStringLiteral("transfer"),
                       QStringLiteral("android:") + dir.filePath(QStringLiteral("other")),
                       QStringLiteral("--to-ab"), dir.filePath(QStringLiteral("phone.ab")),
                       QStringLiteral("--out"), dir.filePath(QStringLiteral("new.ab"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QJsonObject o = json(r);
    EXPECT_EQ(o.value(QStringLiteral("messages")).toInt(), 6);
    EXPECT_EQ(o.value(QStringLiteral("phone_messages_before")).toInt(), 8);
    EXPECT_EQ(o.value(QStringLiteral("phone_messages_after")).toInt(), 14);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("phone.ab"))), phone);

    // Only one chat, from an archive source; text output.
    r = kik(dir, {QStringLiteral("--quiet"), QStringLiteral("transfer"),
                  QStringLiteral("ab:") + dir.filePath(QStringLiteral("other.ab")), QStringLiteral("--chat"),
                  QStringLiteral("alice_x1@talk.kik.com"), QStringLiteral("--to-ab"),
                  dir.filePath(QStringLiteral("phone.ab")), QStringLiteral("--out"),
                  dir.filePath(QStringLiteral("new2.ab"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out.trimmed(), "Successfully transferred 3 Messages to Android.");

    EXPECT_EQ(kik(dir, {QStringLiteral("transfer"),
                        QStringLiteral("android:") + dir.filePath(QStringLiteral("other"))})
                  .exitCode,
              2);
    r = kik(dir,
            {QStringLiteral("transfer"), QStringLiteral("android:") + dir.filePath(QStringLiteral("nothing")),
             QStringLiteral("--to-ab"), dir.filePath(QStringLiteral("phone.ab")), QStringLiteral("--out"),
             dir.filePath(QStringLiteral("new3.ab"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("new3.ab"))));
}

TEST(AndroidSources, LoadersRegisteredForBothKinds)
{
    QTemporaryDir dir;
    py({QStringLiteral("tree"), dir.filePath(QStringLiteral("t")), QStringLiteral("--newer")});
    py({QStringLiteral("ab"), dir.filePath(QStringLiteral("t")), dir.filePath(QStringLiteral("p.ab"))});
    DataRoot::setOverride(dir.filePath(QStringLiteral("root")));
    CliContext ctx;
    const LoadedSource folder =
        loadSource(ctx, QStringLiteral("android:") + dir.filePath(QStringLiteral("t")), nullptr);
    ASSERT_TRUE(folder.data);
    EXPECT_EQ(folder.data->messages.size(), 6);
    const LoadedSource archive =
        loadSource(ctx, QStringLiteral("ab:") + dir.filePath(QStringLiteral("p.ab")), nullptr);
    ASSERT_TRUE(archive.data);
    EXPECT_EQ(archive.data->messages.size(), 6);
    EXPECT_TRUE(archive.cacheFolder.startsWith(DataRoot::androidCacheFolder().absolutePath()));
    EXPECT_THROW(loadSource(ctx, QStringLiteral("android:") + dir.filePath(QStringLiteral("none")), nullptr),
                 AppError);
    DataRoot::setOverride(QString());
}

TEST(AbCli, FailedPackKeepsAnExistingArchive)
{
    QTemporaryDir dir;
    py({QStringLiteral("tree"), dir.filePath(QStringLiteral("t"))});
    writeFile(dir.filePath(QStringLiteral("old.ab")), "earlier archive");
    // A name component over 100 bytes cannot be stored as ustar.
    writeFile(dir.filePath(QStringLiteral("t/apps/")) + QString(120, QLatin1Char('n')), "x");
    auto r = kik(dir, {QStringLiteral("ab"), QStringLiteral("pack"), dir.filePath(QStringLiteral("t")),
                       dir.filePath(QStringLiteral("old.ab"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("old.ab"))), "earlier archive");
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("old.ab.part"))));
    // An archive inside the packed folder would contain itself.
    r = kik(dir, {QStringLiteral("ab"), QStringLiteral("pack"), dir.filePath(QStringLiteral("t")),
                  dir.filePath(QStringLiteral("t/self.ab"))});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("t/self.ab"))));
}
