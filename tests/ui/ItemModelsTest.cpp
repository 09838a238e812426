#include "../model/SampleChats.h"

#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/MyListView.h"
#include "ui/MyTreeView.h"

#include <QApplication>
#include <QColor>
#include <QContextMenuEvent>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLocale>
#include <QStandardItemModel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace SampleChats;

// Ann with a JPEG picture, Bob with a picture that is no image, a group and
// a chat without a user.
struct TreeData
{
    QTemporaryDir dir;
    KikDataSetPtr set = std::make_shared<KikDataSet>();
    _KikChat *ann = nullptr;
    _KikChat *bob = nullptr;
    _KikChat *group = nullptr;
    _KikChat *nobody = nullptr;

    TreeData()
    {
        _KikUser *annUser = user(*set, 1, QStringLiteral("ann@talk.kik.com"), QStringLiteral("Ann"));
        _KikUser *bobUser = user(*set, 2, QStringLiteral("bob@talk.kik.com"), QStringLiteral("Bob"));
        _KikUser *groupUser = user(*set, 3, QStringLiteral("g@groups.kik.com"), QStringLiteral("Fellows"));
        groupUser->is_group = true;
        QImage red(40, 20, QImage::Format_RGB32);
        red.fill(Qt::red);
        annUser->photo_path = dir.filePath(QStringLiteral("ann"));
        red.save(annUser->photo_path, "JPG");
        bobUser->photo_path = dir.filePath(QStringLiteral("bob"));
        QFile bad(bobUser->photo_path);
        bad.open(QIODevice::WriteOnly);
        bad.write("GIF89a not really");
        bad.close();
        ann = chat(*set, 10, annUser);
        bob = chat(*set, 11, bobUser);
        group = chat(*set, 12, groupUser);
        nobody = chat(*set, 13, nullptr);
        message(*set, 100, ann, QStringLiteral("a1"), 10, QStringLiteral("hello"));
        message(*set, 101, ann, QStringLiteral("a2"), 20, QStringLiteral("again"))->was_me = true;
        message(*set, 102, nobody, QStringLiteral("n1"), 5, QStringLiteral("who"));
    }
};

QImage iconImage(const QVariant &v)
{
    return v.value<QIcon>().pixmap(QSize(18, 18)).toImage();
}

} // namespace

TEST(ItemModelMain, GroupsNodesTextsAndRoles)
{
    ItemModelMain model;
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.columnCount(), 1);
    EXPECT_FALSE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).isValid());
    const QModelIndex devices = model.index(0, 0);
    const QModelIndex dbs = model.index(1, 0);
    EXPECT_EQ(model.data(devices).toString(), QStringLiteral("Devices"));
    EXPECT_EQ(model.data(dbs).toString(), QStringLiteral("Local Databases"));
    EXPECT_EQ(model.data(dbs, Qt::ToolTipRole).toString(), QStringLiteral("Local Databases"));
    EXPECT_EQ(model.data(devices, Qt::SizeHintRole).toSize(), QSize(0, 25));
    EXPECT_FALSE(model.data(devices, Qt::EditRole).isValid());
    EXPECT_FALSE(model.parent(devices).isValid());
    EXPECT_FALSE(model.index(2, 0).isValid());
    EXPECT_FALSE(model.index(0, 1).isValid());

    IOSDeviceRecord iphone;
    iphone.deviceName = QStringLiteral("Ann's iPhone");
    _IOSDeviceItemNode *phone = model.addIPhone(iphone);
    AndroidPhoneRecord android;
    android.manufacturer = QStringLiteral(" Google");
    android.model = QStringLiteral("Pixel 7 ");
    _AndroidDeviceItemNode *pixel = model.addAndroid(android);
    AndroidPhoneRecord noModel;
    noModel.manufacturer = QStringLiteral("Fairphone");
    model.addLocalDb(QStringLiteral("Archive"));

    EXPECT_EQ(model.rowCount(devices), 2);
    EXPECT_EQ(phone->kind, NodeKind::IPhone);
    EXPECT_EQ(phone->text, QStringLiteral("Ann's iPhone"));
    EXPECT_EQ(pixel->text, QStringLiteral("Google Pixel 7"));
    EXPECT_EQ(noModel.displayName(), QStringLiteral("Fairphone"));
    const QModelIndex phoneIndex = model.index(0, 0, devices);
    EXPECT_EQ(AbsTreeItemModel::nodeOf(phoneIndex), phone);
    EXPECT_EQ(phone->index, phoneIndex);
    EXPECT_EQ(model.parent(phoneIndex), devices);
    EXPECT_EQ(model.findLocalDb(QStringLiteral("ARCHIVE"))->text, QStringLiteral("Archive"));
    EXPECT_EQ(model.findLocalDb(QStringLiteral("Other")), nullptr);

    // Each kind has its own icon.
    const QImage group = iconImage(model.data(devices, Qt::DecorationRole));
    EXPECT_EQ(group.width(), 18);
    EXPECT_NE(group, iconImage(model.data(dbs, Qt::DecorationRole)));
    EXPECT_NE(iconImage(model.data(phoneIndex, Qt::DecorationRole)),
              iconImage(model.data(model.index(1, 0, devices), Qt::DecorationRole)));
}

