#include "android/AndroidBackup.h"
#include "android/ArchiveError.h"
#include "app/AppError.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <archive.h>
#include <zlib.h>

#include <cerrno>
#include <clocale>
#include <memory>
#include <string>

using namespace TestSupport;

namespace {

const QString kCorrupt = QStringLiteral("ab file data is corrupted.");

QString tree(const QTemporaryDir &dir, const QStringList &flags = {})
{
    const QString path = dir.filePath(QStringLiteral("tree"));
    const auto r =
        runPython(QStringLiteral("make_android_kik.py"), QStringList{QStringLiteral("tree"), path} + flags);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return path;
}

QString abOf(const QTemporaryDir &dir, const QString &treePath, const QStringList &flags = {})
{
    const QString path = dir.filePath(QStringLiteral("phone.ab"));
    const auto r = runPython(QStringLiteral("make_android_kik.py"),
                             QStringList{QStringLiteral("ab"), treePath, path} + flags);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return path;
}

QJsonObject inspect(const QString &ab)
{
    const auto r = runPython(QStringLiteral("make_android_kik.py"), {QStringLiteral("inspect"), ab});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QJsonDocument::fromJson(r.out).object();
}

std::string errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const AppError &e) {
        return e.what();
    } catch (const std::exception &e) {
        return std::string("(not the program's error type) ") + e.what();
    }
    return "(no error)";
}

QByteArray body(const QString &ab)
{
    return readFile(ab).mid(24);
}

} // namespace

TEST(AndroidBackupRead, ExtractsEveryFileOfAPythonWrittenArchive)
{
    QTemporaryDir dir;
    const QString ab = abOf(dir, tree(dir));
    const QString out = dir.filePath(QStringLiteral("out"));
    EXPECT_EQ(extractAndroidBackup(ab, QDir(out), kCorrupt), 4);
    EXPECT_EQ(readFile(out + QStringLiteral("/apps/kik.android/_manifest")),
              readFile(dir.filePath(QStringLiteral("tree/apps/kik.android/_manifest"))));
    EXPECT_EQ(readFile(out + QStringLiteral("/apps/kik.android/db/kikDatabase.db")),
              readFile(dir.filePath(QStringLiteral("tree/apps/kik.android/db/kikDatabase.db"))));
}

TEST(AndroidBackupRead, HeaderVariants)
{
    QTemporaryDir dir;
    const QString t = tree(dir);
    const QString ab = abOf(dir, t);
    QByteArray data = readFile(ab);
    const QByteArray rest = data.mid(data.indexOf("none\n") + 5);
    for (const QByteArray &line : {QByteArray("NONE\n"), QByteArray("none\r\n")}) {
        const QString variant = dir.filePath(QStringLiteral("v.ab"));
        writeFile(variant, "ANDROID BACKUP\n1\n1\n" + line + rest);
        QTemporaryDir out;
        EXPECT_EQ(extractAndroidBackup(variant, QDir(out.path()), kCorrupt), 4) << line.constData();
    }
    const QString cipher = abOf(dir, t, {QStringLiteral("--cipher")});
    EXPECT_EQ(
        errorOf([&] { extractAndroidBackup(cipher, QDir(dir.filePath(QStringLiteral("c"))), kCorrupt); }),
        "Your backup file is encrypted. Please backup again without entering a password.");
    writeFile(dir.filePath(QStringLiteral("short.ab")), "ANDROID BACKUP\n1\n");
    EXPECT_NE(errorOf([&] {
                  extractAndroidBackup(dir.filePath(QStringLiteral("short.ab")),
                                       QDir(dir.filePath(QStringLiteral("s"))), kCorrupt);
              }).find("is not an Android backup archive"),
              std::string::npos);
    EXPECT_NE(errorOf([&] {
                  extractAndroidBackup(dir.filePath(QStringLiteral("missing.ab")),
                                       QDir(dir.filePath(QStringLiteral("m"))), kCorrupt);
              }).find("open "),
              std::string::npos);
}

