// Superuser file steps shared by the load and restore jobs: the staging
// folder on the shared storage, and files put back into Kik's data folder.
#pragma once

#include <QString>

class AndroidChannel;

namespace AndroidRootFiles {

inline constexpr char kKikDataFolder[] = "/data/data/kik.android";

// Empties (creates) the staging folder.
void prepareStaging(AndroidChannel &channel, const QString &staging);
// Removes the staging folder again, so no copy of Kik's private files stays
// readable on the shared storage. Never throws; false when the channel
// failed (it may have broken with an earlier transfer).
bool removeStaging(AndroidChannel &channel, const QString &staging);

// Gives a file put back as superuser the owner and group of Kik's data
// folder, the Part's permissions and, where restorecon exists, its
// security context, so that Kik can open it again.
void handToKik(AndroidChannel &channel, const QString &phonePath);

} // namespace AndroidRootFiles
