// Where Kik's files lie in an extracted Android backup tree and on the phone.
#pragma once

#include <QDir>
#include <QString>

namespace AndroidKikPaths {

inline constexpr char kPackageFolder[] = "apps/kik.android";
inline constexpr char kDefaultDatabase[] = "apps/kik.android/db/kikDatabase.db";
inline constexpr char kThumbsFolder[] = "apps/kik.android/f/staging/thumbs";
inline constexpr char kPhoneDatabaseFolder[] = "/data/data/kik.android/databases/";
inline constexpr char kPhoneThumbsFolder[] = "/data/data/kik.android/files/staging/thumbs/";

// The database of the tree below `root` (the folder holding "apps"): the
// default "kikDatabase.db" when it exists; otherwise, when
// "kikCoreDatabase.db" names an active core whose "<core id>.kikDatabase.db"
// exists, that file; otherwise the default path.
QString databasePath(const QDir &root);

// A name taken from a database (a thumbnail's name, a core id) reduced to
// one file name that is safe below a folder here, inside a backup archive
// and in a superuser shell command on the phone: its last path part, only
// ASCII letters, digits, ".", "_" and "-", not starting with "." or "-".
// Empty when nothing is left or the name is longer than an archive entry
// name may be (100 bytes).
QString safeName(const QString &value);

} // namespace AndroidKikPaths
