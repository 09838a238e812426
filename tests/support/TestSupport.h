// Helpers shared by the tests: folders, fixtures, child processes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace TestSupport {

// The tests' source folder (fixture builders live in tests/fixtures).
QString sourceDir();
// The shared folder beside the repository; VELLORAN_SHARED_DIR overrides it.
QString sharedDir();
// A real sample below shared/fixtures/real, or empty when it is absent.
QString realFixture(const QString &relativePath);
// Folder of the built programs.
QString binDir();

struct ProcessResult
{
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
};

// Runs a program and waits for it (at most `timeoutMs`).
ProcessResult run(const QString &program, const QStringList &arguments, const QByteArray &input = {},
                  int timeoutMs = 120000, const QStringList &extraEnvironment = {});

// Runs a fixture builder of tests/fixtures with Debian's Python 3.
ProcessResult runPython(const QString &script, const QStringList &arguments);

// Starts a program, waits until its progress output (stderr) holds `marker`,
// then sends SIGTERM as a kill or Ctrl+C would, and waits for it to end.
// exitCode stays -1 when the marker never came or the program did not end.
ProcessResult terminateAfter(const QString &program, const QStringList &arguments, const QByteArray &marker,
                             int timeoutMs = 120000);

// True when every one of `programs` is on the PATH. Outside CI the caller
// skips without them; in CI (the environment variable CI set), where they
// are installed, a missing one also fails the test.
bool toolsPresent(const QStringList &programs);

// Writes bytes to a file, creating its folder.
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// Sets TZ (and the C library's idea of local time) while the object lives.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char *zone);
    ~ScopedTimeZone();

private:
    QByteArray m_old;
    bool m_had;
};

// A temporary folder used as the data root while the object lives.
class ScopedDataRoot
{
public:
    ScopedDataRoot();
    ~ScopedDataRoot();
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

} // namespace TestSupport