TEST(AndroidBackupRead, DamagedBodiesGiveTheCallersMessage)
{
    QTemporaryDir dir;
    const QString t = tree(dir);

    const QString ab = abOf(dir, t);
    const QByteArray full = readFile(ab);
    writeFile(dir.filePath(QStringLiteral("cut.ab")), full.left(full.size() / 2));
    EXPECT_EQ(errorOf([&] {
                  extractAndroidBackup(dir.filePath(QStringLiteral("cut.ab")),
                                       QDir(dir.filePath(QStringLiteral("x"))), kCorrupt);
              }),
              kCorrupt.toStdString());

    // A tar with a broken header checksum inside a valid zlib stream.
    const QByteArray raw = [&] {
        QByteArray z = body(ab);
        QByteArray outBuf(8 << 20, 0);
        uLongf len = uLongf(outBuf.size());
        uncompress(reinterpret_cast<Bytef *>(outBuf.data()), &len,
                   reinterpret_cast<const Bytef *>(z.constData()), uLong(z.size()));
        outBuf.resize(qsizetype(len));
        return outBuf;
    }();
    ASSERT_GT(raw.size(), 1024);
    QByteArray bad = raw;
    bad[148] = '9'; // checksum field of the first header
    QByteArray z(compressBound(uLong(bad.size())), 0);
    uLongf zl = uLongf(z.size());
    compress(reinterpret_cast<Bytef *>(z.data()), &zl, reinterpret_cast<const Bytef *>(bad.constData()),
             uLong(bad.size()));
    z.resize(qsizetype(zl));
    writeFile(dir.filePath(QStringLiteral("sum.ab")), QByteArray(kAndroidBackupHeader) + z);
    EXPECT_EQ(errorOf([&] {
                  extractAndroidBackup(dir.filePath(QStringLiteral("sum.ab")),
                                       QDir(dir.filePath(QStringLiteral("y"))), kCorrupt);
              }).rfind(kCorrupt.toStdString(), 0),
              0u);
}

TEST(AndroidBackupRead, HostileEntriesStayInsideTheDestination)
{
    QTemporaryDir dir;
    const QString ab = dir.filePath(QStringLiteral("h.ab"));
    ASSERT_EQ(runPython(QStringLiteral("make_android_kik.py"), {QStringLiteral("hostile"), ab}).exitCode, 0);
    const QString out = dir.filePath(QStringLiteral("a/b/out"));
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
    QDir().mkpath(out + QStringLiteral("/apps"));
    QDir().mkpath(elsewhere);
    ASSERT_TRUE(QFile::link(elsewhere, out + QStringLiteral("/apps/link")));
    EXPECT_EQ(extractAndroidBackup(ab, QDir(out), kCorrupt), 2);
    // The link entry is not created; the file after it lands in a folder.
    EXPECT_FALSE(QFileInfo(out + QStringLiteral("/apps/sneaky")).isSymLink());
    EXPECT_EQ(readFile(out + QStringLiteral("/apps/sneaky/through.txt")), "safe");
    EXPECT_EQ(readFile(out + QStringLiteral("/apps/okname.txt")), "good");
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("a/escape.txt"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("a/b/escape.txt"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("a/b/up.txt"))));
    EXPECT_FALSE(QFile::exists(elsewhere + QStringLiteral("/inner.txt")));
}

TEST(AndroidBackupPaths, CleaningAndSafety)
{
    EXPECT_EQ(cleanAndroidBackupPath(QStringLiteral("./apps/a:b*c?.txt")), QStringLiteral("apps/abc.txt"));
    EXPECT_EQ(cleanAndroidBackupPath(QStringLiteral("a\\b\t\"<>|\r\n")), QStringLiteral("ab"));
    EXPECT_EQ(cleanAndroidBackupPath(QStringLiteral("x/./y")), QStringLiteral("x/./y"));
    EXPECT_EQ(safeAndroidBackupPath(QStringLiteral("x/./y//z")), QStringLiteral("x/y/z"));
    EXPECT_EQ(safeAndroidBackupPath(QStringLiteral("/etc/passwd")), QString());
    EXPECT_EQ(safeAndroidBackupPath(QStringLiteral("a/../../b")), QString());
    EXPECT_EQ(safeAndroidBackupPath(QStringLiteral("a/..b")), QStringLiteral("a/..b"));
}

