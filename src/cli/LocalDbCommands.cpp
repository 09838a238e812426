// velloran-kik localdb list / localdb delete NAME.
#include "app/Translation.h"
#include "cli/CliCommand.h"
#include "cli/LocalDbBackup.h"
#include "model/LocalDatabases.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

namespace {

int runList(CliContext &ctx)
{
    QJsonArray json;
    QString text;
    for (const QString &name : LocalDatabases::list()) {
        const QString path = QDir::toNativeSeparators(LocalDatabases::folderOf(name));
        json.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("path"), path}});
        text += name + QLatin1Char('\t') + path + QLatin1Char('\n');
    }
    ctx.printResult(json, text);
    return CliExit::Ok;
}

int runDelete(CliContext &ctx)
{
    QString name;
    const QString folder = existingLocalDbFolder(ctx.args.value(0), &name);
    LocalDatabases::remove(folder);
    if (QDir(folder).exists())
        throw std::runtime_error(QStringLiteral("The folder %1 could not be removed completely.")
                                     .arg(QDir::toNativeSeparators(folder))
                                     .toStdString());
    ctx.printResult(QJsonObject{{QStringLiteral("deleted"), name}}, ids("IDS_DEL_LOCALDB_SUC"));
    return CliExit::Ok;
}

const CliRegistration listRegistration({
    {QStringLiteral("localdb"), QStringLiteral("list")},
    QString(),
    QStringLiteral("List the local message databases."),
    {},
    0,
    0,
    runList,
});

const CliRegistration deleteRegistration({
    {QStringLiteral("localdb"), QStringLiteral("delete")},
    QStringLiteral("NAME"),
    QStringLiteral("Delete the local message database NAME with its media."),
    {},
    1,
    1,
    runDelete,
});

} // namespace
