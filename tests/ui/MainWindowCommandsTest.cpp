#include "MainWindowFixture.h"

#include "app/Translation.h"
#include "model/KikLocalDb.h"
#include "ui/AboutUsForm.h"
#include "ui/DataSourceSelForm.h"
#include "ui/MyListView.h"
#include "view/ExportTarget.h"
#include "view/gui/KikBubbleViewMgr.h"
#include "view/gui/KikMsgPrinter.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPrintPreviewDialog>

namespace {

// Chooses a file name and a filter in the export dialog.
ModalScript::Step saveAs(const QString &path, const QString &filter, QStringList *seen = nullptr)
{
    return [=](QWidget *w) {
        auto *dlg = qobject_cast<QFileDialog *>(w);
        if (!dlg)
            return false;
        if (seen)
            *seen = QStringList{dlg->windowTitle(), dlg->nameFilters().join(QStringLiteral(";;")),
                                QFileInfo(dlg->selectedFiles().value(0)).fileName()};
        // The dialog loads folders in the background and may change its
        // choice when a folder has loaded: accept only once it holds ours.
        auto attempt = std::make_shared<std::function<void(int)>>();
        QPointer<QFileDialog> guard(dlg);
        *attempt = [guard, path, filter, attempt](int left) {
            if (!guard)
                return;
            guard->selectNameFilter(filter);
            // Typed into the name field, as a user does.
            if (auto *edit = guard->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                edit->setText(path);
            if ((guard->selectedFiles().value(0) == path && guard->selectedNameFilter() == filter)
                || left == 0) {
                QMetaObject::invokeMethod(guard, "accept");
                return;
            }
            QTimer::singleShot(20, guard, [attempt, left] { (*attempt)(left - 1); });
        };
        QTimer::singleShot(50, dlg, [attempt] { (*attempt)(100); });
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

TEST_F(MainWindowTest, ExportsInEachFormatThroughItsSaveDialog)
{
    makeLocalDb(QStringLiteral("Archive"));
    open();
    select(tree().findLocalDb(QStringLiteral("Archive")));
    const QStringList filters = ExportTargets::filters();
    ASSERT_EQ(filters.size(), 5);
    const QString out = rootPath(QStringLiteral("exports"));
    QDir().mkpath(out);
    for (int i = 0; i < filters.size(); ++i) {
        QStringList seen;
        ModalScript script;
        script.then(saveAs(QDir(out).filePath(QStringLiteral("out%1").arg(i)), filters[i], &seen)).box();
        trigger("miExportToolbar", script);
        EXPECT_EQ(script.boxes.value(0), ids("IDS_SUC_EXPORT_%1_MMS").arg(3)) << i;
        EXPECT_TRUE(script.unexpected.isEmpty()) << script.unexpected.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(seen.value(0), QStringLiteral("Please select Save Path for messages."));
        EXPECT_EQ(seen.value(1), QStringLiteral("Text Files(*.txt);;Doc Files(*.doc);;CSV Files(*.csv);;"
                                                "PDF Files(*.pdf);;HTML Files(*.html)"));
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("^chats\\(\\d{8}-\\d{6}\\)")).match(seen.value(2)).hasMatch())
            << seen.value(2).toStdString();
    }
    const QDir dir(out);
    EXPECT_TRUE(TestSupport::readFile(dir.filePath(QStringLiteral("out0.txt"))).contains("Hello Ann"));
    EXPECT_TRUE(TestSupport::readFile(dir.filePath(QStringLiteral("out1.doc"))).contains("group hello"));
    EXPECT_TRUE(TestSupport::readFile(dir.filePath(QStringLiteral("out2.csv"))).contains("group hello"))
        << dir.entryList().join(QLatin1Char(',')).toStdString() << " "
        << TestSupport::readFile(dir.filePath(QStringLiteral("out2.csv"))).toStdString();
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("out3-pdf"))).entryList({QStringLiteral("*.pdf")}).size(), 2);
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("out4-html"))).entryList({QStringLiteral("*.html")}).size(),
              2);

    // The selected messages only (the message list's own entry).
    selectRows({2});
    ModalScript one;
    one.then(saveAs(dir.filePath(QStringLiteral("one.txt")), filters[0])).box();
    trigger("miExport", one);
    const QByteArray text = TestSupport::readFile(dir.filePath(QStringLiteral("one.txt")));
    EXPECT_TRUE(text.contains("group hello"));
    EXPECT_FALSE(text.contains("Hello Ann"));
}

