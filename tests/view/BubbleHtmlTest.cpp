#include "ViewTestData.h"

#include "support/TestSupport.h"
#include "view/BubbleHtml.h"
#include "view/ViewData.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

class BubbleHtmlTest : public ::testing::Test
{
protected:
    void SetUp() override { ViewData::setProgramFolder(TestSupport::binDir()); }

    ViewTestData d;
    BubbleHtmlBuilder builder;
};

int count(const QString &text, const QString &what)
{
    return int(text.count(what));
}

TEST_F(BubbleHtmlTest, HundredAndOneMessagesMakeThreePagesWithPagingLinks)
{
    _KikChat *chat = d.chat(d.user(QStringLiteral("Ann"), QStringLiteral("ann@talk.kik.com")));
    KikMessageList list;
    for (int i = 0; i < 101; ++i)
        list.append(
            d.message(chat, QStringLiteral("m%1").arg(i), localTime(2020, 1, 1, 10, 0).addSecs(i * 600)));
    EXPECT_EQ(BubblePage::pageCount(list.size()), 3);
    const QString one = builder.page(list, 1);
    const QString two = builder.page(list, 2);
    const QString three = builder.page(list, 3);
    EXPECT_TRUE(builder.page(list, 4).isEmpty());
    EXPECT_TRUE(builder.page(list, 0).isEmpty());

    EXPECT_EQ(count(one, QStringLiteral("href=\"/pre_page\"")), 0);
    EXPECT_EQ(count(one, QStringLiteral("href=\"/next_page\"")), 1);
    EXPECT_EQ(count(two, QStringLiteral("href=\"/pre_page\"")), 1);
    EXPECT_EQ(count(two, QStringLiteral("href=\"/next_page\"")), 1);
    EXPECT_EQ(count(three, QStringLiteral("href=\"/pre_page\"")), 1);
    EXPECT_EQ(count(three, QStringLiteral("href=\"/next_page\"")), 0);

    EXPECT_EQ(count(one, QStringLiteral("<a name=\"sms_")), 50);
    EXPECT_EQ(count(two, QStringLiteral("<a name=\"sms_")), 50);
    EXPECT_EQ(count(three, QStringLiteral("<a name=\"sms_")), 1);
    EXPECT_TRUE(three.contains(QStringLiteral("<a name=\"sms_%1\"></a>").arg(list.last()->_id)));
    EXPECT_TRUE(two.contains(QStringLiteral("<a name=\"sms_%1\"></a>").arg(list.at(50)->_id)));
    EXPECT_FALSE(two.contains(QStringLiteral("<a name=\"sms_%1\"></a>").arg(list.at(49)->_id)));
    for (const QString &page : {one, two, three}) {
        EXPECT_TRUE(page.startsWith(
            QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\"")));
        EXPECT_TRUE(page.contains(
            QStringLiteral("<link href=\"kikbb/style.css\" type=\"text/css\" rel=\"stylesheet\"/>")));
        EXPECT_TRUE(page.contains(QStringLiteral("<a name=\"start\"></a>")));
        EXPECT_TRUE(page.endsWith(QStringLiteral("<a name=\"end\"></a></body></html>")));
    }
    EXPECT_EQ(BubblePage::pageOfIndex(49), 1);
    EXPECT_EQ(BubblePage::pageOfIndex(50), 2);
    EXPECT_EQ(BubblePage::pageOfIndex(100), 3);
}

