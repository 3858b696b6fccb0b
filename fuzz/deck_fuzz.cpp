// Fuzz target (libFuzzer) of the deck reader, the block parser and the
// driver's layers: one input is one deck folder, run through run::tarvel()
// in this process, every record reset to its start state before it.
//
// Input: the text of "tarvel.in", optionally followed by further files of the
// folder (included decks, particle lists, sigma, wake and time-grid files),
// each introduced by a line "%%% NAME". NAME is one or two parts of letters,
// digits, '.', '_' and '-' joined by one '/'; an empty file makes its folder
// exist. The files are written as they stand except that every '/' becomes
// '_': a name that a deck builds is then at most "prefix/name", which cannot
// leave the work folder by more than one level, and that level is this
// process's own temporary folder.
//
// One input:
// - runs in an emptied work folder with the log (standard output) captured;
// - is abandoned after step_cap time steps of all its tracking runs, after
//   particle_step_cap particle-steps, or when its three-dimensional force
//   models reach pair_budget source-observer pairs, so one input takes
//   milliseconds (not a fault; see also steps_left_cap);
// - ends at a fatal stop, which is the defined behaviour only for the
//   geometric and numerical failures listed in fatal_by_design.
// A fault aborts the process with a line "tarvel fuzz: WHAT" and the end of
// the log on standard error, so that libFuzzer keeps the input:
// - an unexpected fatal stop;
// - a run that exits 0 although it logged an error line ("error ...",
//   "io error ..."), or exits nonzero without any error line;
// - "NaN" or "Infinity" in the log or in a file the run wrote;
// and, through the sanitizers and libFuzzer, a crash, undefined behaviour, a
// memory fault or a hang.
//
// TARVEL_FUZZ_LOG=1 in the environment copies every input's log to standard
// error (for reproducing a single input).
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bunch/forces.hpp"
#include "bunch/prtcls.hpp"
#include "bunch/tracker.hpp"
#include "bunch/trkcom.hpp"
#include "forces/force.hpp"
#include "forces/work.hpp"
#include "foundation/platform.hpp"
#include "run/driver.hpp"
#include "run/records.hpp"