TEST_F(MainWindowTest, AnExportPathThatCannotBeWrittenGivesAnErrorAndTheWindowGoesOn)
{
    makeLocalDb(QStringLiteral("Archive"));
    open();
    select(tree().findLocalDb(QStringLiteral("Archive")));
    TestSupport::writeFile(rootPath(QStringLiteral("blocker")), "a file, not a folder");
    {
        ModalScript script;
        script.then(saveAs(rootPath(QStringLiteral("blocker/inside/out.csv")), ExportTargets::filters()[2]))
            .box();
        trigger("miExportAll", script);
        ASSERT_EQ(script.boxes.size(), 1);
        EXPECT_TRUE(script.boxes[0].startsWith(QStringLiteral("An Error Occurred.")))
            << script.boxes[0].toStdString();
    }
    EXPECT_EQ(TestSupport::readFile(rootPath(QStringLiteral("blocker"))), QByteArray("a file, not a folder"));
    select(childNamed(tree().findLocalDb(QStringLiteral("Archive")), QStringLiteral("Ann Example")));
    EXPECT_EQ(countText(), QStringLiteral("Messages: 2"));
}

TEST_F(MainWindowTest, PrintsTheChosenMessagesInAPreview)
{
    makeLocalDb(QStringLiteral("Archive"));
    open();
    _ItemNode *archive = tree().findLocalDb(QStringLiteral("Archive"));
    select(archive);
    select(childNamed(archive, QStringLiteral("Ann Example")));
    ModalScript script;
    bool previewed = false;
    script.on<QPrintPreviewDialog>([&](QPrintPreviewDialog *d) {
        previewed = true;
        d->reject();
    });
    trigger("miPrintChat", script);
    EXPECT_TRUE(previewed);
    ASSERT_EQ(window().printer()->messages().size(), 2);
    EXPECT_EQ(window().printer()->messages()[0]->body, QStringLiteral("Hello Ann ✓"));
}

