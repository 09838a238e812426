// The Android flows of the window against an emulated phone reached by the
// real adb client.
#include "MainWindowFixture.h"

#include "android/AndroidOffline.h"
#include "app/Translation.h"
#include "support/AdbEmulator.h"
#include "ui/DataSourceSelForm.h"
#include "ui/MyListView.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

namespace {

// The uids in a phone's Kik database as it is now in the emulator's folder.
QSet<QString> phoneUids(const QString &phoneRoot, const QString &work)
{
    QDir(work).removeRecursively();
    QDir().mkpath(work + QStringLiteral("/apps/kik.android/db"));
    for (const QString &ending : {QString(), QStringLiteral("-wal")}) {
        const QString from =
            phoneRoot + QStringLiteral("/data/data/kik.android/databases/kikDatabase.db") + ending;
        if (QFileInfo::exists(from))
            QFile::copy(from, work + QStringLiteral("/apps/kik.android/db/kikDatabase.db") + ending);
    }
    QSet<QString> uids;
    const AndroidLoaded loaded = loadAndroidTree(QDir(work));
    for (const _KikMessage *m : std::as_const(loaded.data->messages))
        uids.insert(m->uid);
    return uids;
}

} // namespace

TEST_F(MainWindowTest, AnAndroidPhoneArrivesIsLoadedReceivesAnIPhonesChatsAndLeaves)
{
    if (!QFileInfo(AdbEmulator::adbProgram()).isExecutable())
        GTEST_SKIP() << "the adb client is not installed";
    QTemporaryDir phones;
    const QString phoneRoot = phones.filePath(QStringLiteral("HELPER1"));
    ASSERT_TRUE(AdbEmulator::makeKikPhone(phoneRoot));
    QJsonObject phone = AdbEmulator::phone(QStringLiteral("HELPER1"), phoneRoot, true);
    phone.insert(QStringLiteral("helper"), QStringLiteral("installed"));
    phone.insert(QStringLiteral("sdk"), 29);
    phone.insert(QStringLiteral("release"), QStringLiteral("10"));
    AdbEmulator emulator;
    ASSERT_TRUE(emulator.start({{QStringLiteral("phones"), QJsonArray{phone}}}, 300))
        << emulator.errorText().toStdString();
    emulator.applyToThisProcess();
    const QSet<QString> before = phoneUids(phoneRoot, phones.filePath(QStringLiteral("read")));
    ASSERT_FALSE(before.isEmpty());

    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    withAndroidMonitor = true;
    {
        // The monitor reports the phone; the window connects and loads it.
        ModalScript arrival;
        open();
        ASSERT_TRUE(waitFor(
            [&] {
                for (_AndroidDeviceItemNode *n : tree().androids()) {
                    if (n->connected && !n->children.isEmpty())
                        return true;
                }
                return false;
            },
            60000));
        EXPECT_TRUE(arrival.unexpected.isEmpty()) << arrival.unexpected.join(QLatin1Char('|')).toStdString();
    }
    _AndroidDeviceItemNode *android = tree().androids().first();
    EXPECT_EQ(android->device.serial, QStringLiteral("HELPER1"));
    EXPECT_EQ(AbsTreeItemModel::nodeOf(treeView()->currentIndex()), android);
    EXPECT_EQ(sms().rowCount(), before.size());

    // Every chat of the iPhone onto the phone.
    _IOSDeviceItemNode *iphone = tree().iPhones().first();
    select(iphone);
    QSet<QString> sent;
    for (const _KikMessage *m : iphone->allMessages())
        sent.insert(m->uid);
    EXPECT_EQ(actionStates()[1], QStringLiteral("miI2aToolbar=1"));
    {
        QStringList listed;
        ModalScript script;
        script
            .on<DataSourceSelForm>([&](DataSourceSelForm *f) {
                for (int row = 0; row < f->list()->model()->rowCount(); ++row)
                    listed << f->list()->model()->index(row, 0).data().toString();
                f->btnOKPressed();
            })
            .box();
        trigger("miI2aToolbar", script);
        ASSERT_TRUE(script.waitDone(120000));
        EXPECT_EQ(listed, QStringList{android->text});
        EXPECT_EQ(script.boxes.value(0), ids("IDS_SUC_RESTORE_%1_TO_ANDROID").arg(sent.size()));
        EXPECT_TRUE(script.unexpected.isEmpty()) << script.unexpected.join(QLatin1Char('|')).toStdString();
    }
    const QSet<QString> after = phoneUids(phoneRoot, phones.filePath(QStringLiteral("read2")));
    EXPECT_TRUE(after.contains(before));
    EXPECT_TRUE(after.contains(sent));
    // The node shows the phone as it is now, and the safety copy was kept.
    android = tree().findAndroid(QStringLiteral("HELPER1"));
    ASSERT_NE(android, nullptr);
    EXPECT_EQ(android->dataSet->messages.size(), after.size());
    const QDir copies(android->device.cacheFolder().filePath(QStringLiteral("dbfiles-before-restore")));
    EXPECT_EQ(copies.entryList({QStringLiteral("*.dbdir")}, QDir::Dirs).size(), 1);

    // Unplugged: the node goes.
    select(android->children.first());
    ASSERT_TRUE(emulator.detach(QStringLiteral("HELPER1")));
    EXPECT_TRUE(waitFor([&] { return tree().androids().isEmpty(); }, 30000));
    EXPECT_EQ(countText(), QStringLiteral("Messages: 0"));
}

TEST_F(MainWindowTest, APhoneThatIsNotReadySaysWhatToTryAndIsNotListed)
{
    open();
    AdbDevice device;
    device.serial = QStringLiteral("R58M1234");
    device.state = QStringLiteral("unauthorized");
    ModalScript script;
    script.box();
    window().androidDeviceConnected(device);
    ASSERT_TRUE(script.waitDone(5000));
    ASSERT_EQ(script.boxes.size(), 1);
    EXPECT_TRUE(script.boxes[0].contains(QStringLiteral("Can't connect to your Android Phone.<br/><br/>")));
    EXPECT_TRUE(script.boxes[0].contains(QStringLiteral("3 Restart your Android Phone.<br/><br/>")));
    EXPECT_TRUE(script.boxes[0].contains(QStringLiteral("Error:unauthorized")));
    EXPECT_TRUE(tree().androids().isEmpty());
    window().androidDeviceDisconnected(device.serial); // unknown: nothing happens
    EXPECT_TRUE(tree().androids().isEmpty());
}

TEST_F(MainWindowTest, TheWifiDialogCanBeClosedWithoutConnecting)
{
    makeVirtualAndroid(QStringLiteral("Pixel"));
    open();
    ModalScript script;
    bool shown = false;
    script.then([&](QWidget *w) {
        if (w->objectName() != QLatin1String("AndroidWIFIForm"))
            return false;
        shown = true;
        static_cast<QDialog *>(w)->reject();
        return true;
    });
    trigger("miConnectWifi", script);
    EXPECT_TRUE(shown);
    EXPECT_EQ(tree().androids().size(), 1); // the virtual phone stays, nothing was added
    EXPECT_FALSE(tree().androids().first()->connected);
}
