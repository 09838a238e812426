#include "ios/gui/LoadItunesBackupDlg.h"
#include "ios/gui/PasscodeDlg.h"

#include "../ios/BackupFixture.h"
#include "support/TestSupport.h"

#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPixmap>
#include <QTimer>
#include <QTreeView>

#include <ctime>

#include <gtest/gtest.h>

namespace {

struct Messages
{
    QStringList shown;
    QStringList errors;
    void attach(LoadItunesBackupDlg &dlg)
    {
        dlg.showMessage = [this](const QString &t) { shown << t; };
        dlg.showError = [this](const QString &t) { errors << t; };
    }
};

// Builds a backup of `kind` as the folder `name` below `root`.
QString buildInto(const QString &root, const QString &name, const QString &kind, const QString &date)
{
    BackupFixture fx;
    EXPECT_TRUE(fx.build(kind, {QStringLiteral("--date"), date}));
    const QString target = QDir(root).filePath(name);
    EXPECT_TRUE(QDir().rename(fx.path, target));
    return target;
}

// Results of unlockFinished, waited for with an event loop (bounded by a
// generous guard timer so that a fault cannot hang the test).
struct UnlockResults
{
    QList<bool> results;
    explicit UnlockResults(PasscodeDlg &dlg)
    {
        QObject::connect(&dlg, &PasscodeDlg::unlockFinished, [this](bool ok) {
            results << ok;
            loop.quit();
        });
    }
    bool waitFor(int count)
    {
        if (results.size() < count) {
            QTimer::singleShot(60000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return results.size() >= count;
    }
    QEventLoop loop;
};

} // namespace

TEST(LoadItunesBackupDlg, ListsBackupsNewestFirstAndNeedsASelection)
{
    QTemporaryDir root;
    buildInto(root.path(), QStringLiteral("old"), QStringLiteral("mbdb"),
              QStringLiteral("2019-01-01T08:00:00"));
    buildInto(root.path(), QStringLiteral("new"), QStringLiteral("db"),
              QStringLiteral("2021-03-04T05:06:07"));
    buildInto(root.path(), QStringLiteral("mid"), QStringLiteral("db-enc"),
              QStringLiteral("2020-01-01T00:00:00"));
    QDir(root.path()).mkpath(QStringLiteral("empty"));
    TestSupport::writeFile(QDir(root.path()).filePath(QStringLiteral("plist-only/Manifest.plist")), "x");
    TestSupport::writeFile(QDir(root.path()).filePath(QStringLiteral("broken/Manifest.plist")), "garbage");
    TestSupport::writeFile(QDir(root.path()).filePath(QStringLiteral("broken/Manifest.db")), "x");

    QTemporaryDir emptyRoot;
    LoadItunesBackupDlg dlg(nullptr, emptyRoot.path());
    Messages m;
    m.attach(dlg);
    dlg.addBackupsBelow(root.path());

    ItemModelLoadBk *model = dlg.model();
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_TRUE(model->backupAt(0)->folderPath().endsWith(QStringLiteral("/new")));
    EXPECT_TRUE(model->backupAt(1)->folderPath().endsWith(QStringLiteral("/mid")));
    EXPECT_TRUE(model->backupAt(2)->folderPath().endsWith(QStringLiteral("/old")));
    ASSERT_EQ(m.errors.size(), 1);
    EXPECT_TRUE(m.errors[0].startsWith(QStringLiteral("load ")));
    EXPECT_TRUE(m.errors[0].contains(QStringLiteral("broken error.")));

    EXPECT_EQ(model->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Backup Date"));
    EXPECT_EQ(model->data(model->index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("Test iPhone-new"));
    const QDateTime newest = QDateTime::fromMSecsSinceEpoch(1614834367000LL);
    EXPECT_EQ(model->data(model->index(0, 1), Qt::DisplayRole).toString(),
              QLocale::system().toString(newest.toLocalTime(), QLocale::ShortFormat));
    EXPECT_NE(model->data(model->index(0, 0), Qt::BackgroundRole),
              model->data(model->index(1, 0), Qt::BackgroundRole));

    dlg.view()->setCurrentIndex(QModelIndex());
    dlg.btnLoadClicked();
    EXPECT_EQ(m.shown, QStringList{QStringLiteral("Need to select an iTunes Backup to continue.")});
    EXPECT_EQ(dlg.result(), int(QDialog::Rejected));

    dlg.view()->setCurrentIndex(model->index(1, 0));
    dlg.btnLoadClicked();
    EXPECT_EQ(dlg.result(), int(QDialog::Accepted));
    ASSERT_NE(dlg.selectedBackup(), nullptr);
    EXPECT_TRUE(dlg.selectedBackup()->isEncrypted());
}

TEST(LoadItunesBackupDlg, RefusesDuplicatesAndReportsFoldersWithoutManifest)
{
    QTemporaryDir root;
    const QString folder = buildInto(root.path(), QStringLiteral("bk"), QStringLiteral("mbdb"),
                                     QStringLiteral("2020-01-01T00:00:00"));
    QTemporaryDir emptyRoot;
    LoadItunesBackupDlg dlg(nullptr, emptyRoot.path());
    Messages m;
    m.attach(dlg);
    const auto *link = dlg.findChild<QLabel *>(QStringLiteral("lbAddOther"));
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->text().contains(QStringLiteral("<a href=\"#\">HERE</a>")))
        << link->text().toStdString();
    dlg.chooseFolder = [&] { return folder; };
    dlg.btnAddOtherClicked(QStringLiteral("#"));
    ASSERT_EQ(dlg.model()->rowCount(), 1);
    EXPECT_EQ(dlg.view()->currentIndex().row(), 0);
    EXPECT_TRUE(m.shown.isEmpty());

    EXPECT_FALSE(dlg.addBackupFolder(folder + QStringLiteral("/../bk/.")));
    EXPECT_EQ(m.shown, QStringList{QStringLiteral("This iTunes Backup has been listed on the left.")});
    EXPECT_EQ(dlg.model()->rowCount(), 1);

    EXPECT_FALSE(dlg.addBackupFolder(emptyRoot.path()));
    ASSERT_EQ(m.errors.size(), 1);
    EXPECT_TRUE(m.errors[0].contains(QStringLiteral("Cannot find ")));
    EXPECT_EQ(dlg.model()->rowCount(), 1);
}

TEST(ItemModelLoadBk, EqualDatesKeepTheOrderOfAdding)
{
    QTemporaryDir root;
    const QString a = buildInto(root.path(), QStringLiteral("a"), QStringLiteral("mbdb"),
                                QStringLiteral("2020-01-01T00:00:00"));
    const QString b = buildInto(root.path(), QStringLiteral("b"), QStringLiteral("mbdb"),
                                QStringLiteral("2020-01-01T00:00:00"));
    ItemModelLoadBk model;
    for (const QString &path : {a, b}) {
        auto backup = std::make_shared<BackupManifest>(path);
        backup->readProperties();
        model.addBackup(backup);
    }
    EXPECT_TRUE(model.backupAt(0)->folderPath().endsWith(QStringLiteral("/a")));
    EXPECT_TRUE(model.backupAt(1)->folderPath().endsWith(QStringLiteral("/b")));
}

TEST(PasscodeDlg, WrongPasswordThenRightOneOffTheInterfaceThread)
{
    BackupFixture fx;
    ASSERT_TRUE(fx.build(QStringLiteral("db-enc"), {QStringLiteral("--iter"), QStringLiteral("2000"),
                                                    QStringLiteral("--dpic"), QStringLiteral("2000")}));
    auto backup = std::make_shared<BackupManifest>(fx.path);
    backup->readProperties();
    PasscodeDlg dlg(backup);
    QStringList shown;
    dlg.showMessage = [&](const QString &t) { shown << t; };
    UnlockResults finished(dlg);

    dlg.btnOKPressed();
    EXPECT_EQ(shown, QStringList{QStringLiteral("Password is required.")});
    EXPECT_FALSE(dlg.isUnlocking());

    dlg.passwordField()->setText(QStringLiteral("wrong"));
    dlg.btnOKPressed();
    EXPECT_TRUE(dlg.isUnlocking()); // returned without waiting for the derivation
    ASSERT_TRUE(finished.waitFor(1));
    EXPECT_FALSE(finished.results[0]);
    EXPECT_EQ(shown.last(), QStringLiteral("Invalid password."));
    EXPECT_TRUE(dlg.passwordField()->text().isEmpty());
    EXPECT_FALSE(backup->isUnlocked());

    dlg.passwordField()->setText(QStringLiteral("secret"));
    dlg.btnOKPressed();
    ASSERT_TRUE(finished.waitFor(2));
    EXPECT_TRUE(finished.results[1]);
    EXPECT_EQ(dlg.result(), int(QDialog::Accepted));
    EXPECT_TRUE(backup->isUnlocked());
    backup->buildIndex();
    EXPECT_NE(
        backup->findRecord(QStringLiteral("AppDomain-com.kik.chat"), QStringLiteral("Documents/kik.sqlite")),
        nullptr);
}

// The backup date is an instant; the list shows it in the local time zone
// and sorts by the instant, whatever the zone.
TEST(ItemModelLoadBk, DatesShowInLocalTimeAndRowsHaveTheirIcon)
{
    TestSupport::ScopedTimeZone zone("Asia/Kolkata"); // UTC+05:30 all year
    QTemporaryDir root;
    // 23:00 UTC on 1 March is already 2 March in Kolkata; 20:00 UTC on
    // 1 March is earlier although its local day is the same as its date.
    const QString late = buildInto(root.path(), QStringLiteral("late"), QStringLiteral("mbdb"),
                                   QStringLiteral("2021-03-01T23:00:00"));
    const QString early = buildInto(root.path(), QStringLiteral("early"), QStringLiteral("db"),
                                    QStringLiteral("2021-03-01T20:00:00"));
    ItemModelLoadBk model;
    for (const QString &path : {early, late}) {
        auto backup = std::make_shared<BackupManifest>(path);
        backup->readProperties();
        model.addBackup(backup);
    }
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_TRUE(model.backupAt(0)->folderPath().endsWith(QStringLiteral("/late")));
    const QString shown = model.data(model.index(0, 1), Qt::DisplayRole).toString();
    const QDateTime local(QDate(2021, 3, 2), QTime(4, 30));
    EXPECT_EQ(shown, QLocale::system().toString(local, QLocale::ShortFormat));
    EXPECT_EQ(model.data(model.index(0, 1), Qt::ToolTipRole).toString(), shown);

    const QVariant icon = model.data(model.index(0, 0), Qt::DecorationRole);
    ASSERT_TRUE(icon.canConvert<QPixmap>());
    EXPECT_EQ(icon.value<QPixmap>().width(), 18);
    EXPECT_FALSE(model.data(model.index(0, 1), Qt::DecorationRole).isValid());
    EXPECT_EQ(model.data(model.index(1, 2), Qt::DisplayRole).toString(), QFileInfo(early).absoluteFilePath());
}
