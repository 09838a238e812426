// Runs a job thread to its end while the calling thread keeps processing
// the queued progress calls (the command-line tool and the tests have no
// dialog of their own to do that).
#pragma once

class QThread;

namespace JobRunner {

// Starts the thread and returns when it has finished and every progress
// call it queued has been delivered.
void runToEnd(QThread &job);

} // namespace JobRunner
