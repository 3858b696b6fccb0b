#!/usr/bin/env bash
# Three force-free particles cross a thin quadrupole with L*k = 1 per metre
# at x = 1 together (same start line and speed) and run on for 1 m of c*t.
# Closed form after the kick: the horizontally offset particle heads for the
# axis at x = 2 with slope -1e-3, the vertically offset one moves away with
# slope +1e-3; both keep their offsets at the lens.
set -u
awk 'BEGIN { p = 5.0e7 * 1.957047868709806e-06; b = 1 / sqrt(1 / (p * p) + 1)
  N = sqrt(1 + 1e-6)
  # particle: x y z phi theta
  printf "%.17g %.17g %.17g %.17g %.17g\n", 1 + b, 0, 0, 0, 0
  printf "%.17g %.17g %.17g %.17g %.17g\n", 1 + b / N, 1e-3 - 1e-3 * b / N, 0, atan2(-1e-3, 1), 0
  printf "%.17g %.17g %.17g %.17g %.17g\n", 1 + b / N, 0, 1e-3 + 1e-3 * b / N, 0, atan2(1e-3, 1) }' >cf.txt
paste cf.txt focus.dat | awk '
  function d(a, b) { return (a - b) < 0 ? b - a : a - b }
  { if (d($1, $6) > 1e-12 || d($2, $7) > 1e-13 || d($3, $8) > 1e-13 || d($4, $10) > 1e-13 || d($5, $11) > 1e-13) {
      print "particle " NR ": " $0; bad = 1 } }
  END { if (NR != 3) { print NR " particles"; bad = 1 }; exit bad }'
