#include "cli/AndroidTransfer.h"

#include "android/AndroidKikPaths.h"
#include "android/AndroidOffline.h"
#include "android/AndroidPhone.h"
#include "android/AndroidRestoreKikThread.h"
#include "android/AndroidSafetyCopies.h"
#include "app/AppError.h"
#include "app/Translation.h"
#include "cli/AndroidPhoneCli.h"
#include "cli/CliProgress.h"
#include "cli/CliSource.h"
#include "jobs/JobRunner.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QSet>

#include <stdexcept>

namespace {

// The uids in the message table of the tree's database and its number of
// rows (counted as the merge counts them). Only the uids are read: the
// check after a transfer needs nothing else of the messages.
struct PhoneMessages
{
    QSet<QString> uids;
    int rows = 0;
};

PhoneMessages phoneMessages(const QDir &tree)
{
    const QString path = AndroidKikPaths::databasePath(tree);
    if (!QFileInfo(path).isFile())
        throw AppError(QStringLiteral("No Kik database in %1 (expected %2).")
                           .arg(tree.absolutePath(), QString::fromLatin1(AndroidKikPaths::kDefaultDatabase)));
    AndroidKikDb db(tree, path);
    db.openThrow(path, Sqlite3DB::ReadOnly);
    PhoneMessages found;
    Sqlite3Cursor rows = db.queryThrow(Sqlite3Sql("SELECT [uid] FROM [messagesTable]"));
    while (rows.moveNext()) {
        ++found.rows;
        found.uids.insert(rows.textAt(0));
    }
    return found;
}

int cancelled(CliContext &ctx)
{
    ctx.printError(QStringLiteral("Cancelled."));
    return CliExit::Cancelled;
}

} // namespace

int runTransferToAndroid(CliContext &ctx)
{
    const QString wanted = ctx.value(QStringLiteral("to-android"));
    if (wanted.isEmpty())
        throw CliUsageError("--to-android needs the serial of a connected phone (or auto)");
    CliProgress progress(ctx);
    const LoadedSource source = loadSource(ctx, ctx.args.at(0), &progress);
    progress.checkSignals();
    if (progress.interrupted())
        return cancelled(ctx);
    const KikMessageList messages = selectedMessages(source, ctx);

    const QString serial = AndroidPhoneCli::resolveSerial(wanted);
    AndroidDevice device;
    if (!AndroidPhoneCli::connect(serial, &progress, device))
        return cancelled(ctx);
    const std::unique_ptr<AndroidPhone> phone = makeAndroidPhone(device);
    const QDir cache = device.cacheFolder();

    // The phone's present state, fetched afresh, and a copy of its database.
    const QDir archives = AndroidSafetyCopies::archiveFolder(cache);
    if (!AndroidPhoneCli::load(*phone, archives, true, &progress))
        return cancelled(ctx);
    AndroidSafetyCopies::keepDatabaseCopy(cache);

    AndroidMergeResult merge;
    const bool restored = AndroidPhoneCli::runStep(&progress, [&](JobProgress &step) {
        AndroidRestoreKikThread job(phone.get(), messages, &step);
        JobRunner::runToEnd(job);
        merge = job.result();
    });
    if (!restored)
        return cancelled(ctx);

    // Read the phone again and check that every message sent is on it.
    if (!AndroidPhoneCli::load(*phone, archives, true, &progress))
        return cancelled(ctx);
    const PhoneMessages after = phoneMessages(QDir(cache.filePath(QStringLiteral("ab-extract"))));
    const QSet<QString> &onPhone = after.uids;
    QSet<QString> sent;
    for (const _KikMessage *m : messages) {
        if (m && m->chat && m->chat->user && !m->uid.isEmpty())
            sent.insert(m->uid);
    }
    int verified = 0;
    for (const QString &uid : std::as_const(sent))
        verified += onPhone.contains(uid) ? 1 : 0;
    if (verified < sent.size()) {
        ctx.printError(
            QStringLiteral("%1 of the %2 transferred messages are missing on the phone after the transfer.")
                .arg(sent.size() - verified)
                .arg(sent.size()));
        return CliExit::Failed;
    }
    const QJsonObject json{
        {QStringLiteral("messages"), int(messages.size())},
        {QStringLiteral("phone_messages_before"), merge.phoneMessagesBefore},
        {QStringLiteral("phone_messages_after"), after.rows},
        {QStringLiteral("verified"), verified},
    };
    ctx.printResult(json, ids("IDS_SUC_RESTORE_%1_TO_ANDROID").arg(messages.size()));
    return CliExit::Ok;
}
