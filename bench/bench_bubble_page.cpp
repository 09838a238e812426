// Rendering one bubble page of 50 messages, beside joining the same texts.
#include "BenchData.h"

#include "view/BubbleHtml.h"

#include <QGuiApplication>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    BenchData::useProgramData();
    QTemporaryDir dir;
    KikDataSetPtr data = BenchData::makeMessages(1, 50, 10, dir.path());
    const KikMessageList messages = data->allMessages();
    const int rounds = 500;
    BubbleHtmlBuilder builder;
    qsizetype bytes = 0;
    QElapsedTimer timer;
    timer.start();
    for (int r = 0; r < rounds; ++r)
        bytes += builder.page(messages, 1).size();
    const double perPage = timer.nsecsElapsed() / 1e3 / rounds;

    timer.restart();
    qsizetype plainBytes = 0;
    for (int r = 0; r < rounds; ++r) {
        QString joined;
        for (const _KikMessage *m : messages)
            joined += m->body;
        plainBytes += joined.size();
    }
    const double plainPerPage = timer.nsecsElapsed() / 1e3 / rounds;
    std::printf("Bubble page of 50 messages (%lld characters): %.1f us per page\n", qlonglong(bytes / rounds),
                perPage);
    std::printf("  joining the 50 bodies only:                  %.1f us\n", plainPerPage);
    return plainBytes > 0 ? 0 : 1;
}
