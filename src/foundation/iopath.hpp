// The "io_path" layer: input and output path prefixes and the log file.
#pragma once

#include <cstdint>

namespace foundation {

// Reads the block after the layer word "io_path" and applies it: "input"
// and "output" set the path prefixes, "logfile" opens (or replaces) the log
// file on unit 31 with the output path rule. An "output" folder that does
// not exist or cannot take files is refused, and so is a log file that is a
// file the run reads or another output has open. Logs "error in file io"
// on any failure.
void lyriop(std::int32_t& ierr);

// Before a tracking run: the output folder (the output prefix, else the
// working folder) still exists and takes files. Otherwise a line says why,
// then "error in file io", status 1: no run writes its outputs into the
// void.
void check_output_folder(std::int32_t& ierr);

}  // namespace foundation
