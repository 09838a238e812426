#include "view/ExportText.h"

#include "model/KikText.h"

namespace ExportText {

QString messageName(const _KikMessage *message)
{
    if (!message->chat || !message->chat->user)
        return QString();
    if (!message->was_me && message->chat->user->is_group && message->target_user)
        return displayName(message->target_user);
    return displayName(message->chat->user);
}

QString oneLine(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar ch : text) {
        switch (ch.unicode()) {
        case u'\r':
            break;
        case u'\n':
        case 0x0B:
        case 0x0C:
        case 0x85:
        case 0x2028:
        case 0x2029:
            out += QLatin1Char(' ');
            break;
        default:
            out += ch;
        }
    }
    return out;
}

QString csvField(const QString &value)
{
    QString text = value;
    bool quote = text.contains(QLatin1Char('"')) || text.contains(QLatin1Char(','))
                 || text.contains(QLatin1Char('\n'));
    if (!text.isEmpty()) {
        const QChar first = text.at(0);
        if (first == QLatin1Char('=') || first == QLatin1Char('+') || first == QLatin1Char('-')
            || first == QLatin1Char('@')) {
            text.prepend(QLatin1Char('\''));
            quote = true;
        }
    }
    if (!quote)
        return text;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace ExportText
