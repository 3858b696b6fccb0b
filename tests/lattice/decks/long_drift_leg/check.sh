#!/usr/bin/env bash
# Closed form: a particle of speed b along the angle a of its momentum, from
# its start (x0, y0), is at (x0 + T b cos a, y0 + T b sin a) after T = 1e10 m.
set -u
awk 'function d(a, b) { return (a - b) < 0 ? b - a : a - b }
  { T = 1e10; k = 1.957047868709806e-06
    if (NR == 1) { px = 1e9; py = 0; x0 = 0 } else { px = 1e9; py = 1e6; x0 = 1e-3 }
    p = sqrt(px * px + py * py) * k; b = 1 / sqrt(1 / (p * p) + 1); a = atan2(py, px)
    x = x0 + T * b * cos(a); y = T * b * sin(a)
    if (d($1, x) > 1e-4 * 1e-6 * T || d($2, y) > 1e-6 * (y < 0 ? -y : y) + 1e-6) {
      printf "particle %d at (%s, %s), expected (%.10e, %.10e)\n", NR, $1, $2, x, y; bad = 1 } }
  END { if (NR != 2) { print NR " particles"; bad = 1 }; exit bad }' far.dat
