// Output checks and safe replacement: an output is never an input nor
// inside one, never a device node, pipe or socket; a staged file or folder
// reaches its target only when complete; removal never touches anything but
// regular files and folders.
#include "app/OutputPath.h"
#include "app/AbortCleanup.h"
#include "app/AppError.h"
#include "app/SafeFile.h"
#include "app/StagedFolder.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

class OutputFiles : public ::testing::Test
{
protected:
    QString at(const QString &name) const { return QDir(m_dir.path()).filePath(name); }
    QString makeFifo(const QString &name)
    {
        const QString path = at(name);
        EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        return path;
    }
    static bool isFifo(const QString &path)
    {
        struct stat st = {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
    }
    QStringList entries() const
    {
        QStringList list =
            QDir(m_dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        list.sort();
        return list;
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(OutputFiles, InsideMeansBelowThroughLinksNotAPrefixOfTheName)
{
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("in/Documents"))));
    ASSERT_TRUE(QFile::link(at(QStringLiteral("in")), at(QStringLiteral("alias"))));
    EXPECT_TRUE(OutputPath::isSameOrInside(at(QStringLiteral("in")), at(QStringLiteral("in"))));
    EXPECT_TRUE(
        OutputPath::isSameOrInside(at(QStringLiteral("in/Documents/new/x.csv")), at(QStringLiteral("in"))));
    EXPECT_TRUE(
        OutputPath::isSameOrInside(at(QStringLiteral("alias/Documents/x.csv")), at(QStringLiteral("in"))));
    EXPECT_TRUE(OutputPath::isSameOrInside(at(QStringLiteral("in/../in/x")), at(QStringLiteral("in"))));
    EXPECT_FALSE(OutputPath::isSameOrInside(at(QStringLiteral("inside.csv")), at(QStringLiteral("in"))));
    EXPECT_FALSE(OutputPath::isSameOrInside(at(QStringLiteral("x.csv")), at(QStringLiteral("in"))));
}

TEST_F(OutputFiles, CheckRefusesInputsSpecialFilesAndTheWrongKind)
{
    writeFile(at(QStringLiteral("in/kik.sqlite")), "store");
    const QStringList inputs{at(QStringLiteral("in"))};
    EXPECT_THROW(OutputPath::check(at(QStringLiteral("in")), OutputPath::Kind::Folder, inputs), AppError);
    EXPECT_THROW(OutputPath::check(at(QStringLiteral("in/kik.sqlite")), OutputPath::Kind::File, inputs),
                 AppError);
    // Nothing there yet is fine.
    EXPECT_NO_THROW(OutputPath::check(at(QStringLiteral("fifo")), OutputPath::Kind::File));
    makeFifo(QStringLiteral("fifo"));
    EXPECT_THROW(OutputPath::check(at(QStringLiteral("fifo")), OutputPath::Kind::File), AppError);
    EXPECT_THROW(OutputPath::check(at(QStringLiteral("fifo")), OutputPath::Kind::Folder), AppError);
    EXPECT_THROW(OutputPath::check(at(QStringLiteral("in")), OutputPath::Kind::File), AppError);
    EXPECT_THROW(OutputPath::check(at(QStringLiteral("in/kik.sqlite")), OutputPath::Kind::Folder), AppError);
    EXPECT_NO_THROW(OutputPath::check(at(QStringLiteral("out.csv")), OutputPath::Kind::File, inputs));
    EXPECT_NO_THROW(OutputPath::check(at(QStringLiteral("out")), OutputPath::Kind::Folder, inputs));
    try {
        OutputPath::check(at(QStringLiteral("in/new.csv")), OutputPath::Kind::File, inputs);
        FAIL() << "an output inside the input passed";
    } catch (const std::runtime_error &error) {
        EXPECT_TRUE(QString::fromUtf8(error.what()).contains(QStringLiteral("inside the input")));
    }
    EXPECT_TRUE(isFifo(at(QStringLiteral("fifo"))));

    // A listening socket is no file either.
    QLocalServer server;
    server.setSocketOptions(QLocalServer::WorldAccessOption);
    ASSERT_TRUE(server.listen(at(QStringLiteral("socket"))));
    EXPECT_THROW(OutputPath::check(at(QStringLiteral("socket")), OutputPath::Kind::File), AppError);
    EXPECT_FALSE(SafeFile::removeCreated(at(QStringLiteral("socket"))));
    EXPECT_TRUE(QFileInfo::exists(at(QStringLiteral("socket"))));
}

TEST_F(OutputFiles, AStagedFileReplacesOnlyARegularFileAndOnlyWhenCommitted)
{
    const QString target = at(QStringLiteral("out.csv"));
    writeFile(target, "earlier");
    {
        StagedFile staged(target);
        writeFile(staged.tempPath(), "half");
        EXPECT_EQ(readFile(target), "earlier");
    } // not committed: the temporary file goes, the target stays
    EXPECT_EQ(entries(), QStringList{QStringLiteral("out.csv")});
    EXPECT_EQ(readFile(target), "earlier");
    {
        StagedFile staged(target);
        writeFile(staged.tempPath(), "complete");
        staged.commit();
    }
    EXPECT_EQ(readFile(target), "complete");
    EXPECT_EQ(entries(), QStringList{QStringLiteral("out.csv")});

    // The target turned into a pipe meanwhile: it is neither replaced nor
    // removed, and the temporary file goes.
    const QString pipe = at(QStringLiteral("pipe.csv"));
    {
        StagedFile staged(pipe);
        makeFifo(QStringLiteral("pipe.csv"));
        writeFile(staged.tempPath(), "data");
        EXPECT_THROW(staged.commit(), AppError);
    }
    EXPECT_TRUE(isFifo(pipe));
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("out.csv"), QStringLiteral("pipe.csv")}));
}

