// The archive that carries many files into Kik's data folder at once: which
// paths may travel in it, what it holds (read back with Python's tarfile,
// which shares no code with the writer) and the folders to hand to Kik.
#include "android/AndroidRootFiles.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace AndroidRootFiles;

namespace {

// The members of a tar file as Python's tarfile reads them.
QJsonArray members(const QString &archive)
{
    const QString script = QStringLiteral(
        "import hashlib, json, sys, tarfile\n"
        "with tarfile.open(sys.argv[1], 'r:') as t:\n"
        "    print(json.dumps([{'name': m.name, 'type': m.type.decode(), 'size': m.size,\n"
        "        'md5': hashlib.md5(t.extractfile(m).read()).hexdigest() if m.isfile() else ''}\n"
        "        for m in t]))\n");
    const auto r =
        TestSupport::run(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, archive});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).array();
}

QString md5Of(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
}

} // namespace

TEST(AndroidRootFilesTest, OnlyPlainPathsInsideKiksFolderTravelInTheArchive)
{
    EXPECT_TRUE(fitsArchive(QStringLiteral("/data/data/kik.android/files/staging/thumbs/thumb-1.jpg")));
    EXPECT_TRUE(
        fitsArchive(QStringLiteral("/data/data/kik.android/databases/4f2c9a.kikDatabase.db.velloran-new")));
    for (const char *path :
         {"/data/data/kik.android", "/data/data/kik.android/", "/data/data/kik.androidx/a",
          "/data/data/other/a", "/sdcard/a", "/data/data/kik.android/../other/a",
          "/data/data/kik.android/files/./a", "/data/data/kik.android/files//a",
          "/data/data/kik.android/files/-rf", "/data/data/kik.android/a b", "/data/data/kik.android/a'b",
          "/data/data/kik.android/a\"b", "/data/data/kik.android/a\\b", "/data/data/kik.android/a\nb",
          "/data/data/kik.android/a$(id)", "/data/data/kik.android/\xc3\xa9"})
        EXPECT_FALSE(fitsArchive(QString::fromUtf8(path))) << path;
}

TEST(AndroidRootFilesTest, ArchiveHoldsEachFileUnderItsPlaceInKiksFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray thumb("\xff\xd8\xff\xe0 a thumbnail", 16);
    QByteArray database(300000, Qt::Uninitialized);
    for (int i = 0; i < database.size(); ++i)
        database[i] = char(i * 7 + i / 251);
    TestSupport::writeFile(dir.filePath(QStringLiteral("thumb")), thumb);
    TestSupport::writeFile(dir.filePath(QStringLiteral("db")), database);
    TestSupport::writeFile(dir.filePath(QStringLiteral("empty")), QByteArray());
    // A thumbnail name may be 100 bytes long: with its folder the entry
    // name is longer than the 100 bytes of a plain ustar name.
    const QString longName = QString(96, QLatin1Char('n')) + QStringLiteral(".jpg");
    const QString thumbs = QStringLiteral("/data/data/kik.android/files/staging/thumbs/");
    const QString archive = dir.filePath(QStringLiteral("kik.tar"));
    writeKikArchive({{dir.filePath(QStringLiteral("thumb")), thumbs + longName},
                     {dir.filePath(QStringLiteral("empty")), thumbs + QStringLiteral("empty")},
                     {dir.filePath(QStringLiteral("db")),
                      QStringLiteral("/data/data/kik.android/databases/kikDatabase.db.velloran-new")}},
                    archive);
    const QJsonArray read = members(archive);
    ASSERT_EQ(read.size(), 3);
    EXPECT_EQ(read.at(0)[QStringLiteral("name")].toString(),
              QStringLiteral("files/staging/thumbs/") + longName);
    EXPECT_EQ(read.at(0)[QStringLiteral("type")].toString(), QStringLiteral("0"));
    EXPECT_EQ(read.at(0)[QStringLiteral("md5")].toString(), md5Of(thumb));
    EXPECT_EQ(read.at(1)[QStringLiteral("name")].toString(), QStringLiteral("files/staging/thumbs/empty"));
    EXPECT_EQ(read.at(1)[QStringLiteral("size")].toInt(), 0);
    EXPECT_EQ(read.at(2)[QStringLiteral("name")].toString(),
              QStringLiteral("databases/kikDatabase.db.velloran-new"));
    EXPECT_EQ(read.at(2)[QStringLiteral("size")].toInt(), database.size());
    EXPECT_EQ(read.at(2)[QStringLiteral("md5")].toString(), md5Of(database));
}

TEST(AndroidRootFilesTest, ArchiveRefusesPathsThatDoNotFitAndLeavesNoFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TestSupport::writeFile(dir.filePath(QStringLiteral("a")), "a");
    const QString archive = dir.filePath(QStringLiteral("kik.tar"));
    EXPECT_THROW(writeKikArchive(
                     {{dir.filePath(QStringLiteral("a")), QStringLiteral("/data/data/kik.android/files/a")},
                      {dir.filePath(QStringLiteral("a")), QStringLiteral("/data/data/kik.android/../evil")}},
                     archive),
                 std::runtime_error);
    EXPECT_FALSE(QFileInfo::exists(archive));
    // A source file that vanished fails the archive, which goes again.
    EXPECT_THROW(
        writeKikArchive(
            {{dir.filePath(QStringLiteral("a")), QStringLiteral("/data/data/kik.android/files/a")},
             {dir.filePath(QStringLiteral("missing")), QStringLiteral("/data/data/kik.android/files/b")}},
            archive),
        std::runtime_error);
    EXPECT_FALSE(QFileInfo::exists(archive));
}

TEST(AndroidRootFilesTest, FoldersBetweenKiksFolderAndTheFiles)
{
    EXPECT_EQ(foldersInKikFolder({QStringLiteral("/data/data/kik.android/files/staging/thumbs/a"),
                                  QStringLiteral("/data/data/kik.android/files/staging/thumbs/b"),
                                  QStringLiteral("/data/data/kik.android/databases/kikDatabase.db"),
                                  QStringLiteral("/data/data/kik.android/top"),
                                  QStringLiteral("/sdcard/elsewhere/c")}),
              (QStringList{QStringLiteral("/data/data/kik.android/databases"),
                           QStringLiteral("/data/data/kik.android/files"),
                           QStringLiteral("/data/data/kik.android/files/staging"),
                           QStringLiteral("/data/data/kik.android/files/staging/thumbs")}));
    EXPECT_TRUE(foldersInKikFolder({}).isEmpty());
}
