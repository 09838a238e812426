#include "../view/ViewTestData.h"

#include "support/TestSupport.h"
#include "view/ViewData.h"
#include "view/gui/KikBubbleViewMgr.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Chromium refuses to start as root with its sandbox on; the test
// environment asks for it to be off before the first web page exists.
const bool sandboxOff = [] {
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    return true;
}();

// Runs the event loop until the condition holds or the time is up.
bool waitFor(const std::function<bool()> &condition, int timeoutMs = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

class RecordingViewMgr : public KikBubbleViewMgr
{
public:
    using KikBubbleViewMgr::KikBubbleViewMgr;
    QStringList opened, saved, addresses, warnings;
    int shown = 0;
    QString shownAnchor;

protected:
    void openFile(const QString &path) override { opened.append(path); }
    void saveAttachment(const QString &path) override { saved.append(path); }
    void openAddress(const QUrl &url) override { addresses.append(url.toString()); }
    void warnMissing(const QString &text) override { warnings.append(text); }
};

class BubbleViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ViewData::setProgramFolder(TestSupport::binDir());
        view.resize(640, 720);
        QObject::connect(&mgr, &KikBubbleViewMgr::pageShown, [this](int, const QString &anchor) {
            ++mgr.shown;
            mgr.shownAnchor = anchor;
        });
        chat = d.chat(d.user(QStringLiteral("Ann"), QStringLiteral("ann@talk.kik.com")));
    }

    KikMessageList many(int n)
    {
        KikMessageList list;
        for (int i = 0; i < n; ++i)
            list.append(d.message(chat, QStringLiteral("message %1").arg(i),
                                  localTime(2020, 2, 3, 8, 0).addSecs(i * 61), i % 2 == 0));
        return list;
    }

    // Shows the next page change and waits until it has loaded and scrolled.
    bool settle(const std::function<void()> &action)
    {
        const int before = mgr.shown;
        action();
        return waitFor([&] { return mgr.shown > before; });
    }

    double scrollY()
    {
        double y = -1;
        bool done = false;
        view.page()->runJavaScript(QStringLiteral("window.scrollY"), QWebEngineScript::ApplicationWorld,
                                   [&](const QVariant &v) {
                                       y = v.toDouble();
                                       done = true;
                                   });
        waitFor([&] { return done; });
        return y;
    }

    ViewTestData d;
    _KikChat *chat = nullptr;
    QWebEngineView view;
    RecordingViewMgr mgr{&view};
};

TEST_F(BubbleViewTest, PagesAnchorsAndScrollToPos)
{
    const KikMessageList list = many(101);
    ASSERT_TRUE(settle([&] { mgr.showBubble(list); }));
    EXPECT_EQ(mgr.pageCount(), 3);
    EXPECT_EQ(mgr.currentPage(), 1);
    EXPECT_EQ(mgr.shownAnchor, QStringLiteral("start"));

    ASSERT_TRUE(settle([&] { mgr.scrollToPos(50); }));
    EXPECT_EQ(mgr.currentPage(), 2);
    EXPECT_EQ(mgr.anchor(), QStringLiteral("sms_%1").arg(list.at(50)->_id));
    EXPECT_TRUE(mgr.pageHtml().contains(QStringLiteral("<a name=\"sms_%1\"></a>").arg(list.at(50)->_id)));

    // On the shown page the view scrolls at once, without a new load.
    ASSERT_TRUE(settle([&] { mgr.scrollToPos(99); }));
    EXPECT_EQ(mgr.currentPage(), 2);
    EXPECT_GT(scrollY(), 100.0);

    ASSERT_TRUE(settle([&] { mgr.nextPage(); }));
    EXPECT_EQ(mgr.currentPage(), 3);
    mgr.nextPage(); // nothing past the last page
    EXPECT_EQ(mgr.currentPage(), 3);
    ASSERT_TRUE(settle([&] { mgr.onLinkClicked(QUrl(QStringLiteral("file:///pre_page"))); }));
    EXPECT_EQ(mgr.currentPage(), 2);
    EXPECT_EQ(mgr.shownAnchor, QStringLiteral("end"));
    ASSERT_TRUE(settle([&] { mgr.firstPage(); }));
    mgr.previousPage(); // nothing before the first page
    EXPECT_EQ(mgr.currentPage(), 1);
    ASSERT_TRUE(settle([&] { mgr.lastPage(); }));
    EXPECT_EQ(mgr.currentPage(), 3);

    mgr.showBubble({});
    EXPECT_EQ(mgr.pageCount(), 0);
    EXPECT_EQ(mgr.currentPage(), 0);
}

