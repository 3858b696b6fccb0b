#!/usr/bin/env bash
# The benchmark chicane: the bunch length after the chicane against the
# linear compression, and the effect of each self-force model beside the run
# without one. Run it in the run folder (start.dat, none.dat, latout.dat and
# one fmt3 file per model: projected.dat, csr_p_to_p.dat, ...). bash and awk
# only.
#
# fmt3 records: h [m] (horizontal offset from the lattice line), h', z, z',
# s - s1 [m] (path offset from particle 1), d = gamma/gamma0 - 1, q [C], ...;
# the header holds gamma0 (field 2). Every file holds the same particles in
# the same order, so differences are taken particle by particle.
#
# Linear compression: R56 of the four rectangular bends (radius R,
# projected length Lb, sin th = Lb/R; the first and the last pair Ld12, Ld34
# apart, both from latout.dat) is R56 = 4 R (th - tan th) - (Ld12 + Ld34)
# tan^2 th / cos th; a particle s ahead with relative energy d ends at
# s - R56 d. With the chirp hc = cov(s, d)/var(s) of start.dat and du the rms
# of d about the chirp line, the rms length becomes
#   sigma_lin = sqrt((1 - hc R56)^2 sigma_0^2 + R56^2 du^2)
# (the second-order term T566 d^2, T566 = -1.5 R56 for this chicane, adds
# a few tenths of a percent). The run without self-force must end within 2%
# of sigma_lin, each model within 5%.
#
# Per model, against the run without self-force: the mean energy change
# <d - d_none> (relative, and in MeV), the rms of d - d_none (the energy
# spread the self-force adds), the normalized horizontal emittance
# eps_n = beta gamma0 sqrt(<h^2><h'^2> - <h h'>^2) (charge-weighted, about
# the means; projected over the whole bunch) and its growth. A model must
# take energy from the bunch and make the emittance grow.
set -u
for f in start.dat none.dat latout.dat; do [ -f "$f" ] || { echo "missing $f"; exit 1; }; done
models=""
for m in projected csr_p_to_p csr_p_to_m csr_g_to_p csr_g_to_m; do [ -f "$m.dat" ] && models="$models $m"; done
[ -n "$models" ] || { echo "no model file"; exit 1; }
awk -v models="$models" '
  function abs(v) { return v < 0 ? -v : v }
  function asin(v) { return atan2(v, sqrt(1 - v * v)) }
  FILENAME == "latout.dat" && $1 == "i=" { nb = $2; next }
  FILENAME == "latout.dat" && NF == 2 && $1 ~ /^[1-8]$/ && !seen[nb, $1]++ { fb[nb, $1] = $2 + 0; next }
  FILENAME == "latout.dat" { next }
  FNR == 1 { file++; name[file] = FILENAME; g0[file] = $2; n[file] = 0; next }
  { k = ++n[file]; h[file, k] = $1; hp[file, k] = $2; s[file, k] = $5; d[file, k] = $6; q[file, k] = $7 }
  # charge-weighted statistics of file f: length, mean and rms d, emittance
  function stats(f,   k, Q, w, ms, md, mh, mp, vs, vh, vp, chp) {
    Q = 0; ms = md = mh = mp = 0
    for (k = 1; k <= n[f]; k++) { w = q[f, k]; Q += w; ms += w * s[f, k]; md += w * d[f, k]; mh += w * h[f, k]; mp += w * hp[f, k] }
    ms /= Q; md /= Q; mh /= Q; mp /= Q; vs = vh = vp = chp = 0
    for (k = 1; k <= n[f]; k++) {
      w = q[f, k]; vs += w * (s[f, k] - ms) ^ 2; vh += w * (h[f, k] - mh) ^ 2; vp += w * (hp[f, k] - mp) ^ 2
      chp += w * (h[f, k] - mh) * (hp[f, k] - mp) }
    SZ = sqrt(vs / Q); MD = md; EN = sqrt(g0[f] ^ 2 - 1) * sqrt((vh / Q) * (vp / Q) - (chp / Q) ^ 2)
    MS = ms; QT = Q
  }
  END {
    # the lattice: bends between boundaries 1-2, 3-4, 5-6, 7-8
    R = abs(fb[2, 8]); Lb = fb[2, 1] - fb[1, 1]; th = asin(Lb / R)
    R56 = 4 * R * (th - sin(th) / cos(th)) - ((fb[3, 1] - fb[2, 1]) + (fb[7, 1] - fb[6, 1])) * (sin(th) / cos(th)) ^ 2 / cos(th)
    for (f = 1; f <= file; f++) idx[name[f]] = f
    f0 = idx["start.dat"]; fn = idx["none.dat"]
    for (f = 1; f <= file; f++) if (n[f] != n[f0] || n[f] < 3) { printf "%s: %d particles, start.dat %d\n", name[f], n[f], n[f0]; exit 1 }
    # the chirp and the uncorrelated spread of the start
    stats(f0); s0 = SZ; Q = QT; m0 = MS; md0 = MD
    for (k = 1; k <= n[f0]; k++) { w = q[f0, k]; csd += w * (s[f0, k] - m0) * (d[f0, k] - md0) }
    hc = csd / Q / (s0 * s0)
    for (k = 1; k <= n[f0]; k++) du += q[f0, k] * (d[f0, k] - md0 - hc * (s[f0, k] - m0)) ^ 2
    du = sqrt(du / Q)
    slin = sqrt((1 - hc * R56) ^ 2 * s0 ^ 2 + R56 ^ 2 * du ^ 2)
    E0 = g0[f0] * 0.51099895  # MeV
    printf "benchmark chicane: R = %g m, Lb = %g m, R56 = %.4f mm; %d particles, %.4g nC, %.4g GeV\n", \
           R, Lb, 1e3 * R56, n[f0], 1e9 * Q, E0 / 1e3
    printf "start: rms length %.2f um, chirp %.4f /m, uncorrelated spread %.2e, compression 1/%.3f: linear %.3f um\n", \
           1e6 * s0, hc, du, 1 / abs(1 - hc * R56), 1e6 * slin
    stats(fn); en0 = EN; mdn = MD
    printf "%-11s %10s %8s %12s %9s %12s %9s %9s\n", "model", "length/um", "vs lin", "<dd>", "<dE>/MeV", "rms dd", "eps_n/um", "growth/um"
    printf "%-11s %10.3f %7.2f%% %12s %9s %12s %9.4f %9s\n", "none", 1e6 * SZ, 100 * (SZ / slin - 1), "-", "-", "-", 1e6 * EN, "-"
    if (abs(SZ / slin - 1) > 0.02) { print "none: the bunch length is off the linear compression by more than 2%"; bad = 1 }
    nm = split(models, mod, " ")
    for (i = 1; i <= nm; i++) {
      f = idx[mod[i] ".dat"]; stats(f)
      ma = 0; for (k = 1; k <= n[f]; k++) ma += q[f, k] * (d[f, k] - d[fn, k]); ma /= QT
      va = 0; for (k = 1; k <= n[f]; k++) va += q[f, k] * (d[f, k] - d[fn, k] - ma) ^ 2; va = sqrt(va / QT)
      printf "%-11s %10.3f %7.2f%% %12.4e %9.3f %12.4e %9.4f %9.4f\n", mod[i], 1e6 * SZ, 100 * (SZ / slin - 1), ma, ma * E0, va, 1e6 * EN, 1e6 * (EN - en0)
      if (abs(SZ / slin - 1) > 0.05) { printf "%s: the bunch length is off the linear compression by more than 5%%\n", mod[i]; bad = 1 }
      if (!(ma < 0)) { printf "%s: the bunch gains energy\n", mod[i]; bad = 1 }
      if (!(EN > en0)) { printf "%s: no emittance growth\n", mod[i]; bad = 1 }
    }
    exit bad
  }' latout.dat start.dat none.dat $(for m in $models; do echo "$m.dat"; done)