namespace {

namespace fs = std::filesystem;

// Time steps of all tracking runs of one input before it is abandoned, the
// particle-steps (each a few Runge-Kutta legs, slow under the sanitizers),
// and the largest number of steps of ct_step_max left in an adaptive run.
constexpr int step_cap = 200;
constexpr double particle_step_cap = 5e3;
constexpr double steps_left_cap = 1e4;
// Source-observer pairs of the three-dimensional models (each a field
// evaluation of some tens of microseconds, more under the sanitizers) that
// all force evaluations of one input may make before it is abandoned: a deck
// whose mutation turns a long bunch over to a model of npart^2 field calls
// must not take seconds.
constexpr double pair_budget = 4e3;

// Fatal stops a deck may meet by design (the geometry of the field
// boundaries and of the design path, the Green's-function mesh and the
// field library), compared with the start of the message.
constexpr std::array<std::string_view, 17> fatal_by_design = {
    "path: there is something wrong",
    "error in fbpts (1)",
    "error in fbpts (2)",
    "error in gmesh0: k.gt.maxhlp",
    "fmesh2: there is something wrong",
    "error exit: meshing of green's function",
    "array size 'maxgre' not sufficient",
    "error in fld_cont/finit: unknown action",
    "error in fld_conv/fcoini: unknown action",
    "error in fld_conv/fzSP: unknown method",
    "error in finit: undefined setings",
    "error in fld_bunch/lamini: sigmat.eq.0",
    "error in fld_math/gammp",
    "error in fld_z_in/fzSP1: ee-vect = e0-vect",
    "undefined ",  // one line per missing setting of finit, the last one ending the job
    "ipp,maxpnt=",
    "ipnt,maxpnt=",
};

struct FatalStop {};
struct StepCap {};
double pairs = 0.0;

struct Setup {
    fs::path base;  // this process's temporary folder
    fs::path work;  // base/w: the deck folder of one input
    fs::path home;  // working folder of the process outside an input
    int capture = -1;  // memory file behind standard output
    bool show_log = false;
};
Setup setup;
// the models' work of the driver and of the force entry, one for the process
forces::WorkPtr work;
int steps = 0;
double particle_steps = 0.0;

void on_step() {
    if (++steps > step_cap) throw StepCap{};
    particle_steps += bunch::prtcls.npart;
    if (particle_steps > particle_step_cap) throw StepCap{};
    // a run of many steps is abandoned before it makes the input slow
    const double left = (bunch::trkcom.end_time_c0 - bunch::prtcls.ctptcl) / bunch::tr3com.ct_step_max;
    if (!bunch::tr3com.lgrid && left > steps_left_cap) throw StepCap{};
}

void on_fatal(int) { throw FatalStop{}; }

// The program's force entry with the budget of the three-dimensional models.
void capped_forces(void* models_work, bunch::ForceType m, foundation::ParticleView XP, foundation::IndexView IP,
                   double ct, foundation::ForceView F, std::int32_t& ierr) {
    if (bunch::force_model(m).runs_on == bunch::RunsOn::every_process) {
        pairs += double(XP.size()) * double(XP.size());
        if (pairs > pair_budget) throw StepCap{};
    }
    forces::forcei(*static_cast<forces::ModelWork*>(models_work), m, XP, IP, ct, F, ierr);
}

void remove_base() {
    std::error_code ec;
    fs::current_path(setup.home, ec);
    fs::remove_all(setup.base, ec);
}

// A file of the input: its name in the work folder and its bytes.
struct File {
    std::string name;
    std::string text;
};

bool name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

// One or two parts of name characters joined by '/', neither "." nor "..".
bool valid_name(std::string_view n) {
    if (n.empty() || n.size() > 64) return false;
    const std::size_t slash = n.find('/');
    const std::string_view parts[2] = {n.substr(0, slash),
                                       slash == std::string_view::npos ? std::string_view("x") : n.substr(slash + 1)};
    for (std::string_view p : parts) {
        if (p.empty() || p == "." || p == ".." || p.find('/') != std::string_view::npos) return false;
        for (char c : p)
            if (!name_char(c)) return false;
    }
    return true;
}

std::vector<File> split_input(const std::uint8_t* data, std::size_t size) {
    std::vector<File> files{{"tarvel.in", {}}};
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    std::size_t pos = 0;
    while (pos < in.size()) {
        std::size_t nl = in.find('\n', pos);
        const std::size_t end = nl == std::string_view::npos ? in.size() : nl + 1;
        const std::string_view line = in.substr(pos, end - pos);
        std::string_view name = line.substr(0, line.find('\n'));
        if (name.substr(0, 4) == "%%% " && valid_name(name.substr(4))) {
            files.push_back({std::string(name.substr(4)), {}});
        } else {
            files.back().text.append(line);
        }
        pos = end;
    }
    for (File& f : files)
        for (char& c : f.text)
            if (c == '/') c = '_';
    return files;
}

void write_files(const std::vector<File>& files) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(setup.base, ec)) fs::remove_all(e.path(), ec);
    fs::create_directories(setup.work);
    for (const File& f : files) {
        const fs::path p = setup.work / f.name;
        fs::create_directories(p.parent_path(), ec);
        if (f.text.empty() && f.name != "tarvel.in") continue;  // a folder only
        std::ofstream(p, std::ios::binary) << f.text;
    }
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string take_log() {
    std::fflush(stdout);
    std::string log;
    char buf[65536];
    off_t at = 0;
    for (;;) {
        const ssize_t n = pread(setup.capture, buf, sizeof buf, at);
        if (n <= 0) break;
        log.append(buf, std::size_t(n));
        at += n;
    }
    return log;
}

std::vector<std::string_view> lines_of(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t nl = s.find('\n', pos);
        if (nl == std::string_view::npos) nl = s.size();
        out.push_back(s.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return out;
}

std::string_view trimmed(std::string_view l) {
    const std::size_t a = l.find_first_not_of(' ');
    return a == std::string_view::npos ? std::string_view() : l.substr(a);
}

bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

bool is_error_line(std::string_view l) {
    const std::string_view t = trimmed(l);
    return starts_with(t, "error") || starts_with(t, "io error");
}

// True when text holds "NaN" or "Infinity" as a word of its own (with an
// optional sign), words being separated by blanks, commas and "=".
bool has_non_finite(std::string_view text) {
    auto sep = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == ',' || c == '='; };
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && sep(text[i])) ++i;
        std::size_t j = i;
        while (j < text.size() && !sep(text[j])) ++j;
        std::string_view w = text.substr(i, j - i);
        if (!w.empty() && (w[0] == '-' || w[0] == '+')) w.remove_prefix(1);
        if (w == "NaN" || w == "Infinity") return true;
        i = j;
    }
    return false;
}

