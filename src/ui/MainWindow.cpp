// Widgets, actions, menus and start-up of the main window.
#include "ui/MainWindow.h"

#include "android/AndroidKikDb.h"
#include "android/AndroidKikPaths.h"
#include "android/AndroidMonitor.h"
#include "app/AppError.h"
#include "app/AppInfo.h"
#include "app/DataRoot.h"
#include "app/Platform.h"
#include "app/StyleSheet.h"
#include "app/Translation.h"
#include "gui/MessageBoxes.h"
#include "ios/IOSKikDb.h"
#include "model/KikLocalDb.h"
#include "model/LocalDatabases.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/MyTreeView.h"
#include "view/gui/KikBubbleViewMgr.h"
#include "view/gui/KikMsgPrinter.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWebEngineView>

const char *const MainWindow::kHomeUrl = "https://www.velloran.com/kik-transfer/";

MainWindow::MainWindow(QWidget *parent) : MainWindow(Options(), parent) {}

MainWindow::MainWindow(const Options &options, QWidget *parent) : QMainWindow(parent), m_options(options)
{
    openUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    openFolder = [](const QString &folder) { Platform::openInExplorer(folder); };
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(tr(AppInfo::kTitle));
    setStyleSheet(appStyleSheet());
    resize(1100, 700);
    buildWidgets();
    buildActions();
    startUp();
}

MainWindow::~MainWindow()
{
    // The monitor stops before the window whose slots it calls goes.
    delete m_androidMonitor;
    m_androidMonitor = nullptr;
    stopIosMonitor();
    // The views go before the models and the data they show.
    clearLists();
}

QAction *MainWindow::action(const QString &name) const
{
    return m_actions.value(name);
}

namespace {

QWidget *searchRow(QWidget *parent, QLineEdit **field, const char *fieldName, const char *buttonName,
                   QPushButton **button)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    *field = new QLineEdit(row);
    (*field)->setObjectName(QString::fromLatin1(fieldName));
    (*field)->setClearButtonEnabled(true);
    *button = new QPushButton(QObject::tr("Search"), row);
    (*button)->setObjectName(QString::fromLatin1(buttonName));
    layout->addWidget(*field);
    layout->addWidget(*button);
    return row;
}

} // namespace

