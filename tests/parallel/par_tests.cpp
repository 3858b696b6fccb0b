// Tests of the message layer, run through mpiexec with 1, 2 and 4
// processes: par_tests CASE (see mpi_case.hpp). Cases named fatal_* and
// capacity_* must end the whole job with a nonzero exit code (checked by
// expect_abort.sh).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <mpi.h>

#include "foundation/platform.hpp"
#include "mpi_case.hpp"

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

// The joins: the own element count of every call.
std::vector<int> join_counts;
extern "C" int MPI_Allgather(const void* in, int n, MPI_Datatype ti, void* out, int m, MPI_Datatype to,
                             MPI_Comm comm) {
    if (recording) join_counts.push_back(n);
    return PMPI_Allgather(in, n, ti, out, m, to, comm);
}
extern "C" int MPI_Allgatherv(const void* in, int n, MPI_Datatype ti, void* out, const int* counts,
                              const int* displs, MPI_Datatype to, MPI_Comm comm) {
    if (recording) join_counts.push_back(n);
    return PMPI_Allgatherv(in, n, ti, out, counts, displs, to, comm);
}

namespace {

using ftypes::Logical;
using parallel::cmpcom;
using mpicase::expect;

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
        parallel::traxph(npart, foundation::ParticleView(xp, n), foundation::IndexView(ip, n), t);
        for (int k = 2; k <= cmpcom.nprocs; ++k)
            expect(cmpcom.itag(k) == 6, "master tag of pair " + std::to_string(k) + " after the hand-out");
        expect(npart == n && t == 0.625, "master's count and time unchanged");
        return;
    }
    const std::int32_t me = cmpcom.myproc;
    std::int32_t ierr = 0, cnt[1] = {0};
    double t[1] = {0.0};
    parallel::irecv(cnt, 1, parallel::mytag(me), ierr);
    parallel::rrecv(t, 1, parallel::mytag(me), ierr);
    parallel::rrecv(std::span<double>(xp, 7 * n), 1, parallel::mytag(me), ierr);
    parallel::irecv(std::span<std::int32_t>(ip, 2 * n), 1, parallel::mytag(me), ierr);
    expect(cnt[0] == n && t[0] == 0.625, "count and time of the hand-out");
    int bad = 0;
    for (int i = 0; i < 7 * n; ++i) bad += xp[i] != 0.5 * i - 3.0;
    for (int i = 0; i < 2 * n; ++i) bad += ip[i] != 10 * i + 1;
    expect(bad == 0, "particle data of the hand-out");
    expect(xp[7 * n] == -7.0 && ip[2 * n] == -7, "nothing past npart");
    expect(cmpcom.itag(me) == 6, "slave tag after the four messages");
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
        parallel::accumu(a);
        recording = false;
        expect(reduce_counts == want, "accumu reductions at n=" + std::to_string(n));
        if (cmpcom.master && n > 0)
            expect(a[0] == cmpcom.nprocs && a[std::size_t(n - 1)] == cmpcom.nprocs,
                   "accumu sum at n=" + std::to_string(n));
        l.assign(std::size_t(n), Logical(false));
        if (n > 0 && cmpcom.myproc == cmpcom.nprocs) l[std::size_t(n - 1)] = true;
        reduce_counts.clear();
        recording = true;
        parallel::accuml(l);
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
    parallel::distri(b, 4, ncol);
    recording = false;
    expect(bcast_counts == (many ? V{1, 24} : V{}), "distri broadcasts");
    static Logical lb[10];
    std::int32_t nl = cmpcom.master ? 7 : 10;
    bcast_counts.clear();
    recording = true;
    parallel::distrl(lb, nl);
    recording = false;
    expect(bcast_counts == (many ? V{1, 7} : V{}), "distrl broadcasts");
}