TEST(ItemModelMain, ChatNodesNamesAndPictures)
{
    TreeData data;
    ItemModelMain model;
    _LocalDbItemNode *db = model.addLocalDb(QStringLiteral("Archive"));
    db->dataSet = data.set;
    int inserted = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++inserted; });
    model.attachChats(db, {data.ann, data.bob, data.group, data.nobody});
    EXPECT_EQ(inserted, 1);
    const QModelIndex dbIndex = model.indexOf(db);
    ASSERT_EQ(model.rowCount(dbIndex), 4);
    EXPECT_EQ(model.data(model.index(0, 0, dbIndex)).toString(), QStringLiteral("Ann"));
    EXPECT_EQ(model.data(model.index(3, 0, dbIndex)).toString(), QStringLiteral("Unknown"));
    EXPECT_EQ(db->allMessages().size(), 3);

    // Ann's JPEG, the contact icon for Bob's unreadable picture and for the
    // chat without a user, the group icon for the group.
    const QImage ann = iconImage(model.data(model.index(0, 0, dbIndex), Qt::DecorationRole));
    const QImage bob = iconImage(model.data(model.index(1, 0, dbIndex), Qt::DecorationRole));
    const QImage group = iconImage(model.data(model.index(2, 0, dbIndex), Qt::DecorationRole));
    const QImage nobody = iconImage(model.data(model.index(3, 0, dbIndex), Qt::DecorationRole));
    EXPECT_EQ(bob, nobody);
    EXPECT_NE(ann, bob);
    EXPECT_NE(group, bob);
    const QColor centre = ann.pixelColor(9, 4);
    EXPECT_GT(centre.red(), 200);
    EXPECT_LT(centre.green(), 60);

    QList<_ChatSessionItemNode *> chats = model.chatNodes();
    ASSERT_EQ(chats.size(), 4);
    EXPECT_EQ(sourceNodeOf(chats[1]), db);

    // Dropping and removing: the nodes leave the tree.
    model.dropChats(db);
    EXPECT_EQ(model.rowCount(dbIndex), 0);
    EXPECT_TRUE(db->chats.isEmpty());
    model.removeNode(db);
    EXPECT_FALSE(model.contains(db));
    EXPECT_EQ(model.rowCount(model.index(1, 0)), 0);
    model.removeNode(model.localDbGroup()); // group nodes stay
    EXPECT_EQ(model.rowCount(), 2);
}

TEST(ItemModelMain, DataSetOutlivesTheNodeWhileSomeoneHoldsIt)
{
    TreeData data;
    std::weak_ptr<KikDataSet> watch = data.set;
    ItemModelMain model;
    _LocalDbItemNode *db = model.addLocalDb(QStringLiteral("Archive"));
    db->dataSet = std::move(data.set);
    model.attachChats(db, {data.ann});
    KikDataSetPtr holder = db->dataSet; // as a view or a job holds it
    model.removeNode(db);
    ASSERT_FALSE(watch.expired());
    EXPECT_EQ(holder->messages.size(), 3);
    holder.reset();
    EXPECT_TRUE(watch.expired());
}

