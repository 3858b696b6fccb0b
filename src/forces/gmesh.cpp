// Green's-function mesh of the mesh models.
#include "forces/gmesh.hpp"

namespace forces {

Mesh mesh;

void gmeshi() {
    mesh.ctgreen = 0.0;
    mesh.lgreen = false;
}

}  // namespace forces
