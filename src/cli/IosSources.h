// Loading Kik's data from an iTunes backup for the command-line tool: used
// by the "itunes:DIR" source and by import-itunes.
#pragma once

#include "cli/CliSource.h"

#include <memory>

class BackupManifest;

struct ItunesKikLoad
{
    std::unique_ptr<BackupManifest> backup;
    LoadedSource source;
};

// Opens, unlocks and indexes the backup in `dir`, copies Kik's files into
// the data root's "ios_cache/<backup key>" with the load job (progress to
// `progress`, may be null) and reads them. Throws with the job's message,
// or "Found no Kik data in your iTunes Backup." when there is no store.
ItunesKikLoad loadItunesKik(const QString &dir, CliContext &ctx, JobProgress *progress);
