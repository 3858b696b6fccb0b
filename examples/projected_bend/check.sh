#!/usr/bin/env bash
# Compares the self-force of the projected-model example with the steady-state
# CSR wake of a Gaussian bunch on a circle. Run it in the run folder (holding
# bend.dat, latout.dat and steps.dat). bash and awk only.
#
# Closed form. A Gaussian line charge of total charge Q and rms length s that
# has moved on a circle of radius R for much longer than the overtaking
# length (24 R^2 s)^(1/3) exerts on a particle y = (z - zc)/s ahead of its
# centre zc the longitudinal field
#   E(y) = Q/(4 pi eps0 R^(2/3) s^(4/3)) G(y),
#   G(y) = 2/(3^(1/3) sqrt(2 pi)) int_0^inf xi^(-1/3) (y - xi) exp(-(y - xi)^2/2) dxi
# (G(0) = -0.55634: the centre loses energy, the head gains). The projected
# model spreads every particle's charge over a Gaussian of rms sigma_long, so
# the bunch it sees has s = sqrt(sigma_b^2 + sigma_long^2), sigma_b the
# charge-weighted rms of the particles' path offsets.
#
# bend.dat is a "fmt3" file: the header holds sigma_long (field 8); each
# particle record its path offset from particle 1 (field 5), its charge
# (field 7) and the force along its motion in eV/m (field 8; per electron,
# the field in V/m), across it and vertical (fields 9, 10: 0 for this model).
# R is the radius of the lattice's one bend (latout.dat). The force must
# follow E within 2% of the largest |E| over the bunch. steps.dat counts the
# force evaluations of each model: only "projected" (column 4) may count.
set -u
for f in bend.dat latout.dat steps.dat; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done
awk '
  function abs(v) { return v < 0 ? -v : v }
  # G(y) with xi = t^3, Simpson on t in [0, (max(y, 0) + 12)^(1/3)]
  function G(y,   n, h, t, z, s, i, w) {
    n = 1200; h = ((y > 0 ? y : 0) + 12) ^ (1 / 3) / n; s = 0
    for (i = 0; i <= n; i++) {
      t = i * h; z = y - t * t * t
      w = (i == 0 || i == n) ? 1 : (i % 2 ? 4 : 2)
      s += w * 3 * t * z * exp(-0.5 * z * z)
    }
    return 2 / (3 ^ (1 / 3) * sqrt(2 * 3.141592653589793)) * s * h / 3
  }
  FILENAME == "latout.dat" && $1 == "8" && NF == 2 && $2 + 0 != 0 {
    r = abs($2 + 0); if (R != "" && r != R) { print "more than one bend radius"; bad = 1 }; R = r; next }
  FILENAME == "steps.dat" {
    ns++
    for (k = 5; k <= 8; k++) if ($k != 0) { printf "steps.dat record %d: model %d counted\n", ns, k - 3; bad = 1 }
    if ($4 + 0 < last) { printf "steps.dat record %d: the count of projected falls\n", ns; bad = 1 }
    last = $4 + 0; next }
  FILENAME == "bend.dat" && FNR == 1 { slong = $8 + 0; next }
  FILENAME == "bend.dat" {
    n++; z[n] = $5 + 0; q[n] = $7 + 0; F[n] = $8 + 0
    if ($9 != 0 || $10 != 0) { printf "particle %d: transverse force %s %s\n", n, $9, $10; bad = 1 }
    Q += q[n]; zq += q[n] * z[n]; next }
  END {
    if (R == "") { print "no bend in latout.dat"; exit 1 }
    if (n < 2 || Q <= 0 || slong <= 0) { print "bend.dat holds no bunch with forces"; exit 1 }
    if (ns < 1 || last < 1) { print "steps.dat shows no force evaluation"; exit 1 }
    zc = zq / Q
    for (i = 1; i <= n; i++) v += q[i] * (z[i] - zc) ^ 2
    sb = sqrt(v / Q); s = sqrt(sb * sb + slong * slong)
    unit = 8.987551787368176e9 * Q / (R ^ (2 / 3) * s ^ (4 / 3))
    # every particle within 4 sigma, at most about 400 of them
    step = int(n / 400); if (step < 1) step = 1
    for (i = 1; i <= n; i += step) {
      y = (z[i] - zc) / s
      if (abs(y) > 4) continue
      E = unit * G(y); m++
      if (abs(E) > peak) peak = abs(E)
      d = abs(F[i] - E); if (d > worst) { worst = d; wy = y }
    }
    if (m < 20) { print "fewer than 20 particles within 4 sigma"; exit 1 }
    printf "projected bend: R = %g m, Q = %.4g C, sigma_b = %.4g m, sigma_long = %.4g m, %d particles compared\n", \
           R, Q, sb, slong, m
    printf "largest deviation from the steady-state wake %.3g eV/m = %.4f of the peak %.5g eV/m (at y = %.2f)\n", \
           worst, worst / peak, peak, wy
    if (worst > 0.02 * peak) { print "deviation above 2% of the peak"; bad = 1 }
    exit bad
  }' latout.dat steps.dat bend.dat
