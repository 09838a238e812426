// velloran-kik devices: the connected iPhones and Android phones.
#include "cli/CliDevices.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

int runDevices(CliContext &ctx)
{
    const CliDeviceListing listing = listCliDevices(ctx);
    QJsonArray json;
    QString text;
    for (const CliDeviceRow &row : listing.rows) {
        json.append(QJsonObject{
            {QStringLiteral("kind"), row.kind},
            {QStringLiteral("id"), row.id},
            {QStringLiteral("name"), row.name},
            {QStringLiteral("state"), row.state},
        });
        text += QStringLiteral("%1\t%2\t%3\t%4\n").arg(row.kind, row.id, row.name, row.state);
    }
    if (listing.rows.isEmpty())
        text = QStringLiteral("No phone is connected.\n");
    // A stack that cannot be reached is said on stderr; the phones of the
    // other stacks are still listed.
    for (const QString &problem : listing.problems)
        ctx.printError(problem);
    ctx.printResult(json, text);
    return CliExit::Ok;
}

const CliRegistration registration({
    {QStringLiteral("devices")},
    QString(),
    QStringLiteral("List the connected iPhones and Android phones."),
    {},
    0,
    0,
    runDevices,
});

} // namespace
