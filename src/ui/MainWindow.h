// The program's main window: the source tree, the message list, the bubble
// view, and every command. The flows live in files of their own:
// MainWindow.cpp (widgets, menus, start-up), MainWindowTree.cpp (selection,
// searches, sorting, toolbar state, context menus), MainWindowBackup.cpp
// (backup and iTunes import), MainWindowExport.cpp (export and print),
// MainWindowDelete.cpp (delete, cache, folders, help), MainWindowIos.cpp
// and MainWindowAndroid.cpp (phones and the transfer).
#pragma once

#include "android/AdbDevice.h"
#include "android/AndroidDevice.h"
#include "device/MobileDevice.h"
#include "model/KikRecords.h"
#include "ui/TreeNodes.h"

#include <QHash>
#include <QMainWindow>
#include <QSet>
#include <QUrl>

#include <functional>
#include <memory>

class AndroidMonitor;
class MobileDeviceStack;
class ItemModelMain;
class ItemModelSms;
class KikBubbleViewMgr;
class KikMsgPrinter;
class MyTreeView;
class ProgressForm;
class QAction;
class QItemSelection;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QThread;
class QTimer;
class QWebEngineView;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    struct Options
    {
        // When the "no Android phone" tip shows after start; negative: never.
        int usbTipDelayMs = 10000;
        // Where the iTunes backup dialog looks; empty: the default root.
        QString backupRoot;
        // Whether the Android device monitor (adb) runs.
        bool androidMonitor = true;
        // Whether iPhone arrivals and removals are followed, and through
        // which device stack (null: the program's own).
        bool iosMonitor = true;
        MobileDeviceStack *iosStack = nullptr;
    };

    explicit MainWindow(QWidget *parent = nullptr);
    explicit MainWindow(const Options &options, QWidget *parent = nullptr);
    ~MainWindow() override;

    ItemModelMain *mainModel() const { return m_mainModel; }
    ItemModelSms *smsModel() const { return m_smsModel; }
    KikBubbleViewMgr *bubbleView() const { return m_bubbles; }
    KikMsgPrinter *printer() const { return m_printer; }
    // The action of that object name (toolbar, menus and context menus).
    QAction *action(const QString &name) const;
    // The context menu the tree or the message list would show now (owned
    // by the caller; null when none shows).
    QMenu *buildTreeContextMenu(_ItemNode *node);
    QMenu *buildSmsContextMenu();
    // Selects a node in the tree, as a click does.
    void selectNode(_ItemNode *node);

    // How addresses and folders are opened; tests replace them.
    std::function<void(const QUrl &)> openUrl;
    std::function<void(const QString &)> openFolder;

    // Where the help page is written, and writing it (empty on failure).
    static QString helpPagePath();
    static QString writeHelpPage();
    static const char *const kHomeUrl;

public Q_SLOTS:
    void onMainTreeSelected(const QItemSelection &selected, const QItemSelection &deselected);
    void onMainTreeContextMenu();
    void onSMSContextMenu();
    void onSMSItemSelected(const QItemSelection &selected, const QItemSelection &deselected);
    void onSMSSortIndicatorChanged(int column, Qt::SortOrder order);
    void searchMessages();
    void searchCotnact();

    void miBackup();
    void miBackupChat();
    void miBackupAll();
    void miBackupToolbar();
    void miExport();
    void miExportChat();
    void miExportAll();
    void miExportToolbar();
    void miPrint();
    void miPrintChat();
    void miPrintAll();
    void miPrintToolbar();
    void miDelete();
    void miDeleteChat();
    void miDeleteAll();
    void miDeleteToolbar();
    void miI2a();
    void miI2aChat();
    void miI2aAll();
    void miI2aToolbar();
    void miDb2a();
    void miDb2aChat();
    void miDb2aAll();
    void miDb2aToolbar();
    void miImportiTunes();
    void miImportiTunesToLocalDb();
    void miOpenDBFolder();
    void miViewIOSCacheFiles();
    void miViewAndroidCacheFiles();
    void miUnmoutDevice();
    void miClearCache();
    void miConnectWifi();
    void miHelp();
    void miFeedback();
    void miHome();
    void miAbout();

    void iosDeviceConnected(void *device);
    void iosDeviceDisconnected(void *device);
    void androidDeviceConnected(const AdbDevice &device);
    void androidDeviceDisconnected(const QString &serial);
    void androidDeviceLoad(const AndroidDevice &device);
    void androidUsbTips();

