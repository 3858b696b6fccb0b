#!/usr/bin/env bash
# The forces of the last evaluation (fc2.dat: x - x1, y - y1, F1, F2 of each
# particle, E13.6) against the contracted Coulomb force of two Gaussian
# sub-bunches, q/(4 pi eps0 gamma^2 d^2) (1 + 3 beta^2 sigma^2/d^2) times
# 1/(m c^2 in eV): the leading particle pushed forward, the trailing one
# back, nothing transverse. Each particle also feels its own sub-bunch (the
# same small value for both), so the pair force is half the difference.
set -u
[ -f fc2.dat ] || { echo "missing fc2.dat"; exit 1; }
grep -q "^  ctsig = 1.005208" stdout.txt || { echo "no ctsig line"; exit 1; }
awk '
  NR == 1 { f1 = $3; t1 = $4 }
  NR == 2 { d = sqrt($1 * $1 + $2 * $2); f2 = $3; t2 = $4 }
  END {
    if (NR != 2) { print "fc2.dat holds " NR " records, expected 2"; exit 1 }
    p = 5.0e6 * 1.60203e-19 / 8.185952043452808e-14; g2 = p * p + 1; b2 = p * p / g2
    s = 1e-4; q = 1e-12; ke = 8987551787.366543; scale = 1.957047868709806e-06
    C = q * ke / (g2 * d * d) * (1 + 3 * b2 * s * s / (d * d)) * scale
    pair = 0.5 * (f1 - f2); own = 0.5 * (f1 + f2)
    err = (pair - C) / C
    printf "drift_pair: pair force %.6e, contracted Coulomb %.6e, relative error %.2e, own field %.2e\n", pair, C, err, own / C
    bad = 0
    if (!(f1 > 0 && f2 < 0)) { print "the leading particle is not pushed forward and the trailing one back"; bad = 1 }
    if (err > 5e-4 || err < -5e-4) { print "pair force off the contracted Coulomb force"; bad = 1 }
    if (t1 != 0 || t2 != 0) { print "transverse force not zero"; bad = 1 }
    exit bad
  }' fc2.dat
