#include "MainWindowFixture.h"

#include "app/Translation.h"
#include "ios/gui/LoadItunesBackupDlg.h"
#include "ios/gui/PasscodeDlg.h"
#include "model/KikLocalDb.h"
#include "ui/LocalDbSelForm.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTreeView>

namespace {

// Types a name into the database choice and presses OK.
ModalScript::Step nameDatabase(const QString &name, QString *proposed = nullptr,
                               QStringList *listed = nullptr)
{
    return [=](QWidget *w) {
        auto *form = qobject_cast<LocalDbSelForm *>(w);
        if (!form)
            return false;
        if (proposed)
            *proposed = form->nameBox()->currentText();
        if (listed) {
            for (int i = 0; i < form->nameBox()->count(); ++i)
                *listed << form->nameBox()->itemText(i);
        }
        form->nameBox()->setEditText(name);
        form->btnOKPressed();
        return true;
    };
}

// Picks the listed backup of that device name.
ModalScript::Step pickBackup(const QString &deviceName)
{
    return [=](QWidget *w) {
        auto *dlg = qobject_cast<LoadItunesBackupDlg *>(w);
        if (!dlg)
            return false;
        for (int row = 0; row < dlg->model()->rowCount(); ++row) {
            if (dlg->model()->backupAt(row)->deviceName() == deviceName)
                dlg->view()->setCurrentIndex(dlg->model()->index(row, 0));
        }
        dlg->btnLoadClicked();
        return true;
    };
}

ModalScript::Step enterPassword(const QString &password)
{
    return [=](QWidget *w) {
        auto *dlg = qobject_cast<PasscodeDlg *>(w);
        if (!dlg)
            return false;
        dlg->passwordField()->setText(password);
        dlg->btnOKPressed();
        return true;
    };
}

int messagesOnDisk(const QString &folder)
{
    KikLocalDb db(folder);
    db.ensureOpen();
    KikDataSet set;
    db.loadAll(set);
    return int(set.messages.size());
}

} // namespace

TEST_F(MainWindowTest, BacksUpAChatIntoANewDatabaseAndAPhoneIntoAnExistingOne)
{
    makeLocalDb(QStringLiteral("Archive"));
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    open();
    _IOSDeviceItemNode *phone = tree().iPhones().first();
    select(phone);
    const int phoneMessages = sms().rowCount();
    select(phone->children.first());
    const int chatMessages = sms().rowCount();

    QStringList listed;
    {
        ModalScript script;
        script.then(nameDatabase(QStringLiteral("bad/name"), nullptr, &listed))
            .box() // the name is refused; the form stays
            .then(nameDatabase(QStringLiteral(" Fresh ")))
            .box(); // the job's success
        trigger("miBackupToolbar", script);
        EXPECT_EQ(listed, (QStringList{QString(), QStringLiteral("Archive")}));
        ASSERT_EQ(script.boxes.size(), 2);
        EXPECT_EQ(script.boxes[0], ids("IDS_INVALID_LOCALDB_NAME"));
        EXPECT_EQ(script.boxes[1], ids("IDS_SUC_BACKUP_%1_MESSAGES").arg(chatMessages));
        EXPECT_TRUE(script.unexpected.isEmpty()) << script.unexpected.join(QLatin1Char('\n')).toStdString();
    }
    _LocalDbItemNode *fresh = tree().findLocalDb(QStringLiteral("Fresh"));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(AbsTreeItemModel::nodeOf(treeView()->currentIndex()), fresh);
    EXPECT_EQ(fresh->children.size(), 1);
    EXPECT_EQ(countText(), QStringLiteral("Messages: %1").arg(chatMessages));
    EXPECT_EQ(messagesOnDisk(rootPath(QStringLiteral("local_databases/Fresh"))), chatMessages);

    // The whole phone into the existing database, named in other letter case.
    select(phone);
    EXPECT_EQ(countText(), QStringLiteral("Messages: %1").arg(phoneMessages));
    EXPECT_TRUE(window().action(QStringLiteral("miBackupAll"))->isEnabled());
    ModalScript again;
    again.then(nameDatabase(QStringLiteral("archive"))).box();
    trigger("miBackupAll", again);
    EXPECT_TRUE(again.unexpected.isEmpty());
    _LocalDbItemNode *archive = tree().findLocalDb(QStringLiteral("Archive"));
    EXPECT_EQ(tree().localDbGroup()->children.size(), 2);
    EXPECT_EQ(AbsTreeItemModel::nodeOf(treeView()->currentIndex()), archive);
    EXPECT_EQ(countText(), QStringLiteral("Messages: %1").arg(3 + phoneMessages));
    EXPECT_EQ(messagesOnDisk(rootPath(QStringLiteral("local_databases/Archive"))), 3 + phoneMessages);
    EXPECT_FALSE(QDir(rootPath(QStringLiteral("local_databases/archive"))).exists()
                 && QDir(rootPath(QStringLiteral("local_databases/archive"))).canonicalPath()
                        != QDir(rootPath(QStringLiteral("local_databases/Archive"))).canonicalPath());
}

