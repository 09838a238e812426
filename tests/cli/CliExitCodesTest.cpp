// How the command-line tool ends for each way a command can end: the
// cancellation every job throws gives exit code 3, the one failure type
// exit code 1 with its text, a usage error exit code 2 with the usage.
#include "app/AppError.h"
#include "cli/CliApp.h"
#include "cli/CliCommand.h"
#include "cli/CliSignals.h"
#include "jobs/JobCancelled.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

#include <unistd.h>

namespace {

// Commands that end in each way, registered only in this test program.
const CliRegistration cancelledCommand({{QStringLiteral("exit-check"), QStringLiteral("cancelled")},
                                        QString(),
                                        QStringLiteral("throws the cancellation"),
                                        {},
                                        0,
                                        0,
                                        [](CliContext &) -> int { throw JobCancelled(); }});
const CliRegistration failedCommand(
    {{QStringLiteral("exit-check"), QStringLiteral("failed")},
     QString(),
     QStringLiteral("throws a failure"),
     {},
     0,
     0,
     [](CliContext &) -> int { throw AppError(QStringLiteral("Kaputt: \u201e\u00e4\u201c<br/>日本")); }});
const CliRegistration
    usageCommand({{QStringLiteral("exit-check"), QStringLiteral("usage")},
                  QString(),
                  QStringLiteral("throws a usage error"),
                  {},
                  0,
                  0,
                  [](CliContext &) -> int { throw CliUsageError("--thing needs a value"); }});

struct Ended
{
    int code = -1;
    QByteArray err;
};

// Runs the tool in this process with stderr going to a file.
Ended runCaptured(const QStringList &args)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stderr.txt"));
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    std::FILE *capture = std::fopen(QFile::encodeName(path).constData(), "w");
    Ended ended;
    if (saved < 0 || !capture)
        return ended;
    ::dup2(::fileno(capture), STDERR_FILENO);
    ended.code = runCli(args);
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::fclose(capture);
    ended.err = TestSupport::readFile(path);
    return ended;
}

class CliExitCodes : public ::testing::Test
{
protected:
    void SetUp() override { CliSignals::clearStop(); }
    Ended run(const QString &how)
    {
        return runCaptured({QStringLiteral("--data-root"), m_root.path(), QStringLiteral("--quiet"),
                            QStringLiteral("exit-check"), how});
    }
    QTemporaryDir m_root;
};

} // namespace

TEST_F(CliExitCodes, TheCancellationEndsWithCodeThree)
{
    const Ended ended = run(QStringLiteral("cancelled"));
    EXPECT_EQ(ended.code, 3);
    EXPECT_EQ(ended.err, QByteArray("Cancelled.\n"));
}

TEST_F(CliExitCodes, AFailureEndsWithCodeOneAndItsText)
{
    const Ended ended = run(QStringLiteral("failed"));
    EXPECT_EQ(ended.code, 1);
    // The UTF-8 text arrives whole; the line break tag becomes a new line.
    EXPECT_EQ(QString::fromUtf8(ended.err), QStringLiteral("Kaputt: \u201e\u00e4\u201c\n日本\n"));
}

TEST_F(CliExitCodes, AUsageErrorEndsWithCodeTwoAndTheUsage)
{
    const Ended ended = run(QStringLiteral("usage"));
    EXPECT_EQ(ended.code, 2);
    EXPECT_TRUE(
        ended.err.startsWith("velloran-kik: --thing needs a value\nUsage: velloran-kik [GLOBAL OPTIONS] "
                             "exit-check usage"))
        << ended.err.constData();
}
