// Green's-function mesh of the mesh models.
#pragma once

#include "include/mesh.hpp"

namespace forces {

// Drops the stored Green's function: ctgreen := 0, lgreen := false.
void gmeshi();

}  // namespace forces
