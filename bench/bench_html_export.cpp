// HTML export of 100,000 messages in 100 chats with media: messages per
// second, beside writing the same bytes with a plain loop.
#include "BenchData.h"

#include "jobs/JobProgress.h"
#include "view/BubbleHtml.h"
#include "view/ExportFile.h"
#include "view/ExportMessagesThread.h"

#include <QDirIterator>
#include <QGuiApplication>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    BenchData::useProgramData();
    QTemporaryDir dir;
    const int chats = 100;
    const int perChat = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    QDir().mkpath(dir.filePath(QStringLiteral("media")));
    KikDataSetPtr data = BenchData::makeMessages(chats, perChat, 20, dir.filePath(QStringLiteral("media")));
    const KikMessageList messages = data->allMessages();

    JobProgress progress;
    const QString out = dir.filePath(QStringLiteral("out-html"));
    ExportMessagesThread job(messages, out, ExportFormat::Html, &progress);
    QElapsedTimer timer;
    timer.start();
    job.start();
    job.wait();
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (!job.succeeded()) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(job.errorText()));
        return 1;
    }
    qint64 pageBytes = 0;
    qint64 lines = 0;
    for (const QString &page : job.writtenFiles()) {
        QFile f(page);
        f.open(QIODevice::ReadOnly);
        const QByteArray all = f.readAll();
        pageBytes += all.size();
        lines += all.count('\n');
    }
    qint64 copiedBytes = 0;
    QStringList copied;
    for (QDirIterator it(out, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        it.next();
        if (!it.fileName().endsWith(QLatin1String(".html"))) {
            copiedBytes += it.fileInfo().size();
            copied.append(it.filePath());
        }
    }
    const int copiedFiles = int(copied.size());

    // Baseline: the same page bytes in the same number of files and lines,
    // written with a plain loop (the same text stream I/O pattern).
    const QString plain = dir.filePath(QStringLiteral("plain"));
    QDir().mkpath(plain);
    const qint64 perFileLines = lines / chats;
    const QString line = QString(int(pageBytes / qMax<qint64>(1, lines)) - 1, QLatin1Char('x'));
    timer.restart();
    for (int c = 0; c < chats; ++c) {
        QFile f(QDir(plain).filePath(QStringLiteral("%1.html").arg(c)));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QTextStream s(&f);
        s.setEncoding(QStringConverter::Utf8);
        for (qint64 i = 0; i < perFileLines; ++i)
            s << line << '\n';
    }
    const double plainSeconds = timer.nsecsElapsed() / 1e9;

    // Baseline of the media: the same files copied again in a plain loop
    // (read and write, as the export copies them).
    const QString copies = dir.filePath(QStringLiteral("copies"));
    QDir().mkpath(copies);
    timer.restart();
    for (int i = 0; i < copiedFiles; ++i)
        copyExportFile(copied.at(i), QDir(copies).filePath(QString::number(i)));
    const double copySeconds = timer.nsecsElapsed() / 1e9;

    // The formatting alone: the bubbles of every message, in memory.
    BubbleHtmlBuilder builder;
    qsizetype built = 0;
    timer.restart();
    for (const _KikMessage *m : messages)
        built += builder.bubble(m).size();
    const double formatSeconds = timer.nsecsElapsed() / 1e9;

    std::printf("HTML export: %lld messages, %d chats, %lld page bytes, %d copied files (%lld bytes)\n",
                qlonglong(messages.size()), chats, qlonglong(pageBytes), copiedFiles, qlonglong(copiedBytes));
    std::printf("  export:        %.2f s  %.0f messages/s\n", seconds, messages.size() / seconds);
    std::printf("  plain writing: %.2f s  (same page bytes, same files and lines)\n", plainSeconds);
    std::printf("  plain copying: %.2f s  (the same %d media files)\n", copySeconds, copiedFiles);
    std::printf("  bubbles only:  %.2f s  %.0f messages/s (the same bubbles built in memory)\n",
                formatSeconds, messages.size() / formatSeconds);
    return built > 0 ? 0 : 1;
}
