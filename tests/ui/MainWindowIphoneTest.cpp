// The iPhone flows of the window against an emulated iPhone behind an
// emulated usbmuxd that the real libimobiledevice talks to.
#include "MainWindowFixture.h"

#include "ios/gui/PasscodeDlg.h"
#include "jobs/gui/ProgressForm.h"
#include "support/IphoneEmulator.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QSet>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kNotes = QStringLiteral(
    "<p><b>Notes:</b></p><p><nobr><b>1.</b>  If your iPhone is protected with a passcode, please enter "
    "your passcode on iPhone first.</nobr></p><p><nobr><b>2.</b>  Please make sure you have installed and "
    "verified Kik on your iPhone.</nobr></p>");

// The program's device stack, noting the handles the window asks about.
class WatchedStack : public MobileDeviceStack
{
public:
    void subscribe(QObject *receiver) override { mobileDeviceStack().subscribe(receiver); }
    void unsubscribe(QObject *receiver) override { mobileDeviceStack().unsubscribe(receiver); }
    QStringList deviceIds() override { return mobileDeviceStack().deviceIds(); }
    MobileDevicePtr device(const QString &udid) override { return mobileDeviceStack().device(udid); }
    MobileDevicePtr deviceForHandle(void *handle) override
    {
        handles << handle;
        return mobileDeviceStack().deviceForHandle(handle);
    }
    QList<void *> handles;
};

class MainWindowIphoneTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        m_app = m_work.filePath(QStringLiteral("com.kik.chat"));
        python(QStringLiteral("make_ios_kik_store.py"),
               {m_app, m_work.filePath(QStringLiteral("expected.json"))});
    }

    // The phone: Kik's container served from the fixture store, or refused
    // with a device backup of the store served instead.
    QJsonObject phone(const QString &backupKind = QString())
    {
        QJsonObject d{{QStringLiteral("udid"), kUdid},
                      {QStringLiteral("name"), QStringLiteral("Emu iPhone")},
                      {QStringLiteral("product_type"), QStringLiteral("iPhone12,1")},
                      {QStringLiteral("product_version"), QStringLiteral("16.7")},
                      {QStringLiteral("kik_container"), m_app}};
        if (!backupKind.isEmpty()) {
            const QString source = m_work.filePath(QStringLiteral("backup-source"));
            python(QStringLiteral("make_ios_kik_backup.py"),
                   {m_app, source, backupKind, QStringLiteral("--place"), QStringLiteral("app")});
            d.insert(QStringLiteral("kik_container"), QJsonValue::Null);
            d.insert(QStringLiteral("backup_source"), source);
            if (backupKind.endsWith(QLatin1String("-enc")))
                d.insert(QStringLiteral("will_encrypt"), true);
        }
        return d;
    }

    bool startEmulator(const QJsonArray &devices)
    {
        if (!m_emu.start(QJsonObject{{QStringLiteral("devices"), devices}}, 300)) {
            ADD_FAILURE() << m_emu.errorOutput().constData();
            return false;
        }
        m_emu.applyToThisProcess();
        return true;
    }

    // The uids of the store's messages and its chats that hold any, as the
    // fixture builder wrote them down.
    QSet<QString> expectedUids() const
    {
        QFile file(m_work.filePath(QStringLiteral("expected.json")));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QJsonObject messages =
            QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("messages")).toObject();
        QSet<QString> uids;
        for (const QJsonValue &m : messages)
            uids.insert(m.toObject().value(QStringLiteral("uid")).toString());
        return uids;
    }
    int expectedChatsWithMessages() const
    {
        QFile file(m_work.filePath(QStringLiteral("expected.json")));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QJsonObject chats =
            QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("chats")).toObject();
        int count = 0;
        for (const QJsonValue &chat : chats)
            count += chat.toObject().value(QStringLiteral("messages")).toArray().isEmpty() ? 0 : 1;
        return count;
    }

    _IOSDeviceItemNode *connectedIphone()
    {
        for (_IOSDeviceItemNode *node : tree().iPhones()) {
            if (node->device.handle)
                return node;
        }
        return nullptr;
    }

    // Opens the window on the emulated phone and waits until its node shows.
    _IOSDeviceItemNode *arrive(ModalScript &script, MobileDeviceStack *stack = nullptr)
    {
        withIosMonitor = true;
        iosStack = stack;
        open();
        waitFor([&] { return connectedIphone() && script.done(); }, 120000);
        return connectedIphone();
    }

    void expectTheStoresChats(_IOSDeviceItemNode *node)
    {
        QSet<QString> shown;
        for (const _KikMessage *m : node->allMessages())
            shown.insert(m->uid);
        EXPECT_EQ(shown, expectedUids());
        EXPECT_EQ(node->children.size(), expectedChatsWithMessages());
    }

    QTemporaryDir m_work;
    QString m_app;
    IphoneEmulator m_emu;
    WatchedStack m_watched; // outlives the window
};

} // namespace

