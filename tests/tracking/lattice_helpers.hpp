// Small lattices for the tracking tests, built through the boundary
// placement of the lattice layer and completed with section codes and
// private data the way the element readers store them.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "lattice/latcom.hpp"
#include "bunch/prtcls.hpp"
#include "lattice/lattice.hpp"

namespace trktest {

inline constexpr double pi = 3.141592653589793;
inline constexpr double U = ftypes::UNDEF_REAL;

struct Lat {
    Lat() {
        std::int32_t ierr = 0;
        lattice::inilat(ierr);
    }
    // Appends a boundary; returns its index.
    int add(double r, double rho, double psi, double ds, double dpsi, bool duty = false) {
        lattice::Pos4 pos;
        pos(1) = rho;
        pos(2) = psi;
        pos(3) = ds;
        pos(4) = dpsi;
        std::int32_t ierr = 0;
        lattice::positi(r, pos, "undefined", duty, ierr);
        EXPECT_EQ(ierr, 0);
        return lattice::latcom.nfb;
    }
    // Straight piece of length ds (normal along the tangent unless psi given).
    int straight(double ds, double psi = U, bool duty = false) { return add(0.0, U, psi, ds, U, duty); }
    // Relative arc of radius r and length ds.
    int arc(double r, double ds, double psi = U, bool duty = false) { return add(r, U, psi, ds, U, duty); }
    // Section codes of a thick element without private data.
    void thick(int i) { set_isect(i, 1, 0); }
    // Exit boundary of a multipole of order m.
    void multipole(int i, int m, double h, double v, double strength, double alpha) {
        auto& L = lattice::latcom;
        L.nila += 1;
        L.ila(L.nila) = m;
        L.rla(L.nrla + 1) = h;
        L.rla(L.nrla + 2) = v;
        L.rla(L.nrla + 3) = strength;
        L.rla(L.nrla + 4) = alpha;
        L.nrla += 4;
        set_isect(i, 1, 1);
    }
    // Thin quadrupole at boundary i with effective length el and strength k.
    void thin_quad(int i, double el, double k) {
        auto& L = lattice::latcom;
        const int b = L.nrla;
        for (int j = 1; j <= 32; ++j) L.rla(b + j) = 0.0;
        for (int d = 0; d < 4; ++d) {
            L.rla(b + 1 + d * 5) = 1.0;
            L.rla(b + 17 + d * 5) = 1.0;
        }
        L.rla(b + 2) = -el * k;       // M1(2,1)
        L.rla(b + 12) = el * k;       // M1(4,3)
        L.rla(b + 16 + 5) = el * k;   // M2(1,2)
        L.rla(b + 16 + 15) = -el * k; // M2(3,4)
        L.nrla += 32;
        set_isect(i, 0, 1);
    }
    void set_isect(int i, int a, int b) {
        auto& L = lattice::latcom;
        L.isect(1, i) = a;
        L.isect(2, i) = b;
        L.isect(3, i) = L.nila;
        L.isect(4, i) = L.nrla;
    }
};

// Particle state (x, y, z, p, phi, theta) as a plain array.
struct State {
    double s[7] = {0, 0, 0, 1, 0, 0, 0};
};

inline double beta(double p) { return 1.0 / std::sqrt(1.0 / (p * p) + 1.0); }

}  // namespace trktest
