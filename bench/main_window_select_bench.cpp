// Selecting a local database node in the main window: from the selection
// until the message list is filled and the first bubble page has loaded,
// beside the database's loadAll alone (measured in the same run); then the
// resident memory while the message list is scrolled from end to end.
// Usage: main_window_select_bench [messages] [chats]   (default 1000000 10000)
#include "BenchData.h"
#include "BenchSupport.h"

#include "app/DataRoot.h"
#include "model/KikLocalDb.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/MainWindow.h"
#include "view/gui/KikBubbleViewMgr.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <sqlite3.h>

#include <cstdio>

namespace {

// Writes a local database of `messages` messages in `chats` chats with SQL
// alone (the schema is the program's own).
bool makeDatabase(const QString &folder, int messages, int chats)
{
    QDir().mkpath(folder);
    QFile schema(QStringLiteral(":/res/kiklocaldb.sql"));
    if (!schema.open(QIODevice::ReadOnly))
        return false;
    sqlite3 *db = nullptr;
    if (sqlite3_open(QDir(folder).filePath(QStringLiteral("velloran-kik.db")).toUtf8().constData(), &db)
        != SQLITE_OK)
        return false;
    const QByteArray fill =
        QStringLiteral(
            "BEGIN;"
            "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM c WHERE i<%2) "
            "INSERT INTO kik_user(_id,display_name,jid,user_name) "
            "SELECT i, 'User '||i, 'user_'||i||'@talk.kik.com', 'user_'||i FROM c;"
            "INSERT INTO kik_chat(_id,user_id) SELECT _id, _id FROM kik_user;"
            "WITH RECURSIVE m(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM m WHERE i<%1) "
            "INSERT INTO kik_message(_id,ts,rec_ts,target_user,uid,was_me,body) "
            "SELECT i, 1400000000000+i*1000, 1400000000000+i*1000, (i%%2)*(1+i%%%2), "
            "printf('5f0c%08d-0000-4000-8000-000000000000', i), 1-(i%%2), "
            "'Message number '||i||' with some ordinary text' FROM m;"
            "INSERT INTO kik_chat_messages(chat_id,message_id,ts) SELECT 1+(_id%%%2), _id, ts FROM "
            "kik_message;"
            "UPDATE kik_chat SET last_ts=(SELECT max(ts) FROM kik_chat_messages WHERE chat_id=kik_chat._id);"
            "COMMIT;")
            .arg(messages)
            .arg(chats)
            .replace(QStringLiteral("%%"), QStringLiteral("%"))
            .toUtf8();
    const bool ok = sqlite3_exec(db, schema.readAll().constData(), nullptr, nullptr, nullptr) == SQLITE_OK
                    && sqlite3_exec(db, fill.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok)
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    sqlite3_close(db);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    BenchData::useProgramData();
    const int messages = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int chats = argc > 2 ? std::atoi(argv[2]) : 10000;
    QTemporaryDir root;
    DataRoot::setOverride(root.path());
    const QString folder = DataRoot::localDatabaseFolder().filePath(QStringLiteral("Big"));
    if (!makeDatabase(folder, messages, chats))
        return 1;

    // loadAll alone.
    QElapsedTimer timer;
    timer.start();
    {
        KikLocalDb db(folder);
        db.ensureOpen();
        KikDataSet set;
        db.loadAll(set);
    }
    const double loadAll = timer.nsecsElapsed() / 1e6;

    MainWindow::Options options;
    options.usbTipDelayMs = -1;
    options.androidMonitor = false;
    MainWindow window(options);
    window.show();
    // The web engine starts with an empty page first, outside the measure.
    {
        QEventLoop loop;
        QTimer::singleShot(1500, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QEventLoop loop;
    QObject::connect(window.bubbleView(), &KikBubbleViewMgr::pageShown, &loop, &QEventLoop::quit);
    timer.restart();
    window.selectNode(window.mainModel()->localDbGroup()->children.first());
    loop.exec();
    const double select = timer.nsecsElapsed() / 1e6;
    const int rows = window.smsModel()->rowCount();

    // Scrolling the list from end to end.
    auto *list = window.findChild<QTreeView *>(QStringLiteral("treeViewSMS"));
    const long before = Bench::statusKiB("VmRSS:");
    for (int row = 0; row < rows; row += qMax(1, rows / 400)) {
        list->scrollTo(window.smsModel()->index(row, 0));
        QApplication::processEvents();
    }
    const long after = Bench::statusKiB("VmRSS:");

    std::printf("messages %d in %d chats (rows shown %d)\n", messages, chats, rows);
    std::printf("loadAll alone:        %.0f ms\n", loadAll);
    std::printf("select until page:    %.0f ms  (%.2fx loadAll; target at most 1.5x)\n", select,
                select / loadAll);
    std::printf("resident memory while scrolling: %ld KiB before, %ld KiB after (%+ld KiB)\n", before, after,
                after - before);
    return 0;
}
