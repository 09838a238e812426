// Thrown inside a job when the user cancelled: the job's top level catches
// it, cleans up what it wrote and ends without an error message. It is not
// a std::exception, so handlers of real failures never swallow it.
#pragma once

struct JobCancelled
{};
