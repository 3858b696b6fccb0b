// The outputs that a deck names, checked against the files of the whole
// deck before any layer is carried out.
#pragma once

#include <cstdint>

#include "foundation/parser.hpp"

namespace run {

// Every log file, monitor and online monitor that the deck names (with the
// output path prefix that its io_path layers set before it) must be no file
// that the deck reads (an existing one; a log file not even one yet to be
// made) and no file that the program writes under its own name: the
// lattice summary of a lattice layer, the diagnostic files of a tracking
// run with "test" = "yes". The first that is logs the key, its value, what
// the file is and the deck line, then the layer's message; status 1.
[[nodiscard]] std::int32_t check_deck_outputs(const foundation::DeckOutline& deck);

}  // namespace run
