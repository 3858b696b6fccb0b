// The "particles" layer: reads a particle list into the bunch record and
// transforms it into the lab frame of the lattice.
#pragma once

#include <cstdint>
#include <string>

#include "bunch/prtcls.hpp"

namespace bunch {

// Start values of the bunch: reference point 0, qtot 0, npart 0, lfbidx false.
void iniprt(std::int32_t& ierr);

// Reads one "particles" layer (the word "particles" has been read).
void lypart(std::int32_t& ierr);

// Reads an "fmt1"/"fmt2" list (readp1) or a "vantu" list (readp2) after
// "array =". cmd is the layer's command buffer; on return it holds the
// closing "}".
void readp1(std::string& cmd, std::int32_t& ierr);
void readp2(std::string& cmd, std::int32_t& ierr);

// Transforms the listed particles into the lab frame, fixes the charge sign,
// sets p0 and logs the summary. iform: 1 "fmt1", 2 "fmt2", 3 "vantu";
// imode: 1 reference particle, 2 average, 3 given number. A list that cannot
// be transformed (no particle, a zero or overflowing momentum, an "fmt2"
// reference momentum without horizontal component, a given p0 <= 0) fails
// with "error in array with particles" and changes nothing; a refused p0
// is named with p0_place, where the layer gave it.
void ptrafo(std::int32_t iform, std::int32_t imode, std::int32_t& ierr, const std::string& p0_place);

}  // namespace bunch
