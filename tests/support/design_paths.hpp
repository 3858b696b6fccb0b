// Analytic design paths for tests and benchmarks: chains of straight pieces
// and circular arcs in the lab frame, handed to the path builder as the
// crossing states of their junctions.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "lattice/pthgen.hpp"

namespace pathtest {

struct Piece {
    double length;  // m
    double kappa;   // 1/m, signed: positive turns to the left
};

struct State {
    double x, y, phi;
};

// The lab state after moving s along the pieces from (x, y, phi) = (0, 0, 0);
// beyond the last piece the path goes on straight, before the first it
// comes in straight.
inline State walk(const std::vector<Piece>& pieces, double s) {
    State st{0.0, 0.0, 0.0};
    if (s < 0.0) return State{s, 0.0, 0.0};
    for (const Piece& pc : pieces) {
        const double l = std::fmin(s, pc.length);
        if (l <= 0.0) break;
        if (pc.kappa == 0.0) {
            st.x += l * std::cos(st.phi);
            st.y += l * std::sin(st.phi);
        } else {
            // the chord 2 sin(a/2)/kappa along the mean direction
            const double a = pc.kappa * l, ch = 2.0 * std::sin(0.5 * a) / pc.kappa;
            st.x += ch * std::cos(st.phi + 0.5 * a);
            st.y += ch * std::sin(st.phi + 0.5 * a);
            st.phi += a;
        }
        s -= l;
    }
    if (s > 0.0) {
        st.x += s * std::cos(st.phi);
        st.y += s * std::sin(st.phi);
    }
    return st;
}

// Builds into P the design path through the junctions of the pieces (the
// start, the end of every piece), anchored at path length sa at c*t = 0,
// for a particle of momentum p (units of m*c). Returns the anchor's lab
// state.
inline State set_path(lattice::Pthcom& P, const std::vector<Piece>& pieces, double sa, double p) {
    const double beta = p / std::sqrt(p * p + 1.0);
    std::vector<double> bp;
    double s = 0.0;
    for (std::size_t k = 0; k <= pieces.size(); ++k) {
        const State st = walk(pieces, s);
        const double row[7] = {st.x, st.y, 0.0, p, st.phi, 0.0, (s - sa) / beta};
        bp.insert(bp.end(), row, row + 7);
        if (k < pieces.size()) s += pieces[k].length;
    }
    const State a = walk(pieces, sa);
    const double part[7] = {a.x, a.y, 0.0, p, a.phi, 0.0, 1.0};
    lattice::pthset(P, part, 0.0, bp.data(), static_cast<std::int32_t>(pieces.size() + 1));
    return a;
}

}  // namespace pathtest
