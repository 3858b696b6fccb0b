#include "forces/version.hpp"

namespace forces {

void vercsr(std::string& text, std::int32_t i, std::int32_t& n) {
    n = 1;
    text = (i == 1) ? "rel1_projected           17.03.05" : "";
}

}  // namespace forces
