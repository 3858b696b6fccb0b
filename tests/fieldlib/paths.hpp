// Analytic design paths for the field-library tests and benchmarks, and the
// settings of a field evaluation.
#pragma once

#include <memory>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "fieldlib/field.hpp"
#include "fieldlib/fldint.hpp"
#include "lattice/pthgen.hpp"
#include "support/design_paths.hpp"
#include "support/support.hpp"

namespace fltest {

using foundation::clight;  // m/s
using foundation::pi;
using testsupport::stdout_to_stderr;
using testsupport::ke;  // 1/(4 pi eps0) [V m/C]

using pathtest::Piece;
using pathtest::State;

// The field library of the tests: one of this test program, zero-filled.
inline fieldlib::Context& test_context() {
    static const std::unique_ptr<fieldlib::Context> cx = std::make_unique<fieldlib::Context>();
    return *cx;
}

// The design path of the pieces (see pathtest::set_path) built into a field
// library (the tests' own unless another is given), its limits handed to it.
inline State build_path(const std::vector<Piece>& pieces, double sa, double p,
                        fieldlib::Context& cx = test_context()) {
    const State a = pathtest::set_path(cx.path, pieces, sa, p);
    fieldlib::pthlim(cx);
    return a;
}

// The settings of one field evaluation (those not set by the path).
struct Settings {
    double q0 = 1e-9, sigmat = 1e-3 / clight, xnsigt = 5.0, hc = 0.0, hmax = 0.5;  // C, s, -, m, m
    double rintmi = 1e-9, relacc = 1e-4;                                             // m, -
    int method = 0;
    double sigmaz = 0.0, sigmar = 0.0;
    bool nogamma2 = false, notalman = false, poleex = false, zsym = false, mirror1d = false;
};

// Hands the settings to a field library (the tests' own unless another is
// given); returns them.
inline Settings apply(const Settings& S, fieldlib::Context& cx = test_context()) {
    const auto finit = [&cx](std::string_view name, double value) { fieldlib::finit(cx, name, value); };
    for (const auto& [name, v] : {std::pair<std::string_view, double>{"q0", S.q0}, {"sigmat", S.sigmat},
                                  {"xnsigt", S.xnsigt}, {"hc", S.hc}, {"hmax", S.hmax}, {"rintmi", S.rintmi},
                                  {"relacc", S.relacc}, {"nogamma2", double(S.nogamma2)}, {"notalman", double(S.notalman)},
                                  {"1dpoleex", double(S.poleex)}, {"zsymmetry", double(S.zsym)}, {"1dmirror", double(S.mirror1d)}})
        finit(name, v);
    finit("method", double(S.method));
    if (S.method == 3) finit("sigmar", S.sigmar);
    if (S.method != 0) finit("sigmaz", S.sigmaz);
    return S;
}

using Field = fieldlib::FieldResult;

// The field at (x, y, z) [m, path frame] and time t [s], the nearest-point
// search started at x, as the force models start it.
inline Field field_at(double t, double x, double y, double z, double gamma, std::span<const double, 3> e,
                      fieldlib::Context& cx = test_context()) {
    const double r[3] = {x, y, z};
    return fieldlib::field(cx, t, r, gamma, e, x);
}

}  // namespace fltest
