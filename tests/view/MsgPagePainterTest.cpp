#include "ViewTestData.h"

#include "jobs/JobCancelled.h"
#include "support/TestSupport.h"
#include "view/MsgPagePainter.h"
#include "view/ViewData.h"

#include <QPdfWriter>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

class MsgPagePainterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ViewData::setProgramFolder(TestSupport::binDir());
        writer = std::make_unique<QPdfWriter>(path);
        writer->setPageSize(QPageSize(QPageSize::A4));
        writer->setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
        writer->setResolution(96);
        chat = d.chat(d.user(QStringLiteral("Ann"), QStringLiteral("ann@talk.kik.com")));
    }

    QString pdfText(int page)
    {
        const auto r =
            TestSupport::run(QStringLiteral("pdftotext"),
                             {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                              QString::number(page), QStringLiteral("-layout"), path, QStringLiteral("-")});
        return QString::fromUtf8(r.out);
    }

    int pdfPages()
    {
        const auto r = TestSupport::run(QStringLiteral("pdfinfo"), {path});
        const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromUtf8(r.out));
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }

    bool havePoppler()
    {
        return TestSupport::toolsPresent({QStringLiteral("pdfinfo"), QStringLiteral("pdftotext")});
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("p.pdf"));
    std::unique_ptr<QPdfWriter> writer;
    ViewTestData d;
    _KikChat *chat = nullptr;
};

TEST_F(MsgPagePainterTest, NoMessagesGiveOneNumberedPage)
{
    MsgPagePainter painter;
    painter.begin(writer.get());
    EXPECT_EQ(painter.pageNumber(), 1);
    EXPECT_EQ(painter.currentY(), painter.contentRect().top());
    painter.end();
    writer.reset();
    if (!havePoppler())
        GTEST_SKIP() << "poppler-utils is not installed";
    EXPECT_EQ(pdfPages(), 1);
    EXPECT_EQ(pdfText(1).trimmed(), QStringLiteral("1"));
}

TEST_F(MsgPagePainterTest, ABubbleThatDoesNotFitStartsTheNextPage)
{
    MsgPagePainter painter;
    painter.begin(writer.get());
    const int bottom = painter.contentRect().bottom();
    int pagesSeen = 1;
    int n = 0;
    // Tall text bubbles until the page is nearly full.
    const QString tall = QStringLiteral("line\n").repeated(12).trimmed();
    while (painter.pageNumber() == 1) {
        const int before = painter.currentY();
        painter.paint(d.message(chat, tall + QString::number(n), localTime(2020, 1, 1, 9, 0), n % 2 == 0));
        ++n;
        if (painter.pageNumber() == 1) {
            EXPECT_GT(painter.currentY(), before);
            EXPECT_LE(painter.currentY(), bottom + 11);
        }
        ASSERT_LT(n, 200);
    }
    pagesSeen = painter.pageNumber();
    EXPECT_EQ(pagesSeen, 2);
    // The bubble that did not fit went to the top of page 2.
    EXPECT_LT(painter.currentY(), painter.contentRect().top() + 400);
    // A new minute gets its date header.
    painter.paint(d.message(chat, QStringLiteral("later"), localTime(2020, 1, 1, 9, 7)));
    painter.end();
    writer.reset();
    if (!havePoppler())
        GTEST_SKIP() << "poppler-utils is not installed";
    EXPECT_EQ(pdfPages(), 2);
    const QString one = pdfText(1);
    const QString two = pdfText(2);
    EXPECT_EQ(one.count(QStringLiteral("01 Jan 2020 @ 09:00 AM")), 1);
    EXPECT_TRUE(two.contains(QStringLiteral("01 Jan 2020 @ 09:07 AM")));
    EXPECT_TRUE(two.contains(QStringLiteral("line%1").arg(n - 1))); // the bubble moved whole
    EXPECT_FALSE(one.contains(QStringLiteral("line%1").arg(n - 1)));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("\\b2\\s*$")).match(two).hasMatch()) << qPrintable(two);
}

