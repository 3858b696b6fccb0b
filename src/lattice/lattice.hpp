// The "lattice" layer: element blocks, field-boundary geometry and the
// emptying of the lattice record. Master only.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/ftypes.hpp"
#include "lattice/latcom.hpp"

namespace lattice {

// Position of a new boundary as read from a position block:
// pos(1) rho (m), pos(2) psi (rad), pos(3) delta_s (m), pos(4) delta_psi (rad),
// each possibly undefined (ftypes::UNDEF_REAL).
using Pos4 = ftypes::Arr1<double, 4>;

// Empties the lattice: nfb, nila, nrla := 0, lfbok := false, ierr := 0.
void inilat(std::int32_t& ierr);

// Appends one field boundary ending a section of radius r (m, 0 = straight).
// ierr := 1 on failure (logged), left alone on success. A position that
// cannot place a boundary (boundary line parallel to the direction that has
// to reach it, an absolute arc starting on its own boundary line) is refused
// with "error in position"; a refused boundary stays counted and marked.
void positi(double r, const Pos4& pos, const std::string& marker, ftypes::Logical duty,
            std::int32_t& ierr);

// Reads the whole "lattice" layer after its command word.
void lylatt(std::int32_t& ierr);

// Element readers: kind 1 dipole, 2 quadrupole, 0 multipole.
void lymult(std::int32_t& ierr, std::int32_t kind);
// Properties of a dipole/quadrupole/multipole; m is the kind in, the order out.
void lymupr(double& r, double& strength, double& alpha, double& horizontal_offset,
            double& vertical_offset, std::int32_t& m, std::int32_t& ierr);
// Position block (angles returned in radians); duty is preset by the caller.
void lyposi(Pos4& pos, std::string& marker, ftypes::Logical& duty, std::int32_t& ierr);
void lytiqu(std::int32_t& ierr);
void lytiqp(double& effective_length, double& quadrupole_k, std::int32_t& ierr);
void lydifr(std::int32_t& ierr);
void lydifp(std::int32_t& type, std::int32_t& nint, std::int32_t& nreal, std::int32_t& ierr);

}  // namespace lattice
