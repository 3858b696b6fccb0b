// Tests of the message layer, run through mpiexec with 1, 2 and 4
// processes: par_tests CASE. Every process checks what it can see; the
// failure counts are summed onto the master, which reports and returns
// nonzero when any process failed. Cases named fatal_* and capacity_* must
// end the whole job with a nonzero exit code (checked by expect_abort.sh).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <mpi.h>

#include "bunch/forces.hpp"
#include "lattice/latcom.hpp"
#include "forces/gmesh.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/trkcom.hpp"
#include "parallel/cmplib.hpp"
#include "parallel/mpilayer.hpp"
#include "run/slave.hpp"
#include "run/entry.hpp"
#include "foundation/platform.hpp"
#include "parallel/process.hpp"

// Every broadcast and reduction of the message layer is recorded here
// (element count) through the MPI profiling interface, so the tests can
// check how many collective calls a routine makes and with what counts.
namespace {
bool recording = false;
std::vector<int> reduce_counts, bcast_counts;
}  // namespace

extern "C" int MPI_Reduce(const void* in, void* out, int n, MPI_Datatype type, MPI_Op op, int root,
                          MPI_Comm comm) {
    if (recording) reduce_counts.push_back(n);
    return PMPI_Reduce(in, out, n, type, op, root, comm);
}

extern "C" int MPI_Bcast(void* buf, int n, MPI_Datatype type, int root, MPI_Comm comm) {
    if (recording) bcast_counts.push_back(n);
    return PMPI_Bcast(buf, n, type, root, comm);
}

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

// ------------------------------------------------------------------ tags

void case_tags() {
    // after the hand-shake every pair has used two tags
    for (int k = 1; k <= cmpcom.nprocs; ++k) {
        int want = 0;
        if (cmpcom.nprocs > 1 && k > 1 && (cmpcom.master || k == cmpcom.myproc)) want = 2;
        expect(cmpcom.itag(k) == want, "tag counter " + std::to_string(k) + " is " +
                                           std::to_string(cmpcom.itag(k)) + ", expected " +
                                           std::to_string(want));
    }
    // the counter runs 32765, 32766, 0, 1 (tested on an unused entry)
    const int spare = cap::maxproc;
    cmpcom.itag(spare) = 32764;
    const std::int32_t seq[4] = {32765, 32766, 0, 1};
    for (std::int32_t want : seq) {
        std::int32_t got = parallel::mytag(spare);
        expect(got == want, "mytag wrap gave " + std::to_string(got));
    }
    cmpcom.itag(spare) = 0;
}

// ------------------------------------------------------------ slave loop

int evaluations = 0;

