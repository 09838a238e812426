#include "app/Log.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTime>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Log {
namespace {

struct LogState
{
    QMutex mutex;
    QString folder;
    QDate fixedDay; // set by tests; otherwise today at the first message
    QFile file;
    bool echo = true;
};

LogState &state()
{
    static LogState s;
    return s;
}

char typeLetter(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
    case QtInfoMsg:
        return 'D';
    case QtWarningMsg:
        return 'W';
    case QtCriticalMsg:
        return 'C';
    case QtFatalMsg:
        return 'F';
    }
    return 'D';
}

QString withCategory(const QString &message, const char *category)
{
    if (category == nullptr || std::strcmp(category, "default") == 0)
        return message;
    return QString::fromUtf8(category) + QStringLiteral(": ") + message;
}

void openIfNeeded(LogState &s)
{
    if (s.file.isOpen() || s.folder.isEmpty())
        return;
    const QDate day = s.fixedDay.isValid() ? s.fixedDay : QDate::currentDate();
    QDir().mkpath(s.folder);
    s.file.setFileName(QDir(s.folder).filePath(fileNameFor(day)));
    // A file that cannot be opened leaves logging silent.
    (void)s.file.open(QIODevice::ReadWrite | QIODevice::Append);
}

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    write(type, message, context.category);
    bool echo;
    {
        LogState &s = state();
        QMutexLocker locker(&s.mutex);
        echo = s.echo;
    }
    if (echo && (type == QtDebugMsg || type == QtInfoMsg)) {
        const QByteArray text = withCategory(message, context.category).toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

QString fileNameFor(const QDate &day)
{
    return QStringLiteral("log-%1.txt").arg(day.toString(QStringLiteral("yyyyMMdd")));
}

QByteArray formatLine(QtMsgType type, const QTime &time, const QString &message, const char *category)
{
    return QStringLiteral("(%1 %2) %3\n")
        .arg(QChar::fromLatin1(typeLetter(type)), time.toString(QStringLiteral("hh:mm:ss")),
             withCategory(message, category))
        .toUtf8();
}

void prune(const QString &folder, int keep)
{
    QDir dir(folder);
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Name);
    for (qsizetype i = 0; i + keep < files.size(); ++i)
        QFile::remove(files[i].absoluteFilePath());
}

void setEchoToStdout(bool echo)
{
    LogState &s = state();
    QMutexLocker locker(&s.mutex);
    s.echo = echo;
}

void install(const QString &folder, int keep)
{
    prune(folder, keep);
    {
        LogState &s = state();
        QMutexLocker locker(&s.mutex);
        s.folder = folder;
    }
    qInstallMessageHandler(handler);
}

void write(QtMsgType type, const QString &message, const char *category)
{
    LogState &s = state();
    QMutexLocker locker(&s.mutex);
    openIfNeeded(s);
    if (!s.file.isOpen())
        return;
    s.file.write(formatLine(type, QTime::currentTime(), message, category));
    s.file.flush();
}

void resetForTests(const QDate &day)
{
    LogState &s = state();
    QMutexLocker locker(&s.mutex);
    s.file.close();
    s.file.setFileName(QString());
    s.fixedDay = day;
}

QString currentFile()
{
    LogState &s = state();
    QMutexLocker locker(&s.mutex);
    return s.file.isOpen() ? s.file.fileName() : QString();
}

} // namespace Log
