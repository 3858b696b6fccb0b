#include "parallel/cmplib.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "include/forces.hpp"
#include "include/latcom.hpp"
#include "include/mesh.hpp"
#include "include/prtcls.hpp"
#include "include/trkcom.hpp"
#include "parallel/mpilayer.hpp"
#include "run/platform.hpp"
#include "run/process.hpp"

namespace parallel {
namespace {

using ftypes::Logical;
using run::cmpcom;

// Receive buffers of the reductions: one chunk each, fixed storage.
double BUFFER[accumulate_chunk];
Logical LOBUFF[accumulate_chunk];

bool single() { return cmpcom.nprocs <= 1; }

// The last command the master sent to the slaves.
ftypes::FStr<80> last_command;

// The tag of the next message with partner iproc, seen from this process.
std::int32_t next_tag(std::int32_t iproc) {
    return mytag(cmpcom.master ? iproc : cmpcom.myproc);
}

// A count received from the master must fit the receiving array.
void check_received(const char* routine, const char* what, std::int64_t value, std::int64_t lo,
                    std::int64_t hi) {
    if (value >= lo && value <= hi) return;
    run::fatal_stop(std::string(" error in ") + routine + ": " + what + " = " +
                    std::to_string(value) + " outside " + std::to_string(lo) + ".." +
                    std::to_string(hi) + " on process " + std::to_string(cmpcom.myproc));
}

}  // namespace

std::int32_t mytag(std::int32_t iproc) {
    std::int32_t& t = cmpcom.itag(iproc);
    t = (t + 1) % 32767;
    return t;
}

void isend(const std::int32_t* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr) {
    send_int(buf, n, iproc, itag);
    ierr = 0;
}
void irecv(std::int32_t* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr) {
    recv_int(buf, n, iproc, itag);
    ierr = 0;
}
void rsend(const double* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr) {
    send_real(buf, n, iproc, itag);
    ierr = 0;
}
void rrecv(double* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag, std::int32_t& ierr) {
    recv_real(buf, n, iproc, itag);
    ierr = 0;
}
void lsend(const Logical* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr) {
    send_logical(buf, n, iproc, itag);
    ierr = 0;
}
void lrecv(Logical* buf, std::int32_t n, std::int32_t iproc, std::int32_t itag,
           std::int32_t& ierr) {
    recv_logical(buf, n, iproc, itag);
    ierr = 0;
}

// ---------------------------------------------------------------- commands

void sencmd(const ftypes::FStr<80>& cmd) {
    if (single()) return;
    if (cmpcom.master) {
        for (std::int32_t k = 2; k <= cmpcom.nprocs; ++k) send_text(cmd.c, k, mytag(k));
        last_command = cmd;
    } else {
        send_text(cmd.c, 1, mytag(cmpcom.myproc));
    }
}

void sencmd(const std::string& cmd) { sencmd(ftypes::FStr<80>(cmd)); }

void reccmd(ftypes::FStr<80>& cmd) {
    if (single()) return;
    if (cmpcom.master) {
        for (std::int32_t k = 2; k <= cmpcom.nprocs; ++k) recv_text(cmd.c, k, mytag(k), false);
    } else {
        // a slave may wait here for a long time while the master works alone
        recv_text(cmd.c, 1, mytag(cmpcom.myproc), true);
    }
}

void release_slaves() {
    if (single() || !cmpcom.master) return;
    if (!(last_command == "stopp")) sencmd(ftypes::FStr<80>("stopp"));
}

// ------------------------------------------------------ run-state transfer

void tracom() {
    if (single()) return;
    if (cmpcom.master) {
        for (std::int32_t k = 2; k <= cmpcom.nprocs; ++k) zzzcom(k);
    } else {
        zzzcom(1);
    }
}

void zzzcom(std::int32_t iproc) {
    using bunch::prtcls;
    using bunch::trkcom;
    using forces::forces;
    using forces::mesh;
    using lattice::latcom;
    static std::int32_t IARR[20];
    static double RARR[20];
    static Logical LARR[20];
    const bool m = cmpcom.master;
    std::int32_t ierr = 0;

    // one message each way: master sends, slave receives, next tag each time
    auto ints = [&](std::int32_t* buf, std::int32_t n) {
        if (m) isend(buf, n, iproc, next_tag(iproc), ierr);
        else irecv(buf, n, iproc, next_tag(iproc), ierr);
    };
    auto reals = [&](double* buf, std::int32_t n) {
        if (m) rsend(buf, n, iproc, next_tag(iproc), ierr);
        else rrecv(buf, n, iproc, next_tag(iproc), ierr);
    };
    auto logs = [&](Logical* buf, std::int32_t n) {
        if (m) lsend(buf, n, iproc, next_tag(iproc), ierr);
        else lrecv(buf, n, iproc, next_tag(iproc), ierr);
    };

    // 1-4: force model settings
    if (m) { IARR[0] = forces.itype; IARR[1] = forces.ishape; }
    ints(IARR, 2);
    if (!m) { forces.itype = IARR[0]; forces.ishape = IARR[1]; }

    if (m) {
        RARR[0] = forces.sigma_long; RARR[1] = forces.sigma_rad; RARR[2] = forces.sigma_vert;
        RARR[3] = forces.relative_long; RARR[4] = forces.relative_vert; RARR[5] = forces.rintmi;
        RARR[6] = forces.sbox; RARR[7] = forces.rbox; RARR[8] = forces.shield;
        RARR[9] = forces.shield_max;
    }
    reals(RARR, 10);
    if (!m) {
        forces.sigma_long = RARR[0]; forces.sigma_rad = RARR[1]; forces.sigma_vert = RARR[2];
        forces.relative_long = RARR[3]; forces.relative_vert = RARR[4]; forces.rintmi = RARR[5];
        forces.sbox = RARR[6]; forces.rbox = RARR[7]; forces.shield = RARR[8];
        forces.shield_max = RARR[9];
    }

    if (m) {
        RARR[0] = forces.par1; RARR[1] = forces.par2; RARR[2] = forces.par3;
        RARR[3] = forces.par4; RARR[4] = forces.par5;
    }
    reals(RARR, 5);
    if (!m) {
        forces.par1 = RARR[0]; forces.par2 = RARR[1]; forces.par3 = RARR[2];
        forces.par4 = RARR[3]; forces.par5 = RARR[4];
    }

    if (m) {
        LARR[0] = forces.lrell; LARR[1] = forces.lradl; LARR[2] = forces.lrelv;
        LARR[3] = forces.ltest; LARR[4] = forces.loldms;
    }
    logs(LARR, 5);
    if (!m) {
        forces.lrell = LARR[0]; forces.lradl = LARR[1]; forces.lrelv = LARR[2];
        forces.ltest = LARR[3]; forces.loldms = LARR[4];
    }

    // 5-6: stamp of the stored Green's function
    if (m) RARR[0] = mesh.ctgreen;
    reals(RARR, 1);
    if (!m) mesh.ctgreen = RARR[0];
    if (m) LARR[0] = mesh.lgreen;
    logs(LARR, 1);
    if (!m) mesh.lgreen = LARR[0];

    // 7-16: the whole lattice
    reals(latcom.fb.data(), 8 * cap::maxlat);
    reals(latcom.fbchg.data(), 8 * cap::maxlat);
    reals(latcom.rla.data(), cap::rlalen);
    reals(latcom.srtab.data(), 2 * cap::maxlat);
    ints(latcom.isect.data(), 4 * cap::maxlat);
    ints(latcom.ila.data(), cap::ilalen);
    reals(latcom.ctfb.data(), cap::maxlat);
    if (m) { IARR[0] = latcom.nfb; IARR[1] = latcom.nfbchg; IARR[2] = latcom.nila; IARR[3] = latcom.nrla; }
    ints(IARR, 4);
    if (!m) {
        check_received("zzzcom", "nfb", IARR[0], 0, cap::maxlat);
        check_received("zzzcom", "nfbchg", IARR[1], 0, cap::maxlat);
        check_received("zzzcom", "nila", IARR[2], 0, cap::ilalen);
        check_received("zzzcom", "nrla", IARR[3], 0, cap::rlalen);
        latcom.nfb = IARR[0]; latcom.nfbchg = IARR[1]; latcom.nila = IARR[2]; latcom.nrla = IARR[3];
    }
    if (m) LARR[0] = latcom.lfbok;
    logs(LARR, 1);
    if (!m) latcom.lfbok = LARR[0];
    logs(latcom.fbduty.data(), cap::maxlat);

    // 17-24: the whole bunch record
    if (m) {
        RARR[0] = prtcls.reference_point_x; RARR[1] = prtcls.reference_point_y;
        RARR[2] = prtcls.reference_point_phi;
    }
    reals(RARR, 3);
    if (!m) {
        prtcls.reference_point_x = RARR[0]; prtcls.reference_point_y = RARR[1];
        prtcls.reference_point_phi = RARR[2];
    }
    reals(prtcls.xptcl.data(), 7 * cap::maxprt);
    if (m) {
        RARR[0] = prtcls.ctptcl; RARR[1] = prtcls.p0; RARR[2] = prtcls.qtot;
        RARR[3] = prtcls.rmslon; RARR[4] = prtcls.rmsrad; RARR[5] = prtcls.rmsver;
    }
    reals(RARR, 6);
    if (!m) {
        prtcls.ctptcl = RARR[0]; prtcls.p0 = RARR[1]; prtcls.qtot = RARR[2];
        prtcls.rmslon = RARR[3]; prtcls.rmsrad = RARR[4]; prtcls.rmsver = RARR[5];
    }
    ints(prtcls.iptcl.data(), 2 * cap::maxprt);
    if (m) { IARR[0] = prtcls.npart; IARR[1] = prtcls.qsign; }
    ints(IARR, 2);
    if (!m) {
        check_received("zzzcom", "npart", IARR[0], 0, cap::maxprt);
        prtcls.npart = IARR[0];
        prtcls.qsign = IARR[1];
    }
    if (m) LARR[0] = prtcls.lfbidx;
    logs(LARR, 1);
    if (!m) prtcls.lfbidx = LARR[0];
    logs(prtcls.ldef.data(), cap::maxprt);
    logs(prtcls.lact.data(), cap::maxprt);

    // 25: the tracker end times
    if (m) {
        RARR[0] = trkcom.delta_time_c0; RARR[1] = trkcom.end_time_c0;
        RARR[2] = trkcom.end_time_shift_c0;
    }
    reals(RARR, 3);
    if (!m) {
        trkcom.delta_time_c0 = RARR[0]; trkcom.end_time_c0 = RARR[1];
        trkcom.end_time_shift_c0 = RARR[2];
    }
}

// --------------------------------------------------------- particle hand-out

void traxph(std::int32_t& npart, double* xp, std::int32_t* ip, double& t, std::int32_t maxn) {
    if (single()) return;
    static std::int32_t IARR[1];
    static double RARR[1];
    std::int32_t ierr = 0;
    if (cmpcom.master) {
        for (std::int32_t k = 2; k <= cmpcom.nprocs; ++k) {
            IARR[0] = npart;
            isend(IARR, 1, k, mytag(k), ierr);
            RARR[0] = t;
            rsend(RARR, 1, k, mytag(k), ierr);
            rsend(xp, 7 * npart, k, mytag(k), ierr);
            isend(ip, 2 * npart, k, mytag(k), ierr);
        }
    } else {
        const std::int32_t me = cmpcom.myproc;
        irecv(IARR, 1, 1, mytag(me), ierr);
        check_received("traxph", "npart", IARR[0], 0, maxn);
        npart = IARR[0];
        rrecv(RARR, 1, 1, mytag(me), ierr);
        t = RARR[0];
        rrecv(xp, 7 * npart, 1, mytag(me), ierr);
        irecv(ip, 2 * npart, 1, mytag(me), ierr);
    }
}

void traxph(std::int32_t& npart, ftypes::Arr2<double, 7, cap::maxprt>& xp,
            ftypes::Arr2<std::int32_t, 2, cap::maxprt>& ip, double& t) {
    traxph(npart, xp.data(), ip.data(), t, cap::maxprt);
}

// ------------------------------------------------------------- collectives

void distri(double* a, std::int32_t nrow, std::int32_t& ncol, std::int32_t ncap) {
    if (single()) return;
    bcast_int(&ncol, 1);
    check_received("distri", "ncol", ncol, 0, ncap);
    check_received("distri", "nrow*ncol", std::int64_t(nrow) * ncol, 0, INT32_MAX);
    bcast_real(a, nrow * ncol);
}

void distrl(Logical* l, std::int32_t& n, std::int32_t ncap) {
    if (single()) return;
    bcast_int(&n, 1);
    check_received("distrl", "n", n, 0, ncap);
    bcast_logical(l, n);
}

void accumu(double* a, std::int32_t nrow, std::int32_t ncol) {
    if (single()) return;
    const std::int64_t n = std::int64_t(nrow) * ncol;
    check_received("accumu", "nrow*ncol", n, 0, INT32_MAX);
    // n div chunk + 1 reductions; the last one may be empty, on every process alike
    for (std::int64_t k = 0; k <= n / accumulate_chunk; ++k) {
        const std::int64_t i1 = accumulate_chunk * k;  // 0-based first element
        const std::int64_t i2 = std::min(n, accumulate_chunk * (k + 1));
        const int len = static_cast<int>(i2 - i1);
        reduce_sum_real(a + i1, BUFFER, len);
        std::copy(BUFFER, BUFFER + len, a + i1);
    }
}

void accuml(Logical* l, std::int32_t n) {
    if (single()) return;
    check_received("accuml", "n", n, 0, INT32_MAX);
    for (std::int64_t k = 0; k <= std::int64_t(n) / accumulate_chunk; ++k) {
        const std::int64_t i1 = accumulate_chunk * k;
        const std::int64_t i2 = std::min<std::int64_t>(n, accumulate_chunk * (k + 1));
        const int len = static_cast<int>(i2 - i1);
        reduce_lor_logical(l + i1, LOBUFF, len);
        std::copy(LOBUFF, LOBUFF + len, l + i1);
    }
}

}  // namespace parallel
