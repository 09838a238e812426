#include "app/TextUtil.h"

#include <gtest/gtest.h>

TEST(HtmlEscape, EscapesInOrderAndChangesItsArgument)
{
    QString text = QStringLiteral("a<b>&\n");
    const QString result = htmlEscape(text);
    EXPECT_EQ(result, QStringLiteral("a&lt;b&gt;&amp;<br/>"));
    EXPECT_EQ(text, result);
    // "&" goes first, so an existing entity is escaped once, not twice.
    EXPECT_EQ(htmlEscaped(QStringLiteral("&lt;")), QStringLiteral("&amp;lt;"));
}

TEST(HtmlAttributeEscaped, QuotesCannotCloseTheAttribute)
{
    const QString value = htmlAttributeEscaped(QStringLiteral("x\" onclick='y'<>&"));
    EXPECT_FALSE(value.contains(QLatin1Char('"')));
    EXPECT_FALSE(value.contains(QLatin1Char('\'')));
    EXPECT_FALSE(value.contains(QLatin1Char('<')));
    EXPECT_EQ(value, QStringLiteral("x&quot; onclick=&#39;y&#39;&lt;&gt;&amp;"));
}

TEST(Md5, HexAndUuidForms)
{
    EXPECT_EQ(md5Hex(QStringLiteral("")), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    // UTF-8 bytes are hashed, not UTF-16.
    EXPECT_EQ(md5Hex(QStringLiteral("ä")), QStringLiteral("8419b71c87a225a2c70b50486fbee545"));

    const QString uuid = md5Uuid(QByteArray("abc"), true);
    ASSERT_EQ(uuid.size(), 36);
    EXPECT_EQ(uuid, QStringLiteral("90015098-3cd2-4fb0-d696-3f7d28e17f72"));
    for (int dash : {8, 13, 18, 23})
        EXPECT_EQ(uuid.at(dash), QLatin1Char('-'));
    EXPECT_EQ(md5Uuid(QByteArray("abc"), false), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
}

TEST(StripHtml, TagsGoLineBreaksStay)
{
    EXPECT_EQ(stripHtml(QStringLiteral("Failed.<br/>Try <b>again</b> &amp; see <a href=\"#\">HERE</a>")),
              QStringLiteral("Failed.\nTry again & see HERE"));
    EXPECT_EQ(stripHtml(QStringLiteral("a<br />b<BR>c")), QStringLiteral("a\nb\nc"));
}
