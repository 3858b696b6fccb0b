// Files, path prefixes and the pool of auxiliary units.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/capacities.hpp"
#include "foundation/ftypes.hpp"

namespace foundation {

inline constexpr int unit_deck = 10;      // the main deck "tarvel.in"; includes on 11..19
inline constexpr int unit_no_deck = unit_deck - 1;        // nfile once the main deck is closed
inline constexpr int max_deck_files = cap::maxinc + 1;    // the main deck and its nested includes
inline constexpr int unit_pool_lo = 20;   // pool of auxiliary files
inline constexpr int unit_pool_hi = 30;
inline constexpr int unit_log = 31;       // the log file

struct Iopcom {
    ftypes::FStr<cap::txtlen> inpath{"undefined"};   // input path prefix; "undefined" = none
    ftypes::FStr<cap::txtlen> outpath{"undefined"};  // output path prefix; "undefined" = none
    ftypes::Logical logopn = false;         // the log file on unit 31 is open
    ftypes::FArr<ftypes::Logical, unit_pool_lo, unit_pool_hi> iuse{};  // pool unit in use
};

extern Iopcom iopcom;

// The name opened for a file: the name unchanged when the prefix is
// "undefined", otherwise the prefix up to its first blank, "/", the name.
// Never cut to 80 characters.
std::string input_name(const std::string& name);
std::string output_name(const std::string& name);

// Start values of the path prefixes, the pool and the deck stack; opens the
// main deck name(1:len) on unit 10. Logs "error in fiinit" on failure.
void fiinit(const std::string& name, int len, std::int32_t& ierr);

// Closes every open deck file (units nfile down to 10); nfile := 9.
void fiexit(std::int32_t& ierr);

// Opens an output (input) file, with the output (input) path rule, on the
// lowest free pool unit, returned in unit. Status 1 when the pool is
// exhausted, the open status otherwise; a unit whose open failed is freed.
void fioout(const std::string& name, std::int32_t& unit, std::int32_t& ierr);
void fioin(const std::string& name, std::int32_t& unit, std::int32_t& ierr);

// Closes a pool unit and frees it; status 1 (and nothing touched) for a
// unit outside 20..30 or not in use.
void ficout(std::int32_t unit, std::int32_t& ierr);
void ficin(std::int32_t unit, std::int32_t& ierr);

}  // namespace foundation
