// Green's-function mesh of the mesh models: the stamp of the stored Green's
// function. The run-state transfer sends ctgreen and lgreen to the slaves
// and gmeshi drops the stored function.
#pragma once

#include <cstdint>

#include "foundation/ftypes.hpp"

namespace forces {

struct Mesh {
    double ctgreen;          // c*t [m] at which the stored Green's function was computed
    ftypes::Logical lgreen;  // the stored Green's function is valid
};

extern Mesh mesh;

// Drops the stored Green's function: ctgreen := 0, lgreen := false.
void gmeshi();

}  // namespace forces