[[noreturn]] void fault(std::string_view what, std::string_view log) {
    std::fprintf(stderr, "tarvel fuzz: %.*s\n---- end of the log ----\n", int(what.size()), what.data());
    const auto lines = lines_of(log);
    const std::size_t from = lines.size() > 40 ? lines.size() - 40 : 0;
    for (std::size_t k = from; k < lines.size(); ++k)
        std::fprintf(stderr, "%.*s\n", int(lines[k].size()), lines[k].data());
    std::fflush(stderr);
    std::abort();
}

// "NaN" or "Infinity" in the log or in a file the run wrote (or changed).
void check_outputs(const std::vector<File>& files, const std::string& log) {
    // the words may come from the input itself (echoed names and comments)
    for (const File& f : files)
        if (f.text.find("NaN") != std::string::npos || f.text.find("Infinity") != std::string::npos) return;
    if (has_non_finite(log)) fault("NaN or Infinity in the log", log);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(setup.base, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (ec || !it->is_regular_file(ec)) continue;
        const std::string text = read_file(it->path());
        bool input = false;
        for (const File& f : files) input = input || (it->path() == setup.work / f.name && text == f.text);
        if (!input && has_non_finite(text))
            fault("NaN or Infinity in the file " + fs::relative(it->path(), setup.work, ec).string(), log);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setup.home = fs::current_path();
    std::string tmpl = (fs::temp_directory_path() / "tarvel_fuzz_XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) {
        std::perror("tarvel fuzz: mkdtemp");
        std::exit(1);
    }
    setup.base = tmpl;
    setup.work = setup.base / "w";
    std::atexit(remove_base);
    // the log goes to a memory file, read back after each input
    setup.capture = memfd_create("tarvel_log", 0);
    if (setup.capture < 0 || dup2(setup.capture, STDOUT_FILENO) < 0) {
        std::perror("tarvel fuzz: capture of standard output");
        std::exit(1);
    }
    const char* show = std::getenv("TARVEL_FUZZ_LOG");
    setup.show_log = show != nullptr && show[0] == '1';
    foundation::set_job_end(&on_fatal);
    work = forces::make_model_work();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<File> files = split_input(data, size);
    write_files(files);
    std::fflush(stdout);
    if (ftruncate(setup.capture, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0) std::abort();

    fs::current_path(setup.work);
    run::reset_records();
    bunch::set_force_entry(&capped_forces, work.get());
    steps = 0;
    particle_steps = 0.0;
    pairs = 0.0;
    enum { ended, fatal, capped } how = ended;
    std::int32_t rc = 0;
    try {
        rc = run::tarvel(*work, &on_step);
    } catch (const FatalStop&) {
        how = fatal;
    } catch (const StepCap&) {
        how = capped;
    }
    foundation::unit_close_all();
    run::reset_records();
    const std::string log = take_log();
    fs::current_path(setup.home);
    if (setup.show_log) std::fprintf(stderr, "%s", log.c_str());

    const auto lines = lines_of(log);
    if (how == fatal) {
        const std::string_view msg = lines.empty() ? std::string_view() : trimmed(lines.back());
        bool by_design = false;
        for (std::string_view m : fatal_by_design) by_design = by_design || starts_with(msg, m);
        if (!by_design) fault("fatal stop where an error line and a nonzero status would do", log);
    } else if (how == ended) {
        bool error_line = false;
        for (std::string_view l : lines) error_line = error_line || is_error_line(l);
        if (rc == 0 && error_line) fault("exit status 0 after an error line", log);
        if (rc != 0 && !error_line) fault("nonzero exit status without an error line", log);
    }
    check_outputs(files, log);
    return 0;
}
