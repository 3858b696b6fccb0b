#!/usr/bin/env bash
# Compares the quadrupole-channel example with the product of the linear
# transfer matrices. Run it in the run folder (holding final.dat and
# latout.dat). bash and awk only.
#
# The reference line is the x axis, so a particle's horizontal offset is
# u = y and its slope u' = dy/dx = tan(phi); vertically z and
# z' = dz/dx = tan(theta)/cos(phi). The elements are read from latout.dat:
#   - a thick quadrupole (section codes 1, 1: order 2, offsets and rotation
#     0) of length Lq = X_i - X_(i-1) and strength s acts with
#     k = s p0/p: the field gives dphi/dx = -(s p0/p) u and
#     dtheta/dx = +(s p0/p) z, so u'' = -k u and z'' = +k z (positive
#     strength focuses horizontally). For k > 0, with w = sqrt(k):
#       u_out = cos(w Lq) u + sin(w Lq)/w u',  u'_out = -w sin(w Lq) u + cos(w Lq) u'
#     and for the plane with -k the same with cosh and sinh:
#       u_out = cosh(w Lq) u + sinh(w Lq)/w u', u'_out = w sinh(w Lq) u + cosh(w Lq) u';
#   - a thin quadrupole (codes 0, 1) kicks u' := u' - L k u, z' := z' + L k z,
#     with L k = -M1(2,1) of its stored matrix, the same for every momentum;
#   - everything else between faces, and before the first face and after the
#     last, is a drift: u := u + D u' over the projected length D.
# A particle starts at x = 0 with u = y0, u' = py/px, z = z0, z' = pz/px;
# its last drift ends at its own final x.
set -u
for f in final.dat latout.dat; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done
awk '
  function abs(v) { return v < 0 ? -v : v }
  function ch(v) { return (exp(v) + exp(-v)) / 2 }
  function sh(v) { return (exp(v) - exp(-v)) / 2 }
  # E22.14 shows 14 digits after "0.": a printed value is off by at most half
  # a unit of its 14th digit, 0.5e-14 * 10^e with e its decimal exponent
  function prnd(v,   e) { v = abs(v); if (v == 0) return 0; e = int(log(v) / log(10)) + 1
                          if (10 ^ (e - 1) > v) e--; return 0.5e-14 * 10 ^ e }
  # one plane through a thick quadrupole of focusing k over Lq
  function thick(k, Lq,   w, c, s, u, up) {
    u = U; up = UP
    if (k > 0) { w = sqrt(k); c = cos(w * Lq); s = sin(w * Lq); U = c * u + s / w * up; UP = -w * s * u + c * up }
    else if (k < 0) { w = sqrt(-k); c = ch(w * Lq); s = sh(w * Lq); U = c * u + s / w * up; UP = w * s * u + c * up }
    else U = u + Lq * up
  }
  function drift(D) { U = U + D * UP }
  function track(u0, up0, sign, p, xend,   i, x) {   # sign +1 horizontal, -1 vertical
    U = u0; UP = up0; x = 0; amp = abs(U) + abs(UP)
    for (i = 1; i <= nb; i++) {
      if (sect[i, 1] == 1 && sect[i, 2] == 1) thick(sign * S[i] * p0 / p, fb[i, 1] - x)
      else drift(fb[i, 1] - x)
      if (sect[i, 1] == 0 && sect[i, 2] == 1) UP = UP - sign * LK[i] * U
      x = fb[i, 1]
      if (abs(U) + abs(UP) > amp) amp = abs(U) + abs(UP)
    }
    drift(xend - x)
    if (abs(U) + abs(UP) > amp) amp = abs(U) + abs(UP)
  }
  function check(what, got, want, tol) {
    if (abs(got - want) > tol) { bad = 1
      printf "%s: %.15e, expected %.15e (diff %.2e > tolerance %.2e)\n", what, got, want, abs(got - want), tol }
    if (abs(got - want) / (amp > 0 ? amp : 1) > maxrel) maxrel = abs(got - want) / (amp > 0 ? amp : 1)
    if (abs(got - want) / tol > worst) worst = abs(got - want) / tol
  }
  BEGIN {
    # the particles of the deck as (y0, z0, dpx, py, pz) relative to particle 1
    # (at the origin with px = 1e9 eV/c)
    np = split("0 0 0 0 0|1e-6 0 0 0 0|0 0 0 1e3 0|0 1e-6 0 0 0|0 0 0 0 1e3|" \
               "-5e-7 8e-7 0 -7e2 4e2|1e-6 1e-6 1e7 0 0", parts, "|")
    for (i = 1; i <= np; i++) { split(parts[i], f, " ")
      Y0[i] = f[1]; Z0[i] = f[2]; PX[i] = 1e9 + f[3]; PY[i] = f[4]; PZ[i] = f[5] }
  }
  FILENAME == "latout.dat" && $1 == "i=" { nb = $2; nrec = 0; mode = ""; next }
  FILENAME == "latout.dat" && /private integers/ { mode = "i"; next }
  FILENAME == "latout.dat" && /private reals/ { mode = "r"; next }
  FILENAME == "latout.dat" && NF == 2 && nb > 0 {
    if (mode == "i") il[$1] = $2 + 0
    else if (mode == "r") rl[$1] = $2 + 0
    else { nrec++; if (nrec <= 8) fb[nb, nrec] = $2 + 0; else sect[nb, nrec - 8] = $2 + 0 }
    next }
  FILENAME == "final.dat" { k++; for (j = 1; j <= 6; j++) got[k, j] = $j + 0 }
  END {
    eps = 2.220446049250313e-16
    cf = 1.957047868709806e-06
    p0 = 1.0e9 * cf
    nthick = 0; err4 = 0
    for (i = 1; i <= nb; i++) {
      if (fb[i, 2] != 0 || fb[i, 3] != 1 || fb[i, 5] != 1) { printf "boundary %d not a face x = const on the x axis\n", i; exit 1 }
      if (sect[i, 1] == 1 && sect[i, 2] == 1) {
        r = sect[i, 4] - 3
        if (il[sect[i, 3]] != 2 || rl[r] != 0 || rl[r + 1] != 0 || rl[r + 3] != 0) {
          printf "element ending at boundary %d is not an upright centred quadrupole\n", i; exit 1 }
        S[i] = rl[r + 2]; nthick++
        # fourth-order Runge-Kutta in steps of h = 0.02/|s| m: the error of
        # the oscillation phase and amplitude per step is (w h)^5/120, over
        # Lq/h steps Lq w (w h)^4/120 relative to the orbit amplitude
        w = sqrt(abs(S[i])); h = 0.02 / abs(S[i])
        err4 += (fb[i, 1] - fb[i - 1, 1]) * w * (w * h) ^ 4 / 120
      }
      if (sect[i, 1] == 0 && sect[i, 2] == 1) {
        b = (i == 1 ? 1 : sect[i - 1, 4] + 1)
        LK[i] = -rl[b + 1]                 # M1(2,1) = -L k
        if (rl[b + 11] != LK[i]) { printf "thin quadrupole at boundary %d: M1(4,3) is not L k\n", i; exit 1 }
      }
    }
    if (k != np) { printf "final.dat holds %d particles, expected %d\n", k, np; exit 1 }
    for (i = 1; i <= np; i++) {
      p = sqrt(PX[i] ^ 2 + PY[i] ^ 2 + PZ[i] ^ 2) * cf
      xf = got[i, 1]; yf = got[i, 2]; zf = got[i, 3]; ph = got[i, 5]; te = got[i, 6]
      # tolerance relative to the largest |u| + |du/dx| * 1 m along the orbit
      # (amp): the Runge-Kutta error above (four times: the estimate leaves out
      # the amplitude error and the growth in the defocusing plane), the neglected
      # nonlinear terms of the field and of tan(phi) - phi, second order in
      # the slopes (amp^2 relative, times 10 for the lengths of 1 m), and 256
      # ulp of rounding over the steps; plus the printed rounding
      track(Y0[i], PY[i] / PX[i], 1, p, xf)
      tol = 4 * err4 + 10 * amp * amp + 256 * eps
      check(sprintf("particle %d u", i), yf, U, prnd(U) + amp * tol)
      check(sprintf("particle %d u'\''", i), sin(ph) / cos(ph), UP, prnd(UP) + amp * tol)
      track(Z0[i], PZ[i] / PX[i], -1, p, xf)
      tol = 4 * err4 + 10 * amp * amp + 256 * eps
      check(sprintf("particle %d z", i), zf, U, prnd(U) + amp * tol)
      check(sprintf("particle %d z'\''", i), sin(te) / cos(te) / cos(ph), UP, prnd(UP) + amp * tol)
    }
    printf "quad_channel: %d particles through %d thick quadrupoles, largest error %.2e of the orbit amplitude; %.2f of tolerance at most\n", np, nthick, maxrel, worst
    exit bad
  }' latout.dat final.dat
