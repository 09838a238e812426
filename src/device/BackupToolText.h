// Reading the device backup tool's output (idevicebackup2) and wording its
// failures for the user.
#pragma once

#include <QString>

namespace BackupToolText {

// True only when the tool printed its line "Backup Successful.": the tool
// also ends with status 0 after some failures.
bool succeeded(const QString &output);

// The user's message for a failure text (the tool's output or our own):
// HTML-escaped, then replaced by the connection help with solutions A and B
// when the phone went away or could not be reached, otherwise followed by
// the restart note.
QString worded(const QString &failure);

// Seconds the backup is expected to take for the bytes in use on the phone
// (0.03 s per MiB, 60 s when unknown), at least one second.
qint64 estimatedSeconds(qint64 bytesInUse);

// The progress after `elapsed` seconds of an estimate: 0 to 99.
double progressAfter(qint64 elapsedSeconds, qint64 estimateSeconds);

} // namespace BackupToolText
