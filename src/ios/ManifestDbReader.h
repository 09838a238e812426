// Reader of Manifest.db, the file index of backups from iOS 10 on: an SQLite
// table "Files" whose "file" column holds a keyed archive of the metadata.
#pragma once

#include "ios/MbdbRecord.h"

#include <QString>

// Reads the "Files" table into a record table keyed by the stored file id.
// Rows whose file id is not 40 hexadecimal digits are skipped (they could
// name a file outside the backup folder). Throws AppError on a
// file that is not such a database.
MbdbRecordTable readManifestDb(const QString &path);

// Fills the metadata fields of `record` from the keyed archive of the
// "file" column; returns false when the bytes are not such an archive.
bool parseFileArchive(const QByteArray &archive, MbdbRecord &record);