TEST_F(BubbleHtmlTest, DateLineForEveryNewMinute)
{
    _KikChat *chat = d.chat(d.user(QStringLiteral("Ann"), QStringLiteral("ann@talk.kik.com")));
    KikMessageList list{
        d.message(chat, QStringLiteral("a"), localTime(2021, 3, 4, 17, 5, 1)),
        d.message(chat, QStringLiteral("b"), localTime(2021, 3, 4, 17, 5, 59)),
        d.message(chat, QStringLiteral("c"), localTime(2021, 3, 4, 17, 6, 0)),
        d.message(chat, QStringLiteral("d"), localTime(2021, 3, 4, 17, 6, 30)),
        d.message(chat, QStringLiteral("e"), localTime(2021, 3, 4, 9, 6, 30)),
    };
    const QString html = builder.page(list, 1);
    EXPECT_EQ(count(html, QStringLiteral("<div class=\"dt\">")), 3);
    EXPECT_EQ(count(html, QStringLiteral("<div class=\"dt\">04 Mar 2021 @ 05:05 PM</div>")), 1);
    EXPECT_EQ(count(html, QStringLiteral("<div class=\"dt\">04 Mar 2021 @ 05:06 PM</div>")), 1);
    EXPECT_EQ(count(html, QStringLiteral("<div class=\"dt\">04 Mar 2021 @ 09:06 AM</div>")), 1);
    // The date line comes after the anchor and before the bubble.
    const QRegularExpression order(
        QStringLiteral("<a name=\"sms_%1\"></a><div class=\"dt\">[^<]*</div><div class=\"bb1\">")
            .arg(list.at(2)->_id));
    EXPECT_TRUE(order.match(html).hasMatch());
}

TEST_F(BubbleHtmlTest, SidesHandleAndEmojiImages)
{
    _KikUser *group = d.user(QStringLiteral("Team"), QStringLiteral("1100_g@groups.kik.com"), true);
    _KikUser *bob = d.user(QStringLiteral("Bob <b>&"), QStringLiteral("bob@talk.kik.com"));
    _KikChat *chat = d.chat(group);
    _KikMessage *mine = d.message(chat, QStringLiteral("hi \U0001F600"), localTime(2021, 1, 1, 1, 1), true);
    _KikMessage *theirs =
        d.message(chat, QStringLiteral("x < y\nz") + QChar(0xE057), localTime(2021, 1, 1, 1, 2), false, bob);
    const QString own = builder.bubble(mine);
    const QString other = builder.bubble(theirs);
    EXPECT_TRUE(own.startsWith(QStringLiteral("<div class=\"bb2\"><div class=\"bb_bg top_left\"></div>")));
    EXPECT_TRUE(
        own.contains(QStringLiteral("<img src=\"emoji/1F600.png\" style=\"vertical-align:top;\" />")));
    EXPECT_FALSE(own.contains(QStringLiteral("handle")));
    EXPECT_TRUE(own.endsWith(QStringLiteral("</div><div class=\"clear\"></div>")));
    EXPECT_TRUE(other.startsWith(QStringLiteral("<div class=\"bb1\">")));
    EXPECT_TRUE(other.contains(
        QStringLiteral("<div class=\"handle\">Bob &lt;b&gt;&amp;</div><div class=\"clear\"></div>")));
    EXPECT_TRUE(other.contains(QStringLiteral("x &lt; y<br/>z<img src=\"emoji/E057.png\"")));
    EXPECT_EQ(count(other, QStringLiteral("bb_bg")), 9);
}