void MainWindow::buildWidgets()
{
    m_mainModel = new ItemModelMain(this);
    m_smsModel = new ItemModelSms(this);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("splitterMain"));

    auto *left = new QWidget(splitter);
    auto *leftLayout = new QVBoxLayout(left);
    QPushButton *searchHandle = nullptr;
    leftLayout->addWidget(
        searchRow(left, &m_contactKeyword, "txtHandleKeyword", "btnSearchHandle", &searchHandle));
    m_tree = new MyTreeView(left);
    m_tree->setObjectName(QStringLiteral("treeViewDS"));
    m_tree->setHeaderHidden(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setModel(m_mainModel);
    leftLayout->addWidget(m_tree);

    auto *middle = new QWidget(splitter);
    auto *middleLayout = new QVBoxLayout(middle);
    QPushButton *searchSms = nullptr;
    middleLayout->addWidget(searchRow(middle, &m_smsKeyword, "txtSMSKeyword", "btnSearchSMS", &searchSms));
    m_smsList = new MyTreeView(middle);
    m_smsList->setObjectName(QStringLiteral("treeViewSMS"));
    m_smsList->setRootIsDecorated(false);
    m_smsList->setUniformRowHeights(true);
    m_smsList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_smsList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_smsList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_smsList->setDropIndicatorShown(true);
    m_smsList->setModel(m_smsModel);
    m_smsList->header()->setSortIndicatorShown(true);
    m_smsList->header()->setSectionsClickable(true);
    m_smsList->header()->setSortIndicator(0, Qt::AscendingOrder);
    m_smsList->setColumnWidth(0, 130);
    m_smsList->setColumnWidth(1, 40);
    m_smsList->setColumnWidth(2, 110);
    middleLayout->addWidget(m_smsList);
    m_smsCount = new QLabel(QStringLiteral("Messages: 0"), middle);
    m_smsCount->setObjectName(QStringLiteral("lbSMSCount"));
    middleLayout->addWidget(m_smsCount);

    auto *right = new QWidget(splitter);
    auto *rightLayout = new QVBoxLayout(right);
    m_conversation = new QLabel(right);
    m_conversation->setObjectName(QStringLiteral("lbConversation"));
    auto *header = new QHBoxLayout(m_conversation);
    header->setContentsMargins(4, 2, 4, 2);
    m_chatImg = new QLabel(m_conversation);
    m_chatImg->setObjectName(QStringLiteral("lbChatImg"));
    m_chatImg->setFixedSize(32, 32);
    m_chatImg->setScaledContents(true);
    m_chatName = new QLabel(m_conversation);
    m_chatName->setObjectName(QStringLiteral("lbChatName"));
    header->addWidget(m_chatImg);
    header->addWidget(m_chatName, 1);
    m_conversation->setMinimumHeight(38);
    rightLayout->addWidget(m_conversation);
    m_web = new QWebEngineView(right);
    m_web->setObjectName(QStringLiteral("webViewSMS"));
    rightLayout->addWidget(m_web, 1);
    m_bubbles = new KikBubbleViewMgr(m_web, this);
    m_web->setUrl(QUrl(QStringLiteral("about:blank")));
    m_printer = new KikMsgPrinter(this);

    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    splitter->setStretchFactor(2, 4);
    splitter->setSizes({240, 380, 480});
    setCentralWidget(splitter);

    auto *toolBar = new QToolBar(this);
    toolBar->setObjectName(QStringLiteral("mainToolBar"));
    toolBar->setMovable(false);
    addToolBar(Qt::TopToolBarArea, toolBar);
    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("statusBar"));
    setStatusBar(status);
    status->showMessage(QStringLiteral("Total: 0"));

    connect(m_tree, &MyTreeView::onSelectionChanged, this, &MainWindow::onMainTreeSelected);
    connect(m_tree, &MyTreeView::createContextMenu, this, &MainWindow::onMainTreeContextMenu);
    connect(m_smsList, &MyTreeView::onSelectionChanged, this, &MainWindow::onSMSItemSelected);
    connect(m_smsList, &MyTreeView::createContextMenu, this, &MainWindow::onSMSContextMenu);
    connect(m_smsList->header(), &QHeaderView::sortIndicatorChanged, this,
            &MainWindow::onSMSSortIndicatorChanged);
    connect(searchSms, &QPushButton::clicked, this, &MainWindow::searchMessages);
    connect(m_smsKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchMessages);
    connect(searchHandle, &QPushButton::clicked, this, &MainWindow::searchCotnact);
    connect(m_contactKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchCotnact);
}

QAction *MainWindow::makeAction(const char *name, const QString &text, void (MainWindow::*slot)())
{
    auto *action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, slot);
    m_actions.insert(action->objectName(), action);
    return action;
}