// The joins: process p holds counts 2p - 2 (none on the master), then the
// master alone, then nobody; every process ends with every list in process
// order, in one exchange of counts and one join (none when the master is
// alone), and a join writes nothing past its total.
void case_joins() {
    using V = std::vector<int>;
    const std::int32_t me = cmpcom.myproc, np = cmpcom.nprocs;
    const bool many = np > 1;
    struct Row { const char* name; std::int32_t (*count)(std::int32_t p); };
    const Row rows[] = {{"2p-2 each", [](std::int32_t p) { return 2 * p - 2; }},
                        {"master alone", [](std::int32_t p) { return p == 1 ? 3 : 0; }},
                        {"nobody", [](std::int32_t) { return 0; }}};
    for (const Row& r : rows) {
        const std::string what = std::string(" (") + r.name + ")";
        std::vector<std::int32_t> mine, want_i;
        std::vector<double> mine_r, want_r;
        for (std::int32_t p = 1; p <= np; ++p)
            for (std::int32_t k = 1; k <= r.count(p); ++k) {
                want_i.push_back(1000 * p + k);
                // a -0 and the extremes travel unchanged
                want_r.push_back(k == 1 ? -0.0 : k == 2 ? 1.7976931348623157e308 : 0.25 * p - k);
                if (p == me) mine.push_back(want_i.back()), mine_r.push_back(want_r.back());
            }
        const auto total = std::int32_t(want_i.size());
        std::int32_t counts[cap::maxproc] = {};
        join_counts.clear();
        recording = true;
        parallel::joinct(std::int32_t(mine.size()), counts);
        recording = false;
        expect(join_counts == (many ? V{1} : V{}), "joinct exchanges once" + what);
        bool ok = true;
        for (std::int32_t p = 1; p <= np; ++p) ok = ok && counts[p - 1] == r.count(p);
        expect(ok, "joinct counts" + what);
        std::vector<std::int32_t> out(std::size_t(total) + 1, -5);
        std::vector<double> out_r(std::size_t(total) + 1, -5.0);
        join_counts.clear();
        recording = true;
        parallel::joini(mine, counts, std::span<std::int32_t>(out.data(), std::size_t(total)));
        parallel::joinr(mine_r, counts, std::span<double>(out_r.data(), std::size_t(total)));
        recording = false;
        expect(join_counts == (many ? V{int(mine.size()), int(mine.size())} : V{}), "one join each" + what);
        expect(std::equal(want_i.begin(), want_i.end(), out.begin()) && out.back() == -5, "joini" + what);
        bool same = out_r.back() == -5.0;
        for (std::size_t k = 0; k < want_r.size(); ++k)
            same = same && std::signbit(out_r[k]) == std::signbit(want_r[k]) && out_r[k] == want_r[k];
        expect(same, "joinr" + what);
    }
}

// ------------------------------------------------- cases that must abort

// A fatal stop on the last process while the others wait inside a sum.
void case_fatal_collective() {
    if (cmpcom.myproc == cmpcom.nprocs) foundation::fatal_stop(" test: fatal stop inside a collective");
    double a[10] = {};
    parallel::accumu(a);
    parallel::accumu(a);
}

// The master broadcasts more columns than a slave's array holds.
void case_capacity_distri() {
    double a[100] = {};
    std::int32_t ncol = 10;
    parallel::distri(std::span<double>(a, cmpcom.master ? 100 : 10), 2, ncol);
    if (cmpcom.nprocs == 1) foundation::fatal_stop(" test: one process has no slave to refuse");
}

// A join whose total exceeds the capacity of its result.
void case_capacity_join() {
    std::int32_t counts[cap::maxproc] = {};
    const std::int32_t a[2] = {1, 2};
    parallel::joinct(2, counts);
    std::int32_t out[2 * cap::maxproc];
    parallel::joini(a, counts, std::span<std::int32_t>(out, 1));
}

// The master hands out more particles than a slave's arrays hold.
void case_capacity_traxph() {
    static double xp[7 * 20];
    static std::int32_t ip[2 * 20];
    std::int32_t npart = 12;
    double t = 1.0;
    parallel::traxph(npart, foundation::ParticleView(xp, cmpcom.master ? 12 : 10),
                     foundation::IndexView(ip, cmpcom.master ? 12 : 10), t);
    if (cmpcom.nprocs == 1) foundation::fatal_stop(" test: one process has no slave to refuse");
}

}  // namespace

int main(int argc, char** argv) {
    return mpicase::run(argc, argv, {{"traxph_order", case_traxph_order}, {"chunks", case_chunks},
                                     {"fatal_collective", case_fatal_collective},
                                     {"capacity_distri", case_capacity_distri},
                                     {"capacity_traxph", case_capacity_traxph},
                                     {"joins", case_joins}, {"capacity_join", case_capacity_join}});
}
