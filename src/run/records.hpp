// The process-wide records: every mutable object of the program's
// libraries, in one list, with the one reset that gives them back their
// start values.
//
// The layers share these records by design (the deck reader's, the files',
// the log's, the message layer's, the lattice's, the bunch's and the
// tracker's); one instance each for the life of the process. Nothing else
// in the libraries is a mutable object at namespace scope or a static one
// in a function: the field library's context, the design path, the Green's
// function and the models' scratch belong to the models' work, which the
// process entry makes and passes down (forces/work.hpp). The suite checks
// both ways (libraries_records: the writable objects of the libraries'
// symbol tables are exactly these, each in the library of its layer).
//
// Start values: those the driver begins with, on a fresh process: the
// zero-filled statics with their default member values, the process
// entry's (process number and count from the message layer, the tag
// counters, the trace level, the log owner, the job end), then the set-up
// routines the driver calls (fiinit, inprsr, inilat, iniprt, initrk,
// inifrc, inimon), with no deck file open.
#pragma once

#include <array>
#include <string_view>

namespace run {

struct Record {
    std::string_view symbol;  // its name in the symbol tables (nm -C)
    std::string_view layer;   // the layer (library tarvel_<layer>) that defines it
    std::string_view holds;
    std::string_view writers;  // who writes it
    std::string_view start;    // its start values
};

// (the symbol and the layer of an entry stay on its first line: the
// symbol check reads them from there)
inline constexpr std::array<Record, 18> records = {{
    {"foundation::iopcom", "foundation",
     "path prefixes, pool units 20-30 in use, the files the run reads and the outputs it has open or has "
     "written, the deck's inputs found by the pre-pass, the summary files it could not write",
     "fiinit (start_files), lyriop, fioout, fioin, ficout, ficin, scan_deck, note_unwritten (files.cpp, "
     "iopath.cpp, parser.cpp)",
     "paths \"undefined\", the pool free, every list empty"},
    {"foundation::logcom", "foundation",
     "the log file on unit 31 (open, its name, its failure), whether this process prints the log",
     "lyriop, logpri, start_files (log.cpp, iopath.cpp, files.cpp); the process entry (set_log_owner)",
     "no log file, the log printed on the master only"},
    {"foundation::fincom", "foundation",
     "the stack of deck files: unit read (10 main deck, 11-19 includes), saved cards and columns, names "
     "and line counts",
     "fiinit, fiexit, the deck reader's #file/#eof (parser.cpp)",
     "main deck on unit 10, no file open, nothing saved"},
    {"foundation::parcom", "foundation",
     "the current card and its columns, the keys of the last block read",
     "inprsr, getcrd, getblk, read_block (parser.cpp)",
     "the card \"***\" read to its end: the first token fetches a new card"},
    {"foundation::(anonymous namespace)::units", "foundation",
     "the platform's unit table: the open file of each unit 0-99 (platform.cpp)",
     "unit_open, unit_close, unit_read, unit_close_all (platform.cpp)",
     "every unit closed"},
    {"foundation::(anonymous namespace)::job_end", "foundation",
     "how a fatal stop ends the job (stop.cpp)",
     "set_job_end: the message layer's start (MPI_Abort), a test harness",
     "as the process entry installed it: the reset keeps it"},
    {"parallel::cmpcom", "parallel",
     "own process number, number of processes, trace level, message-tag counter per partner, master "
     "flag, the message layer's view of the MPI job (rank, size)",
     "the process entry, mpi_start, mpi_stop, mytag (entry.cpp, mpilayer.cpp, cmplib.cpp)",
     "number and count from the MPI view (1 of 1 without MPI), master on process 1, trace 0, tags 0; the "
     "MPI view kept"},
    {"parallel::msgcom", "parallel",
     "the last command the master sent, the counts and displacements of a join; receive buffers of the "
     "reductions and the slave's particle and force arrays, written before every read",
     "sencmd, joinct, accumu, accuml (cmplib.cpp), the slave loop",
     "no command sent, join tables 0; the buffers and the slave's arrays untouched"},
    {"lattice::latcom", "lattice",
     "field boundaries, curvature tables, section codes, private data of the elements, reference crossing "
     "times, duty flags",
     "inilat, lylatt (lattice.cpp), inila2 (latbunch.cpp), the run-state transfer on a slave",
     "zero-filled: no boundary, lfbok false"},
    {"lattice::latmks", "lattice",
     "the boundaries' marker names",
     "lylatt (lattice.cpp)",
     "every name blank"},
    {"bunch::prtcls", "bunch",
     "the bunch: particle records, index pairs and flags (arrays sized maxprt), bunch time, reference "
     "momentum and point, charge, rms sizes, npart, lfbidx",
     "iniprt, lypart (particles.cpp), inila2 (lfbidx), ttrack (time), stepr2 (rms sizes) (tracker.cpp), the "
     "run-state transfer on a slave",
     "every scalar 0 (npart 0, lfbidx false); the particle arrays untouched"},
    {"bunch::force_settings", "bunch",
     "the force settings: type, shape, sizes as given, shielding, boxes, parameters, the sigma_file table "
     "and the wake (arrays with their counts), call counters, switches",
     "inifrc, lyforc, force_entry (nfcall, the rintmi warning) (forces/force.cpp), the run-state transfer "
     "on a slave",
     "every scalar 0 (type \"none\", no table, no wake); the table and wake arrays untouched"},
    {"bunch::moncom", "bunch",
     "the ten online-monitor slots (times, units, types, formats, counts, flags), the monitor status, the "
     "sub-bunch sizes the monitors print",
     "inimon, lymoni, lyomon, inimo2, omonit, eximon, show_subbunch_sizes (monitor.cpp)",
     "zero-filled: every slot inactive, no unit"},
    {"bunch::mo2com", "bunch",
     "the file of the last monitor layer, the online monitors' names and markers",
     "lymoni, lyomon, inimo2 (monitor.cpp)",
     "every name blank"},
    {"bunch::trkcom", "bunch",
     "the end of a tracking run (length, end time, shift)",
     "initrk, lytrck, initr2 (tracker.cpp), the run-state transfer on a slave",
     "every time undefined"},
    {"bunch::tr2com", "bunch",
     "the marker that ends the run",
     "initrk, lytrck (tracker.cpp)",
     "\"undefined\""},
    {"bunch::tr3com", "bunch",
     "step control (track_step), the time grid, the run's integrated step error, the adaptive rule's state",
     "initrk, lytrst, steper (tracker.cpp), the driver (errsum)",
     "the track_step defaults, no grid, errsum 0, the rule's start state"},
    {"bunch::forcs2", "bunch",
     "the two stored force sets and their times, the time step's work arrays, the force entry",
     "initrk, itrack, set_force_entry (tracker.cpp), the driver",
     "no stored set (both times undefined), no force entry; the force and work arrays untouched"},
}};

// Puts every record of the list back to its start values (the job end and
// the message layer's MPI view stay as the process entry left them). Every
// unit is closed first. The arrays sized for the largest bunch or table
// (particles, forces, the sigma_file table, the wake, the message buffers)
// are not cleared: their counts say what is in use, and a small run stays
// small. In a job of several processes every process resets at the same
// point (the tag counters start again at 0).
void reset_records();

}  // namespace run
