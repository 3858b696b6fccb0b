#!/usr/bin/env bash
# Compares the longitudinal force of the bunch deep in the bend (wake.dat,
# format fmt3: h h' z z' s dgamma q F1 F2 F3 [eV/m] act def, after a header
# record) with the steady-state CSR wake of a Gaussian line charge. Run it
# in the run folder. bash and awk only.
#
# Closed form. A Gaussian line charge of charge Q and rms length sigma on a
# circle of radius R, long after it entered: the force along the motion at
# y sigma ahead of the centre is
#   W(y) = Q/(4 pi eps0 R^(2/3) sigma^(4/3)) G(y),
#   G(y) = -(2/3^(1/3)) int_0^inf u^(-1/3) lambda'(y - u) du,
# lambda the unit Gaussian (G(0) = -0.556340: the centre loses energy, the
# head gains). The macro-particles carry Gaussian sub-bunches of rms
# sigma_long, so the line charge is their quiet-start distribution smoothed
# by it: sigma = sqrt(sigma_b^2 + sigma_long^2), sigma_b the rms of s.
# The force must follow W within 5% of its peak.
set -u
for f in wake.dat tarvel.in; do [ -f "$f" ] || { echo "missing $f"; exit 1; }; done
awk '
  # the radius of the bend and the sub-bunch length, from the deck
  FILENAME == "tarvel.in" {
    for (i = 1; i + 2 <= NF; i++) {
      if ($i == "r" && $(i + 1) == "=") R = $(i + 2) + 0
      if ($i == "sigma_long" && $(i + 1) == "=") sl = $(i + 2) + 0
    }
    next
  }
  FNR == 1 { next }                               # header record of the monitor
  { n++; s[n] = $5 + 0; q[n] = $7 + 0; f[n] = $8 + 0 }
  # G(y) by Simpson on w = u^(1/3), which removes the singularity
  function G(y,   top, m, W, h, k, w, x, sum, c) {
    top = y + 10; if (top <= 0) return 0
    m = 2000; W = exp(log(top) / 3); h = W / m; sum = 0
    for (k = 0; k <= m; k++) {
      w = k * h; x = y - w * w * w
      c = (k == 0 || k == m) ? 1 : (k % 2 ? 4 : 2)
      sum += c * 3 * w * (-x * exp(-0.5 * x * x) / sqrt(2 * 3.141592653589793))
    }
    return -2 / exp(log(3) / 3) * sum * h / 3
  }
  END {
    if (n < 2 || R <= 0 || sl <= 0) { print "p2p_bend: no particles, radius or sigma_long found"; exit 1 }
    Q = 0; m = 0
    for (i = 1; i <= n; i++) { Q += q[i]; m += q[i] * s[i] }
    m /= Q; v = 0
    for (i = 1; i <= n; i++) v += q[i] * (s[i] - m) ^ 2
    sb = sqrt(v / Q); sig = sqrt(sb * sb + sl * sl)
    unit = Q * 8987551787.366543 / (exp(log(R) * 2 / 3) * exp(log(sig) * 4 / 3))
    peak = 0.556340 * unit; worst = 0
    for (i = 1; i <= n; i++) {
      want = unit * G((s[i] - m) / sig)
      d = f[i] - want; if (d < 0) d = -d
      if (d > worst) { worst = d; at = (s[i] - m) / sig }
    }
    printf "p2p_bend: %d particles, sigma_b %.4e m, sigma %.4e m, peak wake %.4e eV/m, largest difference %.2f%% of the peak (at %.2f sigma)\n", n, sb, sig, peak, 100 * worst / peak, at
    if (worst > 0.05 * peak) { print "the force is off the steady-state wake by more than 5% of its peak"; exit 1 }
  }' tarvel.in wake.dat
