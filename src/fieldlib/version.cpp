#include "fieldlib/version.hpp"

namespace fieldlib {

void verfld(std::string& text, std::int32_t i, std::int32_t& n) {
    n = 1;
    text = (i == 1) ? "fld_version = fld3f3_13_no_wint2  from 17.03.05" : "";
}

}  // namespace fieldlib
