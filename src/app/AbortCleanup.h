// Outputs that are still being written, so that a run stopped from outside
// (SIGINT, SIGTERM) can remove them before the process ends. Whoever makes a
// partial file or folder registers it and forgets it once it is complete or
// removed.
#pragma once

#include <QString>

namespace AbortCleanup {

// Registers a partial file (removed when it is still a regular file) or a
// folder this run created (removed with everything in it). Returns a handle
// for forget().
int add(const QString &path);
void forget(int handle);

// Removes everything registered. Called once, when the run is stopped.
void removeAll();

} // namespace AbortCleanup
