// A data root with demo data made by the fixture builders, and a main
// window over it that the tests drive through its own actions.
#pragma once

#include "ModalScript.h"

#include "support/TestSupport.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/MainWindow.h"
#include "view/ViewData.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

class MainWindowTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        // The bubble view and the exports read the data folders built
        // beside the program.
        ViewData::setProgramFolder(TestSupport::binDir());
    }

    QDir root() const { return QDir(m_root.path()); }
    QString rootPath(const QString &relative) const { return root().filePath(relative); }

    // A local database below "local_databases" (make_localdb.py modes).
    void makeLocalDb(const QString &name, const QString &mode = QStringLiteral("media"))
    {
        python(QStringLiteral("make_localdb.py"),
               {rootPath(QStringLiteral("local_databases/") + name), mode});
    }
    // A virtual iPhone: Kik's iOS store below "virtual_ios".
    void makeVirtualIPhone(const QString &name)
    {
        python(QStringLiteral("make_ios_kik_store.py"),
               {rootPath(QStringLiteral("virtual_ios/") + name),
                rootPath(QStringLiteral("expected-") + name + QStringLiteral(".json"))});
    }
    // A virtual Android phone: an extracted backup tree below "virtual_android".
    void makeVirtualAndroid(const QString &name)
    {
        python(QStringLiteral("make_android_kik.py"),
               {QStringLiteral("tree"), rootPath(QStringLiteral("virtual_android/") + name)});
    }
    // An iTunes backup with Kik below "ios_backups" (kind: db, db-enc, mbdb...).
    void makeItunesBackup(const QString &folder, const QString &kind, const QString &deviceName)
    {
        const QString app = rootPath(QStringLiteral("work-") + folder);
        python(QStringLiteral("make_ios_kik_store.py"), {app, app + QStringLiteral(".json")});
        python(QStringLiteral("make_ios_kik_backup.py"),
               {app, rootPath(QStringLiteral("ios_backups/") + folder), kind, QStringLiteral("--place"),
                QStringLiteral("app"), QStringLiteral("--device-name"), deviceName});
    }

    void python(const QString &script, const QStringList &args)
    {
        const auto result = TestSupport::runPython(script, args);
        ASSERT_EQ(result.exitCode, 0) << result.err.constData();
    }

    MainWindow &open()
    {
        MainWindow::Options options;
        options.usbTipDelayMs = -1;
        options.androidMonitor = withAndroidMonitor;
        options.iosMonitor = withIosMonitor;
        options.iosStack = iosStack;
        options.backupRoot = rootPath(QStringLiteral("ios_backups"));
        root().mkpath(QStringLiteral("ios_backups"));
        m_window = std::make_unique<MainWindow>(options);
        m_window->openUrl = [this](const QUrl &url) { openedUrls << url; };
        m_window->openFolder = [this](const QString &f) { openedFolders << f; };
        m_window->show();
        return *m_window;
    }

    void TearDown() override { m_window.reset(); }

    MainWindow &window() { return *m_window; }
    ItemModelMain &tree() { return *m_window->mainModel(); }
    ItemModelSms &sms() { return *m_window->smsModel(); }
    QTreeView *treeView() { return m_window->findChild<QTreeView *>(QStringLiteral("treeViewDS")); }
    QTreeView *smsView() { return m_window->findChild<QTreeView *>(QStringLiteral("treeViewSMS")); }
    template <typename T>
    T *child(const char *name)
    {
        return m_window->findChild<T *>(QString::fromLatin1(name));
    }

    // Triggers an action of the window (as its toolbar button, menu item or
    // context-menu item does) while the script answers its dialogs.
    void trigger(const char *actionName, ModalScript &script)
    {
        QAction *a = m_window->action(QString::fromLatin1(actionName));
        ASSERT_NE(a, nullptr) << actionName;
        a->trigger();
        QWidget *modal = QApplication::activeModalWidget();
        EXPECT_TRUE(script.waitDone(5000))
            << actionName
            << ": not every dialog came; boxes: " << script.boxes.join(QLatin1Char('|')).toStdString()
            << "; unexpected: " << script.unexpected.join(QLatin1Char('|')).toStdString()
            << "; open: " << (modal ? modal->metaObject()->className() : "none");
    }

    _ItemNode *childNamed(_ItemNode *parent, const QString &text)
    {
        for (_ItemNode *n : parent->children) {
            if (n->text == text)
                return n;
        }
        return nullptr;
    }
    void select(_ItemNode *node)
    {
        ASSERT_NE(node, nullptr);
        m_window->selectNode(node);
    }
    // Selects message rows of the list (as a user's clicks do).
    void selectRows(const QList<int> &rows)
    {
        QItemSelectionModel *selection = smsView()->selectionModel();
        selection->clearSelection();
        for (int row : rows)
            selection->select(sms().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QStringList actionStates()
    {
        QStringList states;
        for (const char *name : {"miBackupToolbar", "miI2aToolbar", "miDb2aToolbar", "miExportToolbar",
                                 "miPrintToolbar", "miDeleteToolbar"})
            states << QStringLiteral("%1=%2")
                          .arg(QString::fromLatin1(name))
                          .arg(m_window->action(QString::fromLatin1(name))->isEnabled());
        return states;
    }
    QString countText() { return child<QLabel>("lbSMSCount")->text(); }

    static bool waitFor(const std::function<bool()> &condition, int timeoutMs = 30000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > timeoutMs)
                return false;
            QEventLoop loop;
            QTimer::singleShot(20, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return true;
    }

    bool withAndroidMonitor = false;
    bool withIosMonitor = false;
    MobileDeviceStack *iosStack = nullptr; // null: the program's
    QStringList openedFolders;
    QList<QUrl> openedUrls;

private:
    TestSupport::ScopedDataRoot m_root;
    std::unique_ptr<MainWindow> m_window;
};
