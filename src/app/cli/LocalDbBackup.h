// Backing messages up into a local database from a command, shared by
// `backup` and `import-itunes`.
#pragma once

#include "model/KikRecords.h"

#include <QString>

class CliContext;
class CliProgress;

// Checks the database name (a usage error when it is not acceptable).
// Returns the name as it will be used.
QString checkedLocalDbName(const QString &wanted);

// Runs the backup job into the local database `name` under the command's
// progress and prints its result; returns the command's exit code.
int backUpIntoLocalDb(CliContext &ctx, CliProgress &progress, const KikMessageList &messages,
                      const QString &name);