TEST_F(MsgPagePainterTest, AMessageTallerThanAPageGoesOnOverThePagesWhole)
{
    MsgPagePainter painter;
    painter.begin(writer.get());
    painter.paint(d.message(chat, QStringLiteral("before"), localTime(2020, 1, 1, 9, 0)));
    QStringList rows;
    for (int i = 0; i < 150; ++i)
        rows.append(QStringLiteral("row%1").arg(i, 3, 10, QLatin1Char('0')));
    painter.paint(d.message(chat, rows.join(QLatin1Char('\n')), localTime(2020, 1, 1, 9, 0), true));
    const int pagesAfterLong = painter.pageNumber();
    painter.paint(d.message(chat, QStringLiteral("after"), localTime(2020, 1, 1, 9, 0)));
    EXPECT_GE(pagesAfterLong, 3);
    EXPECT_EQ(painter.pageNumber(), pagesAfterLong);
    painter.end();
    writer.reset();
    if (!havePoppler())
        GTEST_SKIP() << "poppler-utils is not installed";
    ASSERT_EQ(pdfPages(), pagesAfterLong);
    QString all;
    for (int page = 1; page <= pagesAfterLong; ++page)
        all += pdfText(page);
    // Every row is there once, in order; the first part shares page 1 with
    // the message before it.
    qsizetype at = 0;
    for (const QString &row : std::as_const(rows)) {
        const qsizetype found = all.indexOf(row, at);
        ASSERT_GE(found, 0) << "lost " << qPrintable(row);
        at = found + row.size();
    }
    for (const QString &row : std::as_const(rows))
        EXPECT_EQ(all.count(row), 1) << qPrintable(row);
    EXPECT_TRUE(pdfText(1).contains(QStringLiteral("before")));
    EXPECT_TRUE(pdfText(1).contains(QStringLiteral("row000")));
    EXPECT_TRUE(pdfText(pagesAfterLong).contains(QStringLiteral("after")));
}

TEST(MsgPagePainterGeometry, PreviewsScaleToAtMost200)
{
    EXPECT_EQ(MsgPagePainter::scaledImageSize(QSize(100, 400)), QSize(50, 200));
    EXPECT_EQ(MsgPagePainter::scaledImageSize(QSize(400, 100)), QSize(200, 50));
    EXPECT_EQ(MsgPagePainter::scaledImageSize(QSize(300, 300)), QSize(200, 200));
    EXPECT_EQ(MsgPagePainter::scaledImageSize(QSize(120, 80)), QSize(120, 80));
    EXPECT_EQ(MsgPagePainter::frameInsets(true), QMargins(16, 12, 19, 17));
    EXPECT_EQ(MsgPagePainter::contentPadding(false), QMargins(16, 7, 10, 8));
}

} // namespace

TEST(MsgPagePainterPieces, LongTextsAreCutIntoBoundedPiecesThatKeepEveryCharacter)
{
    // One endless word, words with spaces, line breaks and emoji (surrogate
    // pairs) placed where a hard cut would fall.
    const QString word = QString(10007, QLatin1Char('x'));
    const QString words = QStringLiteral("lorem ipsum ").repeated(900);
    QString emoji;
    for (int i = 0; i < 3000; ++i)
        emoji += QString::fromUcs4(U"\U0001F600");
    for (const QString &text : {word, words, emoji, QString(), QStringLiteral("short")}) {
        const QStringList pieces = MsgPagePainter::layoutPieces(text, 100);
        EXPECT_EQ(pieces.join(QString()), text);
        for (const QString &piece : pieces) {
            EXPECT_LE(piece.size(), 100);
            EXPECT_FALSE(!piece.isEmpty() && piece.back().isHighSurrogate());
        }
        if (text.size() > 100) {
            EXPECT_GE(pieces.size(), text.size() / 100);
        }
    }
    // With spaces, a piece ends after one.
    for (const QString &piece : MsgPagePainter::layoutPieces(words, 100).mid(0, 5))
        EXPECT_TRUE(piece.endsWith(QLatin1Char(' '))) << qPrintable(piece);
}

TEST_F(MsgPagePainterTest, AnEndlessWordIsPaintedInFullOverManyPages)
{
    MsgPagePainter painter;
    painter.begin(writer.get());
    painter.paint(d.message(chat, QStringLiteral("x").repeated(60000) + QStringLiteral("END"),
                            localTime(2020, 1, 1, 9, 0)));
    EXPECT_GT(painter.pageNumber(), 3);
    const int pages = painter.pageNumber();
    painter.end();
    writer.reset();
    if (!havePoppler())
        GTEST_SKIP() << "poppler-utils is not installed";
    EXPECT_EQ(pdfPages(), pages);
    EXPECT_TRUE(pdfText(pages).contains(QStringLiteral("END")));
}

TEST_F(MsgPagePainterTest, CancellationReachesTheLayoutOfALongMessage)
{
    MsgPagePainter painter;
    int asked = 0;
    painter.setCancelCheck([&asked] { return ++asked >= 3; });
    painter.begin(writer.get());
    // Hundreds of pieces; the painter stops at the third question.
    EXPECT_THROW(
        painter.paint(d.message(chat, QStringLiteral("y").repeated(2000000), localTime(2020, 1, 1, 9, 0))),
        JobCancelled);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(painter.pageNumber(), 1) << "nothing of the cancelled message was painted";
    painter.end();
}
