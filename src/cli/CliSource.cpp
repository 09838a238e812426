#include "cli/CliSource.h"

#include "app/AppError.h"
#include "app/DataRoot.h"
#include "app/OutputPath.h"
#include "model/LocalDatabases.h"
#include "model/MessageOrder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>

#include <algorithm>

namespace {

// A password is short; anything longer is not a password file.
constexpr qint64 kMaxPasswordFileBytes = 4096;

QString readPasswordFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw AppError(
            QStringLiteral("Cannot read the password file %1.").arg(QDir::toNativeSeparators(path)));
    // Read in small steps up to one byte past the limit, so that an endless
    // source (a pipe, a device) costs no more than that.
    QByteArray bytes;
    while (bytes.size() <= kMaxPasswordFileBytes) {
        const QByteArray chunk = file.read(kMaxPasswordFileBytes + 1 - bytes.size());
        if (chunk.isEmpty())
            break;
        bytes += chunk;
    }
    if (bytes.size() > kMaxPasswordFileBytes)
        throw AppError(QStringLiteral("The password file %1 is longer than %2 bytes; "
                                      "it should hold only the backup password.")
                           .arg(QDir::toNativeSeparators(path))
                           .arg(kMaxPasswordFileBytes));
    while (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

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
        QStringLiteral("localdb"), QStringLiteral("itunes"), QStringLiteral("ios"), QStringLiteral("android"),
        QStringLiteral("ab"),      QStringLiteral("iphone"), QStringLiteral("adb"),
    };
    if (!known.contains(kind))
        throw CliUsageError(QStringLiteral("unknown source kind: %1").arg(kind).toStdString());
    return {kind, text.mid(colon + 1)};
}

QStringList sourceInputPaths(const CliContext &ctx, const QString &text)
{
    const auto [kind, value] = splitSource(text);
    QStringList paths;
    if (kind == QLatin1String("localdb")) {
        const LocalDatabases::NameCheck check = LocalDatabases::checkName(value);
        if (check.ok())
            paths << LocalDatabases::folderOf(check.name);
    } else if (kind != QLatin1String("iphone") && kind != QLatin1String("adb")) {
        paths << QFileInfo(value).absoluteFilePath();
    }
    if (ctx.has(QStringLiteral("password-file")))
        paths << QFileInfo(ctx.value(QStringLiteral("password-file"))).absoluteFilePath();
    return paths;
}

LoadedSource loadSource(CliContext &ctx, const QString &text, JobProgress *progress)
{
    const auto [kind, value] = splitSource(text);
    // The password file is read once, before anything else, whatever the
    // source: a wrong one is reported at once.
    if (ctx.has(QStringLiteral("password-file")) && !ctx.has(QStringLiteral("password")))
        ctx.options[QStringLiteral("password")] = {sourcePassword(ctx)};
    // The caches and logs of the data root are written while the source is
    // read; they never go into the source.
    for (const QString &input : sourceInputPaths(ctx, text)) {
        if (kind != QLatin1String("localdb") && OutputPath::isSameOrInside(DataRoot::path(), input))
            throw AppError(
                QStringLiteral("The data folder %1 lies inside the input %2; "
                               "choose a data folder outside it.")
                    .arg(QDir::toNativeSeparators(DataRoot::path()), QDir::toNativeSeparators(input)));
    }
    const CliSourceLoader loader = loaders().value(kind);
    if (!loader)
        throw AppError(QStringLiteral("Sources of kind %1 are not supported yet.").arg(kind));
    LoadedSource source = loader(value, ctx, progress);
    source.kind = kind;
    source.value = value;
    return source;
}

QString sourcePassword(const CliContext &ctx)
{
    if (ctx.has(QStringLiteral("password")))
        return ctx.value(QStringLiteral("password"));
    if (ctx.has(QStringLiteral("password-file")))
        return readPasswordFile(ctx.value(QStringLiteral("password-file")));
    return QString();
}

KikMessageList selectedMessages(const LoadedSource &source, const CliContext &ctx)
{
    KikMessageList list;
    if (!source.data)
        return list;
    const QStringList chats = ctx.values(QStringLiteral("chat"));
    const QSet<QString> wanted(chats.cbegin(), chats.cend());
    QSet<QString> present;
    for (const _KikChat *chat : source.data->chatsNewestFirst()) {
        if (chat->user)
            present.insert(chat->user->jid);
    }
    for (const QString &jid : chats) {
        if (!present.contains(jid))
            throw AppError(
                QStringLiteral("There is no chat with %1 in %2:%3.").arg(jid, source.kind, source.value));
    }
    for (_KikMessage *message : std::as_const(source.data->messages)) {
        if (!wanted.isEmpty()) {
            // A message shared by several chats belongs to each of them.
            const QList<_KikChat *> ofMessage = chatsOf(message);
            const bool inWanted = std::any_of(ofMessage.cbegin(), ofMessage.cend(), [&](const _KikChat *c) {
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
