#include "ios/OpenSslError.h"

#include <QStringList>

#include <openssl/err.h>

QString openSslErrorText(const QString &what)
{
    QStringList reasons;
    while (const unsigned long code = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        // A bounded number of reasons: the queue is OpenSSL's, not ours.
        if (reasons.size() < 8)
            reasons << QString::fromLatin1(text);
    }
    if (reasons.isEmpty())
        return what;
    return what + QStringLiteral(" (") + reasons.join(QStringLiteral("; ")) + QLatin1Char(')');
}
