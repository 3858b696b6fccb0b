// Version text of the projected self-force model, for the banner.
#pragma once

#include <cstdint>
#include <string>

namespace forces {

// n := 1; text := line i of the version text (line 1 the version line,
// any other i a blank text).
void vercsr(std::string& text, std::int32_t i, std::int32_t& n);

}  // namespace forces
