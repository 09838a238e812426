#include "app/DataRoot.h"
#include "app/AppInfo.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using TestSupport::writeFile;

TEST(DataRoot, DefaultIsTheProductFolderBelowVelloran)
{
    QTemporaryDir roaming;
    EXPECT_EQ(DataRoot::computeFrom(roaming.path()),
              roaming.path() + QStringLiteral("/Velloran/9C41E07B5D2F8A36B0E4D1C7A8F25063"));
}

TEST(DataRoot, RedirectFileNamesAnotherBaseOnlyWhenItExists)
{
    QTemporaryDir roaming;
    QTemporaryDir elsewhere;
    const QString redirect =
        roaming.filePath(QStringLiteral("Velloran/9C41E07B5D2F8A36B0E4D1C7A8F25063.redirect"));
    writeFile(redirect, elsewhere.path().toUtf8() + "\n");
    EXPECT_EQ(DataRoot::computeFrom(roaming.path()),
              QDir(elsewhere.path()).filePath(QStringLiteral("9C41E07B5D2F8A36B0E4D1C7A8F25063")));

    writeFile(redirect, "/no/such/folder/anywhere");
    EXPECT_EQ(DataRoot::computeFrom(roaming.path()),
              roaming.path() + QStringLiteral("/Velloran/9C41E07B5D2F8A36B0E4D1C7A8F25063"));
}

TEST(DataRoot, OverrideIsUsedAndFoldersAreCreated)
{
    TestSupport::ScopedDataRoot root;
    EXPECT_EQ(DataRoot::path(), root.path());
    const QDir local = DataRoot::localDatabaseFolder();
    EXPECT_TRUE(local.exists());
    EXPECT_EQ(local.absolutePath(), root.path() + QStringLiteral("/local_databases"));
    EXPECT_TRUE(DataRoot::logFolder().exists());
    EXPECT_TRUE(DataRoot::iosCacheFolder().exists());
    EXPECT_TRUE(DataRoot::androidCacheFolder().exists());
    // Removed while running: asking again creates it again.
    QDir(root.path()).removeRecursively();
    EXPECT_TRUE(QDir(DataRoot::path()).exists());
}
