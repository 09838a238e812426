#include "ios/MbdbReader.h"

#include "BackupFixture.h"

#include <QBuffer>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

QByteArray str(const QByteArray &s)
{
    char b[2];
    qToBigEndian<quint16>(quint16(s.size()), b);
    return QByteArray(b, 2) + s;
}
const QByteArray kAbsent("\xff\xff", 2);

template <typename T>
QByteArray be(T v)
{
    char b[sizeof(T)];
    qToBigEndian<T>(v, b);
    return QByteArray(b, sizeof(T));
}

QByteArray record(const QByteArray &domain, const QByteArray &path, quint64 size, quint16 mode,
                  const QByteArray &link = kAbsent)
{
    return str(domain) + str(path) + link + kAbsent + str(QByteArray()) + be<quint16>(mode) + be<quint32>(1)
           + be<quint32>(2) + be<quint32>(501) + be<quint32>(20) + be<quint32>(1000) + be<quint32>(1001)
           + be<quint32>(1002) + be<quint64>(size) + QByteArray(1, '\x03') + QByteArray(1, '\x01')
           + str("xattr") + str(QByteArray("\0v", 2));
}

MbdbRecordTable readBytes(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return readMbdb(buffer);
}

const QByteArray kHeader("mbdb\x05\x00", 6);

} // namespace

TEST(MbdbReader, ReadsEveryField)
{
    const auto table = readBytes(kHeader + record("HomeDomain", "Library/a", 77, 0100644));
    ASSERT_EQ(table.size(), 1);
    const MbdbRecord &r = table.value(fileId(QStringLiteral("HomeDomain"), QStringLiteral("Library/a")));
    EXPECT_EQ(r.domain, QStringLiteral("HomeDomain"));
    EXPECT_EQ(r.relativePath, QStringLiteral("Library/a"));
    EXPECT_TRUE(r.linkTarget.isEmpty());
    EXPECT_TRUE(r.dataHash.isEmpty());
    EXPECT_EQ(r.mode, 0100644);
    EXPECT_EQ(r.inodeHigh, 1u);
    EXPECT_EQ(r.inodeLow, 2u);
    EXPECT_EQ(r.userId, 501u);
    EXPECT_EQ(r.groupId, 20u);
    EXPECT_EQ(r.modifiedTime, 1000u);
    EXPECT_EQ(r.accessedTime, 1001u);
    EXPECT_EQ(r.createdTime, 1002u);
    EXPECT_EQ(r.fileSize, 77u);
    EXPECT_EQ(r.protectionClass, 3);
    ASSERT_EQ(r.properties.size(), 1);
    EXPECT_EQ(r.properties[0].first, QByteArray("xattr"));
    EXPECT_EQ(r.properties[0].second, QByteArray("\0v", 2));
}

TEST(MbdbReader, AbsentAndEmptyStringsAndDuplicates)
{
    // The link target 0xFFFF consumes no bytes; the second record reuses
    // domain and path and replaces the first.
    const auto table =
        readBytes(kHeader + record("D", "p", 1, 0100644) + record("D", "p", 2, 0100644, str(QByteArray()))
                  + record("D", "q", 3, 0120755, str("target")));
    ASSERT_EQ(table.size(), 2);
    EXPECT_EQ(table.value(fileId(QStringLiteral("D"), QStringLiteral("p"))).fileSize, 2u);
    EXPECT_EQ(table.value(fileId(QStringLiteral("D"), QStringLiteral("q"))).linkTarget,
              QStringLiteral("target"));
}

TEST(MbdbReader, FolderVersusFileComesFromTheMode)
{
    const auto table =
        readBytes(kHeader + record("D", "empty-file", 0, 0100644) + record("D", "folder", 0, 040755)
                  + record("D", "link", 0, 0120755, str("x")));
    EXPECT_FALSE(table.value(fileId(QStringLiteral("D"), QStringLiteral("empty-file"))).isDir());
    EXPECT_TRUE(table.value(fileId(QStringLiteral("D"), QStringLiteral("empty-file"))).isFile());
    EXPECT_TRUE(table.value(fileId(QStringLiteral("D"), QStringLiteral("folder"))).isDir());
    EXPECT_TRUE(table.value(fileId(QStringLiteral("D"), QStringLiteral("link"))).isLink());
}

TEST(MbdbReader, TruncatedInputThrows)
{
    const QByteArray whole = kHeader + record("HomeDomain", "Library/a", 77, 0100644);
    for (int cut : {3, 7, 12, 30, 60, int(whole.size()) - 1})
        EXPECT_THROW(readBytes(whole.left(cut)), std::runtime_error) << "cut at " << cut;
    // A declared length longer than what follows.
    EXPECT_THROW(readBytes(kHeader + be<quint16>(0x4000) + "abc"), std::runtime_error);
    EXPECT_THROW(readMbdb(QStringLiteral("/nonexistent-folder/Manifest.mbdb")), std::runtime_error);
    EXPECT_TRUE(readBytes(kHeader).isEmpty());
}

TEST(MbdbReader, FileIdIsSha1OfDomainAndPath)
{
    EXPECT_EQ(fileId(QStringLiteral("AppDomain-com.kik.chat"), QStringLiteral("Documents/kik.sqlite")),
              QStringLiteral("8e281be6657d4523710d96341b6f86ba89b56df7"));
    EXPECT_TRUE(isSafeFileId(QStringLiteral("8e281be6657d4523710d96341b6f86ba89b56df7")));
    EXPECT_FALSE(isSafeFileId(QStringLiteral("../../../etc/passwd")));
    EXPECT_FALSE(isSafeFileId(QStringLiteral("8e281be6657d4523710d96341b6f86ba89b56df")));
    EXPECT_FALSE(isSafeFileId(QStringLiteral("8e281be6657d4523710d96341b6f86ba89b56d/7")));
}

TEST(MbdbReader, ReadsBuilderManifest)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QStringLiteral("mbdb")));
    const auto table = readMbdb(fx.path + QStringLiteral("/Manifest.mbdb"));
    EXPECT_EQ(table.size(), fx.files.size());
    for (const auto &v : fx.files) {
        const QJsonObject o = v.toObject();
        const QString id = o.value(QStringLiteral("file_id")).toString();
        ASSERT_TRUE(table.contains(id)) << id.toStdString();
        EXPECT_EQ(qint64(table.value(id).fileSize), o.value(QStringLiteral("size")).toInteger());
        EXPECT_EQ(table.value(id).isDir(), o.value(QStringLiteral("is_dir")).toBool());
    }
}

TEST(MbdbReader, EveryTruncationOfARealManifestFailsCleanly)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QStringLiteral("mbdb-enc")));
    const QByteArray whole = TestSupport::readFile(fx.path + QStringLiteral("/Manifest.mbdb"));
    ASSERT_GT(whole.size(), 100);
    int parsed = 0;
    for (qsizetype cut = 0; cut < whole.size(); ++cut) {
        try {
            const auto table = readBytes(whole.left(cut));
            EXPECT_LT(table.size(), fx.files.size());
            ++parsed; // cut exactly at a record boundary
        } catch (const std::runtime_error &) {
        }
    }
    EXPECT_LE(parsed, fx.files.size());
    EXPECT_EQ(readBytes(whole).size(), fx.files.size());
}