TEST_F(OutputFiles, RemovalLeavesPipesAndLinkTargetsAlone)
{
    const QString pipe = makeFifo(QStringLiteral("pipe"));
    EXPECT_FALSE(SafeFile::removeCreated(pipe));
    EXPECT_TRUE(isFifo(pipe));
    writeFile(at(QStringLiteral("elsewhere/keep.txt")), "keep");
    writeFile(at(QStringLiteral("made/a/b.txt")), "b");
    writeFile(at(QStringLiteral("made/.hidden")), "h");
    ASSERT_TRUE(QFile::link(at(QStringLiteral("elsewhere")), at(QStringLiteral("made/link"))));
    EXPECT_TRUE(SafeFile::removeCreated(at(QStringLiteral("made"))));
    EXPECT_FALSE(QFileInfo::exists(at(QStringLiteral("made"))));
    EXPECT_EQ(readFile(at(QStringLiteral("elsewhere/keep.txt"))), "keep");
}

TEST_F(OutputFiles, AStagedFolderAppearsWholeOrNotAtAll)
{
    const QString target = at(QStringLiteral("unpacked"));
    {
        StagedFolder staged(target);
        writeFile(QDir(staged.tempPath()).filePath(QStringLiteral("apps/a.txt")), "a");
    }
    EXPECT_TRUE(entries().isEmpty()) << qPrintable(entries().join(QLatin1Char(' ')));
    {
        StagedFolder staged(target);
        writeFile(QDir(staged.tempPath()).filePath(QStringLiteral("apps/a.txt")), "a");
        staged.commit();
    }
    EXPECT_EQ(readFile(at(QStringLiteral("unpacked/apps/a.txt"))), "a");
    // Into an existing folder: merged, regular files replaced, others kept.
    writeFile(at(QStringLiteral("unpacked/mine.txt")), "mine");
    {
        StagedFolder staged(target);
        writeFile(QDir(staged.tempPath()).filePath(QStringLiteral("apps/a.txt")), "new a");
        writeFile(QDir(staged.tempPath()).filePath(QStringLiteral("apps/b.txt")), "b");
        staged.commit();
    }
    EXPECT_EQ(readFile(at(QStringLiteral("unpacked/apps/a.txt"))), "new a");
    EXPECT_EQ(readFile(at(QStringLiteral("unpacked/apps/b.txt"))), "b");
    EXPECT_EQ(readFile(at(QStringLiteral("unpacked/mine.txt"))), "mine");
    EXPECT_EQ(entries(), QStringList{QStringLiteral("unpacked")});
}

TEST_F(OutputFiles, AbortCleanupRemovesWhatIsStillRegistered)
{
    writeFile(at(QStringLiteral("partial/x")), "x");
    writeFile(at(QStringLiteral("done.txt")), "done");
    const QString pipe = makeFifo(QStringLiteral("pipe"));
    AbortCleanup::add(at(QStringLiteral("partial")));
    AbortCleanup::add(pipe);
    AbortCleanup::forget(AbortCleanup::add(at(QStringLiteral("done.txt"))));
    AbortCleanup::removeAll();
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("done.txt"), QStringLiteral("pipe")}));
}
