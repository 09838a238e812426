// Reader of Manifest.mbdb, the file index of backups up to iOS 9.
#pragma once

#include "ios/MbdbRecord.h"

#include <QIODevice>
#include <QString>

// Reads every record of the file into a table keyed by file id (a later
// record with the same id replaces the earlier one). Throws
// AppError on an unreadable file, one that does not start with
// "mbdb", or a truncated record.
MbdbRecordTable readMbdb(const QString &path);

// Whether the file starts as a Manifest.mbdb does.
bool hasMbdbMagic(const QString &path);

// The same from an open device (for tests and for in-memory manifests).
MbdbRecordTable readMbdb(QIODevice &device);
