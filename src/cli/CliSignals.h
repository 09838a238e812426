// SIGINT and SIGTERM for every command of the command-line tool: a signal
// becomes the Cancel button of every job progress that is being watched,
// from the first moment of the run. When the command has not ended a moment
// later (it was reading or waiting where no job checks the cancel flag),
// the partial outputs registered with AbortCleanup are removed and the
// process ends with the cancel exit code.
#pragma once

class JobProgress;

namespace CliSignals {

// Installs the handlers (once; later calls do nothing).
void install();
// After this, a signal the command does not answer within the grace time
// ends the process (exit code 3). Only the program itself turns this on.
void enableHardStop();
// Tells the watcher that the command has returned: no hard stop any more.
void commandEnded();

// A signal arrived during this run.
bool stopRequested();
// Forgets a signal that arrived (for tests that raise one in-process).
void clearStop();

// Cancels `progress` when a signal arrives (at once when one did already)
// until unwatch().
void watch(JobProgress *progress);
void unwatch(JobProgress *progress);

} // namespace CliSignals
