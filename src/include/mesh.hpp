// The mesh models' record, as far as the stamp of the stored Green's
// function goes: the run-state transfer sends ctgreen and lgreen to the
// slaves and gmeshi drops the stored function.
#pragma once

#include <cstdint>

#include "include/ftypes.hpp"

namespace forces {

struct Mesh {
    double ctgreen;          // c*t [m] at which the stored Green's function was computed
    ftypes::Logical lgreen;  // the stored Green's function is valid
};

extern Mesh mesh;

}  // namespace forces
