// The copies of an Android phone's Kik data kept before messages are written
// onto it: fresh backup archives in "abfiles-before-restore" and copies of
// the database files in "dbfiles-before-restore" below its cache folder.
#pragma once

#include <QDir>
#include <QString>

namespace AndroidSafetyCopies {

inline constexpr int kKept = 10;

// Deletes all but the newest `keep` entries matching `pattern`.
void keepNewest(const QDir &folder, const QString &pattern, int keep);
// The archive folder, made, with at most `kKept` archives left in it.
QDir archiveFolder(const QDir &cache);
// Copies the cached database files into a new "<time>.dbdir" folder, with at
// most `kKept` such folders left. Throws when a copy fails.
QString keepDatabaseCopy(const QDir &cache);

} // namespace AndroidSafetyCopies
