// The run-state transfer and the slave loop, run through mpiexec with 1, 2
// and 4 processes: par_run_tests CASE (see parallel/mpi_case.hpp).
#include <cmath>
#include <cstdint>
#include <string>

#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/trkcom.hpp"
#include "lattice/latcom.hpp"
#include "run/slave.hpp"
#include "run/tracom.hpp"
#include "../parallel/mpi_case.hpp"

namespace {

using parallel::cmpcom;
using mpicase::expect;

// The process that owns item i when items are dealt out in turn.
int owner(std::int64_t i) { return int(i % cmpcom.nprocs) + 1; }

// ------------------------------------------------------------ slave loop

int evaluations = 0;

// A stand-in force evaluation with the same collective pattern as the real
// one: hand-out, settings broadcast, partial forces summed on the master.
// Particle j's force is owner(j) * x_j * ct, so the master can check who
// computed what.
// The models' work of this test program (the stamp of its Green's
// function travels with the run state).
forces::ModelWork& work() {
    static const forces::WorkPtr w = forces::make_model_work();
    return *w;
}

void test_forces(forces::ModelWork&, std::int32_t& itype, foundation::ParticleView XP, foundation::IndexView IP, double& ct,
                 forces::SubBunchSizes&, foundation::ForceView F, std::int32_t& ierr) {
    std::int32_t npart = XP.size();  // a slave's capacity until the hand-out gives the master's count
    parallel::traxph(npart, XP, IP, ct);
    const double* xp = XP.words().data();
    const std::int32_t* ip = IP.words().data();
    double* f = F.words().data();
    double settings[5] = {ct, 0.1, 0.2, 0.3, double(itype)};
    std::int32_t ncol = 5;
    parallel::distri(settings, 1, ncol);
    itype = std::int32_t(std::lround(settings[4]));
    for (std::int32_t j = 1; j <= npart; ++j) {
        const bool own = owner(j) == cmpcom.myproc;
        f[3 * (j - 1)] = own ? owner(j) * xp[7 * (j - 1)] * ct : 0.0, f[3 * (j - 1) + 1] = ip[2 * (j - 1)];
        f[3 * (j - 1) + 2] = own ? 1.0 : 0.0;
    }
    parallel::accumu(F.words().first(3 * std::size_t(npart)));
    ++evaluations;
    ierr = 0;
}

void case_slave() {
    const std::int32_t npart = 1000;
    if (cmpcom.master) {
        static ftypes::Arr2<double, 3, cap::maxprt> F;
        bunch::prtcls.npart = npart;
        lattice::latcom.nfb = 17;
        for (std::int32_t j = 1; j <= npart; ++j) bunch::prtcls.xptcl(1, j) = j, bunch::prtcls.iptcl(1, j) = j + 5;
        const char* sequence[] = {"tracker", "TRACKER", "parallel force", "parallel forces",
                                  "tracker ", "nonsense", "parallel forces", "stopp"};
        double ct = 2.0;
        for (const char* c : sequence) {
            parallel::sencmd(std::string(c));
            std::string w = ftypes::FStr<80>(c).str();
            if (w == "tracker") run::tracom(work());
            if (w == "parallel forces") {
                std::int32_t itype = 4, ierr = 0;
                forces::SubBunchSizes sizes{};
                test_forces(work(), itype, foundation::particles(bunch::prtcls.xptcl, npart),
                            foundation::indices(bunch::prtcls.iptcl, npart), ct, sizes,
                            foundation::forces_of(F, npart), ierr);
                for (std::int32_t j = 1; j <= npart; ++j)
                    expect(F(1, j) == owner(j) * double(j) * ct && F(2, j) == double(j + 5) * cmpcom.nprocs &&
                               F(3, j) == 1.0,
                           "forces of particle " + std::to_string(j));
                ct += 1.0;
            }
        }
        expect(evaluations == 2, "master evaluations " + std::to_string(evaluations));
    } else {
        run::slave(work(), &test_forces);  // returns on "stopp"
        expect(evaluations == 2, "slave evaluations " + std::to_string(evaluations));
        expect(lattice::latcom.nfb == 17, "slave lattice after tracker");
        expect(bunch::prtcls.npart == npart, "slave npart after tracker");
    }
    // every pair's counters agree: each slave reports its own, the master compares
    static double tags[cap::maxproc];
    for (int k = 0; k < cap::maxproc; ++k) tags[k] = 0.0;
    if (!cmpcom.master) tags[cmpcom.myproc - 1] = cmpcom.itag(cmpcom.myproc);
    parallel::accumu(tags);
    if (cmpcom.master)
        for (int k = 2; k <= cmpcom.nprocs; ++k)
            // hand-shake 2, eight commands 8, two transfers 2 x 25, two hand-outs 2 x 4
            expect(tags[k - 1] == cmpcom.itag(k) && cmpcom.itag(k) == 68,
                   "tag counters of pair " + std::to_string(k) + ": master " +
                       std::to_string(cmpcom.itag(k)) + ", slave " + std::to_string(tags[k - 1]) +
                       ", expected 68");
}

// ------------------------------------------------------ run-state transfer

// The values of two runs: run 1 a lattice of 5 boundaries and 9 particles,
// run 2 a smaller one (2 boundaries, 3 particles) with other values, so the
// second transfer leaves the tails of the first behind on the slaves.
double value(int run, int k, int i) { return run * 1000.0 + i * 10.0 + k + 0.25; }

// Sets (set) or compares with the values of the run every transferred field;
// false when a compared field differs.
bool run_values(int run, bool set) {
    auto& L = lattice::latcom;
    auto& b = bunch::prtcls;
    bool same = true;
    const auto at = [&](auto& field, auto v) {
        if (set) field = v;
        else same = same && field == v;
    };
    const int nfb = run == 1 ? 5 : 2, nfbchg = run == 1 ? 3 : 1, nila = run == 1 ? 7 : 0, nrla = run == 1 ? 11 : 4,
              npart = run == 1 ? 9 : 3;
    at(L.nfb, nfb), at(L.nfbchg, nfbchg), at(L.nila, nila), at(L.nrla, nrla), at(b.npart, npart);
    for (int i = 1; i <= nfb; ++i) {
        for (int k = 1; k <= 8; ++k) at(L.fb(k, i), value(run, k, i));
        for (int k = 1; k <= 4; ++k) at(L.isect(k, i), int(value(run, k, i)));
        at(L.ctfb(i), value(run, 9, i)), at(L.fbduty(i), (i + run) % 2 == 0);
    }
    for (int i = 1; i <= nfbchg; ++i) {
        for (int k = 1; k <= 8; ++k) at(L.fbchg(k, i), -value(run, k, i));
        for (int k = 1; k <= 2; ++k) at(L.srtab(k, i), value(run, k + 20, i));
    }
    for (int i = 1; i <= nila; ++i) at(L.ila(i), int(value(run, 30, i)));
    for (int i = 1; i <= nrla; ++i) at(L.rla(i), value(run, 40, i));
    for (int i = 1; i <= npart; ++i) {
        for (int k = 1; k <= 7; ++k) at(b.xptcl(k, i), value(run, k + 50, i));
        at(b.iptcl(1, i), i + run), at(b.iptcl(2, i), 0), at(b.ldef(i), i % 3 != 0), at(b.lact(i), (i + run) % 2 != 0);
    }
    at(bunch::trkcom.end_time_c0, value(run, 60, 0));
    return same;
}

void case_transfer() {
    ftypes::FStr<cap::txtlen> cmd;
    for (int run = 1; run <= 2; ++run) {
        if (cmpcom.master) {
            run_values(run, true);
            parallel::sencmd(std::string("tracker"));
            run::tracom(work());
        } else {
            parallel::reccmd(cmd);
            expect(cmd == "tracker", "command");
            run::tracom(work());
            expect(run_values(run, false), "the records of run " + std::to_string(run));
        }
    }
    if (cmpcom.master) parallel::sencmd(std::string("stopp"));
    else parallel::reccmd(cmd);
}

}  // namespace

int main(int argc, char** argv) {
    return mpicase::run(argc, argv, {{"slave", case_slave}, {"transfer", case_transfer}});
}