TEST_F(MainWindowTest, DeletesMessagesAChatAndADatabase)
{
    makeLocalDb(QStringLiteral("Archive"));
    open();
    const QString folder = rootPath(QStringLiteral("local_databases/Archive"));
    select(tree().findLocalDb(QStringLiteral("Archive")));
    selectRows({0});
    {
        ModalScript no;
        no.box(QMessageBox::No);
        trigger("miDeleteToolbar", no);
        EXPECT_EQ(no.boxes, QStringList{ids("IDS_CONFIRM_DEL_SEL_MESSAGES")});
    }
    EXPECT_EQ(messagesOnDisk(folder), 3);
    {
        // A second start of the same delete while the first asks is refused.
        ModalScript yes;
        yes.then([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box)
                return false;
            yes.boxes << box->text();
            window().action(QStringLiteral("miDeleteToolbar"))->trigger();
            window().action(QStringLiteral("miDelete"))->trigger();
            box->done(QMessageBox::Yes);
            return true;
        });
        trigger("miDeleteToolbar", yes);
        EXPECT_EQ(yes.boxes.size(), 1);
        EXPECT_TRUE(yes.unexpected.isEmpty()) << yes.unexpected.join(QLatin1Char('|')).toStdString();
    }
    EXPECT_EQ(messagesOnDisk(folder), 2);
    EXPECT_EQ(countText(), QStringLiteral("Messages: 2"));

    _LocalDbItemNode *archive = tree().findLocalDb(QStringLiteral("Archive"));
    _ItemNode *group = childNamed(archive, QStringLiteral("Fellows"));
    ASSERT_NE(group, nullptr);
    select(group);
    {
        ModalScript yes;
        yes.box(QMessageBox::Yes);
        trigger("miDeleteChat", yes);
        EXPECT_EQ(yes.boxes, QStringList{ids("IDS_CONFIRM_DEL_THIS_CHAT")});
    }
    archive = tree().findLocalDb(QStringLiteral("Archive"));
    EXPECT_EQ(archive->children.size(), 1);
    EXPECT_EQ(childNamed(archive, QStringLiteral("Fellows")), nullptr);
    EXPECT_EQ(messagesOnDisk(folder), 1);

    select(archive->children.first());
    {
        ModalScript yes;
        yes.box(QMessageBox::Yes).box();
        trigger("miDeleteAll", yes);
        EXPECT_EQ(yes.boxes, (QStringList{ids("IDS_CONFIRM_DEL_THIS_LOCALDB"), ids("IDS_DEL_LOCALDB_SUC")}));
    }
    EXPECT_EQ(tree().findLocalDb(QStringLiteral("Archive")), nullptr);
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(countText(), QStringLiteral("Messages: 0"));
    EXPECT_EQ(sms().rowCount(), 0);
    EXPECT_EQ(window().bubbleView()->pageCount(), 0);
}

TEST_F(MainWindowTest, RemovingAPhoneWhileItsChatIsShownClearsTheListsAndFreesItsData)
{
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    open();
    _IOSDeviceItemNode *phone = tree().iPhones().first();
    std::weak_ptr<KikDataSet> data = phone->dataSet;
    select(phone->children.first());
    ASSERT_GT(sms().rowCount(), 0);
    int handle = 0;
    phone->device.handle = &handle;          // as a connected phone has
    window().iosDeviceDisconnected(nullptr); // no handle: nothing leaves
    ASSERT_EQ(tree().iPhones().size(), 1);
    window().iosDeviceDisconnected(&handle);
    EXPECT_TRUE(tree().iPhones().isEmpty());
    EXPECT_EQ(sms().rowCount(), 0);
    EXPECT_EQ(countText(), QStringLiteral("Messages: 0"));
    EXPECT_EQ(window().bubbleView()->pageCount(), 0);
    EXPECT_TRUE(data.expired());
    for (const QString &state : actionStates())
        EXPECT_TRUE(state.endsWith(QLatin1String("=0"))) << state.toStdString();
}

