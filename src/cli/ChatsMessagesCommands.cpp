// velloran-kik chats SOURCE / messages SOURCE.
#include "cli/CliJson.h"
#include "cli/CliProgress.h"
#include "cli/CliSource.h"
#include "model/KikText.h"
#include "model/MessageOrder.h"

#include <QJsonArray>
#include <QSet>

namespace {

QString timeText(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QStringLiteral("-");
}

int runChats(CliContext &ctx)
{
    CliProgress progress(ctx);
    const LoadedSource source = loadSource(ctx, ctx.args.value(0), &progress);
    progress.checkSignals();
    if (progress.interrupted())
        return CliExit::Cancelled;
    const QStringList wanted = ctx.values(QStringLiteral("chat"));
    const QSet<QString> jids(wanted.cbegin(), wanted.cend());
    QJsonArray json;
    QString text;
    for (const _KikChat *chat : source.data->chatsNewestFirst()) {
        if (!jids.isEmpty() && (!chat->user || !jids.contains(chat->user->jid)))
            continue;
        json.append(CliJson::chat(chat));
        text += QStringLiteral("%1\t%2\t%3 messages\t%4\n")
                    .arg(chat->user ? chat->user->jid : QString(), displayName(chat->user))
                    .arg(chat->messages.size())
                    .arg(timeText(chat->last_ts));
    }
    ctx.printResult(json, text);
    return CliExit::Ok;
}

int runMessages(CliContext &ctx)
{
    CliProgress progress(ctx);
    const LoadedSource source = loadSource(ctx, ctx.args.value(0), &progress);
    progress.checkSignals();
    if (progress.interrupted())
        return CliExit::Cancelled;
    const KikMessageList messages = selectedMessages(source, ctx);
    QJsonArray json;
    QString text;
    for (const _KikMessage *m : messages) {
        json.append(CliJson::message(m));
        const QString from =
            m->was_me ? QStringLiteral("me") : (m->target_user ? m->target_user->jid : QStringLiteral("?"));
        text += QStringLiteral("%1 %2 %3: %4\n")
                    .arg(timeText(m->ts), m->chat && m->chat->user ? m->chat->user->jid : QStringLiteral("-"),
                         from, summaryText(m));
    }
    ctx.printResult(json, text);
    return CliExit::Ok;
}

const CliRegistration chatsRegistration({
    {QStringLiteral("chats")},
    QStringLiteral("SOURCE"),
    QStringLiteral("List the chats of a source, newest first."),
    cliSourceOptions(),
    1,
    1,
    runChats,
});

const CliRegistration messagesRegistration({
    {QStringLiteral("messages")},
    QStringLiteral("SOURCE"),
    QStringLiteral("List the messages of a source (or of --chat) in display order."),
    cliSourceOptions(),
    1,
    1,
    runMessages,
});

} // namespace
