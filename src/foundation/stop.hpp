// Standard output lines, the operator pause and the fatal stop: how any
// routine, the numerical ones too, speaks to the operator and ends the job.
// Nothing here touches a file of the unit plan.
#pragma once

#include <string_view>

namespace foundation {

// Writes one line to standard output (the line end is added) and flushes it.
void stdout_line(std::string_view text);

// Fatal stop: prints the message on standard output (no line for an empty
// message: the caller has logged its reason), flushes every output
// and ends the whole job with a nonzero exit code through the job end that
// the message layer installs at start-up (MPI_Abort after a short pause, so
// that no other process is left waiting); without one, a plain exit(1).
[[noreturn]] void fatal_stop(std::string_view message);

// How a fatal stop ends the job: called with the exit code 1 after every
// output has been flushed; it must not return. Kept here for the whole
// process (a reset of the run's records leaves it).
using JobEnd = void (*)(int code);
void set_job_end(JobEnd end);

// Operator pause: prints the message and goes on. A batch job never waits
// on standard input.
void operator_pause(std::string_view message);

}  // namespace foundation