TEST_F(BubbleViewTest, APageTooLargeToHandOverIsStillShown)
{
    // Fifty long messages of text outside ASCII make a page whose
    // percent-encoded form (three characters per byte) is above the 2 MB
    // that the web engine takes as data.
    KikMessageList list;
    const QString longText = QString(8000, QChar(0x00E9));
    for (int i = 0; i < 51; ++i)
        list.append(d.message(chat, QStringLiteral("m%1 ").arg(i) + longText,
                              localTime(2020, 2, 3, 8, 0).addSecs(i * 61)));
    ASSERT_TRUE(settle([&] { mgr.showBubble(list); }));
    EXPECT_GT(mgr.pageHtml().toUtf8().size() * 3, 2 * 1024 * 1024);
    // The page really holds the messages, styled from the program folder,
    // and its paging link still works.
    const auto evaluate = [&](const QString &script) {
        QVariant value;
        bool done = false;
        view.page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant &v) {
            value = v;
            done = true;
        });
        waitFor([&] { return done; });
        return value;
    };
    EXPECT_EQ(evaluate(QStringLiteral("document.getElementsByClassName('bb1').length")).toInt(), 50);
    EXPECT_EQ(evaluate(QStringLiteral("getComputedStyle(document.getElementsByClassName('bb1')[0]).cssFloat"))
                  .toString(),
              QStringLiteral("left"));
    ASSERT_TRUE(settle([&] { mgr.scrollToPos(50); }));
    EXPECT_EQ(mgr.currentPage(), 2);
    EXPECT_EQ(evaluate(QStringLiteral("document.getElementsByClassName('bb1').length")).toInt(), 1);
    ASSERT_TRUE(settle([&] { mgr.onLinkClicked(QUrl(QStringLiteral("file:///pre_page"))); }));
    EXPECT_EQ(mgr.currentPage(), 1);
    EXPECT_EQ(evaluate(QStringLiteral("document.getElementsByClassName('bb1').length")).toInt(), 50);
}

