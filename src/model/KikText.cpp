#include "model/KikText.h"

#include "model/Emoji.h"
#include "model/RenderInstructions.h"

#include <QStringList>

QString displayName(const _KikUser *user)
{
    if (!user)
        return QStringLiteral("Unknown");
    if (!user->display_name.isEmpty())
        return user->display_name;
    if (user->members.isEmpty())
        return QStringLiteral("Unknown");
    QStringList names;
    for (const _KikMember &member : user->members) {
        if (!member.member)
            continue;
        names.append(member.member->display_name.isEmpty() ? QStringLiteral("Unknown")
                                                           : member.member->display_name);
    }
    return names.isEmpty() ? QStringLiteral("Unknown") : names.join(QLatin1Char(','));
}

QString summaryText(const _KikMessage *message)
{
    const QString &app = message->app_id;
    if (app.startsWith(QLatin1String("com.kik.ext.camera"), Qt::CaseInsensitive)
        || app.startsWith(QLatin1String("com.kik.ext.gallery"), Qt::CaseInsensitive))
        return QStringLiteral("[IMAGE]");
    if (app.startsWith(QLatin1String("com.kik.ext.video"), Qt::CaseInsensitive))
        return QStringLiteral("[VIDEO]");
    if (app.startsWith(QLatin1String("com.kik.cards"), Qt::CaseInsensitive))
        return QLatin1Char('[') + message->sub_app_id + QLatin1Char(']');
    const QString text = applyRenderInstructions(
        message->body, message->render_ins,
        [](const QString &key, const std::optional<QString> &value) {
            if (value)
                return QStringLiteral("[EMOJI:%1]").arg(*value);
            if (!key.isEmpty())
                return QStringLiteral("[%1]").arg(key);
            return QStringLiteral("[EMOJI]");
        },
        false);
    return convertEmoji(text, [](const QString &) { return QStringLiteral("[EMOJI]"); });
}

QString fileUrl(const _KikMessage *message)
{
    return message->attachment.value(QStringLiteral("string:file-url")).toString();
}

QString replaceMatches(const QString &text, const QRegularExpression &expression,
                       const std::function<QString(const QRegularExpressionMatch &)> &replacer)
{
    QString out;
    qsizetype copied = 0;
    QRegularExpressionMatchIterator it = expression.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        out += QStringView(text).mid(copied, match.capturedStart() - copied);
        out += replacer(match);
        copied = match.capturedEnd();
    }
    out += QStringView(text).mid(copied);
    return out;
}