// A stand-in force evaluation with the same collective pattern as the real
// one: hand-out, settings broadcast, partial forces summed on the master.
// Particle j's force is owner(j) * x_j * ct, so the master can check who
// computed what.
void test_forces(std::int32_t& itype, double* xp, std::int32_t* ip, double& ct, double* f,
                 std::int32_t& ierr) {
    static std::int32_t npart = 0;
    if (cmpcom.master) npart = bunch::prtcls.npart;
    parallel::traxph(npart, xp, ip, ct);
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
                test_forces(itype, bunch::prtcls.xptcl.data(), bunch::prtcls.iptcl.data(), ct,
                            F.data(), ierr);
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

// FNV-1a over the bytes of the transferred fields.
struct Hash {
    std::uint64_t h = 1469598103934665603ULL;
    void add(const void* d, std::size_t n) {
        auto* b = static_cast<const unsigned char*>(d);
        for (std::size_t i = 0; i < n; ++i) { h ^= b[i]; h *= 1099511628211ULL; }
    }
    template <class T> void v(const T& x) { add(&x, sizeof x); }
};

std::uint64_t hash_transferred() {
    Hash h;
    auto& f = bunch::forces;
    h.v(f.itype); h.v(f.ishape);
    h.v(f.sigma_long); h.v(f.sigma_rad); h.v(f.sigma_vert); h.v(f.relative_long); h.v(f.relative_vert);
    h.v(f.rintmi); h.v(f.sbox); h.v(f.rbox); h.v(f.shield); h.v(f.shield_max);
    h.v(f.par1); h.v(f.par2); h.v(f.par3); h.v(f.par4); h.v(f.par5);
    h.v(f.lrell); h.v(f.lradl); h.v(f.lrelv); h.v(f.ltest); h.v(f.loldms);
    h.v(forces::mesh.ctgreen); h.v(forces::mesh.lgreen);
    auto& l = lattice::latcom;
    h.v(l.fb); h.v(l.fbchg); h.v(l.rla); h.v(l.srtab); h.v(l.isect); h.v(l.ila); h.v(l.ctfb);
    h.v(l.nfb); h.v(l.nfbchg); h.v(l.nila); h.v(l.nrla); h.v(l.lfbok); h.v(l.fbduty);
    auto& p = bunch::prtcls;
    h.v(p.reference_point_x); h.v(p.reference_point_y); h.v(p.reference_point_phi);
    h.add(p.xptcl.data(), sizeof p.xptcl);
    h.v(p.ctptcl); h.v(p.p0); h.v(p.qtot); h.v(p.rmslon); h.v(p.rmsrad); h.v(p.rmsver);
    h.add(p.iptcl.data(), sizeof p.iptcl);
    h.v(p.npart); h.v(p.qsign); h.v(p.lfbidx);
    h.add(p.ldef.data(), sizeof p.ldef); h.add(p.lact.data(), sizeof p.lact);
    auto& t = bunch::trkcom;
    h.v(t.delta_time_c0); h.v(t.end_time_c0); h.v(t.end_time_shift_c0);
    return h.h;
}

void case_tracom() {
    // master-only fields that must not travel
    if (cmpcom.master) {
        bunch::forces.sigfil(1, 1) = 5.0;
        bunch::forces.nfcall(1) = 9;
        bunch::forces.lwake = true;
        forces::mesh.lgreen = true;
    }
    for (int seed = 0; seed < 2; ++seed) {  // a second run with changed records
        if (cmpcom.master) fill_records(seed);
        run::tracom();
        const std::uint64_t got = hash_transferred();
        if (!cmpcom.master) {
            expect(bunch::prtcls.qsign == -1, "qsign");
            expect(bunch::prtcls.lfbidx.v == -1 && lattice::latcom.lfbok.v == -1 && forces::mesh.lgreen.v == -1,
                   "logicals travel as -1");
            expect(bunch::prtcls.ldef(3).v == (lpat(2, seed + 1) ? -1 : 0), "ldef word");
            expect(lattice::latcom.nfb == 7 + seed, "nfb of run " + std::to_string(seed));
            expect(bunch::forces.sigfil(1, 1) == 0.0 && bunch::forces.nfcall(1) == 0 && !bunch::forces.lwake,
                   "master-only fields stay on the master");
            fill_records(seed);  // what the master holds
            expect(got == hash_transferred(), "hash of the run state, run " + std::to_string(seed));
        }
    }
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

// The hand-out as the slave side sees it: count, time, 7*npart reals,
// 2*npart integers, four tags.
void case_traxph_order() {
    const std::int32_t n = 3;
    static double xp[7 * 4];
    static std::int32_t ip[2 * 4];
    for (int i = 0; i < 7 * 4; ++i) xp[i] = cmpcom.master ? 0.5 * i - 3.0 : -7.0;
    for (int i = 0; i < 2 * 4; ++i) ip[i] = cmpcom.master ? 10 * i + 1 : -7;
    if (cmpcom.master) {
        std::int32_t npart = n;
        double t = 0.625;
        parallel::traxph(npart, xp, ip, t, 4);
        for (int k = 2; k <= cmpcom.nprocs; ++k)
            expect(cmpcom.itag(k) == 6, "master tag of pair " + std::to_string(k) + " after the hand-out");
        expect(npart == n && t == 0.625, "master's count and time unchanged");
        return;
    }
    const std::int32_t me = cmpcom.myproc;
    std::int32_t ierr = 0, cnt[1] = {0};
    double t[1] = {0.0};
    parallel::irecv(cnt, 1, 1, parallel::mytag(me), ierr);
    parallel::rrecv(t, 1, 1, parallel::mytag(me), ierr);
    parallel::rrecv(xp, 7 * n, 1, parallel::mytag(me), ierr);
    parallel::irecv(ip, 2 * n, 1, parallel::mytag(me), ierr);
    expect(cnt[0] == n && t[0] == 0.625, "count and time of the hand-out");
    int bad = 0;
    for (int i = 0; i < 7 * n; ++i) bad += xp[i] != 0.5 * i - 3.0;
    for (int i = 0; i < 2 * n; ++i) bad += ip[i] != 10 * i + 1;
    expect(bad == 0, "particle data of the hand-out");
    expect(xp[7 * n] == -7.0 && ip[2 * n] == -7, "nothing past npart");
    expect(cmpcom.itag(me) == 6, "slave tag after the four messages");
}

// The command channel: exactly 80 blank-padded characters travel, and the
// slave side of the hand-shake answers "ok" only to the exact greeting.
void case_channel() {
    struct Row { const char* greeting; const char* reply; };
    const Row rows[] = {{"master to slave", "ok"},   {"Master to slave", "error"},
                        {" master to slave", "error"}, {"master to slav", "error"},
                        {"master to slave x", "error"}, {"master to slave   ", "ok"}};
    const bool many = cmpcom.nprocs > 1;
    for (const Row& r : rows) {
        if (cmpcom.master) {
            ftypes::FStr<80> cmd("unchanged");
            parallel::sencmd(std::string(r.greeting));
            parallel::reccmd(cmd);
            const std::string want = many ? r.reply : "unchanged";
            expect(cmd.str() == want, std::string("reply to '") + r.greeting + "' is '" + cmd.str() + "'");
        } else {
            run::handshake();
        }
    }
    // the raw 80 characters of a command
    if (cmpcom.master) {
        parallel::sencmd(std::string("tracker"));
    } else {
        char raw[81] = {};
        parallel::recv_text(raw, 1, parallel::mytag(cmpcom.myproc), false);
        expect(std::string(raw, 80) == "tracker" + std::string(73, ' '), "80 blank-padded characters");
    }
    // hand-shake 2, six greetings and replies 12, one command 1
    const int want = many ? 15 : 0;
    for (int k = 2; k <= cmpcom.nprocs; ++k)
        if (cmpcom.master || k == cmpcom.myproc)
            expect(cmpcom.itag(k) == want, "tag of pair " + std::to_string(k) + " is " +
                                               std::to_string(cmpcom.itag(k)));
    expect(cmpcom.itag(1) == 0, "own counter of the master untouched");
}

// ------------------------------------------------------ particle hand-out

ftypes::Arr2<double, 7, cap::maxprt> XP;
ftypes::Arr2<std::int32_t, 2, cap::maxprt> IP;

void case_traxph() {
    for (std::int32_t n : {1, 300000, 2}) {
        std::int32_t npart = cmpcom.master ? n : -5;
        double t = cmpcom.master ? 0.25 * n : -1.0;
        for (std::int64_t i = 0; i < 7LL * cap::maxprt; ++i) XP.data()[i] = cmpcom.master ? pat(i, n) : -7.0;
        for (std::int64_t i = 0; i < 2LL * cap::maxprt; ++i) IP.data()[i] = cmpcom.master ? ipat(i, n) : -7;
        parallel::traxph(npart, XP, IP, t);
        if (cmpcom.master || cmpcom.nprocs == 1) continue;
        expect(npart == n && t == 0.25 * n, "count and time at npart " + std::to_string(n));
        int bad = 0;
        for (std::int64_t i = 0; i < 7LL * n; ++i) bad += XP.data()[i] != pat(i, n);
        for (std::int64_t i = 0; i < 2LL * n; ++i) bad += IP.data()[i] != ipat(i, n);
        expect(bad == 0, std::to_string(bad) + " wrong values at npart " + std::to_string(n));
        if (n < cap::maxprt)  // nothing past npart is written
            expect(XP(1, n + 1) == -7.0 && XP(7, n + 1) == -7.0 && IP(1, n + 1) == -7,
                   "record past npart untouched at npart " + std::to_string(n));
    }
}

// ------------------------------------------------------------ collectives

void case_accumu() {
    struct Case { std::int32_t nrow, ncol; };
    const Case cases[] = {{1, 0}, {0, 7}, {3, 5}, {1, 5000000}, {1, 15000001}, {3, 1666667}};
    const double s = cmpcom.nprocs * (cmpcom.nprocs + 1) / 2.0;  // sum of process numbers
    for (auto c : cases) {
        const std::int64_t n = std::int64_t(c.nrow) * c.ncol;
        std::vector<double> a(n + 1);
        for (std::int64_t i = 0; i < n; ++i) a[i] = double(cmpcom.myproc) * double(i % 100003);
        a[n] = -3.0;  // one past the end: never touched
        parallel::accumu(a.data(), c.nrow, c.ncol);
        expect(a[n] == -3.0, "element past the end written, n=" + std::to_string(n));
        if (!cmpcom.master) continue;
        std::int64_t bad = 0;
        for (std::int64_t i = 0; i < n; ++i) bad += a[i] != s * double(i % 100003);
        expect(bad == 0, std::to_string(bad) + " wrong sums at n=" + std::to_string(n));
    }
}

void case_accuml() {
    for (std::int32_t n : {0, 7, 5000000, 10000001}) {
        std::vector<Logical> l(std::size_t(n) + 1);
        // element i is true on process p only when i mod 7 = p
        for (std::int32_t i = 0; i < n; ++i) l[i] = (i % 7) == cmpcom.myproc;
        l[n].v = 5;
        parallel::accuml(l.data(), n);
        expect(l[n].v == 5, "element past the end written, n=" + std::to_string(n));
        if (!cmpcom.master) continue;
        std::int64_t bad = 0;
        for (std::int32_t i = 0; i < n; ++i) {
            const bool want = (i % 7) >= 1 && (i % 7) <= cmpcom.nprocs;
            bad += l[i].v != (want ? -1 : 0);
        }
        expect(bad == 0, std::to_string(bad) + " wrong words at n=" + std::to_string(n));
    }
}

void case_distri() {
    // the slaves take the master's ncol, whatever they passed
    double a[40];
    for (double& x : a) x = -9.0;
    std::int32_t ncol = 37;
    if (cmpcom.master) { ncol = 1; a[0] = 1.5; a[1] = -2.5; a[2] = 1e300; a[3] = 0.125; }
    parallel::distri(a, 4, ncol, 10);
    expect(ncol == 1, "ncol adopted from the master");
    expect(a[0] == 1.5 && a[1] == -2.5 && a[2] == 1e300 && a[3] == 0.125, "broadcast values");
    expect(a[4] == -9.0, "value past nrow*ncol untouched");
    // zero columns: nothing moves
    std::int32_t zero = cmpcom.master ? 0 : 3;
    parallel::distri(a, 4, zero, 10);
    if (cmpcom.nprocs > 1) expect(zero == 0 && a[4] == -9.0, "zero columns");

    // logicals: the master's n is adopted and every word is normalised
    Logical l[8];
    std::int32_t n = 99;
    for (auto& x : l) x.v = 7;
    if (cmpcom.master) { n = 5; l[0].v = 1; l[1].v = 0; l[2].v = -1; l[3].v = 42; l[4].v = 0; }
    parallel::distrl(l, n, 8);
    if (!cmpcom.master) {
        expect(n == 5, "distrl count adopted");
        expect(l[0].v == -1 && l[1].v == 0 && l[2].v == -1 && l[3].v == -1 && l[4].v == 0,
               "received logicals normalised");
        expect(l[5].v == 7, "logical past n untouched");
    }
}

// The chunking of the sums and logical ors and the two broadcasts of
// distri / distrl, counted call by call on every process. With one process
// no collective call is made at all.
void case_chunks() {
    using V = std::vector<int>;
    const std::int32_t C = parallel::accumulate_chunk;
    struct Row { std::int32_t nrow, ncol; V reductions; };
    const Row rows[] = {
        {1, 0, {0}},
        {0, 9, {0}},
        {3, 5, {15}},
        {1, C - 1, {C - 1}},
        {1, C, {C, 0}},
        {1, C + 1, {C, 1}},
        {3, C, {C, C, C, 0}},
        {1, 3 * C + 1, {C, C, C, 1}},
    };
    const bool many = cmpcom.nprocs > 1;
    static std::vector<double> a;
    static std::vector<Logical> l;
    for (const Row& r : rows) {
        const std::int64_t n = std::int64_t(r.nrow) * r.ncol;
        const V want = many ? r.reductions : V{};
        a.assign(std::size_t(n), 1.0);
        reduce_counts.clear();
        recording = true;
        parallel::accumu(a.data(), r.nrow, r.ncol);
        recording = false;
        expect(reduce_counts == want, "accumu reductions at n=" + std::to_string(n));
        if (cmpcom.master && n > 0)
            expect(a[0] == cmpcom.nprocs && a[std::size_t(n - 1)] == cmpcom.nprocs,
                   "accumu sum at n=" + std::to_string(n));
        l.assign(std::size_t(n), Logical(false));
        if (n > 0 && cmpcom.myproc == cmpcom.nprocs) l[std::size_t(n - 1)] = true;
        reduce_counts.clear();
        recording = true;
        parallel::accuml(l.data(), std::int32_t(n));
        recording = false;
        expect(reduce_counts == want, "accuml reductions at n=" + std::to_string(n));
        if (cmpcom.master && n > 0)
            expect(l[std::size_t(n - 1)].v == -1 && l[0].v == (n == 1 ? -1 : 0),
                   "accuml or at n=" + std::to_string(n));
    }
    // distri: ncol first (one element), then nrow * the master's ncol
    static double b[4 * 6];
    std::int32_t ncol = cmpcom.master ? 6 : 2;
    bcast_counts.clear();
    recording = true;
    parallel::distri(b, 4, ncol, 6);
    recording = false;
    expect(bcast_counts == (many ? V{1, 24} : V{}), "distri broadcasts");
    static Logical lb[10];
    std::int32_t nl = cmpcom.master ? 7 : 10;
    bcast_counts.clear();
    recording = true;
    parallel::distrl(lb, nl, 10);
    recording = false;
    expect(bcast_counts == (many ? V{1, 7} : V{}), "distrl broadcasts");
}

// ------------------------------------------------- cases that must abort

// A fatal stop on the last process while the others wait inside a sum.
void case_fatal_collective() {
    if (cmpcom.myproc == cmpcom.nprocs) foundation::fatal_stop(" test: fatal stop inside a collective");
    double a[10] = {};
    parallel::accumu(a, 10, 1);
    parallel::accumu(a, 10, 1);
}

// The master broadcasts more columns than a slave's array holds.
void case_capacity_distri() {
    double a[100] = {};
    std::int32_t ncol = 10;
    parallel::distri(a, 2, ncol, cmpcom.master ? 50 : 5);
    if (cmpcom.nprocs == 1) foundation::fatal_stop(" test: one process has no slave to refuse");
}

// The master hands out more particles than a slave's arrays hold.
void case_capacity_traxph() {
    static double xp[7 * 20];
    static std::int32_t ip[2 * 20];
    std::int32_t npart = 12;
    double t = 1.0;
    parallel::traxph(npart, xp, ip, t, cmpcom.master ? 20 : 10);
    if (cmpcom.nprocs == 1) foundation::fatal_stop(" test: one process has no slave to refuse");
}

}  // namespace

int main(int argc, char** argv) {
    if (!run::process_start()) return 1;
    run::handshake();
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "tags") case_tags();
    else if (what == "slave") case_slave();
    else if (what == "tracom") case_tracom();
    else if (what == "tracom_order") case_tracom_order();
    else if (what == "traxph_order") case_traxph_order();
    else if (what == "channel") case_channel();
    else if (what == "chunks") case_chunks();
    else if (what == "traxph") case_traxph();
    else if (what == "accumu") case_accumu();
    else if (what == "accuml") case_accuml();
    else if (what == "distri") case_distri();
    else if (what == "fatal_collective") case_fatal_collective();
    else if (what == "capacity_distri") case_capacity_distri();
    else if (what == "capacity_traxph") case_capacity_traxph();
    else expect(false, "unknown case '" + what + "'");

    double total = failures;
    parallel::accumu(&total, 1, 1);
    if (cmpcom.master) std::printf(" %s on %d process(es): %s\n", what.c_str(), cmpcom.nprocs,
                                   total == 0 ? "passed" : "FAILED");
    std::fflush(stdout);
    parallel::mpi_stop();
    return (failures != 0 || (cmpcom.master && total != 0)) ? 1 : 0;
}