TEST_F(BubbleHtmlTest, HostileLinksAndSourcesAreDroppedOrEscaped)
{
    _KikChat *chat = d.chat(d.user(QStringLiteral("Eve"), QStringLiteral("eve@talk.kik.com")));
    _KikMessage *sticker = d.message(chat, QString(), localTime(2021, 1, 1, 1, 1));
    sticker->app_id = QStringLiteral("com.kik.cards");
    sticker->sub_app_id = QStringLiteral("Stickers");
    sticker->attachment.insert(QStringLiteral("extra:sticker_url"), QStringLiteral("javascript:alert(1)"));
    const QString a = builder.bubble(sticker);
    EXPECT_FALSE(a.contains(QStringLiteral("javascript"), Qt::CaseInsensitive));
    EXPECT_TRUE(a.contains(QStringLiteral("<a><img ")));

    sticker->attachment.insert(QStringLiteral("extra:sticker_url"),
                               QStringLiteral("http://x.example/a\"onmouseover=\"alert(1)"));
    const QString b = builder.bubble(sticker);
    EXPECT_FALSE(b.contains(QStringLiteral("\"onmouseover")));
    EXPECT_TRUE(b.contains(QStringLiteral("<a href=\"http://x.example/a%22onmouseover=%22alert(1)\">")));

    _KikMessage *video = d.message(chat, QString(), localTime(2021, 1, 1, 1, 2));
    video->app_id = QStringLiteral("com.kik.ext.video");
    video->attachment.insert(QStringLiteral("string:file-url"), QStringLiteral(" JavaScript:evil()"));
    video->preview_path = QStringLiteral("http://img.example/p.jpg?a=1&b=\"2\"");
    const QString c = builder.bubble(video);
    EXPECT_FALSE(c.contains(QStringLiteral("evil")));
    EXPECT_TRUE(c.contains(QStringLiteral("src=\"http://img.example/p.jpg?a=1&amp;b=%222%22\"")));

    // Phone data cannot point the view at a local file or at the program's
    // own attachment scheme; only the message's own content file is linked.
    sticker->attachment.insert(QStringLiteral("extra:sticker_url"),
                               QStringLiteral("file:///home/u/.ssh/id_rsa"));
    EXPECT_FALSE(builder.bubble(sticker).contains(QStringLiteral("id_rsa")));
    video->attachment.insert(QStringLiteral("string:file-url"),
                             QStringLiteral("atta:///?ph=2f6574632f706173737764&sf=txt"));
    EXPECT_FALSE(builder.bubble(video).contains(QStringLiteral("atta:")));
    video->attachment.insert(QStringLiteral("string:file-url"), QStringLiteral("/etc/passwd"));
    EXPECT_FALSE(builder.bubble(video).contains(QStringLiteral("passwd")));
    _KikMessage *search = d.message(chat, QString(), localTime(2021, 1, 1, 1, 2));
    search->app_id = QStringLiteral("com.kik.cards");
    search->sub_app_id = QStringLiteral("Image Search");
    search->attachment.insert(QStringLiteral("extra:jsonData"),
                              QStringLiteral("{\"url\":\"file:///etc/shadow\"}"));
    EXPECT_FALSE(builder.bubble(search).contains(QStringLiteral("shadow")));
    EXPECT_EQ(BubblePage::safeWebAddress(QStringLiteral("HTTPS://a.example/")),
              QStringLiteral("https://a.example/"));

    _KikMessage *card = d.message(chat, QString(), localTime(2021, 1, 1, 1, 3));
    card->app_id = QStringLiteral("com.kik.cards");
    card->sub_app_id = QStringLiteral("<script>x</script>");
    const QString e = builder.bubble(card);
    EXPECT_FALSE(e.contains(QStringLiteral("<script>")));
    EXPECT_TRUE(e.contains(QStringLiteral("[&lt;script&gt;x&lt;/script&gt;]")));
}

TEST_F(BubbleHtmlTest, MediaTargetsFollowTheContentFile)
{
    QTemporaryDir dir;
    _KikChat *chat = d.chat(d.user(QStringLiteral("Ann"), QStringLiteral("ann@talk.kik.com")));
    _KikMessage *m = d.message(chat, QString(), localTime(2021, 1, 1, 1, 1));
    m->app_id = QStringLiteral("com.kik.ext.gallery");
    m->attachment.insert(QStringLiteral("string:file-url"), QStringLiteral("https://files.example/x.jpg"));
    // No content file: the file address, and the empty photo as image.
    QString html = builder.bubble(m);
    EXPECT_TRUE(html.contains(
        QStringLiteral("<a href=\"https://files.example/x.jpg\"><img "
                       "style=\"max-width:128px;max-height:128px;\" src=\"kikbb/empty_photo.jpg\"")));

    // A content file without suffix and a file name with one: an "atta:" link.
    const QString content = dir.filePath(QStringLiteral("0a1b"));
    TestSupport::writeFile(content, "data");
    m->content_path = content;
    m->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("clip.MP4"));
    html = builder.bubble(m);
    const QString hex = QString::fromLatin1(content.toUtf8().toHex());
    EXPECT_TRUE(html.contains(QStringLiteral("href=\"atta:///?ph=%1&amp;sf=MP4\"").arg(hex)))
        << qPrintable(html);

    // A content file with a suffix: the file itself; an existing preview is shown.
    const QString withSuffix = dir.filePath(QStringLiteral("photo.jpg"));
    TestSupport::writeFile(withSuffix, "jpeg");
    const QString preview = dir.filePath(QStringLiteral("prev.png"));
    TestSupport::writeFile(preview, "png");
    m->content_path = withSuffix;
    m->preview_path = preview;
    html = builder.bubble(m);
    EXPECT_TRUE(html.contains(
        QStringLiteral("href=\"%1\"").arg(QUrl::fromLocalFile(withSuffix).toString(QUrl::FullyEncoded))));
    EXPECT_TRUE(html.contains(
        QStringLiteral("src=\"%1\"").arg(QUrl::fromLocalFile(preview).toString(QUrl::FullyEncoded))));
}