TEST_F(MainWindowTest, BackingUpSelectedMessagesAndCancellingTheChoice)
{
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    open();
    select(tree().iPhones().first());
    selectRows({0, 2, 3});
    {
        ModalScript cancel;
        cancel.on<LocalDbSelForm>([](LocalDbSelForm *f) { f->reject(); });
        trigger("miBackup", cancel);
    }
    EXPECT_EQ(tree().localDbGroup()->children.size(), 0);

    ModalScript script;
    script.then(nameDatabase(QStringLiteral("Picked"))).box();
    trigger("miBackupToolbar", script); // with a selection: the selected messages
    EXPECT_EQ(script.boxes.value(0), ids("IDS_SUC_BACKUP_%1_MESSAGES").arg(3));
    EXPECT_EQ(messagesOnDisk(rootPath(QStringLiteral("local_databases/Picked"))), 3);
}

TEST_F(MainWindowTest, ThePhoneMayLeaveWhileItsMessagesAreBeingBackedUp)
{
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    open();
    _IOSDeviceItemNode *phone = tree().iPhones().first();
    select(phone);
    const int phoneMessages = sms().rowCount();
    std::weak_ptr<KikDataSet> data = phone->dataSet;

    ModalScript script;
    script
        .then([&](QWidget *w) {
            auto *form = qobject_cast<LocalDbSelForm *>(w);
            if (!form)
                return false;
            // The phone goes while the user is choosing.
            window().action(QStringLiteral("miUnmoutDevice"))->trigger();
            form->nameBox()->setEditText(QStringLiteral("Rescued"));
            form->btnOKPressed();
            return true;
        })
        .box();
    trigger("miBackupToolbar", script);
    EXPECT_TRUE(tree().iPhones().isEmpty());
    EXPECT_TRUE(data.expired()); // released once the flow ended
    EXPECT_EQ(messagesOnDisk(rootPath(QStringLiteral("local_databases/Rescued"))), phoneMessages);
    EXPECT_EQ(countText(), QStringLiteral("Messages: %1").arg(phoneMessages));
}

TEST_F(MainWindowTest, ImportsAPlainAndAnEncryptedItunesBackup)
{
    makeLocalDb(QStringLiteral("Archive"));
    makeItunesBackup(QStringLiteral("plain"), QStringLiteral("db"), QStringLiteral("Plain Phone"));
    makeItunesBackup(QStringLiteral("locked"), QStringLiteral("db-enc"), QStringLiteral("Locked Phone"));
    open();

    QString proposed;
    {
        ModalScript script;
        script.then(pickBackup(QStringLiteral("Plain Phone")))
            .then(nameDatabase(QStringLiteral("Plain Phone_Backup"), &proposed))
            .box();
        trigger("miImportiTunes", script);
        EXPECT_TRUE(script.unexpected.isEmpty()) << script.unexpected.join(QLatin1Char('\n')).toStdString();
    }
    EXPECT_EQ(proposed, QStringLiteral("Plain Phone_Backup"));
    _LocalDbItemNode *imported = tree().findLocalDb(QStringLiteral("Plain Phone_Backup"));
    ASSERT_NE(imported, nullptr);
    const int backupMessages = sms().rowCount();
    EXPECT_EQ(backupMessages, 16);
    EXPECT_EQ(imported->children.size(), 4);

    // Into the current database, through its context-menu entry: a wrong
    // password is refused and the right one accepted.
    select(tree().findLocalDb(QStringLiteral("Archive")));
    {
        ModalScript locked;
        locked.then(pickBackup(QStringLiteral("Locked Phone")))
            .then(enterPassword(QStringLiteral("wrong")))
            .box()
            .then(enterPassword(QStringLiteral("secret")))
            .then(nameDatabase(QStringLiteral("Archive"), &proposed))
            .box();
        trigger("miImportiTunesToLocalDb", locked);
        EXPECT_TRUE(locked.unexpected.isEmpty()) << locked.unexpected.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(locked.boxes.value(0), ids("IDS_INVALID_PASSWORD"));
        EXPECT_EQ(proposed, QStringLiteral("Archive"));
        EXPECT_EQ(messagesOnDisk(rootPath(QStringLiteral("local_databases/Archive"))), 3 + backupMessages);
    }

    // Cancelling the password ends the command.
    ModalScript cancel;
    cancel.then(pickBackup(QStringLiteral("Locked Phone"))).on<PasscodeDlg>([](PasscodeDlg *d) {
        d->reject();
    });
    trigger("miImportiTunes", cancel);
    EXPECT_EQ(tree().localDbGroup()->children.size(), 2);
}
