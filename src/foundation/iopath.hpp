// The "io_path" layer: input and output path prefixes and the log file.
#pragma once

#include <cstdint>

namespace foundation {

// Reads the block after the layer word "io_path" and applies it: "input"
// and "output" set the path prefixes, "logfile" opens (or replaces) the log
// file on unit 31 with the output path rule. Logs "error in file io" on
// any failure.
void lyriop(std::int32_t& ierr);

}  // namespace foundation
