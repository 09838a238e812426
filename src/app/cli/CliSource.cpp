#include "app/cli/CliSource.h"

#include "model/MessageOrder.h"

#include <QFile>
#include <QMap>
#include <QSet>

#include <algorithm>

namespace {

QMap<QString, CliSourceLoader> &loaders()
{
    static QMap<QString, CliSourceLoader> map;
    return map;
}

} // namespace

CliSourceRegistration::CliSourceRegistration(const QString &kind, CliSourceLoader loader)
{
    loaders().insert(kind, std::move(loader));
}

QList<CliOptionSpec> cliSourceOptions()
{
    return {
        {QStringLiteral("password"), QStringLiteral("P"),
         QStringLiteral("password of an encrypted iTunes backup"), false},
        {QStringLiteral("password-file"), QStringLiteral("FILE"),
         QStringLiteral("read the backup password from FILE"), false},
        {QStringLiteral("chat"), QStringLiteral("JID"),
         QStringLiteral("only the chat with this partner (repeatable)"), true},
    };
}

QPair<QString, QString> splitSource(const QString &text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == text.size() - 1)
        throw CliUsageError(
            QStringLiteral("a source is written KIND:VALUE, not \"%1\"").arg(text).toStdString());
    const QString kind = text.left(colon);
    static const QSet<QString> known = {
        QStringLiteral("localdb"), QStringLiteral("itunes"), QStringLiteral("ios"),
        QStringLiteral("android"), QStringLiteral("ab"),     QStringLiteral("iphone"),
        QStringLiteral("adb"),
    };
    if (!known.contains(kind))
        throw CliUsageError(QStringLiteral("unknown source kind: %1").arg(kind).toStdString());
    return {kind, text.mid(colon + 1)};
}

LoadedSource loadSource(CliContext &ctx, const QString &text, JobProgress *progress)
{
    const auto [kind, value] = splitSource(text);
    const auto it = loaders().constFind(kind);
    if (it == loaders().cend())
        throw std::runtime_error(
            QStringLiteral("Sources of kind %1 are not supported yet.").arg(kind).toStdString());
    LoadedSource source = it.value()(value, ctx, progress);
    source.kind = kind;
    source.value = value;
    return source;
}

QString sourcePassword(const CliContext &ctx)
{
    if (ctx.has(QStringLiteral("password")))
        return ctx.value(QStringLiteral("password"));
    if (ctx.has(QStringLiteral("password-file"))) {
        QFile file(ctx.value(QStringLiteral("password-file")));
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(QStringLiteral("Cannot read the password file %1.")
                                         .arg(file.fileName())
                                         .toStdString());
        QByteArray bytes = file.readAll();
        while (bytes.endsWith('\n') || bytes.endsWith('\r'))
            bytes.chop(1);
        return QString::fromUtf8(bytes);
    }
    return QString();
}

KikMessageList selectedMessages(const LoadedSource &source, const CliContext &ctx)
{
    KikMessageList list;
    if (!source.data)
        return list;
    const QStringList chats = ctx.values(QStringLiteral("chat"));
    const QSet<QString> wanted(chats.cbegin(), chats.cend());
    for (_KikMessage *message : std::as_const(source.data->messages)) {
        if (!wanted.isEmpty()) {
            // A message shared by several chats belongs to each of them.
            const QList<_KikChat *> chats = chatsOf(message);
            const bool inWanted = std::any_of(chats.cbegin(), chats.cend(), [&](const _KikChat *c) {
                return c->user && wanted.contains(c->user->jid);
            });
            if (!inWanted)
                continue;
        }
        list.append(message);
    }
    sortMessages(list);
    return list;
}