void MainWindow::buildActions()
{
    // Toolbar and main menu.
    QList<QAction *> commands{
        makeAction("miBackupToolbar", ids("IDS_MI_BACKUP_TOOLBAR"), &MainWindow::miBackupToolbar),
        makeAction("miI2aToolbar", ids("IDS_MI_I2A_TOOLBAR"), &MainWindow::miI2aToolbar),
        makeAction("miDb2aToolbar", ids("IDS_MI_DB2A_TOOLBAR"), &MainWindow::miDb2aToolbar),
        makeAction("miExportToolbar", ids("IDS_MI_EXPORT_TOOLBAR"), &MainWindow::miExportToolbar),
        makeAction("miPrintToolbar", ids("IDS_MI_PRINT_TOOLBAR"), &MainWindow::miPrintToolbar),
        makeAction("miDeleteToolbar", ids("IDS_MI_DELETE_TOOLBAR"), &MainWindow::miDeleteToolbar),
    };
    auto *toolBar = findChild<QToolBar *>(QStringLiteral("mainToolBar"));
    toolBar->addActions(commands);

    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    file->addActions(commands);
    file->addSeparator();
    file->addAction(
        makeAction("miImportiTunes", ids("IDS_MI_IMPORT_FROM_ITUNES"), &MainWindow::miImportiTunes));
    file->addAction(makeAction("miOpenDBFolder", ids("IDS_MI_OPEN_DB_FOLDER"), &MainWindow::miOpenDBFolder));
    file->addSeparator();
    auto *exit = new QAction(ids("IDS_MI_EXIT"), this);
    exit->setObjectName(QStringLiteral("miExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);
    m_actions.insert(exit->objectName(), exit);
    file->addAction(exit);

    QMenu *tools = menuBar()->addMenu(tr("&Tools"));
    tools->setObjectName(QStringLiteral("menuTools"));
    tools->addAction(makeAction("miClearCache", tr("Clear Cache Files"), &MainWindow::miClearCache));
    tools->addAction(makeAction("miConnectWifi", tr("Connect Android Phone via WiFi (Root Required)"),
                                &MainWindow::miConnectWifi));

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    help->addAction(makeAction("miHelp", ids("IDS_MI_HELP"), &MainWindow::miHelp));
    help->addAction(makeAction("miFeedback", ids("IDS_MI_FEEDBACK"), &MainWindow::miFeedback));
    help->addAction(makeAction("miHome", tr("Home Page"), &MainWindow::miHome));
    help->addSeparator();
    help->addAction(makeAction("miAbout", ids("IDS_MI_ABOUT"), &MainWindow::miAbout));

    // Context-menu commands (the menus are built when they open).
    makeAction("miImportiTunesToLocalDb", ids("IDS_MI_IMPORT_FROM_ITUNES"),
               &MainWindow::miImportiTunesToLocalDb);
    makeAction("miBackupAll", ids("IDS_MI_BACKUP_ALL"), &MainWindow::miBackupAll);
    makeAction("miBackupChat", ids("IDS_MI_BACKUP_CHAT"), &MainWindow::miBackupChat);
    makeAction("miBackup", ids("IDS_MI_BACKUP_SEL"), &MainWindow::miBackup);
    makeAction("miI2aAll", ids("IDS_MI_I2A_ALL"), &MainWindow::miI2aAll);
    makeAction("miI2aChat", ids("IDS_MI_I2A_CHAT"), &MainWindow::miI2aChat);
    makeAction("miI2a", ids("IDS_MI_I2A_SEL"), &MainWindow::miI2a);
    makeAction("miDb2aAll", ids("IDS_MI_DB2A_ALL"), &MainWindow::miDb2aAll);
    makeAction("miDb2aChat", ids("IDS_MI_DB2A_CHAT"), &MainWindow::miDb2aChat);
    makeAction("miDb2a", ids("IDS_MI_DB2A_SEL"), &MainWindow::miDb2a);
    makeAction("miExportAll", ids("IDS_MI_EXPORT_ALL"), &MainWindow::miExportAll);
    makeAction("miExportChat", ids("IDS_MI_EXPORT_CHAT"), &MainWindow::miExportChat);
    makeAction("miExport", ids("IDS_MI_EXPORT_SEL"), &MainWindow::miExport);
    makeAction("miPrintAll", ids("IDS_MI_PRINT_ALL"), &MainWindow::miPrintAll);
    makeAction("miPrintChat", ids("IDS_MI_PRINT_CHAT"), &MainWindow::miPrintChat);
    makeAction("miPrint", ids("IDS_MI_PRINT_SEL"), &MainWindow::miPrint);
    makeAction("miDeleteAll", ids("IDS_MI_DELETE_ALL"), &MainWindow::miDeleteAll);
    makeAction("miDeleteChat", ids("IDS_MI_DELETE_CHAT"), &MainWindow::miDeleteChat);
    makeAction("miDelete", ids("IDS_MI_DELETE_SEL"), &MainWindow::miDelete);
    makeAction("miUnmoutDevice", ids("IDS_MI_UNMOUNT_DEVICE"), &MainWindow::miUnmoutDevice);
    makeAction("miViewIOSCacheFiles", tr("View Cache Files"), &MainWindow::miViewIOSCacheFiles);
    makeAction("miViewAndroidCacheFiles", tr("View Cache Files"), &MainWindow::miViewAndroidCacheFiles);
    refreshToolbar();
}

void MainWindow::startUp()
{
    qRegisterMetaType<AdbDevice>();
    qRegisterMetaType<AndroidDevice>();
    if (m_options.androidMonitor) {
        m_androidMonitor = new AndroidMonitor(this);
        connect(m_androidMonitor, &AndroidMonitor::deviceConnected, this, &MainWindow::androidDeviceConnected,
                Qt::QueuedConnection);
        connect(m_androidMonitor, &AndroidMonitor::deviceDisconnected, this,
                &MainWindow::androidDeviceDisconnected, Qt::QueuedConnection);
        m_androidMonitor->startMonitor();
    }
    if (m_options.iosMonitor)
        startIosMonitor();
    m_usbTipTimer = new QTimer(this);
    m_usbTipTimer->setSingleShot(true);
    connect(m_usbTipTimer, &QTimer::timeout, this, &MainWindow::androidUsbTips);
    if (m_options.usbTipDelayMs >= 0)
        m_usbTipTimer->start(m_options.usbTipDelayMs);
    loadLocalDatabases();
    loadVirtualPhones();
    m_tree->expandAll();
    refreshToolbar();
}

void MainWindow::loadLocalDatabases()
{
    for (const QString &name : LocalDatabases::list())
        m_mainModel->addLocalDb(name);
}

void MainWindow::loadSource(_AbsDBItemNode *node, const AbsKikDbPtr &db)
{
    auto dataSet = std::make_shared<KikDataSet>();
    db->ensureOpen();
    db->loadAll(*dataSet);
    node->db = db;
    node->dataSet = dataSet;
    m_mainModel->attachChats(node, dataSet->chatsNewestFirst());
}

namespace {

// The database of a virtual phone's folder: a local database when the
// folder holds one, else the phone's own Kik database. Nothing is created
// in a folder that holds neither.
AbsKikDbPtr virtualPhoneDb(const QString &folder, const QString &kikDatabase,
                           const std::function<AbsKikDbPtr()> &makeKikDb)
{
    const QDir dir(folder);
    if (QFileInfo::exists(dir.filePath(QString::fromLatin1(KikLocalDb::kDbFileName))))
        return std::make_shared<KikLocalDb>(folder);
    if (QFileInfo(dir.filePath(kikDatabase)).isFile())
        return makeKikDb();
    throw AppError(QStringLiteral("Found no Kik data in %1.").arg(QDir::toNativeSeparators(folder)));
}

} // namespace

void MainWindow::loadVirtualPhones()
{
    const QDir root = DataRoot::dir();
    const QDir::Filters folders = QDir::Dirs | QDir::NoDotAndDotDot;
    const QDir ios(root.filePath(QStringLiteral("virtual_ios")));
    for (const QString &name : ios.entryList(folders, QDir::Name)) {
        const QString folder = ios.filePath(name);
        IOSDeviceRecord record;
        record.deviceName = name;
        record.uniqueDeviceId = name;
        _IOSDeviceItemNode *node = m_mainModel->addIPhone(record);
        try {
            loadSource(node, virtualPhoneDb(folder, QStringLiteral("Documents/kik.sqlite"),
                                            [&] { return std::make_shared<IOSKikDb>(folder); }));
        } catch (const std::exception &e) {
            m_mainModel->removeNode(node);
            MessageBoxes::showError(this, QString::fromUtf8(e.what()));
        }
    }
    const QDir android(root.filePath(QStringLiteral("virtual_android")));
    for (const QString &name : android.entryList(folders, QDir::Name)) {
        const QString folder = android.filePath(name);
        AndroidPhoneRecord record;
        record.serial = name;
        record.manufacturer = name;
        _AndroidDeviceItemNode *node = m_mainModel->addAndroid(record);
        try {
            loadSource(node, virtualPhoneDb(folder, QString::fromLatin1(AndroidKikPaths::kDefaultDatabase),
                                            [&] { return std::make_shared<AndroidKikDb>(QDir(folder)); }));
        } catch (const std::exception &e) {
            m_mainModel->removeNode(node);
            MessageBoxes::showError(this, QString::fromUtf8(e.what()));
        }
    }
}
