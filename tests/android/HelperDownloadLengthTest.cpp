// A helper download must deliver exactly the bytes the phone announced: a
// copy that ends early is refused, the phone is told, and no file is left.
#include "ScriptedPeer.h"

#include "android/HelperChannel.h"
#include "app/AppError.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(HelperDownloadLength, EndingBeforeTheAnnouncedSizeLeavesNoFile)
{
    const QList<QByteArray> scripts{
        "$file:8\n$block:2\nab.\n",
        "$file:8,kik.db\n.\n",
        "$file:300\n$block:4\nabcd$block:4\nefgh.\n",
    };
    for (const QByteArray &script : scripts) {
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("kikDatabase.db"));
        auto peer = std::make_unique<ScriptedPeer>(script);
        const auto sent = peer->sent();
        HelperChannel channel(std::move(peer), nullptr);
        EXPECT_THROW(channel.downloadFile(QStringLiteral("/data/kik.db"), QString(), local, true), AppError)
            << script.constData();
        EXPECT_FALSE(QFile::exists(local)) << script.constData();
        // The phone hears an error instead of the acknowledgement.
        EXPECT_TRUE(sent->contains("$error:")) << script.constData();
        EXPECT_FALSE(sent->endsWith("$file:\n")) << script.constData();
    }
}

TEST(HelperDownloadLength, TheAnnouncedSizeOrNoneIsAccepted)
{
    const QList<QByteArray> scripts{
        "$file:8\n$block:2\nab$block:6\ncdefgh.\n",
        "$file:\n$block:8\nabcdefgh.\n",
        "$file:,x\n$block:3\nabc$block:5\ndefgh.\n",
    };
    for (const QByteArray &script : scripts) {
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("kikDatabase.db"));
        HelperChannel channel(std::make_unique<ScriptedPeer>(script), nullptr);
        EXPECT_TRUE(channel.downloadFile(QStringLiteral("/data/kik.db"), QString(), local, true))
            << script.constData();
        QFile file(local);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("abcdefgh")) << script.constData();
    }
}