TEST_F(MainWindowTest, ClearsCacheAndOpensFoldersPagesAndAbout)
{
    makeVirtualIPhone(QStringLiteral("DemoPhone"));
    makeVirtualAndroid(QStringLiteral("Pixel"));
    TestSupport::writeFile(rootPath(QStringLiteral("ios_cache/abc/com.kik.chat/x")), "x");
    TestSupport::writeFile(rootPath(QStringLiteral("android_cache/serial/ab-extract/y")), "y");
    open();
    {
        ModalScript script;
        script.box();
        trigger("miClearCache", script);
        EXPECT_EQ(script.boxes, QStringList{ids("IDS_SUC_CLEAR_CACHE")});
    }
    EXPECT_FALSE(QFileInfo::exists(rootPath(QStringLiteral("ios_cache/abc"))));
    EXPECT_FALSE(QFileInfo::exists(rootPath(QStringLiteral("android_cache/serial"))));
    EXPECT_EQ(tree().iPhones().size(), 1); // the phones stay listed

    trigger("miOpenDBFolder", *std::make_unique<ModalScript>());
    select(tree().iPhones().first());
    window().action(QStringLiteral("miViewIOSCacheFiles"))->trigger();
    select(tree().androids().first());
    window().action(QStringLiteral("miViewAndroidCacheFiles"))->trigger();
    ASSERT_EQ(openedFolders.size(), 3);
    EXPECT_EQ(QDir(openedFolders[0]), QDir(rootPath(QStringLiteral("local_databases"))));
    EXPECT_EQ(QDir::cleanPath(openedFolders[1]),
              QDir::cleanPath(rootPath(QStringLiteral("ios_cache/DemoPhone"))));
    EXPECT_EQ(QDir::cleanPath(openedFolders[2]),
              QDir::cleanPath(rootPath(QStringLiteral("android_cache/Pixel"))));

    window().action(QStringLiteral("miHelp"))->trigger();
    window().action(QStringLiteral("miFeedback"))->trigger();
    window().action(QStringLiteral("miHome"))->trigger();
    ASSERT_EQ(openedUrls.size(), 3);
    ASSERT_TRUE(openedUrls[0].isLocalFile());
    const QByteArray help = TestSupport::readFile(openedUrls[0].toLocalFile());
    for (const char *topic : {"id=\"iphone\"", "id=\"usb-debugging\"", "id=\"root\"", "id=\"data-folder\"",
                              "id=\"safety-copies\"", "dbfiles-before-restore"})
        EXPECT_TRUE(help.contains(topic)) << topic;
    EXPECT_EQ(openedUrls[1].scheme(), QStringLiteral("https"));
    EXPECT_EQ(openedUrls[2], QUrl(QString::fromLatin1(MainWindow::kHomeUrl)));

    QString versions;
    bool frameless = false;
    ModalScript about;
    about.on<AboutUsForm>([&](AboutUsForm *f) {
        versions = f->findChild<QLabel *>(QStringLiteral("lbVersions"))->text();
        frameless = f->windowFlags().testFlag(Qt::FramelessWindowHint);
        f->accept();
    });
    trigger("miAbout", about);
    EXPECT_TRUE(frameless);
    EXPECT_TRUE(versions.startsWith(QStringLiteral("velloran-kik ") + QStringLiteral(VELLORAN_VERSION)));
    for (const char *lib : {"libarchive ", "mbedtls ", "openssl ", "qt ", "sqlite ", "zlib "})
        EXPECT_TRUE(versions.contains(QString::fromLatin1(lib))) << lib;
}

TEST_F(MainWindowTest, TransferAsksForTheTargetPhoneAndCancelEndsIt)
{
    makeLocalDb(QStringLiteral("Archive"));
    makeVirtualAndroid(QStringLiteral("Pixel"));
    open();
    select(tree().findLocalDb(QStringLiteral("Archive")));
    QStringList listed;
    QString title;
    ModalScript script;
    script.on<DataSourceSelForm>([&](DataSourceSelForm *f) {
        title = f->findChild<QLabel *>(QStringLiteral("lbTitle"))->text();
        for (int row = 0; row < f->list()->model()->rowCount(); ++row)
            listed << f->list()->model()->index(row, 0).data().toString();
        f->reject();
    });
    trigger("miDb2aToolbar", script);
    EXPECT_EQ(title, ids("IDS_SEL_ONE_ANDROID_DEVICE"));
    EXPECT_EQ(listed, QStringList{QStringLiteral("Pixel")});
    EXPECT_TRUE(script.unexpected.isEmpty());
}

TEST_F(MainWindowTest, TheUsbTipShowsWhenNoAndroidPhoneIsThere)
{
    open();
    ModalScript script;
    script.box();
    window().androidUsbTips();
    ASSERT_TRUE(script.waitDone(5000));
    ASSERT_EQ(script.boxes.size(), 1);
    EXPECT_TRUE(script.boxes[0].startsWith(QStringLiteral("<b>Android device not found.</b><br/><br/>")));
    EXPECT_TRUE(script.boxes[0].contains(QStringLiteral("VelloranDeviceManager.exe")));
}
