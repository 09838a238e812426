#include "app/cli/AndroidTransfer.h"

#include "android/AndroidKikPaths.h"
#include "android/AndroidOffline.h"
#include "android/AndroidPhone.h"
#include "android/AndroidRestoreKikThread.h"
#include "app/Translation.h"
#include "app/cli/AndroidPhoneCli.h"
#include "app/cli/CliProgress.h"
#include "app/cli/CliSource.h"
#include "jobs/JobRunner.h"

#include <QDateTime>
#include <QFile>
#include <QJsonObject>
#include <QSet>

namespace {

constexpr int kSafetyCopiesKept = 10;

// Deletes all but the newest `keep` entries matching `pattern`.
void keepNewest(const QDir &folder, const QString &pattern, int keep)
{
    const QFileInfoList entries =
        folder.entryInfoList({pattern}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time);
    for (qsizetype i = keep; i < entries.size(); ++i) {
        if (entries[i].isDir())
            QDir(entries[i].absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entries[i].absoluteFilePath());
    }
}

// Copies the phone's present database files out of the cache.
void keepDatabaseCopy(const QDir &cache)
{
    QDir copies(cache.filePath(QStringLiteral("dbfiles-before-restore")));
    copies.mkpath(QStringLiteral("."));
    keepNewest(copies, QStringLiteral("*.dbdir"), kSafetyCopiesKept - 1);
    const QString target = copies.filePath(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmss")) + QStringLiteral(".dbdir"));
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    const QDir db(cache.filePath(QStringLiteral("ab-extract/apps/kik.android/db")));
    for (const QFileInfo &file : db.entryInfoList(QDir::Files | QDir::Hidden)) {
        if (!QFile::copy(file.absoluteFilePath(), target + QLatin1Char('/') + file.fileName()))
            throw std::runtime_error(
                QStringLiteral("Can not copy %1. %2").arg(file.absoluteFilePath(), QStringLiteral("copy failed")).toStdString());
    }
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
    const QDir archives(cache.filePath(QStringLiteral("abfiles-before-restore")));
    archives.mkpath(QStringLiteral("."));
    keepNewest(archives, QStringLiteral("*.ab"), kSafetyCopiesKept);
    if (!AndroidPhoneCli::load(*phone, archives, true, &progress))
        return cancelled(ctx);
    keepDatabaseCopy(cache);

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
    const AndroidLoaded after = loadAndroidTree(QDir(cache.filePath(QStringLiteral("ab-extract"))));
    QSet<QString> onPhone;
    for (const _KikMessage *m : std::as_const(after.data->messages))
        onPhone.insert(m->uid);
    QSet<QString> sent;
    for (const _KikMessage *m : messages) {
        if (m && m->chat && m->chat->user && !m->uid.isEmpty())
            sent.insert(m->uid);
    }
    int verified = 0;
    for (const QString &uid : std::as_const(sent))
        verified += onPhone.contains(uid) ? 1 : 0;
    if (verified < sent.size()) {
        ctx.printError(QStringLiteral("%1 of the %2 transferred messages are missing on the phone after the transfer.")
                           .arg(sent.size() - verified)
                           .arg(sent.size()));
        return CliExit::Failed;
    }
    const QJsonObject json{
        {QStringLiteral("messages"), int(messages.size())},
        {QStringLiteral("phone_messages_before"), merge.phoneMessagesBefore},
        {QStringLiteral("phone_messages_after"), int(after.data->messages.size())},
        {QStringLiteral("verified"), verified},
    };
    ctx.printResult(json, ids("IDS_SUC_RESTORE_%1_TO_ANDROID").arg(messages.size()));
    return CliExit::Ok;
}
