// Geometry of the lattice shared by the lattice layer, the tracking and the
// design path: the field of the section a particle runs in, decoded from the
// section codes and the private data of its element, the meeting of a
// circle with a straight line, and the kick matrix of a thin quadrupole.
#pragma once

#include <array>
#include <cstdint>

namespace lattice {

struct Latcom;

enum class Field { drift, uniform, multipole };

// A 4x4 matrix on (u, u', z, z') in the private reals, stored column by
// column after private real b: element (k, l) (1..4) is rla(matrix_word(b,
// k, l)). A thin quadrupole stores its kick matrix and then the kick's
// inverse transpose.
inline constexpr int kick_matrix_reals = 16;
constexpr int matrix_word(int b, int k, int l) { return b + k + 4 * (l - 1); }

// The field of one section.
struct Section {
    Field kind = Field::drift;
    double B = 0.0;         // uniform field, m*c per m (positive turns clockwise)
    int m = 0;              // multipole order (1 dipole, 2 quadrupole, ...)
    double strength = 0.0;  // multipole strength, m^-m
    double xc = 0.0, yc = 0.0;  // point of the magnetic centre line (m)
    double v = 0.0;         // vertical offset of the centre line (m)
    double alpha = 0.0;     // multipole rotation (rad)
    double a = 0.0;         // direction of the multipole's straight reference line (rad)
};

// Field of the section that ends at boundary ifb of the lattice L, seen by a leg
// forward (fwd) or backward in time, for the reference momentum p0 [m*c].
// Sections before the first and after the last boundary, and sections made
// by a thin element, are drifts. A multipole without valid private data and
// an unknown field code are drifts too, after a line on standard output
// (" multipole with invalid azimuthal order", " nothing implemented for this
// case").
Section section_field(const Latcom& L, int ifb, bool fwd, double p0);

// Where the circle of signed radius R (positive turns clockwise) tangent to
// the unit direction (tx, ty) at a point meets the straight line with unit
// normal (nx, ny) at the signed distance d along the normal from that
// point. meets is false when the circle does not reach the line (|q| > 1);
// phi1 and phi2 are then undefined. Otherwise phi1 and phi2 (rad, in
// -pi..pi) are the turning angles of the two meetings, phi1 the one where
// the motion runs along the normal; the path length to meeting k is -R*phik
// (plus a full circle when negative, for a meeting ahead).
struct CircleMeeting {
    bool meets = false;
    double phi1 = 0.0, phi2 = 0.0;
};
CircleMeeting circle_meets_line(double tx, double ty, double nx, double ny, double d, double R);

// Thin-quadrupole matrix of boundary ifb of the lattice L: true when a thin
// quadrupole sits there; then tm (4x4, column-major) := its kick matrix and
// fbv := (x, y, tx, ty) of the boundary. Untouched when false.
bool latget(const Latcom& L, int ifb, std::array<double, 16>& tm, std::array<double, 4>& fbv);

}  // namespace lattice
