// velloran-kik transfer SOURCE --to-ab PHONE.ab --out NEW.ab (the transfer
// without the phone, from its backup archive to a new archive ready for adb
// restore) and transfer SOURCE --to-android SERIAL (onto a connected phone).
#include "android/AndroidTransferToAbThread.h"
#include "cli/AndroidTransfer.h"
#include "cli/CliOutput.h"
#include "cli/CliProgress.h"
#include "cli/CliSource.h"

#include <QJsonObject>

namespace {

int runTransferToAb(CliContext &ctx)
{
    const QString phone = ctx.value(QStringLiteral("to-ab"));
    const QString out = ctx.value(QStringLiteral("out"));
    if (phone.isEmpty() || out.isEmpty())
        throw CliUsageError("transfer needs --to-ab PHONE.ab and --out NEW.ab");
    checkCliOutput(out, OutputPath::Kind::File, sourceInputPaths(ctx, ctx.args.at(0)) << phone);

    CliProgress progress(ctx);
    const LoadedSource source = loadSource(ctx, ctx.args.at(0), &progress);
    const KikMessageList messages = selectedMessages(source, ctx);
    AndroidTransferToAbThread job(messages, phone, out, &progress);
    const int code = progress.runJob(job);
    if (code != CliExit::Ok)
        return code;

    const QJsonObject json{
        {QStringLiteral("messages"), int(messages.size())},
        {QStringLiteral("out"), out},
        {QStringLiteral("phone_messages_before"), job.result().merge.phoneMessagesBefore},
        {QStringLiteral("phone_messages_after"), job.result().merge.phoneMessagesAfter},
    };
    ctx.printResult(json, progress.successText());
    return CliExit::Ok;
}

int runTransfer(CliContext &ctx)
{
    if (ctx.has(QStringLiteral("to-android")))
        return runTransferToAndroid(ctx);
    return runTransferToAb(ctx);
}

QList<CliOptionSpec> transferOptions()
{
    QList<CliOptionSpec> options{
        {QStringLiteral("to-ab"), QStringLiteral("PHONE.ab"),
         QStringLiteral("the phone's Android backup archive (only read)"), false},
        {QStringLiteral("out"), QStringLiteral("NEW.ab"), QStringLiteral("the new archive to write"), false},
        {QStringLiteral("to-android"), QStringLiteral("SERIAL"), QStringLiteral("a connected Android phone"),
         false},
    };
    options += cliSourceOptions();
    return options;
}

const CliRegistration registration({
    {QStringLiteral("transfer")},
    QStringLiteral("SOURCE"),
    QStringLiteral(
        "Transfer the messages of SOURCE into an Android backup archive or onto a connected phone."),
    transferOptions(),
    1,
    1,
    runTransfer,
});

} // namespace
