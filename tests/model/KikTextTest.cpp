#include "model/KikText.h"
#include "model/Emoji.h"

#include <gtest/gtest.h>

namespace {

QString hexTag(const QString &hex)
{
    return QStringLiteral("<%1>").arg(hex);
}

} // namespace

TEST(DisplayName, NamesMembersOrUnknown)
{
    _KikUser group;
    group.is_group = true;
    EXPECT_EQ(displayName(&group), QStringLiteral("Unknown"));
    _KikUser ann;
    ann.display_name = QStringLiteral("Ann");
    _KikUser bob;
    bob.display_name = QStringLiteral("Bob");
    group.members.append({&group, &ann, false, false});
    group.members.append({&group, &bob, true, false});
    EXPECT_EQ(displayName(&group), QStringLiteral("Ann,Bob"));
    group.display_name = QStringLiteral("Hikers");
    EXPECT_EQ(displayName(&group), QStringLiteral("Hikers"));
    EXPECT_EQ(displayName(nullptr), QStringLiteral("Unknown"));
}

TEST(SummaryText, ContentKindsAndTextTags)
{
    _KikMessage m;
    m.app_id = QStringLiteral("COM.KIK.EXT.GALLERY");
    EXPECT_EQ(summaryText(&m), QStringLiteral("[IMAGE]"));
    m.app_id = QStringLiteral("com.kik.ext.camera");
    EXPECT_EQ(summaryText(&m), QStringLiteral("[IMAGE]"));
    m.app_id = QStringLiteral("com.kik.ext.video-gallery");
    EXPECT_EQ(summaryText(&m), QStringLiteral("[VIDEO]"));
    m.app_id = QStringLiteral("com.kik.cards");
    m.sub_app_id = QStringLiteral("Stickers");
    EXPECT_EQ(summaryText(&m), QStringLiteral("[Stickers]"));

    m.app_id.clear();
    m.body = QStringLiteral("hey :) \U0001F600 \u2709");
    QByteArray ri;
    for (int v : {0, 4, 7, 2})
        ri.append('\0').append(char(v));
    ri.append(":)");
    ri.append('\0').append(char(5));
    ri.append("smile");
    m.render_ins = ri;
    EXPECT_EQ(summaryText(&m), QStringLiteral("hey [EMOJI:smile] [EMOJI] [EMOJI]"));
}

TEST(ConvertEmoji, SingleUnitsAndSurrogatePairs)
{
    EXPECT_EQ(convertEmoji(QStringLiteral("a\U0001F600b"), hexTag), QStringLiteral("a<1F600>b"));
    EXPECT_EQ(convertEmoji(QStringLiteral("\U0001F44D"), hexTag), QStringLiteral("<1F44D>"));
    EXPECT_EQ(convertEmoji(QString(QChar(0xE001)), hexTag), QStringLiteral("<E001>"));
    EXPECT_EQ(convertEmoji(QString(QChar(0xE537)), hexTag), QStringLiteral("<E537>"));
    EXPECT_EQ(convertEmoji(QString(QChar(0xE538)), hexTag), QString(QChar(0xE538)));
    EXPECT_EQ(convertEmoji(QStringLiteral("\u203C\u3030"), hexTag), QStringLiteral("<203C><3030>"));
    // Other planes and plain text stay; a lone high surrogate is left alone.
    EXPECT_EQ(convertEmoji(QStringLiteral("\U00020000x"), hexTag), QStringLiteral("\U00020000x"));
    const QString lone = QString(QChar(0xD83D)) + QLatin1Char('x');
    EXPECT_EQ(convertEmoji(lone, hexTag), lone);
    EXPECT_EQ(convertEmoji(QString(QChar(0xD83D)), hexTag), QString(QChar(0xD83D)));
}

TEST(FileUrlAndReplaceMatches, Basics)
{
    _KikMessage m;
    EXPECT_TRUE(fileUrl(&m).isEmpty());
    m.attachment.insert(QStringLiteral("string:file-url"), QStringLiteral("http://x/y"));
    EXPECT_EQ(fileUrl(&m), QStringLiteral("http://x/y"));

    const QRegularExpression digits(QStringLiteral("\\d+"));
    const auto twice = [](const QRegularExpressionMatch &match) {
        return QString::number(match.captured(0).toInt() * 2);
    };
    EXPECT_EQ(replaceMatches(QStringLiteral("a1b22c"), digits, twice), QStringLiteral("a2b44c"));
    EXPECT_EQ(replaceMatches(QStringLiteral("none"), digits, twice), QStringLiteral("none"));
}
