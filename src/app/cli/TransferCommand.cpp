// velloran-kik transfer SOURCE --to-ab PHONE.ab --out NEW.ab: the transfer
// to an Android phone without the phone, from its backup archive to a new
// archive ready for adb restore.
#include "android/AndroidOffline.h"
#include "app/Translation.h"
#include "app/cli/CliOutput.h"
#include "app/cli/CliSignals.h"
#include "app/cli/CliSource.h"
#include "app/cli/ConsoleProgressBar.h"

#include <QJsonObject>

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int)
{
    g_interrupted.store(true);
}

// SIGINT and SIGTERM cancel the merge between two messages, as the Cancel
// button would; the previous handlers come back afterwards.
class InterruptScope
{
public:
    InterruptScope()
    {
        g_interrupted.store(false);
        m_int = std::signal(SIGINT, onInterrupt);
        m_term = std::signal(SIGTERM, onInterrupt);
    }
    ~InterruptScope()
    {
        std::signal(SIGINT, m_int);
        std::signal(SIGTERM, m_term);
    }
    InterruptScope(const InterruptScope &) = delete;
    InterruptScope &operator=(const InterruptScope &) = delete;

private:
    void (*m_int)(int) = SIG_DFL;
    void (*m_term)(int) = SIG_DFL;
};

int runTransfer(CliContext &ctx)
{
    if (ctx.has(QStringLiteral("to-android")))
        throw std::runtime_error("The transfer to a connected Android phone is not available yet.");
    const QString phone = ctx.value(QStringLiteral("to-ab"));
    const QString out = ctx.value(QStringLiteral("out"));
    if (phone.isEmpty() || out.isEmpty())
        throw CliUsageError("transfer needs --to-ab PHONE.ab and --out NEW.ab");
    checkCliOutput(out, OutputPath::Kind::File, sourceInputPaths(ctx, ctx.args.at(0)) << phone);

    ConsoleProgressBar bar = ConsoleProgressBar::forStderr(ctx.global.quiet || ctx.global.json);
    const LoadedSource source = loadSource(ctx, ctx.args.at(0), nullptr);
    const KikMessageList messages = selectedMessages(source, ctx);
    const QString status = ids("IDS_ANDROID_RESTORING_KIK_MESSAGES");
    AndroidMergeHooks hooks;
    hooks.progress = [&](int percent) { bar.update(status, percent, QString()); };
    hooks.cancelled = [] { return g_interrupted.load() || CliSignals::stopRequested(); };
    const InterruptScope interrupts;
    AndroidOfflineResult result;
    try {
        result = transferToAndroidBackup(messages, phone, out, hooks);
    } catch (int) {
        bar.finish();
        ctx.printError(QStringLiteral("Cancelled."));
        return CliExit::Cancelled;
    }
    bar.update(status, 100, QString());
    bar.finish();

    const QJsonObject json{
        {QStringLiteral("messages"), int(messages.size())},
        {QStringLiteral("out"), out},
        {QStringLiteral("phone_messages_before"), result.merge.phoneMessagesBefore},
        {QStringLiteral("phone_messages_after"), result.merge.phoneMessagesAfter},
    };
    ctx.printResult(json, ids("IDS_SUC_RESTORE_%1_TO_ANDROID").arg(messages.size()));
    return CliExit::Ok;
}

QList<CliOptionSpec> transferOptions()
{
    QList<CliOptionSpec> options{
        {QStringLiteral("to-ab"), QStringLiteral("PHONE.ab"),
         QStringLiteral("the phone's Android backup archive (only read)"), false},
        {QStringLiteral("out"), QStringLiteral("NEW.ab"),
         QStringLiteral("the new archive to write"), false},
        {QStringLiteral("to-android"), QStringLiteral("SERIAL"),
         QStringLiteral("a connected Android phone"), false},
    };
    options += cliSourceOptions();
    return options;
}

const CliRegistration registration({
    {QStringLiteral("transfer")},
    QStringLiteral("SOURCE"),
    QStringLiteral("Merge the messages of SOURCE into an Android backup archive."),
    transferOptions(),
    1,
    1,
    runTransfer,
});

} // namespace