TEST(ItemModelSms, ColumnsRolesAndColours)
{
    TreeData data;
    ItemModelSms model;
    EXPECT_EQ(model.columnCount(), 4);
    const QStringList headers{QStringLiteral("Date"), QStringLiteral("Flag"), QStringLiteral("Contact"),
                              QStringLiteral("Content")};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(model.headerData(i, Qt::Horizontal, Qt::DisplayRole).toString(), headers[i]);
    EXPECT_FALSE(model.headerData(4, Qt::Horizontal, Qt::DisplayRole).isValid());
    EXPECT_FALSE(model.headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());
    EXPECT_FALSE(model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

    KikMessageList list{data.set->message(100), data.set->message(101), data.set->message(102)};
    list[1]->target_user = data.set->user(2);
    int reset = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++reset; });
    model.setMessages(list);
    EXPECT_EQ(reset, 1);
    ASSERT_EQ(model.rowCount(), 3);
    const _KikMessage *first = list[0];
    EXPECT_EQ(model.data(model.index(0, 0)).toString(),
              QLocale::system().toString(first->ts.toLocalTime(), QLocale::ShortFormat));
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("From"));
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), QStringLiteral("To"));
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), QStringLiteral("Ann"));
    EXPECT_EQ(model.data(model.index(1, 2)).toString(), QStringLiteral("Bob")); // target user first
    EXPECT_EQ(model.data(model.index(2, 2)).toString(), QStringLiteral("Unknown"));
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), QStringLiteral("hello"));
    EXPECT_EQ(model.data(model.index(0, 3), Qt::ToolTipRole).toString(), QStringLiteral("hello"));
    EXPECT_EQ(model.data(model.index(1, 0), Qt::BackgroundRole).value<QColor>(), QColor(245, 255, 226));
    EXPECT_EQ(model.data(model.index(0, 0), Qt::BackgroundRole).value<QColor>(), QColor(Qt::white));
    EXPECT_EQ(model.data(model.index(0, 0), Qt::SizeHintRole).toSize(), QSize(0, 23));
    const QImage received = iconImage(model.data(model.index(0, 0), Qt::DecorationRole));
    const QImage sent = iconImage(model.data(model.index(1, 0), Qt::DecorationRole));
    EXPECT_FALSE(received.isNull());
    EXPECT_NE(received, sent);
    EXPECT_FALSE(model.data(model.index(0, 1), Qt::DecorationRole).isValid());
    EXPECT_FALSE(model.index(3, 0).isValid());
    EXPECT_FALSE(model.index(0, 4).isValid());
    EXPECT_EQ(model.rowIndex(2).row(), 2);
    EXPECT_EQ(model.messageAt(5), nullptr);
}

TEST(Views, ReportSelectionAndContextMenuRequests)
{
    QStandardItemModel model;
    model.appendRow(new QStandardItem(QStringLiteral("one")));
    model.appendRow(new QStandardItem(QStringLiteral("two")));
    MyTreeView tree;
    MyListView list;
    tree.setModel(&model);
    list.setModel(&model);
    for (QAbstractItemView *view :
         {static_cast<QAbstractItemView *>(&tree), static_cast<QAbstractItemView *>(&list)}) {
        view->resize(200, 200);
        view->show();
    }
    QList<int> treeSelected;
    int listSelected = 0, treeMenu = 0, listMenu = 0;
    QObject::connect(
        &tree, &MyTreeView::onSelectionChanged,
        [&](const QItemSelection &s, const QItemSelection &) { treeSelected << s.indexes().first().row(); });
    QObject::connect(&list, &MyListView::onSelectionChanged, [&] { ++listSelected; });
    QObject::connect(&tree, &MyTreeView::createContextMenu, [&] { ++treeMenu; });
    QObject::connect(&list, &MyListView::createContextMenu, [&] { ++listMenu; });
    tree.setCurrentIndex(model.index(1, 0));
    list.setCurrentIndex(model.index(0, 0));
    EXPECT_EQ(treeSelected, QList<int>{1});
    EXPECT_EQ(listSelected, 1);

    const QPoint at(5, 5);
    QContextMenuEvent treeEvent(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree.viewport(), &treeEvent);
    QContextMenuEvent listEvent(QContextMenuEvent::Mouse, at, list.viewport()->mapToGlobal(at));
    QApplication::sendEvent(list.viewport(), &listEvent);
    EXPECT_EQ(treeMenu, 1);
    EXPECT_EQ(listMenu, 1);
    EXPECT_EQ(tree.lastContextMenuPos(), at);
    EXPECT_EQ(list.lastContextMenuPos(), at);
}
