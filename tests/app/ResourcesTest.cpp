#include "app/StyleSheet.h"
#include "app/Translation.h"

#include <QFile>

#include <gtest/gtest.h>

TEST(Translation, KeysResolveToEnglish)
{
    EXPECT_EQ(ids("IDS_SUC_CLEAR_CACHE"), QStringLiteral("Successfully cleared cache files."));
    EXPECT_EQ(ids("IDS_SUC_BACKUP_%1_MESSAGES").arg(12),
              QStringLiteral("Successfully backed up 12 messages."));
    EXPECT_EQ(ids("IDS_INVALID_LOCALDB_NAME"),
              QStringLiteral("Invalid Local Database name(can't contain \\ / : * ? \" < > |)."));
    EXPECT_EQ(ids("IDS_NO_BACKUP_LISTED_THERE_CLICK_<a href=\"#\">Here</a>_ADD"),
              QStringLiteral("Can't find your iTunes Backup on the list? Please manually import it by "
                             "clicking <a href=\"#\">HERE</a>"));
    EXPECT_EQ(idsPlain("IDS_ADB_BACKUP_TIPS").contains(QLatin1Char('<')), false);
    // An unknown key comes back as itself.
    EXPECT_EQ(ids("IDS_NOT_A_KEY"), QStringLiteral("IDS_NOT_A_KEY"));
}

TEST(Resources, StyleSheetIsBuiltIn)
{
    EXPECT_TRUE(QFile::exists(QStringLiteral(":style.css")));
    EXPECT_TRUE(appStyleSheet().contains(QStringLiteral("QPushButton")));
    EXPECT_FALSE(appStyleSheet().contains(QChar(0)));
}
