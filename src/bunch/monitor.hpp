// Monitors: the one-shot "monitor" layer and the online monitors written
// around every time step of a tracking run. Master only.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "bunch/moncom.hpp"
#include "foundation/files.hpp"

namespace bunch {

// Every online-monitor slot free.
void inimon(std::int32_t& ierr);

// Reads a "monitor" block and writes its particle file at once.
void lymoni(std::int32_t& ierr);

// Writes one particle file of the whole bunch in format code ifmt
// (0 "fmt0", 1 "fmt1", 2 "fmt2", 3 "fmt3"); kind names the output in the
// clash check (an online monitor's numbered file, or a monitor's).
void monito(const std::string& name, std::int32_t ifmt, std::int32_t& ierr,
            std::string_view kind = foundation::output_kind::monitor);

// Writes the particle records i1..i2 in format code ifmt on an open unit,
// with the bunch time first when ltime. ierr is set by every write.
void monit2(std::int32_t unit, std::int32_t i1, std::int32_t i2, std::int32_t ifmt,
            bool ltime, std::int32_t& ierr);

// Reads an "online_monitor" block into a slot.
void lyomon(std::int32_t& ierr);

// Tracker set-up: resolves start and end of every slot not yet enabled and
// enables or frees it (warnings only; ierr := 0). Also clears the count of
// failed online outputs of the coming run.
void inimo2(std::int32_t& ierr);

// Tracker set-up, after inimo2: every enabled online monitor can write its
// files (its folder takes them; its one open file is no file the run reads
// and no other output's). Otherwise a line per monitor and "error in
// monitor", status 1.
void omochk(std::int32_t& ierr);

// Before a step to ctnext: opens the "green" files that are due.
void omoni0(double ctnext, std::int32_t& ierr);

// After a step: writes the outputs due at ctptcl and retires monitors past
// their end. ierr: sum of the absolute failure codes met.
void omonit(std::int32_t& ierr);

// Closes and frees slot k, or all ten slots when k is 0. ierr: sum of the
// absolute close codes.
void eximon(std::int32_t k, std::int32_t& ierr);

// Number of online outputs that failed since the last tracker set-up
// (inimo2). The tracking run reads it after its time loop: nonzero means
// the monitor output of the run is incomplete, whatever the last step said.
[[nodiscard]] std::int32_t omofai();

// The file name of output number icnt of a monitor named name: the counter
// suffix "_NNNN" (the full number beyond 9999) before the first "." of the
// name, or at its end when it has none.
std::string monsuf(const std::string& name, std::int32_t icnt);

// The file the deck reads (iopcom.deck_inputs, an existing one) that a
// numbered file of the online monitor named name would be, under the output
// path prefix outpath; n its number. Null when there is none.
const foundation::DeckInput* numbered_input(const std::string& name, std::string_view outpath, std::int32_t& n);

// Writes the columns, each as its count and then its values, one
// list-directed record each, into every open "green" online monitor of
// format "fmt1", from the start of its file (the file holds only what is
// written now). Returns the status of the last rewind or write (0 =
// success); a monitor whose file cannot be rewound or written is dropped
// (its unit freed, the failed output logged and counted: omofai).
int green_monitor_output(std::span<const std::span<const double>> columns);

// The sub-bunch sizes the monitors print from now on [m]: all three, or
// the longitudinal one alone (a model without transverse sizes), the
// others as they stand.
void show_subbunch_sizes(double sigma_long, double sigma_rad, double sigma_vert);
void show_subbunch_length(double sigma_long);

// Output grid rule of slot k at time t (c*t, m): true when an output is due;
// then mostrt is moved over the grid times passed without output and mocnt
// is counted up.
bool mogrid(std::int32_t k, double t);

}  // namespace bunch
