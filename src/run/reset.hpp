// The start state of every record of every layer, as at program start: the
// tests use it before each case (several decks run in one process).
#pragma once

namespace run {

// Closes every unit; gives the deck reader, files, log, process record
// (a single master process), lattice, bunch, tracker, step control, force
// and monitor records their start values (no force entry); the job end of
// a fatal stop stays as installed. The large particle and force arrays are
// not cleared: their counts say what is in use.
void reset_state();

}  // namespace run
