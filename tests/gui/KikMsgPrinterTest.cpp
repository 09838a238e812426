#include "../view/ViewTestData.h"

#include "support/TestSupport.h"
#include "view/ViewData.h"
#include "view/gui/KikMsgPrinter.h"

#include <QPrinter>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

TEST(KikMsgPrinterTest, PaintsTheMessagesInTimeOrderOntoThePrinter)
{
    ViewData::setProgramFolder(TestSupport::binDir());
    if (!TestSupport::toolsPresent({QStringLiteral("pdftotext")}))
        GTEST_SKIP() << "poppler-utils is not installed";
    ViewTestData d;
    _KikUser *group = d.user(QStringLiteral("Crew"), QStringLiteral("9_g@groups.kik.com"), true);
    _KikUser *zed = d.user(QStringLiteral("Zed"), QStringLiteral("zed@talk.kik.com"));
    _KikChat *a = d.chat(group);
    _KikChat *b = d.chat(d.user(QStringLiteral("Ann"), QStringLiteral("ann@talk.kik.com")));
    // Given out of order and across chats; printed by time.
    KikMessageList list{
        d.message(a, QStringLiteral("cherry"), localTime(2020, 1, 1, 12, 0), false, zed),
        d.message(b, QStringLiteral("apple"), localTime(2020, 1, 1, 10, 0), true),
        d.message(a, QStringLiteral("banana"), localTime(2020, 1, 1, 11, 0), true),
    };
    KikMsgPrinter printer;
    printer.setMessages(list);
    ASSERT_EQ(printer.messages().size(), 3);
    EXPECT_EQ(printer.messages().first()->body, QStringLiteral("apple"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("print.pdf"));
    {
        QPrinter target(QPrinter::ScreenResolution);
        target.setOutputFormat(QPrinter::PdfFormat);
        target.setOutputFileName(path);
        printer.onPaintRequested(&target);
    }
    const auto text = TestSupport::run(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    ASSERT_EQ(text.exitCode, 0) << text.err.constData();
    const QString body = QString::fromUtf8(text.out);
    const qsizetype first = body.indexOf(QStringLiteral("apple"));
    const qsizetype second = body.indexOf(QStringLiteral("banana"));
    const qsizetype third = body.indexOf(QStringLiteral("cherry"));
    EXPECT_TRUE(first >= 0 && first < second && second < third) << qPrintable(body);
    EXPECT_TRUE(body.contains(QStringLiteral("Zed"))); // group sender
    EXPECT_TRUE(body.contains(QStringLiteral("01 Jan 2020 @ 11:00 AM")));
}

} // namespace
