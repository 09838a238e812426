// The "localdb:NAME" source: a local message database below the data root.
#include "app/AppError.h"
#include "app/Translation.h"
#include "cli/CliSource.h"
#include "model/KikLocalDb.h"
#include "model/LocalDatabases.h"

namespace {

LoadedSource loadLocalDb(const QString &value, CliContext &, JobProgress *)
{
    const LocalDatabases::NameCheck check = LocalDatabases::checkName(value);
    if (!check.ok())
        throw CliUsageError(ids(check.errorKey).toStdString());
    const QString folder = LocalDatabases::folderOf(check.name);
    // Loading never creates a database: only an existing one is read.
    if (!LocalDatabases::exists(folder))
        throw AppError(QStringLiteral("There is no local database named \"%1\".").arg(check.name));
    LoadedSource source;
    auto db = std::make_shared<KikLocalDb>(folder);
    source.data = std::make_shared<KikDataSet>();
    db->loadAll(*source.data);
    source.db = db;
    source.cacheFolder = folder;
    return source;
}

const CliSourceRegistration registration(QStringLiteral("localdb"), loadLocalDb);

} // namespace
