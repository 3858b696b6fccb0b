// The lattice summary "latout.dat". Master only.
#pragma once

namespace lattice {

// Writes "latout.dat" through the output file pool (output path prefix).
void latout();

}  // namespace lattice