private:
    // Which messages a command works on.
    enum class Scope { Selected, Chat, All, Toolbar };
    struct Chosen
    {
        _AbsDBItemNode *source = nullptr;
        _ChatSessionItemNode *chat = nullptr;
        KikMessageList messages;
        // Keep the messages' data and database alive while a flow runs.
        KikDataSetPtr dataSet;
        AbsKikDbPtr db;
        Scope scope = Scope::All; // the scope the messages came from
    };
    // Marks a phone or database as busy for the life of the object; a
    // second flow on the same one is refused while the first runs.
    class BusyGuard
    {
    public:
        BusyGuard(MainWindow *window, const QString &key);
        ~BusyGuard();
        bool acquired() const { return m_acquired; }

    private:
        MainWindow *m_window;
        QString m_key;
        bool m_acquired;
    };

    void buildWidgets();
    void buildActions();
    QAction *makeAction(const char *name, const QString &text, void (MainWindow::*slot)());
    void startUp();
    void loadLocalDatabases();
    void loadVirtualPhones();

    // Tree and lists.
    _ItemNode *currentNode() const;
    _AbsDBItemNode *currentSource() const;
    Chosen choose(Scope scope) const;
    void refreshToolbar();
    void showNode(_ItemNode *node);
    void showMessages(_AbsDBItemNode *source, const KikMessageList &messages, const _KikChat *chat);
    void clearLists();
    // Selects the node afresh, so that its data is shown again even when it
    // was current already.
    void reselect(_ItemNode *node);
    // Removes a node; the lists are cleared first when they show its data.
    void removeSourceNode(_ItemNode *node);
    // Opens a local database node's database and attaches its chats.
    void openLocalDb(_LocalDbItemNode *node);
    void loadSource(_AbsDBItemNode *node, const AbsKikDbPtr &db);

    // A progress dialog for a job about to run.
    std::unique_ptr<ProgressForm> makeProgressForm(const QString &status);
    // Runs a job behind its modal progress dialog and waits for its thread.
    // True when the job reported success.
    bool runJob(QThread &job, ProgressForm &form);

    // Flows.
    void backupFlow(const Chosen &chosen, const QString &proposedName = QString());
    void importFlow(const QString &databaseName);
    void exportFlow(const Chosen &chosen);
    void printFlow(const Chosen &chosen);
    void deleteFlow(const Chosen &chosen);
    void transferFlow(const Chosen &chosen);
    static QString busyKeyOf(const _AbsDBItemNode *node);
    // Reads a connected phone's cached Kik data into its node.
    void reloadAndroidNode(_AndroidDeviceItemNode *node);
    // Follows iPhone arrivals and removals through the options' stack.
    void startIosMonitor();
    void stopIosMonitor();
    // Reads a connected iPhone's values, loads its Kik data and adds its node.
    void loadIphone(void *handle, const MobileDevicePtr &device);

    Options m_options;
    ItemModelMain *m_mainModel = nullptr;
    ItemModelSms *m_smsModel = nullptr;
    KikBubbleViewMgr *m_bubbles = nullptr;
    KikMsgPrinter *m_printer = nullptr;
    QTimer *m_usbTipTimer = nullptr;
    AndroidMonitor *m_androidMonitor = nullptr;
    MobileDeviceStack *m_iosStack = nullptr; // set while subscribed
    // Handles of iPhones being loaded, and those of them that left meanwhile.
    QSet<void *> m_iosLoading;
    QSet<void *> m_iosLeft;

    MyTreeView *m_tree = nullptr;
    MyTreeView *m_smsList = nullptr;
    QLineEdit *m_contactKeyword = nullptr;
    QLineEdit *m_smsKeyword = nullptr;
    QLabel *m_smsCount = nullptr;
    QLabel *m_conversation = nullptr;
    QLabel *m_chatName = nullptr;
    QLabel *m_chatImg = nullptr;
    QWebEngineView *m_web = nullptr;
    QHash<QString, QAction *> m_actions;

    // What the lists show: the node and the data it came from, held so that
    // the lists never point at freed messages.
    _AbsDBItemNode *m_shownSource = nullptr;
    KikDataSetPtr m_shownData;
    QSet<QString> m_busy;
};
