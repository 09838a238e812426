// Reading a database that is not ours (a folder the user points at) without
// changing anything beside it. SQLite writes when it opens a database with a
// hot "-journal" (it rolls the journal back into the file) or a "-wal" (it
// creates or rewrites "-shm" and folds the log in on close); such a database
// is read from a private copy instead.
#pragma once

#include <QString>

class Sqlite3DB;

namespace SqliteInput {

// True when reading `file` in place would make SQLite write: a "-wal" with
// content or a "-journal" lies beside it.
bool needsPrivateCopy(const QString &file);

// Opens `file` read-only and immutable in place when it can be read as it
// stands; otherwise copies it with its "-wal" and "-journal" (never "-shm",
// which SQLite rebuilds from the log) into `privateFolder`, replacing an
// earlier copy, and opens the copy. Throws on failure.
void open(Sqlite3DB &db, const QString &file, const QString &privateFolder);

} // namespace SqliteInput
