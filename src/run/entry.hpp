// The process entry: MPI start, the process record, the master/slave split.
#pragma once

namespace run {

// Runs one process of the job from start to end; returns the exit code.
int process_main();

}  // namespace run
