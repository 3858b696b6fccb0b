// The lattice summary "latout.dat". Master only.
#pragma once

#include <string_view>

namespace lattice {

// The name of the lattice summary (output path rule).
inline constexpr std::string_view latout_name = "latout.dat";

// Writes "latout.dat" through the output file pool (output path prefix).
void latout();

}  // namespace lattice
