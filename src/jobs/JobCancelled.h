// The one way a cancel travels: thrown inside a job (or a command-line
// command) when the user cancelled. A job's top level catches it, cleans up
// what it wrote and ends without an error message; the command-line tool
// ends with its cancel exit code. It is not a std::exception, so handlers of
// real failures never swallow it.
#pragma once

struct JobCancelled
{};