TEST(AndroidBackupWrite, EntriesAsAndroidsRestoreWantsThem)
{
    QTemporaryDir dir;
    const QString t = tree(dir);
    // Names that sort ahead of "_manifest", a long path, a non-ASCII name.
    writeFile(t + QStringLiteral("/apps/kik.android/Abc"), "upper");
    const QString deep = QStringLiteral("apps/kik.android/f/") + QString(60, QLatin1Char('d'))
                         + QLatin1Char('/') + QString(70, QLatin1Char('e')) + QStringLiteral("/Ünïcode.txt");
    writeFile(t + QLatin1Char('/') + deep, "deep");
    // Android's restore replaces the app's data with the archive's: Kik's
    // hidden files and folders must travel too.
    writeFile(t + QStringLiteral("/apps/kik.android/.hidden"), "kept");
    writeFile(t + QStringLiteral("/apps/kik.android/f/.cache/state"), "kept too");
    const QString ab = dir.filePath(QStringLiteral("new.ab"));
    EXPECT_EQ(createAndroidBackup(QDir(t), ab), 8);
    const QByteArray raw = readFile(ab);
    EXPECT_EQ(raw.left(24), QByteArray(kAndroidBackupHeader));
    EXPECT_EQ(quint8(raw.at(24)), 0x78);

    const QJsonObject info = inspect(ab);
    EXPECT_EQ(info.value(QStringLiteral("magic")).toString(), QStringLiteral("ustar") + QChar(0));
    QStringList names;
    for (const auto &v : info.value(QStringLiteral("entries")).toArray()) {
        const QJsonObject e = v.toObject();
        names << e.value(QStringLiteral("name")).toString();
        EXPECT_EQ(e.value(QStringLiteral("mode")).toInt(), 0642)
            << e.value(QStringLiteral("name")).toString().toStdString();
        EXPECT_EQ(e.value(QStringLiteral("type")).toString(), QStringLiteral("0"));
        EXPECT_EQ(e.value(QStringLiteral("uid")).toInt(), 0);
        EXPECT_EQ(e.value(QStringLiteral("gid")).toInt(), 0);
        EXPECT_FALSE(e.value(QStringLiteral("pax")).toBool());
        const QFileInfo source(t + QLatin1Char('/') + e.value(QStringLiteral("name")).toString());
        EXPECT_EQ(qint64(e.value(QStringLiteral("mtime")).toDouble()),
                  source.lastModified().toSecsSinceEpoch());
        EXPECT_EQ(qint64(e.value(QStringLiteral("size")).toDouble()), source.size());
    }
    const QStringList expected{
        QStringLiteral("apps/kik.android/_manifest"),
        QStringLiteral("apps/kik.android/.hidden"),
        QStringLiteral("apps/kik.android/Abc"),
        QStringLiteral("apps/kik.android/db/kikDatabase.db"),
        QStringLiteral("apps/kik.android/f/.cache/state"),
        QStringLiteral("apps/kik.android/f/") + QString(60, QLatin1Char('d')) + QStringLiteral("/")
            + QString(70, QLatin1Char('e')) + QStringLiteral("/Ünïcode.txt"),
        QStringLiteral("apps/kik.android/f/staging/thumbs/thumb-c-img"),
        QStringLiteral("apps/kik.android/sp/KikPreferences.xml"),
    };
    // The python tree has 4 files; we added 4.
    ASSERT_EQ(names.size(), 8);
    EXPECT_EQ(names, expected);
}

TEST(AndroidBackupWrite, RoundTripAndRefusals)
{
    QTemporaryDir dir;
    const QString t = tree(dir);
    const QString ab = dir.filePath(QStringLiteral("rt.ab"));
    ASSERT_EQ(createAndroidBackup(QDir(t), ab), 4);
    const QString out = dir.filePath(QStringLiteral("out"));
    EXPECT_EQ(extractAndroidBackup(ab, QDir(out), kCorrupt), 4);
    EXPECT_EQ(readFile(out + QStringLiteral("/apps/kik.android/db/kikDatabase.db")),
              readFile(t + QStringLiteral("/apps/kik.android/db/kikDatabase.db")));
    EXPECT_FALSE(QDir(out + QStringLiteral("/apps/kik.android/f/empty")).exists());

    // A single name component over 100 bytes cannot be written as ustar.
    writeFile(t + QStringLiteral("/apps/") + QString(120, QLatin1Char('n')), "x");
    const QString bad = dir.filePath(QStringLiteral("bad.ab"));
    EXPECT_NE(errorOf([&] { createAndroidBackup(QDir(t), bad); }).find("Cannot store"), std::string::npos);
    EXPECT_FALSE(QFile::exists(bad));
}

