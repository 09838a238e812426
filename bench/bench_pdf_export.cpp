// PDF export of 10,000 text messages: pages per second and resident memory
// along the way (it must not grow with the number of pages).
#include "BenchData.h"

#include "view/ExportMessagesPdf.h"

#include <QGuiApplication>
#include <QPdfWriter>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    BenchData::useProgramData();
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    QTemporaryDir dir;
    KikDataSetPtr data = BenchData::makeMessages(1, count, 0, QString());
    const KikMessageList messages = data->allMessages();

    ExportMessagesPdf pdf(dir.filePath(QStringLiteral("a.pdf")));
    QElapsedTimer timer;
    timer.start();
    pdf.begin();
    long quarter = 0;
    long peak = 0;
    for (qsizetype i = 0; i < messages.size(); ++i) {
        pdf.write(messages.at(i));
        if (i % 500 == 0)
            peak = qMax(peak, BenchData::residentKiB());
        if (i == messages.size() / 4)
            quarter = BenchData::residentKiB();
    }
    pdf.end();
    const double seconds = timer.nsecsElapsed() / 1e9;
    peak = qMax(peak, BenchData::residentKiB());
    const long atEnd = BenchData::residentKiB();

    // Baseline: the same number of empty pages.
    QPdfWriter empty(dir.filePath(QStringLiteral("b.pdf")));
    timer.restart();
    {
        QPainter painter(&empty);
        for (int p = 1; p < pdf.pageCount(); ++p)
            empty.newPage();
    }
    const double emptySeconds = timer.nsecsElapsed() / 1e9;

    std::printf("PDF export: %lld messages, %d pages\n", qlonglong(messages.size()), pdf.pageCount());
    std::printf("  export:      %.2f s  %.1f pages/s\n", seconds, pdf.pageCount() / seconds);
    std::printf("  empty pages: %.2f s  %.1f pages/s\n", emptySeconds, pdf.pageCount() / emptySeconds);
    std::printf("  resident memory: %ld KiB after a quarter, %ld KiB at the end, peak %ld KiB\n", quarter,
                atEnd, peak);
    return 0;
}