TEST_F(BubbleHtmlTest, CardsTakeTheirTargetsFromTheirData)
{
    _KikChat *chat = d.chat(d.user(QStringLiteral("Ann"), QStringLiteral("ann@talk.kik.com")));
    _KikMessage *m = d.message(chat, QString(), localTime(2021, 1, 1, 1, 1));
    m->app_id = QStringLiteral("com.kik.cards");
    m->sub_app_id = QStringLiteral("image search");
    m->attachment.insert(QStringLiteral("extra:jsonData"),
                         QStringLiteral("{\"url\":\"http://pics.example/1.png\",\"w\":3}"));
    EXPECT_TRUE(builder.bubble(m).contains(QStringLiteral("<a href=\"http://pics.example/1.png\">")));

    m->sub_app_id = QStringLiteral("Viral Videos");
    m->attachment.insert(QStringLiteral("extra:jsonData"),
                         QStringLiteral("{\"pic\":\"http://v.example/p.jpg\"}"));
    m->attachment.insert(QStringLiteral("string:title"), QStringLiteral("Cats & dogs"));
    const QString viral = builder.bubble(m);
    EXPECT_TRUE(viral.contains(QStringLiteral(
        "<div style=\"text-align:left; min-width:200px;\"><div style=\"float:left;margin:5px;\"><a "
        "href=\"http://v.example/p.jpg\"><img style=\"max-width:64px;max-height:64px;\"")));
    EXPECT_TRUE(viral.contains(QStringLiteral("<div>Cats &amp; dogs</div>")));

    m->sub_app_id = QStringLiteral("Kik Points");
    EXPECT_TRUE(builder.bubble(m).contains(QStringLiteral("<div>[Kik Points]</div>")));
}

TEST_F(BubbleHtmlTest, RenderInstructionsBecomeEmoticonImages)
{
    _KikChat *chat = d.chat(d.user(QStringLiteral("Ann"), QStringLiteral("ann@talk.kik.com")));
    _KikMessage *m = d.message(chat, QStringLiteral("a:)b<c"), localTime(2021, 1, 1, 1, 1));
    // One record: reserved, start 1, end 4 (in shifted units), key ":)" and no value.
    m->render_ins = QByteArray::fromHex("0000000100040002") + QByteArray(":)") + QByteArray::fromHex("0000");
    const QString html = builder.bubble(m);
    const QString icon = QUrl::fromLocalFile(ViewData::dataPath(QStringLiteral("kikemoji/3a29.png")))
                             .toString(QUrl::FullyEncoded);
    EXPECT_TRUE(
        html.contains(QStringLiteral("a<img src=\"%1\" width=\"20\" height=\"20\"/>b&lt;c").arg(icon)))
        << qPrintable(html);
}

TEST(BubblePageTest, SafeLinkTargetKeepsOnlyKnownKinds)
{
    EXPECT_EQ(BubblePage::safeLinkTarget(QStringLiteral("https://a.example/x y")),
              QStringLiteral("https://a.example/x%20y"));
    EXPECT_EQ(BubblePage::safeLinkTarget(QStringLiteral("/tmp/a b.jpg")),
              QStringLiteral("file:///tmp/a%20b.jpg"));
    EXPECT_TRUE(BubblePage::safeLinkTarget(QStringLiteral("javascript:alert(1)")).isEmpty());
    EXPECT_TRUE(BubblePage::safeLinkTarget(QStringLiteral("data:text/html,<b>")).isEmpty());
    EXPECT_TRUE(BubblePage::safeLinkTarget(QStringLiteral("vbscript:x")).isEmpty());
    EXPECT_TRUE(BubblePage::safeLinkTarget(QString()).isEmpty());
}

} // namespace