TEST_F(MainWindowIphoneTest, AnIphoneArrivesWithItsChatsAndItsNodeGoesWhenItIsUnplugged)
{
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    ASSERT_TRUE(startEmulator({phone()}));
    _IOSDeviceItemNode *node = nullptr;
    {
        ModalScript script;
        script.box();
        node = arrive(script);
        ASSERT_NE(node, nullptr) << m_emu.errorOutput().constData();
        EXPECT_EQ(script.boxes, QStringList{kNotes});
        EXPECT_TRUE(script.unexpected.isEmpty()) << script.unexpected.join(QLatin1Char('|')).toStdString();
    }
    EXPECT_EQ(node->device.uniqueDeviceId, kUdid);
    EXPECT_EQ(node->device.deviceName, QStringLiteral("Emu iPhone"));
    EXPECT_EQ(node->device.productType, QStringLiteral("iPhone12,1"));
    EXPECT_EQ(node->device.productVersion, QStringLiteral("16.7"));
    expectTheStoresChats(node);
    // The new node is selected and its messages are listed.
    EXPECT_EQ(AbsTreeItemModel::nodeOf(treeView()->currentIndex()), node);
    EXPECT_EQ(sms().rowCount(), node->allMessages().size());
    EXPECT_EQ(tree().iPhones().size(), 2);

    // Unplugged while one of its chats is shown: the node goes, the lists
    // are cleared, the virtual phone stays.
    select(node->children.first());
    ASSERT_TRUE(m_emu.detach(kUdid));
    EXPECT_TRUE(waitFor([&] { return connectedIphone() == nullptr; }, 30000));
    EXPECT_EQ(countText(), QStringLiteral("Messages: 0"));
    EXPECT_EQ(sms().rowCount(), 0);
    ASSERT_EQ(tree().iPhones().size(), 1);
    EXPECT_EQ(tree().iPhones().first()->text, QStringLiteral("DemoPhone"));

    // Plugged in again: one node again.
    ModalScript again;
    again.box();
    ASSERT_TRUE(m_emu.attach(phone()));
    EXPECT_TRUE(waitFor([&] { return connectedIphone() && again.done(); }, 60000));
    EXPECT_TRUE(again.unexpected.isEmpty()) << again.unexpected.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(tree().iPhones().size(), 2);
}

TEST_F(MainWindowIphoneTest, ARefusedContainerIsReadFromADeviceBackup)
{
    ASSERT_TRUE(startEmulator({phone(QStringLiteral("db"))}));
    ModalScript script;
    script.box();
    _IOSDeviceItemNode *node = arrive(script);
    ASSERT_NE(node, nullptr) << m_emu.errorOutput().constData();
    EXPECT_TRUE(script.unexpected.isEmpty()) << script.unexpected.join(QLatin1Char('|')).toStdString();
    expectTheStoresChats(node);
}

TEST_F(MainWindowIphoneTest, AnEncryptedDeviceBackupAsksForItsPassword)
{
    ASSERT_TRUE(startEmulator({phone(QStringLiteral("db-enc"))}));
    ModalScript script;
    bool asked = false;
    script.box().on<PasscodeDlg>([&](PasscodeDlg *dialog) {
        asked = true;
        dialog->passwordField()->setText(QStringLiteral("secret"));
        dialog->btnOKPressed();
    });
    _IOSDeviceItemNode *node = arrive(script);
    ASSERT_NE(node, nullptr) << script.unexpected.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(script.unexpected.isEmpty()) << script.unexpected.join(QLatin1Char('|')).toStdString();
    expectTheStoresChats(node);
}

TEST_F(MainWindowIphoneTest, ClearCacheRemovesTheDeviceBackupWorkFolder)
{
    ASSERT_TRUE(startEmulator({phone(QStringLiteral("db"))}));
    {
        ModalScript script;
        script.box();
        ASSERT_NE(arrive(script), nullptr);
    }
    const QString work = rootPath(QStringLiteral("__velloran_iosbk_temp"));
    const QString cache = rootPath(QStringLiteral("ios_cache/") + kUdid);
    ASSERT_TRUE(QFileInfo::exists(work));
    ASSERT_TRUE(QFileInfo::exists(cache));
    ModalScript clear;
    clear.box();
    trigger("miClearCache", clear);
    EXPECT_EQ(clear.boxes, QStringList{QStringLiteral("Successfully cleared cache files.")});
    EXPECT_FALSE(QFileInfo::exists(work));
    EXPECT_FALSE(QFileInfo::exists(cache));
}

TEST_F(MainWindowIphoneTest, APhoneThatLeavesWhileItIsReadGetsNoNode)
{
    ASSERT_TRUE(startEmulator({phone()}));
    WatchedStack &stack = m_watched;
    ModalScript script;
    // Its removal comes while its Kik data is copied; the copy goes on (the
    // emulated phone still answers) but its result is dropped.
    script.box().on<ProgressForm>([&](ProgressForm *) {
        ASSERT_FALSE(stack.handles.isEmpty());
        window().iosDeviceDisconnected(stack.handles.first());
    });
    withIosMonitor = true;
    iosStack = &stack;
    open();
    const QString cached =
        rootPath(QStringLiteral("ios_cache/") + kUdid + QStringLiteral("/com.kik.chat/Documents/kik.sqlite"));
    // Checked outside the arrival's own dialogs: once the copy is there and
    // no dialog is open, the arrival has ended.
    ASSERT_TRUE(waitFor(
        [&] { return script.done() && QFileInfo::exists(cached) && !QApplication::activeModalWidget(); },
        60000));
    EXPECT_TRUE(script.unexpected.isEmpty()) << script.unexpected.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(connectedIphone(), nullptr);
    EXPECT_TRUE(tree().iPhones().isEmpty());
}
