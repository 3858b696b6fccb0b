#!/usr/bin/env bash
# steady_wake.sh FILE TOLERANCE [LABEL]
# Compares the longitudinal self-force of a bunch deep in a bend, as a
# "fmt3" monitor file FILE shows it, with the steady-state CSR wake of a
# Gaussian line charge on a circle (csr_wake.awk). Run it in the run folder
# (holding FILE and latout.dat); bash and awk only.
#
# FILE: the header record holds sigma_long (field 8), the effective
# longitudinal sub-bunch size of the last force evaluation; each particle
# record its path offset from particle 1 (field 5), its charge (field 7)
# and the force along its motion in eV/m (field 8). R is the radius of the
# lattice's one bend (latout.dat). Every model spreads each particle's
# charge over a Gaussian of rms sigma_long along the motion, so the line
# charge it sees has the rms s = sqrt(sigma_b^2 + sigma_long^2), sigma_b
# the charge-weighted rms of the path offsets. Over the particles within 4 s
# of the centre (at most about 400 of them) the force must follow
# csr_unit(Q, R, s) csr_G(y) within TOLERANCE times the wake's peak
# 0.6167 csr_unit.
set -u
here=$(cd "$(dirname "$0")" && pwd)
file=$1; tol=$2; label=${3:-$1}
for f in "$file" latout.dat; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done
awk -v tol="$tol" -v label="$label" -f "$here/csr_wake.awk" -f <(cat <<'PROGRAM'
  FILENAME == "latout.dat" && $1 == "8" && NF == 2 && $2 + 0 != 0 {
    r = csr_abs($2 + 0); if (R != "" && r != R) { print "more than one bend radius"; bad = 1 }; R = r; next }
  FILENAME == "latout.dat" { next }
  FNR == 1 { slong = $8 + 0; next }
  { n++; z[n] = $5 + 0; q[n] = $7 + 0; F[n] = $8 + 0; Q += q[n]; zq += q[n] * z[n] }
  END {
    if (R == "") { print "no bend in latout.dat"; exit 1 }
    if (n < 2 || Q <= 0 || slong <= 0) { printf "%s holds no bunch with forces\n", label; exit 1 }
    zc = zq / Q
    for (i = 1; i <= n; i++) v += q[i] * (z[i] - zc) ^ 2
    sb = sqrt(v / Q); s = sqrt(sb * sb + slong * slong)
    unit = csr_unit(Q, R, s); peak = 0.616699 * unit
    step = int(n / 400); if (step < 1) step = 1
    for (i = 1; i <= n; i += step) {
      y = (z[i] - zc) / s
      if (csr_abs(y) > 4) continue
      m++; d = csr_abs(F[i] - unit * csr_G(y)); if (d > worst) { worst = d; wy = y }
    }
    if (m < 20) { printf "%s: fewer than 20 particles within 4 sigma\n", label; exit 1 }
    printf "%s: R = %g m, Q = %.4g C, sigma_b = %.4g m, sigma_long = %.4g m, %d particles compared\n", \
           label, R, Q, sb, slong, m
    printf "%s: largest deviation from the steady-state wake %.3g eV/m = %.4f of the peak %.5g eV/m (at y = %.2f)\n", \
           label, worst, worst / peak, peak, wy
    if (worst > tol * peak) { printf "%s: deviation above %g%% of the peak\n", label, 100 * tol; bad = 1 }
    exit bad
  }
PROGRAM
) latout.dat "$file"