TEST(AndroidBackupWrite, NamesStayUtf8UnderAnAsciiLocale)
{
    QTemporaryDir dir;
    const QString t = tree(dir);
    const QString name = QStringLiteral("apps/kik.android/f/Ünïcode ☃.txt");
    writeFile(t + QLatin1Char('/') + name, "snow");
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    const QString ab = dir.filePath(QStringLiteral("c.ab"));
    const QString out = dir.filePath(QStringLiteral("out"));
    int written = 0, read = 0;
    try {
        written = createAndroidBackup(QDir(t), ab);
        read = extractAndroidBackup(ab, QDir(out), kCorrupt);
    } catch (const std::exception &e) {
        ADD_FAILURE() << e.what();
    }
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(written, 5);
    EXPECT_EQ(read, 5);
    EXPECT_EQ(readFile(out + QLatin1Char('/') + name), "snow");
    bool listed = false;
    for (const auto &v : inspect(ab).value(QStringLiteral("entries")).toArray())
        listed = listed || v.toObject().value(QStringLiteral("name")).toString() == name;
    EXPECT_TRUE(listed);
}

TEST(AndroidBackupWrite, TimesOutsideUstarRangeAreClamped)
{
    QTemporaryDir dir;
    const QString t = tree(dir);
    const QString old = t + QStringLiteral("/apps/kik.android/f/old.txt");
    writeFile(old, "from 1960");
    QFile file(old);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime(QDate(1960, 1, 1), QTime(0, 0), Qt::UTC),
                                 QFileDevice::FileModificationTime));
    file.close();
    const QString ab = dir.filePath(QStringLiteral("old.ab"));
    ASSERT_EQ(createAndroidBackup(QDir(t), ab), 5);
    for (const auto &v : inspect(ab).value(QStringLiteral("entries")).toArray()) {
        const QJsonObject e = v.toObject();
        if (e.value(QStringLiteral("name")).toString() == QStringLiteral("apps/kik.android/f/old.txt")) {
            EXPECT_EQ(e.value(QStringLiteral("mtime")).toInt(), 0);
        }
        EXPECT_FALSE(e.value(QStringLiteral("pax")).toBool());
    }
}

// The header is checked line by line: only the magic line, a version from 1
// to 5, a compression flag of 0 or 1 and "none" or "AES-256" pass; every
// other file is "not an Android backup archive", never "encrypted".
TEST(AndroidBackupRead, HeaderIsCheckedLineByLine)
{
    QTemporaryDir dir;
    const QString t = tree(dir);
    const QByteArray data = readFile(abOf(dir, t));
    const QByteArray body = data.mid(data.indexOf("none\n") + 5);
    const auto errorFor = [&](const QByteArray &header, const QByteArray &rest) {
        const QString path = dir.filePath(QStringLiteral("h.ab"));
        writeFile(path, header + rest);
        QTemporaryDir out;
        return errorOf(
            [&] { extractAndroidBackup(path, QDir(out.filePath(QStringLiteral("x"))), kCorrupt); });
    };
    const std::string notAb = "is not an Android backup archive.";
    for (const QByteArray &header :
         {QByteArray("ANDROID BACKUP\n0\n1\nnone\n"), QByteArray("ANDROID BACKUP\n99\n1\nnone\n"),
          QByteArray("ANDROID BACKUP\n-1\n1\nnone\n"), QByteArray("ANDROID BACKUP\n6\n1\nnone\n"),
          QByteArray("ANDROID BACKUP\n18446744073709551617\n1\nnone\n"),
          QByteArray("ANDROID BACKUP\n1\n2\nnone\n"), QByteArray("ANDROID BACKUP\n1\n\nnone\n"),
          QByteArray("ANDROID BACKUP\n1\n1\nAES-128\n"), QByteArray("ANDROID BACKUP\n1\n1\n\n"),
          QByteArray("ANDROID BACKUPS\n1\n1\nnone\n"),
          QByteArray("root:x:0:0:root:/root:/bin/bash\n"
                     "daemon:x:1:1::/:/bin/sh\nbin:x:2:2\nsys:x:3:3\n")}) {
        const std::string error = errorFor(header, body);
        EXPECT_NE(error.find(notAb), std::string::npos) << header.constData() << " -> " << error;
    }
    EXPECT_NE(errorFor("ANDROID BACKUP\n5\n1\nAES-256\n", body).find("encrypted"), std::string::npos);
    // Versions 1 to 5 all read.
    for (const char *version : {"1", "2", "3", "4", "5"}) {
        EXPECT_EQ(errorFor(QByteArray("ANDROID BACKUP\n") + version + "\n1\nnone\n", body), "(no error)")
            << version;
    }
}

