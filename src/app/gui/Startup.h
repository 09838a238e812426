#pragma once

// The program's start-up sequence: translation, SQLite layer check, log,
// device stack, main window, event loop. Returns the exit code.
int runApplication(int argc, char **argv);
