#pragma once

#include <QStringList>

// Runs the command-line tool on its arguments (without the program name);
// returns the exit code.
int runCli(const QStringList &arguments);

// The usage text of the tool, or of one command.
QString cliUsage();
