// The process entry: MPI start, the process record, the master/slave split.
#pragma once

namespace run {

// Runs one process of the job from start to end; returns the exit code.
int process_main();

// Starts MPI and fills the process record (own number, number of
// processes, trace level 0, tag counters 0, master flag). Returns false,
// after a line on standard output from one process, when the launcher of
// another MPI started the job or the job has more processes than the tag
// counters hold; MPI is then already finalised.
bool process_start();

// The start-up hand-shake (more than one process): the master sends
// "master to slave" to every slave in increasing process number and then
// receives one reply from each; a slave answers "ok", or "error" when the
// text it received differs. Afterwards every pair's tag counter is 2.
void handshake();

}  // namespace run
