// What a force model is given: its input (the particles with their flags,
// the reference momentum, the lattice and the force settings as const
// references, and the effective sub-bunch sizes of the evaluation as a
// value), the time, the forces it fills, and the models' work (work.hpp:
// its field library, its work arrays, and for the mesh models the
// observers and the stored Green's function, which a later evaluation may
// reuse). A model reads nothing else: no record of the process, no
// process-wide object; with the same input and the same work it gives the
// same forces. It reaches the other processes through the message layer
// (the share rule below) and writes the log and the "green" online
// monitors through the layers that own them. The forces layer's entry
// builds the input from the process's records (input_of, frcsub); a test
// builds it from its own.
//
// The share rule of the models that run on every process is also here: item
// i (a target, an observer, a required sample) belongs to the process
// mod(i, nprocs) + 1.
#pragma once

#include <cstdint>
#include <span>

#include "bunch/forces.hpp"
#include "foundation/ftypes.hpp"
#include "foundation/views.hpp"
#include "lattice/latcom.hpp"

namespace forces {

// The effective sub-bunch sizes of one evaluation [m] (frcsub): the rms
// length along the motion, the radial and the vertical size.
struct SubBunchSizes {
    double sigma_long, sigma_rad, sigma_vert;
};

// Per-particle flags (lact or ldef of the bunch), particle k at element k-1.
using Flags = std::span<const ftypes::Logical>;
inline bool flag(Flags f, std::int32_t k) { return bool(f[std::size_t(k - 1)]); }

// The inputs of one evaluation of a model.
struct ModelInput {
    foundation::ConstParticleView XP;  // particle records: the bunch's npart
    foundation::ConstIndexView IP;     // their next-boundary pairs (at least XP.size())
    Flags lact;                        // per particle: active, a field source
    Flags ldef;                        // per particle: receives forces
    double p0;                         // reference momentum [m*c]
    const lattice::Latcom& lattice;    // field boundaries and the (s, r) table
    const bunch::ForceSettings& settings;  // the forces layer's settings (its sizes as given)
    SubBunchSizes sizes;               // the effective sub-bunch sizes of the evaluation
};

// The work storage of the models (work.hpp).
struct ModelWork;

// Who this process is, and which items are its own: item i belongs to the
// process mod(i, ncpu) + 1. With one process every item is the master's.
struct Share {
    bool master;
    std::int32_t icpu, ncpu;  // own process number (1..ncpu), number of processes
    // The share of this process (cmpifo).
    static Share of_this_process();
    // the process of item i
    std::int32_t owner(std::int64_t i) const { return std::int32_t(i % ncpu) + 1; }
    bool own(std::int64_t i) const { return owner(i) == icpu; }
    // the first of its items 1, 2, ...; the next ones follow every ncpu
    std::int32_t first() const { return icpu == 1 ? ncpu : icpu - 1; }
};

}  // namespace forces
