// Showing one bubble page of 50 messages in the web view: from the call
// until the page has loaded and is scrolled to its anchor, beside building
// its HTML alone.
#include "BenchData.h"

#include "view/BubbleHtml.h"
#include "view/gui/KikBubbleViewMgr.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QWebEngineView>

#include <algorithm>
#include <functional>
#include <vector>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    BenchData::useProgramData();
    QTemporaryDir dir;
    // Five pages of 50 messages, every tenth a picture.
    KikDataSetPtr data = BenchData::makeMessages(1, 250, 10, dir.path());
    const KikMessageList messages = data->allMessages();

    QWebEngineView view;
    view.resize(640, 720);
    view.show();
    KikBubbleViewMgr mgr(&view);
    QEventLoop loop;
    QObject::connect(&mgr, &KikBubbleViewMgr::pageShown, &loop, &QEventLoop::quit);
    const auto shown = [&](const std::function<void()> &action) {
        QElapsedTimer timer;
        timer.start();
        action();
        loop.exec();
        return timer.nsecsElapsed() / 1e6;
    };
    const double first = shown([&] { mgr.showBubble(messages); }); // starts the web engine
    std::vector<double> times;
    for (int round = 0; round < 4; ++round) {
        for (int page = 2; page <= 5; ++page)
            times.push_back(shown([&] { mgr.nextPage(); }));
        times.push_back(shown([&] { mgr.firstPage(); }));
    }
    std::sort(times.begin(), times.end());

    BubbleHtmlBuilder builder;
    QElapsedTimer timer;
    timer.start();
    const int rounds = 200;
    qsizetype bytes = 0;
    for (int r = 0; r < rounds; ++r)
        bytes += builder.page(messages, 1 + r % 5).size();
    const double html = timer.nsecsElapsed() / 1e6 / rounds;

    std::printf("Bubble view, pages of 50 messages (%lld characters of HTML each):\n",
                qlonglong(bytes / rounds));
    std::printf("  first page (web engine start): %.1f ms\n", first);
    std::printf("  page shown: median %.1f ms, fastest %.1f ms, slowest %.1f ms (%zu pages)\n",
                times[times.size() / 2], times.front(), times.back(), times.size());
    std::printf("  HTML of a page alone: %.2f ms\n", html);
    return 0;
}