// Compression flag 0: the tar follows the header as it is.
TEST(AndroidBackupRead, UncompressedArchiveReads)
{
    QTemporaryDir dir;
    const QString plain = abOf(dir, tree(dir), {QStringLiteral("--plain")});
    const QString out = dir.filePath(QStringLiteral("p"));
    EXPECT_EQ(extractAndroidBackup(plain, QDir(out), kCorrupt), 4);
    EXPECT_EQ(readFile(out + QStringLiteral("/apps/kik.android/db/kikDatabase.db")),
              readFile(dir.filePath(QStringLiteral("tree/apps/kik.android/db/kikDatabase.db"))));
}

TEST(AndroidBackupRead, StreamWithoutItsChecksumIsCorruptAndLeavesNothing)
{
    QTemporaryDir dir;
    const QString ab = dir.filePath(QStringLiteral("no-adler.ab"));
    const auto r = runPython(QStringLiteral("make_android_kik.py"),
                             {QStringLiteral("odd"), ab, QStringLiteral("no-adler")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QString out = dir.filePath(QStringLiteral("out"));
    EXPECT_EQ(
        errorOf([&] { extractAndroidBackup(ab, QDir(out), kCorrupt); }).rfind(kCorrupt.toStdString(), 0), 0u);
    EXPECT_FALSE(QFileInfo::exists(out));
}

// A file that claims more bytes than the disk holds stops the extraction;
// what was written before it goes again, so nothing fills the disk.
TEST(AndroidBackupRead, RefusedForDiskSpaceRemovesWhatItWrote)
{
    QTemporaryDir dir;
    const QString ab = dir.filePath(QStringLiteral("huge.ab"));
    const auto r =
        runPython(QStringLiteral("make_android_kik.py"), {QStringLiteral("odd"), ab, QStringLiteral("huge")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QString fresh = dir.filePath(QStringLiteral("fresh"));
    EXPECT_NE(errorOf([&] {
                  extractAndroidBackup(ab, QDir(fresh), kCorrupt);
              }).find("There is not enough free space on the computer's disk to write"),
              std::string::npos);
    EXPECT_FALSE(QFileInfo::exists(fresh));
    // Into a folder that was there: only the files it wrote go.
    const QString existing = dir.filePath(QStringLiteral("existing"));
    writeFile(existing + QStringLiteral("/mine.txt"), "kept");
    EXPECT_NE(errorOf([&] {
                  extractAndroidBackup(ab, QDir(existing), kCorrupt);
              }).find("There is not enough free space on the computer's disk to write"),
              std::string::npos);
    EXPECT_EQ(readFile(existing + QStringLiteral("/mine.txt")), QByteArray("kept"));
    EXPECT_FALSE(QFileInfo::exists(existing + QStringLiteral("/apps/kik.android/f/first")));
    EXPECT_FALSE(QFileInfo::exists(existing + QStringLiteral("/apps/kik.android/db/kikDatabase.db")));
}

TEST(ArchiveError, GivesLibarchivesMessageElseTheFallback)
{
    const std::unique_ptr<archive, int (*)(archive *)> writer(archive_write_new(), archive_write_free);
    ASSERT_TRUE(writer);
    EXPECT_EQ(archiveErrorText(writer.get()), QStringLiteral("unknown error"));
    EXPECT_EQ(archiveErrorText(writer.get(), QString()), QString());
    archive_set_error(writer.get(), EIO, "cannot write the compressed archive");
    EXPECT_EQ(archiveErrorText(writer.get()), QStringLiteral("cannot write the compressed archive"));
    EXPECT_EQ(archiveErrorText(nullptr, QStringLiteral("none")), QStringLiteral("none"));
}
