// The data folders drawn at build time beside the programs: the bubble
// style and images, an emoji image for every code point the emoji
// conversion can produce, and the Kik emoticons.
#include "model/Emoji.h"
#include "support/TestSupport.h"
#include "view/ViewData.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <gtest/gtest.h>

namespace {

class ShippedDataTest : public ::testing::Test
{
protected:
    void SetUp() override { ViewData::setProgramFolder(TestSupport::binDir()); }
};

TEST_F(ShippedDataTest, BubbleStyleAndNineCellImagesForBothSides)
{
    const QString css =
        QString::fromUtf8(TestSupport::readFile(ViewData::dataPath(QStringLiteral("kikbb/style.css"))));
    ASSERT_FALSE(css.isEmpty());
    for (int side = 1; side <= 2; ++side) {
        for (int cell = 1; cell <= 9; ++cell) {
            const QString name = QStringLiteral("bb%1_%2.png").arg(side).arg(cell, 2, 10, QLatin1Char('0'));
            const QImage image(ViewData::dataPath(QStringLiteral("kikbb/") + name));
            EXPECT_FALSE(image.isNull()) << qPrintable(name);
            EXPECT_TRUE(css.contains(QStringLiteral("url(%1)").arg(name))) << qPrintable(name);
        }
    }
    EXPECT_FALSE(QImage(ViewData::dataPath(QStringLiteral("kikbb/empty_photo.jpg"))).isNull());
}

TEST_F(ShippedDataTest, EveryEmojiTheConversionProducesHasAnImage)
{
    // Every single-unit symbol and every code point of the two emoji
    // surrogate blocks goes through the conversion; whatever name it asks
    // for must be there as a readable picture.
    QStringList missing;
    int checked = 0;
    const auto check = [&](const QString &text) {
        convertEmoji(text, [&](const QString &hex) {
            ++checked;
            const QString path = ViewData::dataPath(QStringLiteral("emoji/") + hex + QStringLiteral(".png"));
            QImageReader reader(path);
            if (!reader.canRead() || reader.size().isEmpty())
                missing.append(hex);
            return QString();
        });
    };
    for (uint unit = 1; unit <= 0xFFFF; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF)
            continue;
        if (isSingleUnitEmoji(char16_t(unit)))
            check(QString(QChar(char16_t(unit))));
    }
    for (char32_t cp = 0x1F000; cp <= 0x1F7FF; ++cp)
        check(QString::fromUcs4(&cp, 1));
    EXPECT_EQ(checked, 0x538 + 44 + 0x800);
    EXPECT_TRUE(missing.isEmpty()) << missing.size() << " missing, first " << qPrintable(missing.value(0));
    // Private-use codes of the carriers are real emoji pictures, drawn in colour.
    const QImage smile(ViewData::dataPath(QStringLiteral("emoji/E057.png")));
    ASSERT_FALSE(smile.isNull());
    int coloured = 0;
    for (int y = 0; y < smile.height(); ++y)
        for (int x = 0; x < smile.width(); ++x) {
            const QRgb p = smile.pixel(x, y);
            coloured += qAlpha(p) > 200 && qRed(p) > 200 && qBlue(p) < 100 ? 1 : 0;
        }
    EXPECT_GT(coloured, 50);
}

TEST_F(ShippedDataTest, TwentyKikEmoticonsNamedByTheirTokens)
{
    const QDir folder(ViewData::dataPath(QStringLiteral("kikemoji")));
    const QStringList files = folder.entryList({QStringLiteral("*.png")}, QDir::Files);
    EXPECT_EQ(files.size(), 20);
    for (const QString &name : files) {
        const QByteArray token = QByteArray::fromHex(QFileInfo(name).completeBaseName().toLatin1());
        EXPECT_FALSE(token.isEmpty()) << qPrintable(name);
        EXPECT_EQ(QString::fromLatin1(token.toHex()) + QStringLiteral(".png"), name); // lower-case hex
        EXPECT_FALSE(QImage(folder.filePath(name)).isNull()) << qPrintable(name);
    }
    EXPECT_TRUE(files.contains(QStringLiteral("3a29.png"))); // ":)"
}

} // namespace
