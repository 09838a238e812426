// velloran-kik version: the program's and its libraries' versions.
#include "cli/CliCommand.h"

#include <QJsonObject>

#include <archive.h>
#include <mbedtls/version.h>
#include <openssl/opensslv.h>
#include <sqlite3.h>
#include <zlib.h>

namespace {

int runVersion(CliContext &ctx)
{
    char mbedtls[32] = {};
    mbedtls_version_get_string(mbedtls);
    QJsonObject json{
        {QStringLiteral("version"), QStringLiteral(VELLORAN_VERSION)},
        {QStringLiteral("qt"), QString::fromLatin1(qVersion())},
        {QStringLiteral("sqlite"), QString::fromLatin1(sqlite3_libversion())},
        {QStringLiteral("libarchive"), QString::fromLatin1(archive_version_string())},
        {QStringLiteral("zlib"), QString::fromLatin1(zlibVersion())},
        {QStringLiteral("mbedtls"), QString::fromLatin1(mbedtls)},
        {QStringLiteral("openssl"), QStringLiteral(OPENSSL_VERSION_TEXT)},
    };
    QString text = QStringLiteral("velloran-kik %1\n").arg(QStringLiteral(VELLORAN_VERSION));
    for (auto it = json.constBegin(); it != json.constEnd(); ++it) {
        if (it.key() != QLatin1String("version"))
            text += QStringLiteral("%1 %2\n").arg(it.key(), it.value().toString());
    }
    ctx.printResult(json, text);
    return CliExit::Ok;
}

const CliRegistration registration({
    {QStringLiteral("version")},
    QString(),
    QStringLiteral("Print the program and library versions."),
    {},
    0,
    0,
    runVersion,
});

} // namespace
