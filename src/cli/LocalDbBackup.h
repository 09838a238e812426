// Local databases from a command: their names, finding an existing one,
// and backing messages up into one (`backup` and `import-itunes`).
#pragma once

#include "model/KikRecords.h"

#include <QString>

class CliContext;
class CliProgress;

// Longest database name, in bytes of UTF-8 (it names a folder and the
// files in it).
inline constexpr int kMaxLocalDbNameBytes = 120;

// Checks the database name (a usage error when it is not acceptable or too
// long). Returns the name as it will be used.
QString checkedLocalDbName(const QString &wanted);

// The folder of the existing local database `wanted`: a usage error when the
// name is not acceptable, a failure when there is no such database. `name`,
// when given, receives the name as it is used.
QString existingLocalDbFolder(const QString &wanted, QString *name = nullptr);

// A valid database name made from any device name: characters a name may
// not hold become spaces, the name is shortened, "_Backup" is appended.
QString defaultLocalDbName(const QString &deviceName);

// Runs the backup job into the local database `name` under the command's
// progress and prints its result; returns the command's exit code.
int backUpIntoLocalDb(CliContext &ctx, CliProgress &progress, const KikMessageList &messages,
                      const QString &name);
