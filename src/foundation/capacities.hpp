// Fixed capacities of the program, shared by several subsystems.
#pragma once

namespace cap {

inline constexpr int maxprt = 300000;   // particles in the bunch
inline constexpr int maxlat = 100;      // field boundaries of the lattice
inline constexpr int rlalen = 1000;     // private reals of the lattice elements
inline constexpr int ilalen = 1000;     // private integers of the lattice elements
inline constexpr int matist = 2000;     // entries of a time grid or sub-bunch table
inline constexpr int nsamax = 50000;    // grid points of the projected model
inline constexpr int narcsr = 50000;    // wake values of the projected model
inline constexpr int maxgre = 5000000;  // Green's-function samples per chunk
inline constexpr int maxmon = 10;       // online monitors
inline constexpr int maxproc = 100;     // processes of one job
inline constexpr int maxinc = 9;        // nested include files
inline constexpr int cardlen = 400;     // columns of a deck card
inline constexpr int txtlen = 80;       // names, commands, values
inline constexpr int loglen = 72;       // log lines

}  // namespace cap
