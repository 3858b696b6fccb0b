// Files, path prefixes and the pool of auxiliary units.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"
#include "foundation/platform.hpp"

namespace foundation {

inline constexpr int unit_deck = 10;      // the main deck "tarvel.in"; includes on 11..19
inline constexpr int unit_no_deck = unit_deck - 1;        // nfile once the main deck is closed
inline constexpr int max_deck_files = cap::maxinc + 1;    // the main deck and its nested includes
inline constexpr int unit_pool_lo = 20;   // pool of auxiliary files
inline constexpr int unit_pool_hi = 30;
inline constexpr int unit_scan = 40;      // the pre-pass over the deck: the main deck, includes on 41..49

// A file as the system knows it: device and inode.
struct FileId {
    dev_t dev;
    ino_t ino;
    bool operator==(const FileId&) const = default;
};

// A file the run reads (kept for the whole run) or an output it has open.
struct KnownFile {
    FileId id;
    std::string path;
    std::string kind;
    std::int32_t unit;
    bool output;  // an output file (dropped when closed), else a file read
    bool open;
    bool own;     // a file read that the run itself had written before
};

// The kinds of output, as the clash check names them.
namespace output_kind {
inline constexpr std::string_view log = "log file";
inline constexpr std::string_view monitor = "monitor file";
inline constexpr std::string_view online = "online monitor file";
inline constexpr std::string_view lattice = "lattice summary";
inline constexpr std::string_view diagnostic = "diagnostic file";
}  // namespace output_kind

// A file that an output of the run has written: the kind of output that
// wrote it first ("monitor file", "lattice summary", ...) and its path.
struct WrittenFile {
    FileId id;
    std::string kind;
    std::string path;
};

// A file the deck names as an input, found by the pre-pass over the whole
// deck before any layer is carried out (scan_deck).
struct DeckInput {
    std::string path;          // as the run opens it, with the input path rule then in force
    std::string kind;          // "deck", "include file", "input file" (sigma_file, wake_file, time_grid_file)
    std::string place;         // where the deck names it, "tarvel.in line 3"; empty for the main deck
    std::optional<FileId> id;  // the file, when it exists at the start of the run
    std::size_t layers_before = 0;  // layers of the deck begun before it is named
};

struct Iopcom {
    ftypes::FStr<cap::txtlen> inpath{"undefined"};   // input path prefix; "undefined" = none
    ftypes::FStr<cap::txtlen> outpath{"undefined"};  // output path prefix; "undefined" = none
    ftypes::FArr<ftypes::Logical, unit_pool_lo, unit_pool_hi> iuse{};  // pool unit in use
    std::vector<KnownFile> known_files;     // files the run reads, outputs it has open
    std::vector<WrittenFile> written_files; // every file the run has opened for output
    std::vector<DeckInput> deck_inputs;     // the files the deck reads, from the pre-pass
    std::vector<std::string> unwritten;     // summary files the run could not write (each name once)
};

extern Iopcom iopcom;

// A summary file (the lattice's "latout.dat") that could not be written:
// the run goes on, and its exit code says so at the end.
void note_unwritten(const std::string& name);
const std::vector<std::string>& unwritten_files();

// The name opened for a file: the name unchanged when the prefix is
// "undefined", otherwise the prefix up to its first blank, "/", the name.
// Never cut to 80 characters.
std::string input_name(const std::string& name);
std::string output_name(const std::string& name);

// Start values of the path prefixes and the pool, the log file closed, the
// record of the run's files emptied (the deck reader's fiinit, before it
// opens the main deck).
void start_files();

// Opens an output (input) file, with the output (input) path rule, on the
// lowest free pool unit, returned in unit. Status 1 when the pool is
// exhausted or the file may not be opened (output_clash, input_clash), the
// open status otherwise; a unit whose open failed is freed. kind names the
// output in the clash check ("monitor file", "lattice summary", ...).
void fioout(const std::string& name, std::int32_t& unit, std::int32_t& ierr, std::string_view kind = "output file");
void fioin(const std::string& name, std::int32_t& unit, std::int32_t& ierr);

// Closes a pool unit and frees it; status 1 (and nothing touched) for a
// unit outside 20..30 or not in use.
void ficout(std::int32_t unit, std::int32_t& ierr);
void ficin(std::int32_t unit, std::int32_t& ierr);

// The files of the run, so that no output is opened onto a file the run
// reads (the deck, its include files, its input files) nor onto one that
// another output has open. Files are told apart as files (device and
// inode), not by their names: another path to the same file, or a link to
// it, is the same file. start_files starts the record afresh.
//
// A file the run reads, opened on unit; kind names it in messages
// ("deck", "include file", "input file").
void note_read(std::int32_t unit, const std::string& path, std::string_view kind);
// An output file opened on unit ("log file", "output file").
void note_written(std::int32_t unit, const std::string& path, std::string_view kind);
// The file on unit was closed.
void note_closed(std::int32_t unit);
// Why no output of kind may be opened onto path, as "the deck tarvel.in,
// which the run reads" or "the log file run.log, which the run is
// writing"; empty when it may. Refused: a file the run reads or has read,
// a file the deck names as an input (deck_inputs) that exists, an open
// output, and a file that an output of another kind wrote (an output of
// the same kind, a later monitor of the same name, may write it again;
// an empty kind skips this last rule). The output open on unit own (a log
// file being replaced) does not count. A file that the run wrote itself
// before it read it back (a monitor file included as a particle list) may
// be written again once it is closed.
[[nodiscard]] std::string output_clash(const std::string& path, std::string_view kind = {}, std::int32_t own = 0);
// Why path may not be read: it is an output the run has open, as "the log
// file run.log, which the run is writing"; empty when it may.
[[nodiscard]] std::string input_clash(const std::string& path);
// The deck input that path is (the same file, existing), or null.
[[nodiscard]] const DeckInput* deck_input(const std::string& path);
// The name opened for a file under the path prefix prefix ("undefined":
// none), as input_name and output_name do with the prefixes in force.
[[nodiscard]] std::string prefixed(std::string_view prefix, const std::string& name);
// Why the folder that would hold the output file path cannot take it, as
// "the folder out does not exist"; empty when it can.
[[nodiscard]] std::string folder_problem(const std::string& path);
// The file that path names (links followed), when it exists.
[[nodiscard]] std::optional<FileId> file_id(const std::string& path);
// Whether two paths name one file: the same device and inode when both
// exist, else the same path once made absolute and resolved.
[[nodiscard]] bool same_file(const std::string& a, const std::string& b);

// The unit of the deck file being read (the main deck or an open include
// file) that is the file path names, told apart as files (device and
// inode, so another name or a link to it is the same file); 0 when none is
// or path names no file.
[[nodiscard]] std::int32_t deck_unit_of(const std::string& path);

}  // namespace foundation