TEST_F(BubbleViewTest, LinkClicksGoOnlyWhereTheyMay)
{
    QTemporaryDir dir;
    const QString photo = dir.filePath(QStringLiteral("a/b/photo.JPG"));
    TestSupport::writeFile(photo, "jpeg");
    const QString document = dir.filePath(QStringLiteral("a/b/notes.txt"));
    TestSupport::writeFile(document, "text");
    const QString content = dir.filePath(QStringLiteral("a/b/0c0d"));
    TestSupport::writeFile(content, "video");

    mgr.onLinkClicked(QUrl::fromLocalFile(photo));
    EXPECT_EQ(mgr.opened, QStringList{photo});
    mgr.onLinkClicked(QUrl::fromLocalFile(document));
    EXPECT_EQ(mgr.saved, QStringList{document});
    mgr.onLinkClicked(QUrl::fromLocalFile(QStringLiteral("/x/y/z/gone.jpg")));
    EXPECT_EQ(mgr.warnings, QStringList{QStringLiteral("can not find .../y/z/gone.jpg.")});

    const QString atta =
        QStringLiteral("atta:///?ph=%1&sf=MP4").arg(QString::fromLatin1(content.toUtf8().toHex()));
    mgr.onLinkClicked(QUrl(atta));
    ASSERT_EQ(mgr.opened.size(), 2);
    EXPECT_TRUE(mgr.opened.last().endsWith(QStringLiteral(".mp4")));
    EXPECT_EQ(TestSupport::readFile(mgr.opened.last()), QByteArray("video"));
    // A suffix that is not a plain word is refused.
    mgr.onLinkClicked(
        QUrl(QStringLiteral("atta:///?ph=%1&sf=../../x").arg(QString::fromLatin1(content.toUtf8().toHex()))));
    EXPECT_EQ(mgr.opened.size(), 2);

    mgr.onLinkClicked(QUrl(QStringLiteral("https://kik.example/a?b=1")));
    EXPECT_EQ(mgr.addresses, QStringList{QStringLiteral("https://kik.example/a?b=1")});
    mgr.onLinkClicked(QUrl(QStringLiteral("javascript:alert(1)")));
    mgr.onLinkClicked(QUrl(QStringLiteral("data:text/html,hi")));
    mgr.onLinkClicked(QUrl(QStringLiteral("ftp://x.example/")));
    EXPECT_EQ(mgr.addresses.size(), 1);
    EXPECT_EQ(mgr.opened.size() + mgr.saved.size() + mgr.warnings.size(), 4);
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
           && qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

int countPixels(const QImage &image, const QRect &area, const std::function<bool(QRgb)> &test)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

TEST_F(BubbleViewTest, ScreenshotShowsBubblesOnBothSidesWithEmoji)
{
    _KikUser *group = d.user(QStringLiteral("Friends"), QStringLiteral("1_g@groups.kik.com"), true);
    _KikUser *bob = d.user(QStringLiteral("Bob"), QStringLiteral("bob@talk.kik.com"));
    _KikChat *groupChat = d.chat(group);
    KikMessageList list{
        d.message(groupChat, QStringLiteral("Hi there \U0001F600\U0001F600 how are you?"),
                  localTime(2020, 1, 1, 9, 0), false, bob),
        d.message(groupChat, QStringLiteral("Fine, thanks! ") + QChar(0xE057) + QChar(0xE022),
                  localTime(2020, 1, 1, 9, 0, 30), true),
        d.message(groupChat,
                  QStringLiteral("A longer message that wraps over more than one line of the bubble so that "
                                 "the middle cells stretch."),
                  localTime(2020, 1, 1, 9, 5), false, bob),
        d.message(groupChat, QStringLiteral("See you \U0001F44D"), localTime(2020, 1, 1, 9, 6), true),
    };
    view.show();
    ASSERT_TRUE(settle([&] { mgr.showBubble(list); }));
    QImage shot;
    const QRect left(0, 0, view.width() / 2, view.height());
    const QRect right(view.width() / 2, 0, view.width() / 2, view.height());
    const QRgb own = qRgb(0xd9, 0xf5, 0xc4);
    const QRgb other = qRgb(0xff, 0xff, 0xff);
    const auto emojiYellow = [](QRgb p) {
        return qRed(p) > 230 && qGreen(p) > 170 && qGreen(p) < 215 && qBlue(p) < 80;
    };
    // The compositor may need a few frames after the load; poll the picture.
    // It counts as drawn once two grabs in a row are the same picture.
    QImage previous;
    const bool drawn = waitFor([&] {
        shot = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const bool stable = !shot.isNull() && shot == previous;
        previous = shot;
        return stable && countPixels(shot, right, [&](QRgb p) { return near(p, own, 3); }) > 500
               && countPixels(shot, left, [&](QRgb p) { return near(p, other, 1); }) > 500
               && countPixels(shot, shot.rect(), emojiYellow) > 60;
    });
    const QString file = QDir::current().filePath(QStringLiteral("bubble-view-screenshot.png"));
    shot.save(file);
    ASSERT_TRUE(drawn) << "see " << qPrintable(file);
    // Own bubbles lie on the right, others' on the left.
    EXPECT_LT(countPixels(shot, left, [&](QRgb p) { return near(p, own, 3); }), 50);
    const QRect farRight(view.width() * 3 / 4, 0, view.width() / 4, view.height());
    EXPECT_LT(countPixels(shot, farRight, [&](QRgb p) { return near(p, other, 1); }), 50);
    // The group sender's name is drawn in its orange.
    EXPECT_GT(countPixels(shot, left, [](QRgb p) { return near(p, qRgb(242, 116, 5), 40); }), 10);
}

} // namespace
