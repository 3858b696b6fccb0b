// Version text of the sub-bunch field library, for the banner.
#pragma once

#include <cstdint>
#include <string>

namespace fieldlib {

// n := 1; text := line i of the version text (line 1 the version line,
// any other i a blank text).
void verfld(std::string& text, std::int32_t i, std::int32_t& n);

}  // namespace fieldlib
