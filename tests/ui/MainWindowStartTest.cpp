#include "MainWindowFixture.h"

#include "app/Translation.h"
#include "view/gui/KikBubbleViewMgr.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QWebEngineView>

TEST_F(MainWindowTest, StartsWithItsWidgetsMenusAndEmptyLists)
{
    open();
    for (const char *name : {"txtHandleKeyword", "txtSMSKeyword", "btnSearchHandle", "btnSearchSMS",
                             "treeViewDS", "treeViewSMS", "lbSMSCount", "lbConversation", "lbChatName",
                             "lbChatImg", "webViewSMS", "mainToolBar", "statusBar"})
        EXPECT_NE(window().findChild<QWidget *>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(child<QWebEngineView>("webViewSMS")->url(), QUrl(QStringLiteral("about:blank")));
    EXPECT_EQ(window().statusBar()->currentMessage(), QStringLiteral("Total: 0"));
    EXPECT_EQ(countText(), QStringLiteral("Messages: 0"));
    EXPECT_TRUE(smsView()->header()->isSortIndicatorShown());
    EXPECT_TRUE(smsView()->showDropIndicator());

    QStringList toolbar;
    for (QAction *a : child<QToolBar>("mainToolBar")->actions())
        toolbar << a->text();
    EXPECT_EQ(toolbar, (QStringList{QStringLiteral("Backup Messages"),
                                    QStringLiteral("Transfer Messages from iPhone to Android"),
                                    QStringLiteral("Transfer Messages from Database to Android"),
                                    QStringLiteral("Export Messages to File"),
                                    QStringLiteral("Print Messages"), QStringLiteral("Delete")}));
    // Nothing selected: every toolbar command is off.
    for (const QString &state : actionStates())
        EXPECT_TRUE(state.endsWith(QLatin1String("=0"))) << state.toStdString();
    EXPECT_EQ(tree().rowCount(tree().index(0, 0)), 0);
    EXPECT_EQ(tree().rowCount(tree().index(1, 0)), 0);
}

TEST_F(MainWindowTest, ListsLocalDatabasesAndLoadsVirtualPhones)
{
    makeLocalDb(QStringLiteral("Archive"));
    makeLocalDb(QStringLiteral("Second"), QStringLiteral("plain"));
    root().mkpath(QStringLiteral("local_databases/not-a-database")); // no database file: not listed
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    makeVirtualAndroid(QStringLiteral("Pixel"));
    open();

    QStringList dbs;
    for (_ItemNode *n : tree().localDbGroup()->children)
        dbs << n->text;
    EXPECT_EQ(dbs, (QStringList{QStringLiteral("Archive"), QStringLiteral("Second")}));
    // Local databases open on first selection only.
    EXPECT_TRUE(tree().localDbGroup()->children[0]->children.isEmpty());

    ASSERT_EQ(tree().iPhones().size(), 1);
    _IOSDeviceItemNode *phone = tree().iPhones().first();
    EXPECT_EQ(phone->text, QStringLiteral("DemoPhone"));
    EXPECT_EQ(phone->children.size(), 4);
    ASSERT_EQ(tree().androids().size(), 1);
    EXPECT_GT(tree().androids().first()->children.size(), 0);
}

TEST_F(MainWindowTest, SelectingEachNodeKindShowsItsMessagesAndSetsTheToolbar)
{
    makeLocalDb(QStringLiteral("Archive"));
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    open();
    _IOSDeviceItemNode *phone = tree().iPhones().first();

    select(phone);
    EXPECT_EQ(countText(), QStringLiteral("Messages: 16"));
    EXPECT_EQ(sms().rowCount(), 16);
    EXPECT_EQ(window().bubbleView()->pageCount(), 1);
    // iPhone source without an Android phone: backup, export, print.
    EXPECT_EQ(actionStates(),
              (QStringList{QStringLiteral("miBackupToolbar=1"), QStringLiteral("miI2aToolbar=0"),
                           QStringLiteral("miDb2aToolbar=0"), QStringLiteral("miExportToolbar=1"),
                           QStringLiteral("miPrintToolbar=1"), QStringLiteral("miDeleteToolbar=0")}));

    // A chat: its own messages, oldest first, and the partner in the header.
    _ItemNode *anna = phone->children.first();
    select(anna);
    const int annaCount = sms().rowCount();
    EXPECT_GT(annaCount, 0);
    EXPECT_LT(annaCount, 16);
    EXPECT_EQ(countText(), QStringLiteral("Messages: %1").arg(annaCount));
    EXPECT_EQ(child<QLabel>("lbChatName")->text(), anna->text);
    for (int row = 1; row < annaCount; ++row)
        EXPECT_LE(sms().messageAt(row - 1)->ts, sms().messageAt(row)->ts);
    EXPECT_EQ(actionStates()[0], QStringLiteral("miBackupToolbar=1")); // the chat's parent is the source

    _ItemNode *archive = tree().findLocalDb(QStringLiteral("Archive"));
    select(archive);
    EXPECT_EQ(archive->children.size(), 2); // opened now (the chat without messages is not loaded)
    EXPECT_EQ(countText(), QStringLiteral("Messages: 3"));
    EXPECT_EQ(actionStates(),
              (QStringList{QStringLiteral("miBackupToolbar=0"), QStringLiteral("miI2aToolbar=0"),
                           QStringLiteral("miDb2aToolbar=0"), QStringLiteral("miExportToolbar=1"),
                           QStringLiteral("miPrintToolbar=1"), QStringLiteral("miDeleteToolbar=1")}));

    select(tree().localDbGroup());
    EXPECT_EQ(countText(), QStringLiteral("Messages: 0"));
    EXPECT_EQ(sms().rowCount(), 0);
    for (const QString &state : actionStates())
        EXPECT_TRUE(state.endsWith(QLatin1String("=0"))) << state.toStdString();
}

TEST_F(MainWindowTest, AnAndroidPhoneEnablesTheTransfersAndDisablesEverythingOnItself)
{
    makeLocalDb(QStringLiteral("Archive"));
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    makeVirtualAndroid(QStringLiteral("Pixel"));
    open();
    select(tree().iPhones().first());
    EXPECT_EQ(actionStates()[1], QStringLiteral("miI2aToolbar=1"));
    select(tree().findLocalDb(QStringLiteral("Archive")));
    EXPECT_EQ(actionStates()[2], QStringLiteral("miDb2aToolbar=1"));
    select(tree().androids().first());
    for (const QString &state : actionStates())
        EXPECT_TRUE(state.endsWith(QLatin1String("=0"))) << state.toStdString();
    EXPECT_GT(sms().rowCount(), 0);
}

TEST_F(MainWindowTest, ContextMenusFollowTheNodeKind)
{
    makeLocalDb(QStringLiteral("Archive"));
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    open();
    auto names = [](QMenu *menu) {
        QStringList list;
        if (menu) {
            for (QAction *a : menu->actions())
                list << a->objectName() + (a->isEnabled() ? QString() : QStringLiteral("(off)"));
        }
        delete menu;
        return list;
    };
    _ItemNode *archive = tree().findLocalDb(QStringLiteral("Archive"));
    select(archive);
    _IOSDeviceItemNode *phone = tree().iPhones().first();
    EXPECT_TRUE(names(window().buildTreeContextMenu(tree().devicesGroup())).isEmpty());
    EXPECT_EQ(names(window().buildTreeContextMenu(tree().localDbGroup())),
              (QStringList{QStringLiteral("miOpenDBFolder"), QStringLiteral("miImportiTunes")}));
    EXPECT_EQ(names(window().buildTreeContextMenu(phone)),
              (QStringList{QStringLiteral("miBackupAll"), QStringLiteral("miI2aAll(off)"),
                           QStringLiteral("miExportAll"), QStringLiteral("miPrintAll"),
                           QStringLiteral("miUnmoutDevice"), QStringLiteral("miViewIOSCacheFiles")}));
    EXPECT_EQ(names(window().buildTreeContextMenu(archive)),
              (QStringList{QStringLiteral("miDb2aAll(off)"), QStringLiteral("miExportAll"),
                           QStringLiteral("miPrintAll"), QStringLiteral("miDeleteAll"),
                           QStringLiteral("miImportiTunesToLocalDb")}));
    EXPECT_EQ(names(window().buildTreeContextMenu(phone->children.first())),
              (QStringList{QStringLiteral("miBackupChat"), QStringLiteral("miI2aChat(off)"),
                           QStringLiteral("miExportChat"), QStringLiteral("miPrintChat")}));
    EXPECT_EQ(names(window().buildTreeContextMenu(archive->children.first())),
              (QStringList{QStringLiteral("miDb2aChat(off)"), QStringLiteral("miExportChat"),
                           QStringLiteral("miPrintChat"), QStringLiteral("miDeleteChat")}));

    // The message list's menu needs selected messages and names the source's commands.
    select(archive);
    EXPECT_TRUE(names(window().buildSmsContextMenu()).isEmpty());
    selectRows({0});
    EXPECT_EQ(names(window().buildSmsContextMenu()),
              (QStringList{QStringLiteral("miDb2a(off)"), QStringLiteral("miExport"),
                           QStringLiteral("miPrint"), QStringLiteral("miDelete")}));
    select(phone);
    selectRows({0, 1});
    EXPECT_EQ(names(window().buildSmsContextMenu()),
              (QStringList{QStringLiteral("miBackup"), QStringLiteral("miI2a(off)"),
                           QStringLiteral("miExport"), QStringLiteral("miPrint")}));

    // A right click on a node makes it current and opens its menu.
    ModalScript script;
    script.menu(QStringLiteral("miOpenDBFolder"));
    const QRect rect = treeView()->visualRect(tree().indexOf(tree().localDbGroup()));
    QContextMenuEvent event(QContextMenuEvent::Mouse, rect.center(),
                            treeView()->viewport()->mapToGlobal(rect.center()));
    QApplication::sendEvent(treeView()->viewport(), &event);
    ASSERT_TRUE(script.waitDone(5000));
    EXPECT_TRUE(waitFor([&] { return !openedFolders.isEmpty(); }, 5000));
    EXPECT_EQ(script.menuActions.value(0),
              (QStringList{QStringLiteral("miOpenDBFolder"), QStringLiteral("miImportiTunes")}));
    ASSERT_EQ(openedFolders.size(), 1);
    EXPECT_EQ(QDir(openedFolders[0]), QDir(rootPath(QStringLiteral("local_databases"))));
}

TEST_F(MainWindowTest, MessageSearchWrapsAroundAndSaysWhenNothingMatches)
{
    makeLocalDb(QStringLiteral("Archive"));
    open();
    auto *field = child<QLineEdit>("txtSMSKeyword");
    auto *button = child<QPushButton>("btnSearchSMS");
    {
        // No messages in the list.
        ModalScript script;
        script.box();
        field->setText(QStringLiteral("hello"));
        button->click();
        ASSERT_TRUE(script.waitDone(5000));
        EXPECT_EQ(script.boxes, QStringList{ids("IDS_CAN_NOT_FOUND_AND_MESSAGES")});
    }
    select(tree().findLocalDb(QStringLiteral("Archive")));
    ASSERT_EQ(sms().rowCount(), 3); // Hello Ann, Hi back, group hello
    auto currentText = [&] { return sms().messageAt(smsView()->currentIndex().row())->body; };
    field->setText(QStringLiteral("  HELLO "));
    button->click();
    EXPECT_EQ(currentText(), QStringLiteral("Hello Ann ✓"));
    EXPECT_TRUE(smsView()->selectionModel()->isRowSelected(smsView()->currentIndex().row(), {}));
    QMetaObject::invokeMethod(field, "returnPressed");
    EXPECT_EQ(currentText(), QStringLiteral("group hello"));
    button->click(); // from the last row it wraps to the first
    EXPECT_EQ(currentText(), QStringLiteral("Hello Ann ✓"));

    ModalScript script;
    script.box();
    field->setText(QStringLiteral("nowhere"));
    button->click();
    ASSERT_TRUE(script.waitDone(5000));
    EXPECT_EQ(script.boxes, QStringList{QStringLiteral("Find no Message with keyword nowhere.")});
    field->setText(QStringLiteral("   "));
    button->click(); // an empty keyword does nothing
    EXPECT_TRUE(script.unexpected.isEmpty());
}

TEST_F(MainWindowTest, ContactSearchWrapsAroundTheChatNodes)
{
    makeLocalDb(QStringLiteral("Archive"));
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    open();
    select(tree().findLocalDb(QStringLiteral("Archive"))); // its chats: Ann Example, Fellows
    auto *field = child<QLineEdit>("txtHandleKeyword");
    auto *button = child<QPushButton>("btnSearchHandle");
    auto current = [&] { return AbsTreeItemModel::nodeOf(treeView()->currentIndex()); };
    field->setText(QStringLiteral("ann"));
    button->click();
    ASSERT_NE(current(), nullptr);
    EXPECT_EQ(current()->text, QStringLiteral("Anna 😀")); // the iPhone's chats come first
    button->click();
    EXPECT_EQ(current()->text, QStringLiteral("Ann Example"));
    EXPECT_EQ(countText(), QStringLiteral("Messages: 2"));
    button->click();
    EXPECT_EQ(current()->text, QStringLiteral("Anna 😀"));

    ModalScript script;
    script.box();
    field->setText(QStringLiteral("zed"));
    QMetaObject::invokeMethod(field, "returnPressed");
    ASSERT_TRUE(script.waitDone(5000));
    EXPECT_EQ(script.boxes, QStringList{QStringLiteral("Find no contact with keyword zed.")});
}

TEST_F(MainWindowTest, OnlyTheFirstColumnSorts)
{
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    open();
    select(tree().iPhones().first());
    const int n = sms().rowCount();
    ASSERT_GT(n, 2);
    QHeaderView *header = smsView()->header();
    header->setSortIndicator(0, Qt::DescendingOrder);
    for (int row = 1; row < n; ++row)
        EXPECT_GE(sms().messageAt(row - 1)->ts, sms().messageAt(row)->ts);
    EXPECT_EQ(window().bubbleView()->pageCount(), 1);

    header->setSortIndicator(3, Qt::DescendingOrder);
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    for (int row = 1; row < n; ++row)
        EXPECT_LE(sms().messageAt(row - 1)->ts, sms().messageAt(row)->ts);

    // A newly shown source keeps the order of the indicator.
    header->setSortIndicator(0, Qt::DescendingOrder);
    select(tree().iPhones().first()->children.first());
    for (int row = 1; row < sms().rowCount(); ++row)
        EXPECT_GE(sms().messageAt(row - 1)->ts, sms().messageAt(row)->ts);
}

TEST_F(MainWindowTest, DamagedDatabasesAndGarbageFoldersGiveErrorsAndTheWindowGoesOn)
{
    makeLocalDb(QStringLiteral("Broken"), QStringLiteral("garbage"));
    makeLocalDb(QStringLiteral("Good"));
    TestSupport::writeFile(rootPath(QStringLiteral("virtual_ios/Junk/Documents/kik.sqlite")),
                           QByteArray("not a store at all ").repeated(50));
    root().mkpath(QStringLiteral("virtual_ios/Empty"));
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    TestSupport::writeFile(rootPath(QStringLiteral("virtual_android/Bad/apps/kik.android/db/kikDatabase.db")),
                           QByteArray("garbage"));

    {
        ModalScript startup;
        startup.box().box().box(); // Empty, Junk (sorted by name), Bad
        open();
        ASSERT_TRUE(startup.waitDone(5000));
        EXPECT_EQ(startup.boxes.size(), 3);
        EXPECT_TRUE(startup.boxes[0].contains(QStringLiteral("Found no Kik data")))
            << startup.boxes[0].toStdString();
        EXPECT_TRUE(startup.boxes[1].contains(QStringLiteral("is damaged")))
            << startup.boxes[1].toStdString();
    }
    // Only the good phone is listed; nothing was written into the empty folder.
    ASSERT_EQ(tree().iPhones().size(), 1);
    EXPECT_EQ(tree().iPhones().first()->text, QStringLiteral("DemoPhone"));
    EXPECT_TRUE(tree().androids().isEmpty());
    EXPECT_TRUE(QDir(rootPath(QStringLiteral("virtual_ios/Empty"))).isEmpty());

    // The damaged database is listed; opening it says why and keeps it listed.
    _ItemNode *broken = tree().findLocalDb(QStringLiteral("Broken"));
    ASSERT_NE(broken, nullptr);
    ModalScript script;
    script.box();
    select(broken);
    ASSERT_TRUE(script.waitDone(5000));
    EXPECT_EQ(script.boxes.size(), 1);
    EXPECT_EQ(countText(), QStringLiteral("Messages: 0"));
    EXPECT_TRUE(tree().contains(broken));

    select(tree().findLocalDb(QStringLiteral("Good")));
    EXPECT_EQ(countText(), QStringLiteral("Messages: 3"));
}
