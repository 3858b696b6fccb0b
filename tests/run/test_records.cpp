// The process-wide records and their one reset: every listed record, dirtied
// in every byte that carries state (or, for the records of texts and lists,
// in every field), comes back to its start values; the arrays sized for the
// largest run are left as they are; the job end stays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "bunch/forces.hpp"
#include "bunch/moncom.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/trkcom.hpp"
#include "foundation/files.hpp"
#include "foundation/log.hpp"
#include "foundation/parser.hpp"
#include "foundation/platform.hpp"
#include "lattice/latcom.hpp"
#include "parallel/cmplib.hpp"
#include "parallel/process.hpp"
#include "run/records.hpp"
#include "support/support.hpp"

namespace {

// A record in the test: how to dirty it (pattern 0x00 or 0x01 for its
// bytes) and its state as the reset must restore it.
struct Row {
    std::string_view symbol;
    std::function<void(unsigned char)> dirty;
    std::function<std::string()> state;
    std::function<bool()> kept_intact = [] { return true; };
};

struct Span {
    std::size_t offset, size;
};
constexpr unsigned char sentinel = 0x5a;

// A record of plain data: every byte outside the kept members carries state
// (0x00 and 0x01 are valid bytes of every member type, a bool too); the kept
// arrays get a sentinel at both ends, which the reset must leave (a kept
// scalar, the MPI view of the process record, keeps its value).
template <class R, class... M>
Row bytes(std::string_view symbol, R& r, M R::*... kept) {
    auto* const base = reinterpret_cast<unsigned char*>(&r);
    std::vector<Span> keep{Span{std::size_t(reinterpret_cast<unsigned char*>(&(r.*kept)) - base), sizeof(r.*kept)}...};
    std::sort(keep.begin(), keep.end(), [](Span a, Span b) { return a.offset < b.offset; });
    std::vector<Span> state;
    std::size_t at = 0;
    for (const Span& k : keep) {
        if (k.offset > at) state.push_back({at, k.offset - at});
        at = k.offset + k.size;
    }
    if (sizeof(R) > at) state.push_back({at, sizeof(R) - at});
    std::erase_if(keep, [](Span k) { return k.size <= sizeof(double); });
    Row row{symbol, {}, {}};
    row.dirty = [=](unsigned char pattern) {
        for (const Span& s : state) std::memset(base + s.offset, pattern, s.size);
        for (const Span& k : keep) base[k.offset] = base[k.offset + k.size - 1] = sentinel;
    };
    row.state = [=] {
        std::string out;
        for (const Span& s : state) out.append(reinterpret_cast<const char*>(base + s.offset), s.size);
        return out;
    };
    row.kept_intact = [=] {
        return std::all_of(keep.begin(), keep.end(), [&](Span k) {
            return base[k.offset] == sentinel && base[k.offset + k.size - 1] == sentinel;
        });
    };
    return row;
}

std::string flags(const auto& arr) {
    std::string s;
    for (auto v : arr.a) s += v ? '1' : '0';
    return s;
}

std::vector<Row> rows() {
    using namespace foundation;
    return {
        {"foundation::iopcom",
         [](unsigned char) {
             iopcom.inpath = "in";
             iopcom.outpath = "out";
             iopcom.iuse.fill(true);
             iopcom.known_files.push_back({});
             iopcom.written_files.push_back({});
             iopcom.deck_inputs.push_back({});
             iopcom.unwritten.push_back("latout.dat");
         },
         [] {
             const auto& c = iopcom;
             return c.inpath.str() + "|" + c.outpath.str() + "|" + flags(c.iuse) + "|" +
                    std::to_string(c.known_files.size()) + std::to_string(c.written_files.size()) +
                    std::to_string(c.deck_inputs.size()) + std::to_string(c.unwritten.size());
         }},
        {"foundation::logcom",
         [](unsigned char) {
             logcom.logopn = true;
             logcom.log_owner = false;
             logcom.log = {"run.log", true, true, "run.log"};
         },
         [] {
             const auto& c = logcom;
             return std::to_string(bool(c.logopn)) + std::to_string(c.log_owner) + c.log.name +
                    std::to_string(c.log.warned) + std::to_string(c.log.failed) + c.log.failed_name;
         }},
        {"foundation::fincom",
         [](unsigned char) {
             fincom.nfile = unit_deck + 2;
             for (int k = 1; k <= max_deck_files; ++k) fincom.icols(k) = fincom.lcols(k) = k;
             for (auto& c : fincom.cards) c = "card";
             for (auto& f : fincom.files) f = {"part.in", 3};
             fincom.main_deck = "tarvel.in";
         },
         [] {
             std::string s = std::to_string(fincom.nfile) + "|" + fincom.main_deck;
             for (int k = 1; k <= max_deck_files; ++k)
                 s += "|" + std::to_string(fincom.icols(k)) + "," + std::to_string(fincom.lcols(k)) + "," +
                      fincom.cards[k - 1] + "," + fincom.files[k - 1].name + "," +
                      std::to_string(fincom.files[k - 1].line);
             return s;
         }},
        {"foundation::parcom",
         [](unsigned char) {
             parcom.icol = 5;
             parcom.lcol = 9;
             parcom.card = "lattice {";
             parcom.key_places.push_back({"r", "tarvel.in line 2"});
         },
         [] {
             return std::to_string(parcom.icol) + "," + std::to_string(parcom.lcol) + "," + parcom.card + "," +
                    std::to_string(parcom.key_places.size());
         }},
        {"foundation::(anonymous namespace)::units",
         [](unsigned char) {
             testsupport::write_file("probe.txt", "a\n");
             ASSERT_EQ(unit_open(unit_deck, "probe.txt", FileMode::read), 0);
             ASSERT_EQ(unit_open(unit_pool_lo, "out.txt", FileMode::write), 0);
             ASSERT_EQ(unit_open(max_unit, "probe.txt", FileMode::read), 0);
         },
         [] {
             std::string s;
             for (int u = 0; u <= max_unit; ++u) s += unit_is_open(u) ? '1' : '0';
             return s;
         }},
        bytes("parallel::cmpcom", parallel::cmpcom, &parallel::Cmpcom::mpi_rank, &parallel::Cmpcom::mpi_size),
        bytes("parallel::msgcom", parallel::msgcom, &parallel::Msgcom::buffer, &parallel::Msgcom::lobuff,
              &parallel::Msgcom::slave),
        bytes("lattice::latcom", lattice::latcom),
        bytes("lattice::latmks", lattice::latmks),
        bytes("bunch::prtcls", bunch::prtcls, &bunch::Prtcls::xptcl, &bunch::Prtcls::iptcl, &bunch::Prtcls::ldef,
              &bunch::Prtcls::lact),
        bytes("bunch::force_settings", bunch::force_settings, &bunch::ForceSettings::sigfil, &bunch::ForceSettings::wakdat),
        bytes("bunch::moncom", bunch::moncom),
        bytes("bunch::mo2com", bunch::mo2com),
        bytes("bunch::trkcom", bunch::trkcom),
        bytes("bunch::tr2com", bunch::tr2com),
        bytes("bunch::tr3com", bunch::tr3com),
        bytes("bunch::forcs2", bunch::forcs2, &bunch::Forcs2::fi, &bunch::Forcs2::fk, &bunch::Forcs2::work),
    };
}

// The record that the reset keeps as the process entry installed it.
constexpr std::string_view job_end = "foundation::(anonymous namespace)::job_end";

std::size_t first_difference(const std::string& a, const std::string& b) {
    return std::size_t(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
}

using Records = testsupport::Folder;

TEST_F(Records, ResetRestoresEveryRecord) {
    const std::vector<Row> table = rows();
    // the table and the list name the same records
    std::set<std::string_view> listed, tested{job_end};
    for (const run::Record& r : run::records) listed.insert(r.symbol);
    for (const Row& r : table) EXPECT_TRUE(tested.insert(r.symbol).second) << r.symbol << " twice";
    EXPECT_EQ(listed, tested);

    run::reset_records();
    std::vector<std::string> start;
    for (const Row& r : table) start.push_back(r.state());
    std::vector<bool> changed(table.size(), false);
    for (unsigned char pattern : {0x00, 0x01}) {
        SCOPED_TRACE("bytes " + std::to_string(pattern));
        for (const Row& r : table) r.dirty(pattern);
        for (std::size_t i = 0; i < table.size(); ++i) changed[i] = changed[i] || table[i].state() != start[i];
        run::reset_records();
        for (std::size_t i = 0; i < table.size(); ++i) {
            const std::string now = table[i].state();
            EXPECT_TRUE(now == start[i]) << table[i].symbol << " differs from its start at byte "
                                         << first_difference(now, start[i]);
            EXPECT_TRUE(table[i].kept_intact()) << table[i].symbol << ": a kept array was written";
        }
    }
    for (std::size_t i = 0; i < table.size(); ++i) EXPECT_TRUE(changed[i]) << table[i].symbol << " never dirtied";
}

TEST_F(Records, StartValues) {
    using namespace foundation;
    using ftypes::UNDEF_REAL;
    run::reset_records();
    const struct {
        const char* what;
        bool holds;
    } cases[] = {
        {"paths undefined, the pool free", iopcom.inpath == "undefined" && iopcom.outpath == "undefined" &&
                                               flags(iopcom.iuse) == std::string(11, '0')},
        {"no log file, printed here", !logcom.logopn && logcom.log_owner && logcom.log.name.empty()},
        {"main deck on unit 10", fincom.nfile == unit_deck && fincom.files[0].name.empty()},
        {"a card read to its end", parcom.card == "***" && parcom.icol == 1 && parcom.lcol == 0},
        {"process 1 of 1, master, tags 0",
         parallel::cmpcom.myproc == 1 && parallel::cmpcom.nprocs == 1 && parallel::cmpcom.master &&
             parallel::cmpcom.idebug == 0 && std::ranges::all_of(parallel::cmpcom.itag.a, [](int t) { return t == 0; })},
        {"no command sent", parallel::msgcom.last_command.str().empty()},
        {"no boundary", lattice::latcom.nfb == 0 && lattice::latcom.nfbchg == 0 && !lattice::latcom.lfbok &&
                            lattice::latmks.fbmark(1).str().empty()},
        {"no particle", bunch::prtcls.npart == 0 && !bunch::prtcls.lfbidx && bunch::prtcls.ctptcl == 0.0},
        {"force type none, no table, no wake", bunch::force_settings.itype == 0 && bunch::force_settings.nsgfil == 0 &&
                                                   !bunch::force_settings.lwake && bunch::force_settings.nfcall(1) == 0},
        {"every monitor slot inactive", flags(bunch::moncom.moact) == std::string(cap::maxmon, '0') &&
                                            bunch::mo2com.moname(1).str().empty()},
        {"end of run undefined", bunch::trkcom.end_time_c0 == UNDEF_REAL && bunch::tr2com.end_time_marker == "undefined"},
        {"track_step defaults", bunch::tr3com.ct_step_max == 0.1 && bunch::tr3com.maxit == 3 &&
                                    bunch::tr3com.precondition && !bunch::tr3com.lgrid && bunch::tr3com.errsum == 0.0 &&
                                    bunch::tr3com.state.ctduty == far_time},
        {"no stored force set, no force entry",
         bunch::forcs2.ctfi == UNDEF_REAL && bunch::forcs2.ctfk == UNDEF_REAL && !bunch::has_force_entry()},
    };
    for (const auto& c : cases) EXPECT_TRUE(c.holds) << c.what;

    // the process record follows the message layer's view of the job
    parallel::cmpcom.mpi_rank = 2, parallel::cmpcom.mpi_size = 4;
    run::reset_records();
    EXPECT_TRUE(parallel::cmpcom.myproc == 3 && parallel::cmpcom.nprocs == 4 && !parallel::cmpcom.master &&
                !logcom.log_owner);
    parallel::cmpcom.mpi_rank = 0, parallel::cmpcom.mpi_size = 1;
    run::reset_records();
    EXPECT_TRUE(parallel::cmpcom.master && logcom.log_owner);
}

TEST(RecordsDeath, ResetKeepsTheJobEnd) {
    EXPECT_EXIT(
        {
            testsupport::stdout_to_stderr();
            foundation::set_job_end([](int) { ::_exit(7); });
            run::reset_records();
            foundation::fatal_stop(" test: fatal stop after the reset");
        },
        ::testing::ExitedWithCode(7), "fatal stop after the reset");
}

}  // namespace
