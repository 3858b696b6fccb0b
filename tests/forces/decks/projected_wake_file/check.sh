#!/usr/bin/env bash
# The wake_file alone (par4 = 1): the configuration lines of the model with a
# wake, the file's comment records in the log, and the force of the fmt3
# file against Q w0 Phi(-(z - zc)/sqrt(sigma_b^2 + sigma_long^2)) within 1%
# of Q w0 (see tarvel.in), with Q, zc, sigma_b the bunch's charge, centre and
# rms and sigma_long the header's.
set -u
fail=0
for f in stdout.txt wake_forces.dat; do [ -f "$f" ] || { echo "missing $f"; exit 1; }; done
want="  with 'projected' force + wake
    wake_sigma         = 2.9999999999999997E-04
    wake_step          = 3.0000000000000001E-05
    wake_index_low     = -40
    wake_index_high    = 900
    par4               = 1.0000000000000000E+00
      csr_field :=csr_field *(1-par4)
  with pre-conditioning"
got=$(grep -A7 "^  with 'projected' force" stdout.txt)
[ "$got" = "$want" ] || { echo "configuration lines:"; echo "$got"; fail=1; }
[ "$(grep -c '^ ! ' stdout.txt)" = 3 ] || { echo "the wake file's three comment records are not in the log"; fail=1; }
awk '
  function abs(v) { return v < 0 ? -v : v }
  # Phi(x) = erfc(-x/sqrt 2)/2, erfc by Abramowitz-Stegun 7.1.26 (error 1.5e-7)
  function Phi(x,   u, t, e) {
    u = abs(x) / sqrt(2); t = 1 / (1 + 0.3275911 * u)
    e = t * (0.254829592 + t * (-0.284496736 + t * (1.421413741 + t * (-1.453152027 + t * 1.061405429)))) * exp(-u * u)
    return x >= 0 ? 1 - e / 2 : e / 2 }
  NR == 1 { slong = $8 + 0; next }
  { n++; z[n] = $5 + 0; q[n] = $7 + 0; F[n] = $8 + 0; Q += q[n]; zq += q[n] * z[n] }
  END {
    zc = zq / Q
    for (i = 1; i <= n; i++) v += q[i] * (z[i] - zc) ^ 2
    s = sqrt(v / Q + slong * slong); top = Q * 1e12
    for (i = 1; i <= n; i++) { d = abs(F[i] - top * Phi(-(z[i] - zc) / s)); if (d > worst) worst = d }
    printf "wake_file alone: %d particles, largest deviation %.3g eV/m = %.5f of Q w0 = %g eV/m\n", n, worst, worst / top, top
    exit worst > 0.01 * top
  }' wake_forces.dat || fail=1
exit $fail
