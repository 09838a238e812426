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

} // namespace AndroidKikPaths
