// The bunch on the lattice: next-boundary indices of the particles, the
// curvature tables and the reference crossing times (inila2), the next duty
// boundary ahead of the bunch (latti2), one particle's crossing time of a
// boundary (titofb).
//
// The bunch comes in as views of its particle records and index pairs (one
// record per particle, particle 1 the reference particle), with its time ct
// [m of c*t] and reference momentum p0 [m*c].
#pragma once

#include <array>
#include <cstdint>

#include "foundation/ftypes.hpp"
#include "foundation/views.hpp"

namespace lattice {

struct Latcom;

// Places the bunch on the lattice: checks that the path lengths of the
// boundaries increase, gives every particle its next boundary (unless lfbidx
// and lfbok say the indices are already valid for this lattice and bunch;
// lfbidx is set afterwards), builds fbchg, nfbchg, srtab and the reference
// particle's crossing times ctfb. ierr 0 on success; 1 with its own log line
// on failure (also for an empty bunch or a reference particle that cannot
// move).
void inila2(foundation::ConstParticleView part, foundation::IndexView idx, double ct, double p0,
            ftypes::Logical& lfbidx, std::int32_t& ierr);

// The next duty boundary ifbdut ahead of the bunch (lany true when there is
// one), the earliest and latest c*t (ctmin, ctmax) at which the particles
// heading for it reach it without self-force, and the largest next-boundary
// index ifbmax of the bunch (at least ifbdut). Without a duty boundary ahead
// lany is false, ifbdut 0, ctmin and ctmax the bunch time. ierr 1 (no log
// line; the caller logs) when a crossing time cannot be found; lany is then
// false.
void latti2(foundation::ConstParticleView part, foundation::ConstIndexView idx, double ct, double p0,
            std::int32_t& ifbdut, bool& lany, double& ctmin, double& ctmax, std::int32_t& ifbmax,
            std::int32_t& ierr);

// Crossing time ctout of boundary ifbt by particle i (1-based) of the bunch,
// starting at the bunch time ct and moving without self-force. ok false when
// the particle is already past ifbt or cannot reach it.
void titofb(foundation::ConstParticleView part, foundation::ConstIndexView idx, double ct, int i,
            int ifbt, double p0, double& ctout, bool& ok);

}  // namespace lattice
