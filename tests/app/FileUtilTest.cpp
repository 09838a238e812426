#include "app/FileUtil.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using TestSupport::writeFile;

TEST(SanitiseFileName, ReservedDeviceNamesAreWrapped)
{
    EXPECT_EQ(sanitiseFileName(QStringLiteral("con.txt")), QStringLiteral("$$con$$.txt"));
    EXPECT_EQ(sanitiseFileName(QStringLiteral("NUL")), QStringLiteral("$$NUL$$"));
    EXPECT_EQ(sanitiseFileName(QStringLiteral("com9.tar.gz")), QStringLiteral("$$com9$$.gz"));
    EXPECT_EQ(sanitiseFileName(QStringLiteral("lpt1")), QStringLiteral("$$lpt1$$"));
    // Only LPT1 is reserved.
    EXPECT_EQ(sanitiseFileName(QStringLiteral("LPT2")), QStringLiteral("LPT2"));
    EXPECT_EQ(sanitiseFileName(QStringLiteral("console.txt")), QStringLiteral("console.txt"));
}

TEST(SanitiseFileName, InvalidCharactersAreRemovedAndTrimmed)
{
    EXPECT_EQ(sanitiseFileName(QStringLiteral(" a:b?c ")), QStringLiteral("abc"));
    EXPECT_EQ(sanitiseFileName(QStringLiteral("a\\b/c*d\"e<f>g|h\ni\rj\tk")), QStringLiteral("abcdefghijk"));
    EXPECT_EQ(sanitiseFileName(QStringLiteral("anna_x@talk.kik.com")), QStringLiteral("anna_x@talk.kik.com"));
}

TEST(SanitiseFileName, NulAndEveryControlCharacterGo)
{
    EXPECT_EQ(sanitiseFileName(QStringLiteral("Twin") + QChar(0) + QStringLiteral("alice")),
              QStringLiteral("Twinalice"));
    EXPECT_EQ(sanitiseFileName(QStringLiteral("a\x01"
                                              "b\x1b"
                                              "c\x7f")
                               + QChar(0x85) + QStringLiteral("d")),
              QStringLiteral("abcd"));
}

TEST(ShortenFileName, CutsWholeCharactersAndKeepsTheSuffix)
{
    EXPECT_EQ(shortenFileName(QStringLiteral("short.pdf")), QStringLiteral("short.pdf"));
    const QString longName = QString(5000, QChar(0x00e9)) + QStringLiteral(".html");
    const QString cut = shortenFileName(longName);
    EXPECT_LE(cut.toUtf8().size(), kMaxFileNameBytes);
    EXPECT_TRUE(cut.endsWith(QStringLiteral(".html")));
    QString emoji;
    for (int i = 0; i < 100; ++i)
        emoji += QString::fromUcs4(U"\U0001F600");
    const QString cutEmoji = shortenFileName(emoji + QStringLiteral(".pdf"), 41);
    EXPECT_LE(cutEmoji.toUtf8().size(), 41);
    EXPECT_EQ(cutEmoji, emoji.left(18) + QStringLiteral(".pdf")) << "no half of a surrogate pair";
}

TEST(SafeLeafName, NeverLeavesTheFolder)
{
    EXPECT_EQ(safeLeafName(QStringLiteral("../../etc/passwd")), QStringLiteral("passwd"));
    EXPECT_EQ(safeLeafName(QStringLiteral("/abs/path.jpg")), QStringLiteral("path.jpg"));
    EXPECT_EQ(safeLeafName(QStringLiteral("..\\..\\x.png")), QStringLiteral("x.png"));
    EXPECT_EQ(safeLeafName(QStringLiteral("..")), QString());
    EXPECT_EQ(safeLeafName(QStringLiteral("a/..")), QString());
    EXPECT_EQ(safeLeafName(QStringLiteral("")), QString());
    EXPECT_EQ(safeLeafName(QStringLiteral("ok.jpg")), QStringLiteral("ok.jpg"));
}

TEST(UniqueFilePath, CountsUpPastExistingFiles)
{
    QTemporaryDir dir;
    const QString chat = dir.filePath(QStringLiteral("chat.html"));
    EXPECT_EQ(uniqueFilePath(chat), chat);
    writeFile(chat, "x");
    EXPECT_EQ(uniqueFilePath(chat), dir.filePath(QStringLiteral("chat(1).html")));
    writeFile(dir.filePath(QStringLiteral("chat(1).html")), "x");
    EXPECT_EQ(uniqueFilePath(chat), dir.filePath(QStringLiteral("chat(2).html")));

    const QString plain = dir.filePath(QStringLiteral("name"));
    QDir().mkpath(plain); // a folder counts as existing too
    EXPECT_EQ(uniqueFilePath(plain), dir.filePath(QStringLiteral("name(1)")));
}

TEST(RemoveTree, RemovesFilesAndFoldersButKeepsFoldersWithHiddenEntries)
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("cache"));
    writeFile(root + QStringLiteral("/a.txt"), "a");
    writeFile(root + QStringLiteral("/sub/b.txt"), "b");
    writeFile(root + QStringLiteral("/sub/deeper/c.txt"), "c");
    removeTree(root);
    EXPECT_FALSE(QFileInfo::exists(root));

    const QString withHidden = dir.filePath(QStringLiteral("hidden"));
    writeFile(withHidden + QStringLiteral("/.keep"), "k");
    writeFile(withHidden + QStringLiteral("/visible"), "v");
    removeTree(withHidden);
    EXPECT_TRUE(QFileInfo::exists(withHidden + QStringLiteral("/.keep")));
    EXPECT_FALSE(QFileInfo::exists(withHidden + QStringLiteral("/visible")));

    removeTree(dir.filePath(QStringLiteral("missing"))); // nothing happens
}

TEST(RemoveTree, DoesNotFollowLinksOutOfTheTree)
{
    QTemporaryDir dir;
    const QString outside = dir.filePath(QStringLiteral("outside"));
    writeFile(outside + QStringLiteral("/precious.txt"), "keep me");
    const QString root = dir.filePath(QStringLiteral("tree"));
    QDir().mkpath(root);
    ASSERT_TRUE(QFile::link(outside, root + QStringLiteral("/link")));
    removeTree(root);
    EXPECT_FALSE(QFileInfo::exists(root));
    EXPECT_TRUE(QFileInfo::exists(outside + QStringLiteral("/precious.txt")));
}
