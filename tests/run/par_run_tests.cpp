// The run-state transfer and the slave loop, run through mpiexec with 1, 2
// and 4 processes: par_run_tests CASE. Every process checks what it can see;
// the failure counts are summed onto the master, which reports and returns
// nonzero when any process failed.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/trkcom.hpp"
#include "forces/gmesh.hpp"
#include "lattice/latcom.hpp"
#include "parallel/cmplib.hpp"
#include "parallel/mpilayer.hpp"
#include "parallel/process.hpp"
#include "run/entry.hpp"
#include "run/slave.hpp"
#include "run/tracom.hpp"

namespace {

using ftypes::Logical;
using parallel::cmpcom;

int failures = 0;

void expect(bool ok, const std::string& what) {
    if (ok) return;
    ++failures;
    if (failures <= 20) std::printf(" process %d: FAILED %s\n", cmpcom.myproc, what.c_str());
}

// The process that owns item i when items are dealt out in turn.
int owner(std::int64_t i) { return int(i % cmpcom.nprocs) + 1; }

// ------------------------------------------------------------ slave loop

int evaluations = 0;

// A stand-in force evaluation with the same collective pattern as the real
// one: hand-out, settings broadcast, partial forces summed on the master.
// Particle j's force is owner(j) * x_j * ct, so the master can check who
// computed what.
void test_forces(std::int32_t& itype, foundation::ParticleView XP, foundation::IndexView IP, double& ct,
                 foundation::ForceView F, std::int32_t& ierr) {
    std::int32_t npart = XP.size();  // a slave's capacity until the hand-out gives the master's count
    parallel::traxph(npart, XP, IP, ct);
    const double* xp = XP.words().data();
    const std::int32_t* ip = IP.words().data();
    double* f = F.words().data();
    double settings[5] = {ct, 0.1, 0.2, 0.3, double(itype)};
    std::int32_t ncol = 5;
    parallel::distri(settings, 1, ncol, 5);
    itype = std::int32_t(std::lround(settings[4]));
    for (std::int32_t j = 1; j <= npart; ++j) {
        double v = owner(j) == cmpcom.myproc ? owner(j) * xp[7 * (j - 1)] * ct : 0.0;
        f[3 * (j - 1)] = v;
        f[3 * (j - 1) + 1] = ip[2 * (j - 1)];
        f[3 * (j - 1) + 2] = owner(j) == cmpcom.myproc ? 1.0 : 0.0;
    }
    parallel::accumu(f, 3, npart);
    ++evaluations;
    ierr = 0;
}

void case_slave() {
    run::parallel_forces_hook = &test_forces;
    const std::int32_t npart = 1000;
    if (cmpcom.master) {
        static ftypes::Arr2<double, 3, cap::maxprt> F;
        bunch::prtcls.npart = npart;
        lattice::latcom.nfb = 17;
        for (std::int32_t j = 1; j <= npart; ++j) {
            bunch::prtcls.xptcl(1, j) = j;
            bunch::prtcls.iptcl(1, j) = j + 5;
        }
        const char* sequence[] = {"tracker", "TRACKER", "parallel force", "parallel forces",
                                  "tracker ", "nonsense", "parallel forces", "stopp"};
        double ct = 2.0;
        for (const char* c : sequence) {
            parallel::sencmd(std::string(c));
            std::string w = ftypes::FStr<80>(c).str();
            if (w == "tracker") run::tracom();
            if (w == "parallel forces") {
                std::int32_t itype = 4, ierr = 0;
                test_forces(itype, foundation::particles(bunch::prtcls.xptcl, npart),
                            foundation::indices(bunch::prtcls.iptcl, npart), ct,
                            foundation::forces_of(F, npart), ierr);
                for (std::int32_t j = 1; j <= npart; ++j) {
                    expect(F(1, j) == owner(j) * double(j) * ct, "force 1 of particle " + std::to_string(j));
                    expect(F(2, j) == double(j + 5) * cmpcom.nprocs, "force 2 of particle " + std::to_string(j));
                    expect(F(3, j) == 1.0, "force 3 of particle " + std::to_string(j));
                }
                ct += 1.0;
            }
        }
        expect(evaluations == 2, "master evaluations " + std::to_string(evaluations));
    } else {
        run::slave();  // returns on "stopp"
        expect(evaluations == 2, "slave evaluations " + std::to_string(evaluations));
        expect(lattice::latcom.nfb == 17, "slave lattice after tracker");
        expect(bunch::prtcls.npart == npart, "slave npart after tracker");
    }
    // every pair's counters agree: each slave reports its own, the master compares
    static double tags[cap::maxproc];
    for (int k = 0; k < cap::maxproc; ++k) tags[k] = 0.0;
    if (!cmpcom.master) tags[cmpcom.myproc - 1] = cmpcom.itag(cmpcom.myproc);
    parallel::accumu(tags, 1, cap::maxproc);
    if (cmpcom.master)
        for (int k = 2; k <= cmpcom.nprocs; ++k)
            // hand-shake 2, eight commands 8, two transfers 2 x 25, two hand-outs 2 x 4
            expect(tags[k - 1] == cmpcom.itag(k) && cmpcom.itag(k) == 68,
                   "tag counters of pair " + std::to_string(k) + ": master " +
                       std::to_string(cmpcom.itag(k)) + ", slave " + std::to_string(tags[k - 1]) +
                       ", expected 68");
}

// ------------------------------------------------------- run-state transfer

double pat(std::int64_t i, int seed) { return std::sin(0.001 * double(i) + seed) * 1e3 + seed; }
std::int32_t ipat(std::int64_t i, int seed) { return std::int32_t((i * 7919 + std::int64_t(seed) * 104729) % 1000003) - 500000; }
Logical lpat(std::int64_t i, int seed) { return ((i + seed) % 3) == 0; }

// Fills every field that the transfer sends (all entries, also past npart
// and nfb) and some that it must not send.
void fill_records(int seed) {
    auto& f = bunch::forces;
    f.itype = 3 + seed; f.ishape = 2 + seed;
    double* r10[] = {&f.sigma_long, &f.sigma_rad, &f.sigma_vert, &f.relative_long, &f.relative_vert,
                     &f.rintmi, &f.sbox, &f.rbox, &f.shield, &f.shield_max,
                     &f.par1, &f.par2, &f.par3, &f.par4, &f.par5};
    for (int i = 0; i < 15; ++i) *r10[i] = pat(i, seed);
    f.lrell = true; f.lradl = false; f.lrelv = true; f.ltest = false; f.loldms = true;
    forces::mesh.ctgreen = pat(99, seed);
    forces::mesh.lgreen = true;
    auto& l = lattice::latcom;
    for (int i = 0; i < 8 * cap::maxlat; ++i) { l.fb.data()[i] = pat(i, seed + 1); l.fbchg.data()[i] = pat(i, seed + 2); }
    for (int i = 0; i < cap::rlalen; ++i) l.rla.data()[i] = pat(i, seed + 3);
    for (int i = 0; i < 2 * cap::maxlat; ++i) l.srtab.data()[i] = pat(i, seed + 4);
    for (int i = 0; i < 4 * cap::maxlat; ++i) l.isect.data()[i] = ipat(i, seed + 5);
    for (int i = 0; i < cap::ilalen; ++i) l.ila.data()[i] = ipat(i, seed + 6);
    for (int i = 0; i < cap::maxlat; ++i) { l.ctfb.data()[i] = pat(i, seed + 7); l.fbduty.data()[i] = lpat(i, seed); }
    l.nfb = 7 + seed; l.nfbchg = 3; l.nila = 11; l.nrla = 999;
    l.lfbok = true;
    auto& p = bunch::prtcls;
    p.reference_point_x = pat(1, seed + 8); p.reference_point_y = pat(2, seed + 8); p.reference_point_phi = pat(3, seed + 8);
    for (std::int64_t i = 0; i < 7LL * cap::maxprt; ++i) p.xptcl.data()[i] = pat(i, seed + 9);
    p.ctptcl = pat(4, seed + 8); p.p0 = pat(5, seed + 8); p.qtot = pat(6, seed + 8);
    p.rmslon = pat(7, seed + 8); p.rmsrad = pat(8, seed + 8); p.rmsver = pat(9, seed + 8);
    for (std::int64_t i = 0; i < 2LL * cap::maxprt; ++i) p.iptcl.data()[i] = ipat(i, seed + 10);
    p.npart = 12345 + seed; p.qsign = -1;
    p.lfbidx = true;
    for (std::int64_t i = 0; i < cap::maxprt; ++i) { p.ldef.data()[i] = lpat(i, seed + 1); p.lact.data()[i] = lpat(i, seed + 2); }
    auto& t = bunch::trkcom;
    t.delta_time_c0 = pat(1, seed + 11); t.end_time_c0 = pat(2, seed + 11); t.end_time_shift_c0 = ftypes::UNDEF_REAL;
}

// The transfer as the slave side sees it, written out message by message
// (element type, count, contents) independently of zzzcom: the master runs
// the real tracom, each slave receives the 25 messages one by one. A count
// that differs is a fatal stop of the receive, a tag out of step hangs (and
// times out), contents in another order fail the comparisons.
double r_xptcl[7 * cap::maxprt];
std::int32_t i_iptcl[2 * cap::maxprt];
Logical l_ldef[cap::maxprt], l_lact[cap::maxprt];

template <class T>
bool same_words(const T* a, const T* b, std::size_t n) { return std::memcmp(a, b, n * sizeof(T)) == 0; }

void case_tracom_order() {
    if (cmpcom.master) {
        fill_records(0);
        run::tracom();
        for (int k = 2; k <= cmpcom.nprocs; ++k)
            expect(cmpcom.itag(k) == 27, "master tag of pair " + std::to_string(k) + " after the transfer");
        expect(cmpcom.itag(1) == 0, "master's own counter untouched");
        return;
    }
    const std::int32_t me = cmpcom.myproc;
    std::int32_t ierr = 0;
    std::int32_t m1[2], m11[4 * cap::maxlat], m12[cap::ilalen], m14[4], m21[2];
    double m2[10], m3[5], m5[1], m7[8 * cap::maxlat], m8[8 * cap::maxlat], m9[cap::rlalen],
        m10[2 * cap::maxlat], m13[cap::maxlat], m17[3], m19[6], m25[3];
    Logical m4[5], m6[1], m15[1], m16[cap::maxlat], m22[1];
    parallel::irecv(m1, 2, 1, parallel::mytag(me), ierr);
    parallel::rrecv(m2, 10, 1, parallel::mytag(me), ierr);
    parallel::rrecv(m3, 5, 1, parallel::mytag(me), ierr);
    parallel::lrecv(m4, 5, 1, parallel::mytag(me), ierr);
    parallel::rrecv(m5, 1, 1, parallel::mytag(me), ierr);
    parallel::lrecv(m6, 1, 1, parallel::mytag(me), ierr);
    parallel::rrecv(m7, 800, 1, parallel::mytag(me), ierr);
    parallel::rrecv(m8, 800, 1, parallel::mytag(me), ierr);
    parallel::rrecv(m9, 1000, 1, parallel::mytag(me), ierr);
    parallel::rrecv(m10, 200, 1, parallel::mytag(me), ierr);
    parallel::irecv(m11, 400, 1, parallel::mytag(me), ierr);
    parallel::irecv(m12, 1000, 1, parallel::mytag(me), ierr);
    parallel::rrecv(m13, 100, 1, parallel::mytag(me), ierr);
    parallel::irecv(m14, 4, 1, parallel::mytag(me), ierr);
    parallel::lrecv(m15, 1, 1, parallel::mytag(me), ierr);
    parallel::lrecv(m16, 100, 1, parallel::mytag(me), ierr);
    parallel::rrecv(m17, 3, 1, parallel::mytag(me), ierr);
    parallel::rrecv(r_xptcl, 7 * 300000, 1, parallel::mytag(me), ierr);
    parallel::rrecv(m19, 6, 1, parallel::mytag(me), ierr);
    parallel::irecv(i_iptcl, 2 * 300000, 1, parallel::mytag(me), ierr);
    parallel::irecv(m21, 2, 1, parallel::mytag(me), ierr);
    parallel::lrecv(m22, 1, 1, parallel::mytag(me), ierr);
    parallel::lrecv(l_ldef, 300000, 1, parallel::mytag(me), ierr);
    parallel::lrecv(l_lact, 300000, 1, parallel::mytag(me), ierr);
    parallel::rrecv(m25, 3, 1, parallel::mytag(me), ierr);
    expect(cmpcom.itag(me) == 27, "slave tag after the 25 messages");

    fill_records(0);  // what the master sent
    const auto& f = bunch::forces;
    const auto& l = lattice::latcom;
    const auto& p = bunch::prtcls;
    const auto& t = bunch::trkcom;
    struct Row { int msg; bool ok; };
    const Row rows[] = {
        {1, m1[0] == f.itype && m1[1] == f.ishape},
        {2, m2[0] == f.sigma_long && m2[1] == f.sigma_rad && m2[2] == f.sigma_vert &&
                m2[3] == f.relative_long && m2[4] == f.relative_vert && m2[5] == f.rintmi &&
                m2[6] == f.sbox && m2[7] == f.rbox && m2[8] == f.shield && m2[9] == f.shield_max},
        {3, m3[0] == f.par1 && m3[1] == f.par2 && m3[2] == f.par3 && m3[3] == f.par4 && m3[4] == f.par5},
        {4, m4[0].v == f.lrell.v && m4[1].v == f.lradl.v && m4[2].v == f.lrelv.v &&
                m4[3].v == f.ltest.v && m4[4].v == f.loldms.v},
        {5, m5[0] == forces::mesh.ctgreen},
        {6, m6[0].v == forces::mesh.lgreen.v},
        {7, same_words(m7, l.fb.data(), 800)},
        {8, same_words(m8, l.fbchg.data(), 800)},
        {9, same_words(m9, l.rla.data(), 1000)},
        {10, same_words(m10, l.srtab.data(), 200)},
        {11, same_words(m11, l.isect.data(), 400)},
        {12, same_words(m12, l.ila.data(), 1000)},
        {13, same_words(m13, l.ctfb.data(), 100)},
        {14, m14[0] == l.nfb && m14[1] == l.nfbchg && m14[2] == l.nila && m14[3] == l.nrla},
        {15, m15[0].v == l.lfbok.v},
        {16, same_words(m16, l.fbduty.data(), 100)},
        {17, m17[0] == p.reference_point_x && m17[1] == p.reference_point_y &&
                 m17[2] == p.reference_point_phi},
        {18, same_words(r_xptcl, p.xptcl.data(), 7 * 300000)},
        {19, m19[0] == p.ctptcl && m19[1] == p.p0 && m19[2] == p.qtot && m19[3] == p.rmslon &&
                 m19[4] == p.rmsrad && m19[5] == p.rmsver},
        {20, same_words(i_iptcl, p.iptcl.data(), 2 * 300000)},
        {21, m21[0] == p.npart && m21[1] == -1},
        {22, m22[0].v == -1 && p.lfbidx.v == -1},
        {23, same_words(l_ldef, p.ldef.data(), 300000)},
        {24, same_words(l_lact, p.lact.data(), 300000)},
        {25, m25[0] == t.delta_time_c0 && m25[1] == t.end_time_c0 && m25[2] == t.end_time_shift_c0},
    };
    for (const Row& r : rows) expect(r.ok, "contents of transfer message " + std::to_string(r.msg));
}


}  // namespace

int main(int argc, char** argv) {
    if (!run::process_start()) return 1;
    run::handshake();
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "slave") case_slave();
    else if (what == "tracom_order") case_tracom_order();
    else expect(false, "unknown case '" + what + "'");

    double total = failures;
    parallel::accumu(&total, 1, 1);
    if (cmpcom.master) std::printf(" %s on %d process(es): %s\n", what.c_str(), cmpcom.nprocs,
                                   total == 0 ? "passed" : "FAILED");
    std::fflush(stdout);
    parallel::mpi_stop();
    return (failures != 0 || (cmpcom.master && total != 0)) ? 1 : 0;
}
