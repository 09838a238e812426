// The "localdb:NAME" source: a local message database below the data root.
#include "app/Translation.h"
#include "cli/CliSource.h"
#include "cli/LocalDbBackup.h"
#include "model/KikLocalDb.h"
#include "model/LocalDatabases.h"

namespace {

LoadedSource loadLocalDb(const QString &value, CliContext &, JobProgress *)
{
    // Loading never creates a database: only an existing one is read.
    const QString folder = existingLocalDbFolder(value);
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
