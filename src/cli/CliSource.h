// Sources of the command-line tool, written KIND:VALUE (localdb:NAME,
// itunes:DIR, ios:DIR, android:DIR, ab:FILE, iphone:UDID, adb:SERIAL).
// Each kind registers a loader from its own file.
#pragma once

#include "cli/CliCommand.h"
#include "model/AbsKikDb.h"
#include "model/KikDataSet.h"

#include <functional>
#include <memory>

class JobProgress;

struct LoadedSource
{
    QString kind;
    QString value;
    KikDataSetPtr data;           // every record of the source
    std::shared_ptr<AbsKikDb> db; // the adapter it was read with (kept open)
    QString cacheFolder;          // where the source's files were copied, if anywhere
};

// Loads the source; progress of long loads goes to `progress` (may be null).
// Throws AppError with the job's message on failure.
using CliSourceLoader =
    std::function<LoadedSource(const QString &value, CliContext &ctx, JobProgress *progress)>;

struct CliSourceRegistration
{
    CliSourceRegistration(const QString &kind, CliSourceLoader loader);
};

// The options every SOURCE accepts: --password, --password-file, --chat.
QList<CliOptionSpec> cliSourceOptions();

// Splits KIND:VALUE; a usage error when the kind is unknown or VALUE empty.
QPair<QString, QString> splitSource(const QString &text);

// The files and folders the source named by the text reads (with the
// password file), for the checks that keep outputs out of them.
QStringList sourceInputPaths(const CliContext &ctx, const QString &text);

// Loads the source named by the text with the registered loader.
LoadedSource loadSource(CliContext &ctx, const QString &text, JobProgress *progress);

// The password given by --password or --password-file (empty when neither).
QString sourcePassword(const CliContext &ctx);

// The source's messages in display order, only those of the chats whose
// partner jid was named with --chat when any was. Throws when a jid named
// with --chat has no chat in the source.
KikMessageList selectedMessages(const LoadedSource &source, const CliContext &ctx);
