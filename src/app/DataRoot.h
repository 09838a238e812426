// The per-user data root and the folders below it.
#pragma once

#include <QDir>
#include <QString>

namespace DataRoot {

// Uses the given folder as the data root for the rest of the process
// (command-line option, environment variable, tests). An empty path clears it.
void setOverride(const QString &path);

// Applies VELLORAN_DATA_ROOT when it is set and no override is in force.
void applyEnvironment();

// Absolute path of the data root, created (with parents) on every call.
QString path();
QDir dir();

// Sub-folder of the data root, created when missing.
QDir subFolder(const QString &name);

QDir logFolder();           // "qlogs"
QDir localDatabaseFolder(); // "local_databases"
QDir iosCacheFolder();      // "ios_cache"
QDir androidCacheFolder();  // "android_cache"

// The data root as computed from a roaming folder: the redirect file, else
// "Velloran/<product id>". Exposed for tests.
QString computeFrom(const QString &roamingFolder);

} // namespace DataRoot
