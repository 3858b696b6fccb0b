#!/usr/bin/env bash
# Compares the chicane example with its closed form. Run it in the run folder
# (holding final.dat and latout.dat). bash and awk only.
#
# Geometry from latout.dat: the faces are the lines x = X1 .. X9 (boundaries
# 1-8 the entry and exit faces of the four bends, 9 the marker "end"); the
# bends have radius |R| and projected length Lb = X2 - X1 = X4 - X3 = ...
#
# Closed form. A particle on the axis with relative momentum d (p = p0(1+d))
# turns on the radius R' = R(1+d) in every bend. A bend entered parallel to
# the axis with a face normal to x turns it by th' with sin th' = Lb/R' along
# an arc R' th'; the next bend, of opposite sign and the same Lb, turns it
# back by the same angle, so between bends 1-2 and 3-4 it runs at the angle
# th' (path Ld/cos th') and between bends 2-3 and after bend 4 parallel to the
# axis, on the axis again after bend 4 whatever d. Its path length to x = X9:
#   L(d) = X1 + 4 R' th' + (X3 - X2)/cos th' + (X5 - X4)
#          + (X7 - X6)/cos th' + (X9 - X8).
# It moves at beta = p/sqrt(1+p^2) and reaches x = X9 at c*t = L(d)/beta. At
# the final time T (the reference particle's arrival) it stands at
# x_f = X9 + beta T - L(d) on the axis heading +x; its tracked arrival time is
# T - (x_f - X9)/beta and its tracked path length beta T - (x_f - X9).
# Momentum compaction: R56 = dL/dd at d = 0; with u = R' and
# dth'/du = -tan th'/u:
#   R56 = 4 R (th - tan th) - (Ld12 + Ld34) tan^2 th / cos th,
# Ld12 = X3 - X2, Ld34 = X7 - X6, th the reference bend angle; compared with
# the central difference (L(+d) - L(-d))/(2d) of the tracked path lengths of
# the d = +-1e-3 particles.
set -u
for f in final.dat latout.dat; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done
awk '
  function asin(v) { return atan2(v, sqrt(1 - v * v)) }
  function abs(v) { return v < 0 ? -v : v }
  # E22.14 shows 14 digits after "0.": a printed value is off by at most half
  # a unit of its 14th digit, 0.5e-14 * 10^e with e its decimal exponent
  function prnd(v,   e) { v = abs(v); if (v == 0) return 0; e = int(log(v) / log(10)) + 1
                          if (10 ^ (e - 1) > v) e--; return 0.5e-14 * 10 ^ e }
  function L(d,   Rp, t) { Rp = R * (1 + d); t = asin(Lb / Rp)
    return X[1] + 4 * Rp * t + (X[3] - X[2]) / cos(t) + (X[5] - X[4]) + (X[7] - X[6]) / cos(t) + (X[9] - X[8]) }
  function check(what, got, want, tol) {
    if (abs(got - want) > tol) { bad = 1
      printf "%s: %.15e, expected %.15e (diff %.2e > tolerance %.2e)\n", what, got, want, abs(got - want), tol }
    else if (abs(got - want) / tol > worst) worst = abs(got - want) / tol
  }
  BEGIN { nd = split("0 1e-3 -1e-3 1e-2 -1e-2 3e-2", D, " ") }
  FILENAME == "latout.dat" && $1 == "i=" { nb = $2; next }
  FILENAME == "latout.dat" && NF == 2 && $1 ~ /^[1-8]$/ && !seen[nb, $1]++ { fb[nb, $1] = $2 + 0; next }
  FILENAME == "final.dat" { k++; for (j = 1; j <= 6; j++) got[k, j] = $j + 0 }
  END {
    eps = 2.220446049250313e-16
    for (i = 1; i <= 9; i++) X[i] = fb[i, 1]
    R = fb[2, 8]; Lb = X[2] - X[1]
    for (i = 3; i <= 7; i += 2)
      if (abs(X[i + 1] - X[i] - Lb) > 1e-15) { print "bends of unequal length"; exit 1 }
    if (fb[4, 8] != -R || fb[6, 8] != -R || fb[8, 8] != R) { print "radii not +R -R -R +R"; exit 1 }
    if (k != nd) { printf "final.dat holds %d particles, expected %d\n", k, nd; exit 1 }
    cf = 1.957047868709806e-06
    p0 = 1.0e9 * cf; b0 = p0 / sqrt(1 + p0 * p0)
    # the reference path length: closed form against the lattice (s of "end")
    check("path length of the reference line", L(0), fb[9, 7], 64 * eps * fb[9, 7])
    T = fb[9, 7] / b0
    for (i = 1; i <= nd; i++) {
      p = p0 * (1 + D[i]); beta = p / sqrt(1 + p * p)
      # tolerance of positions: the printed rounding plus 64 ulp of the path
      # length (the arcs are integrated as the deviation from the ideal
      # circle, zero without force, and the drifts are straight lines, so
      # only the rounding of the arithmetic along the 9 m remains)
      tolx = prnd(got[i, 1]) + 64 * eps * beta * T
      tarr = T - (got[i, 1] - X[9]) / beta
      check(sprintf("particle %d (d = %g) arrival time", i, D[i]), tarr, L(D[i]) / beta, tolx / beta)
      check(sprintf("particle %d y", i), got[i, 2], 0, tolx)
      check(sprintf("particle %d direction", i), got[i, 5], 0, 64 * eps)
      check(sprintf("particle %d momentum", i), got[i, 4], p, prnd(p) + 4 * eps * p)
      Ltr[i] = beta * T - (got[i, 1] - X[9]); tolL[i] = tolx
      if (abs(tarr - L(D[i]) / beta) > maxt) maxt = abs(tarr - L(D[i]) / beta)
    }
    th = asin(Lb / R)
    R56 = 4 * R * (th - sin(th) / cos(th)) - ((X[3] - X[2]) + (X[7] - X[6])) * (sin(th) / cos(th)) ^ 2 / cos(th)
    # particles 2 and 3 carry d = +1e-3 and -1e-3
    d = D[2]
    if (D[3] != -d) { print "particles 2 and 3 are not a +-d pair"; exit 1 }
    fd = (Ltr[2] - Ltr[3]) / (2 * d)
    # tolerance of the central difference: its truncation error L3 d^2/6 (L3
    # the third derivative of L), with L3 taken from the closed form by a
    # third difference at h = 1e-2 and doubled for the error of that
    # estimate, plus the position tolerance of the two tracked lengths over 2d
    h = 1e-2
    L3 = (L(2 * h) - 2 * L(h) + 2 * L(-h) - L(-2 * h)) / (2 * h ^ 3)
    tolR = 2 * abs(L3) * d * d / 6 + (tolL[2] + tolL[3]) / (2 * d)
    check("R56 from the tracked path lengths", fd, R56, tolR)
    # and the same difference of the closed-form L (no truncation allowance
    # beyond the rounding of the tracked lengths)
    check("R56 tracked against the closed-form difference", fd, (L(d) - L(-d)) / (2 * d), (tolL[2] + tolL[3]) / (2 * d))
    printf "chicane: %d particles, largest arrival-time error %.2e m, R56 = %.12f m closed form, %.12f m tracked (diff %.2e); %.2f of tolerance at most\n", \
           nd, maxt, R56, fd, abs(fd - R56), worst
    exit bad
  }' latout.dat final.dat
