// Shared test support: each test in its own temporary working folder with
// every record at its start state (run::reset_records), decks opened from
// text, layer routines run with their log captured, and small lattices and
// bunches built in the shared records.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bunch/error.hpp"
#include "bunch/monitor.hpp"
#include "bunch/particles.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/tracker.hpp"
#include "bunch/trkcom.hpp"
#include "forces/fcdiag.hpp"
#include "forces/force.hpp"
#include "forces/work.hpp"
#include "foundation/constants.hpp"
#include "lattice/latbunch.hpp"
#include "lattice/track.hpp"
#include "foundation/files.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"
#include "lattice/latcom.hpp"
#include "lattice/lattice.hpp"
#include "run/records.hpp"

namespace testsupport {

// The models' work of a test program, made zero-filled at its first use
// (the force models, the driver and the slave loop of the tests evaluate
// with it).
inline forces::WorkPtr& work_holder() {
    static forces::WorkPtr w;
    return w;
}
inline forces::ModelWork& model_work() {
    if (!work_holder()) work_holder() = forces::make_model_work();
    return *work_holder();
}
// Every record at its start state (run::reset_records), and the models' work
// of the tests without a stored Green's function and with no diagnostic
// file missed.
inline void reset_records() {
    run::reset_records();
    if (forces::WorkPtr& w = work_holder()) {
        forces::gmeshi(*w);
        forces::diaini(*w);
    }
}

inline constexpr double U = ftypes::UNDEF_REAL;
using foundation::pi;
inline constexpr double ke = 8987551787.366543;  // 1/(4 pi eps0) [V m/C]

// Writes a text file (the text as given, no line end added), creating its folder.
inline void write_file(const std::filesystem::path& p, const std::string& text) {
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

inline std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Splits captured output into lines (without line ends).
inline std::vector<std::string> lines_of(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// The number of lines that start with prefix.
inline int count_prefix(const std::vector<std::string>& log, const std::string& prefix) {
    return int(std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

// Captures standard output (the log and direct lines) until end_capture,
// which returns it as lines.
inline void start_capture() { ::testing::internal::CaptureStdout(); }
inline std::vector<std::string> end_capture() {
    std::fflush(stdout);
    return lines_of(::testing::internal::GetCapturedStdout());
}

// Death tests read the child's standard error and fatal messages go to
// standard output: the child sends the one to the other.
inline void stdout_to_stderr() {
    std::fflush(stdout);
    ::dup2(2, 1);
}

// True when no unit of the auxiliary pool is in use (every file closed).
inline bool pool_free() {
    for (int u = foundation::unit_pool_lo; u <= foundation::unit_pool_hi; ++u)
        if (foundation::iopcom.iuse(u)) return false;
    return true;
}

// Opens text as the main deck "tarvel.in" of the working folder with a
// fresh tokenizer; returns the status of the open.
inline std::int32_t open_deck_text(const std::string& text) {
    write_file("tarvel.in", text);
    std::int32_t ierr = 0;
    foundation::fiinit("tarvel.in", 9, ierr);
    if (ierr == 0) foundation::inprsr(ierr);
    return ierr;
}

// Fixture: every test runs in a fresh temporary folder with every record at
// its start state, and goes back to the previous working folder afterwards.
class Folder : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("tarvel_") + info->test_suite_name() + "_" + info->name() + "_" +
                std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
        testsupport::reset_records();
    }
    void TearDown() override {
        testsupport::reset_records();
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    // Opens text as the main deck "tarvel.in" with a fresh tokenizer.
    void open_deck(const std::string& text) { ASSERT_EQ(open_deck_text(text), 0); }
    // Runs a layer routine on the deck "word { ... }" (auxiliary files opened
    // before stay open); returns its log, its status in ierr.
    std::vector<std::string> layer(void (*fn)(std::int32_t&), const std::string& deck, std::int32_t& ierr) {
        for (int u = foundation::unit_deck; u < foundation::unit_pool_lo; ++u)
            if (foundation::unit_is_open(u)) (void)foundation::unit_close(u);
        const auto iuse = foundation::iopcom.iuse;
        const auto outpath = foundation::iopcom.outpath;
        foundation::fincom = foundation::Fincom{}, foundation::parcom = foundation::Parcom{};
        EXPECT_EQ(open_deck_text(deck), 0);
        foundation::iopcom.iuse = iuse, foundation::iopcom.outpath = outpath;
        std::string word;
        foundation::getcmd(word, ierr);
        EXPECT_EQ(word, deck.substr(0, deck.find(' ')));
        ierr = 0;
        start_capture();
        fn(ierr);
        return end_capture();
    }
    static void reset() { testsupport::reset_records(); }
    std::filesystem::path old_, dir_;
};

// ------------------------------------------------------ lattices, bunches

// Writes the section codes (a, b) of boundary i and the private-data
// counters as they stand now (the data of the elements up to boundary i).
inline void set_codes(int i, int a, int b) {
    auto& L = lattice::latcom;
    L.thick(i) = a;
    L.code(i) = b;
    L.nila_at(i) = L.nila;
    L.nrla_at(i) = L.nrla;
}

// Starts an empty lattice.
inline void new_lattice() {
    std::int32_t ierr = 0;
    lattice::inilat(ierr);
}

// Appends to the lattice a thick section (uniform field, or drift when
// straight) of radius r and length ds, its normal along the new tangent
// (at the lab angle psi [rad] when given); returns the boundary's index, 0
// when it could not be placed.
inline int add_section(double r, double ds, bool duty = false, double psi = U) {
    std::int32_t ierr = 0;
    lattice::positi(r, lattice::Pos4{{U, psi, ds, U}}, "undefined", duty, ierr);
    if (ierr != 0) return 0;
    set_codes(lattice::latcom.nfb, 1, 0);
    return lattice::latcom.nfb;
}

// Makes boundary i the exit of a multipole of order m.
inline void multipole(int i, int m, double h, double v, double strength, double alpha) {
    auto& L = lattice::latcom;
    L.ila(++L.nila) = m;
    for (double x : {h, v, strength, alpha}) L.rla(++L.nrla) = x;
    set_codes(i, 1, 1);
}

// A bunch of n active particles at time ct moving along +x with momentum p
// (units of m*c), particle i at x = (i - 1) * dx, charge 1e-12 C each.
inline void line_bunch(int n, double ct, double p, double dx) {
    auto& b = bunch::prtcls;
    b.npart = n;
    b.ctptcl = ct;
    b.p0 = p;
    b.qsign = 1;
    for (int i = 1; i <= n; ++i) {
        const double r[7] = {(i - 1) * dx, 0.0, 0.0, p, 0.0, 0.0, 1e-12};
        for (int k = 1; k <= 7; ++k) b.xptcl(k, i) = r[k - 1];
        b.iptcl(1, i) = 1, b.iptcl(2, i) = 0, b.ldef(i) = true, b.lact(i) = true;
    }
    b.lfbidx = false;
}

inline double beta(double p) { return 1.0 / std::sqrt(1.0 / (p * p) + 1.0); }

// ------------------------------------------- plain-array forms for the tests
// Records of 7 (particle, crossing), 2 (index pair) and 3 (force) words in
// plain arrays; the reference momentum is the bunch record's p0.

inline void trck3d(int n, double* part, std::int32_t* ifb, double ct, double ctend, double t1, double t2,
                   const double* f1, const double* f2, bool lforce) {
    const int nf = lforce ? n : 0;
    lattice::trck3d(lattice::latcom, {part, n}, {ifb, n}, ct, ctend, t1, t2, {f1, nf}, {f2, nf}, lforce, bunch::prtcls.p0);
}
// One particle from c*t = 0 to T, with the forces f1 at 0 and f2 at T when
// lforce; returns its next boundary.
inline std::int32_t track1(double* part, std::int32_t ifb, double T, const double* f1 = nullptr,
                           const double* f2 = nullptr, bool lforce = true) {
    std::int32_t ip[2] = {ifb, 0};
    trck3d(1, part, ip, 0.0, T, 0.0, T, f1, f2, lforce && f1 != nullptr);
    return ip[0];
}
// One force-free leg of a particle towards ctend.
inline void cstrck(double* part, std::int32_t& ifb, bool& lcross, double& ct, double ctend) {
    lattice::cstrck(lattice::latcom, foundation::State(part, 6), ifb, lcross, ct, ctend, lattice::no_force, bunch::prtcls.p0);
}
inline void fbpts(const double* part, std::int32_t ifb, double ct, double* bp) {
    lattice::fbpts(lattice::latcom, std::span<const double, 6>(part, 6), ifb, ct, {bp, cap::maxlat}, bunch::prtcls.p0);
}
inline void inila2(std::int32_t& ierr) {
    auto& b = bunch::prtcls;
    lattice::inila2(foundation::particles(b.xptcl, b.npart), foundation::indices(b.iptcl, b.npart), b.ctptcl,
                    b.p0, b.lfbidx, ierr);
}
}  // namespace testsupport
