// The export save dialog's choice: format code and output path.
#include "view/ExportTarget.h"
#include "view/ExportMessagesThread.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(ExportTargetTest, FiltersInTheirOrder)
{
    EXPECT_EQ(ExportTargets::filters().join(QStringLiteral(";;")),
              QStringLiteral("Text Files(*.txt);;Doc Files(*.doc);;CSV Files(*.csv);;PDF Files(*.pdf);;"
                             "HTML Files(*.html)"));
}

TEST(ExportTargetTest, SuffixAndFolderRules)
{
    const QStringList f = ExportTargets::filters();
    const auto target = [&](const char *name, int filter) {
        return ExportTargets::forChoice(QString::fromUtf8(name), f.at(filter));
    };
    ExportTarget t = target("/home/u/chats(20260101-101010)", 0);
    EXPECT_EQ(t.format, ExportFormat::Text);
    EXPECT_EQ(t.path, QStringLiteral("/home/u/chats(20260101-101010).txt"));
    EXPECT_EQ(target("/home/u/notes.text", 0).path, QStringLiteral("/home/u/notes.text"));
    // ".doc" is the text format under a Word-readable name.
    t = target("/home/u/chats", 1);
    EXPECT_EQ(t.format, ExportFormat::Text);
    EXPECT_EQ(t.path, QStringLiteral("/home/u/chats.doc"));
    t = target("/home/u/chats", 2);
    EXPECT_EQ(t.format, ExportFormat::Csv);
    EXPECT_EQ(t.path, QStringLiteral("/home/u/chats.csv"));
    // PDF and HTML name a folder: the suffix goes, "-pdf" / "-html" comes.
    t = target("/home/u.v/chats.pdf", 3);
    EXPECT_EQ(t.format, ExportFormat::Pdf);
    EXPECT_EQ(t.path, QStringLiteral("/home/u.v/chats-pdf"));
    t = target("/home/u.v/chats", 4);
    EXPECT_EQ(t.format, ExportFormat::Html);
    EXPECT_EQ(t.path, QStringLiteral("/home/u.v/chats-html"));
    EXPECT_EQ(target("/home/u/a.b.html", 4).path, QStringLiteral("/home/u/a.b-html"));
}

TEST(ExportTargetTest, UnknownFilterIsAnError)
{
    try {
        ExportTargets::forChoice(QStringLiteral("/home/u/x"), QStringLiteral("Rich Text(*.rtf)"));
        FAIL() << "no error";
    } catch (const std::runtime_error &error) {
        EXPECT_STREQ(error.what(), "unknown export format.");
    }
}

} // namespace
