#!/usr/bin/env bash
# Compares the final phase space of the sector-dipole example with the exact
# orbits. Run it in the run folder (the folder holding final.dat, latout.dat
# and steps.dat). bash and awk only.
#
# Closed form. A particle starts at (x0, y0, 0) heading +x with momentum p
# (units of m*c; the deck's eV/c times 1.957047868709806e-06) and speed
# beta = p/sqrt(1 + p^2); at the final time T it has covered beta*T.
#   - straight to the entry face x = xe (boundary 1 of latout.dat);
#   - then on a circle of radius R' = R*p/p0, clockwise, centre
#     C = (xe, y0 - R'); after turning by a it is at C + R'*(sin a, cos a),
#     heading at direction angle -a;
#   - the exit face is the line through P2 (boundary 2) with normal
#     n2 = (cos th, -sin th), th = 30 degrees the reference bend angle;
#     n2.(C + R'(sin a, cos a) - P2) = 0 gives
#     R' sin(a - th) = n2.(P2 - C),  a = th + asin(n2.(P2 - C)/R');
#     for P2 = (xe + R sin th, -R(1 - cos th)) this is
#     a = th + asin(sin th (R + y0 - R')/R');
#   - then straight at direction -a for the rest of beta*T.
# p, z and the elevation theta do not change (no vertical field and, for the
# particle off the mid-plane, faces normal to its path: no edge kick).
# T is the time the reference particle reaches the marker "end":
# s_end/beta0 with s_end the path length of boundary 3.
set -u
fail=0
err() { echo "$*"; fail=1; }
for f in final.dat latout.dat steps.dat; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done

# the time of the last step record agrees with T to its printed digits
# (E15.7: 7 digits after "0.", so half a unit of the 7th, 0.5e-7 * 10^e)
awk -v ok=1 '
  FNR == 1 && FILENAME == "latout.dat" { nb = 0 }
  FILENAME == "latout.dat" && $1 == "i=" { nb = $2; next }
  FILENAME == "latout.dat" && nb == 3 && $1 == 7 && NF == 2 { send = $2 + 0 }
  FILENAME == "steps.dat" { tl = $1 + 0 }
  END {
    p0 = 1.0e9 * 1.957047868709806e-06
    T = send / (p0 / sqrt(1 + p0 * p0))
    e = int(log(T) / log(10)) + 1
    if (!((tl - T) <= 0.5e-7 * 10 ^ e && (T - tl) <= 0.5e-7 * 10 ^ e)) {
      printf "steps.dat ends at %.8e, expected %.8e\n", tl, T; exit 1 }
  }' latout.dat steps.dat || fail=1

# the expected final states; the particles of the deck as (x0, y0, z0, dpx)
# relative to particle 1 at the origin with 1e9 eV/c
awk '
  function asin(v) { return atan2(v, sqrt(1 - v * v)) }
  # E22.14 shows 14 digits after the leading "0.": a printed value v is
  # rounded to half a unit of its 14th digit, 0.5e-14 * 10^e with e its
  # decimal exponent
  function prnd(v,   e) { if (v == 0) return 0; e = int(log(v < 0 ? -v : v) / log(10)) + 1
                          if (10 ^ (e - 1) > (v < 0 ? -v : v)) e--; return 0.5e-14 * 10 ^ e }
  BEGIN {
    n = split("0 0 0 0 | 0 0 0 1e6 | 0 0 0 -1e6 | 0 0 0 1e7 | 0 0 0 -1e7 | " \
              "0 1e-3 0 0 | 0 -1e-3 0 0 | 0 0 1e-3 0 | 1e-3 0 0 0 | -1e-3 0 0 0 | " \
              "-2e-3 5e-4 0 5e6", parts, "|")
    for (i = 1; i <= n; i++) { split(parts[i], w, " ")
      X0[i] = w[1]; Y0[i] = w[2]; Z0[i] = w[3]; DP[i] = w[4] }
    np = n
  }
  FILENAME == "latout.dat" && $1 == "i=" { nb = $2; next }
  FILENAME == "latout.dat" && NF == 2 && $1 ~ /^[1-8]$/ && !seen[nb, $1]++ { fb[nb, $1] = $2 + 0; next }
  FILENAME == "final.dat" { k++; for (j = 1; j <= 6; j++) got[k, j] = $j + 0 }
  END {
    cf = 1.957047868709806e-06
    p0 = 1.0e9 * cf
    b0 = p0 / sqrt(1 + p0 * p0)
    T = fb[3, 7] / b0
    R = fb[2, 8]
    xe = fb[1, 1]
    P2x = fb[2, 1]; P2y = fb[2, 2]; n2x = fb[2, 5]; n2y = fb[2, 6]
    th = -atan2(n2y, n2x)
    if (k != np) { printf "final.dat holds %d particles, expected %d\n", k, np; exit 1 }
    bad = 0; worst = 0
    for (i = 1; i <= np; i++) {
      p = (1.0e9 + DP[i]) * cf
      beta = p / sqrt(1 + p * p)
      Rp = R * p / p0
      Cx = xe; Cy = Y0[i] - Rp
      a = th + asin((n2x * (P2x - Cx) + n2y * (P2y - Cy)) / Rp)
      Ex = Cx + Rp * sin(a); Ey = Cy + Rp * cos(a)
      d = beta * T - (xe - X0[i]) - Rp * a
      want[1] = Ex + d * cos(a); want[2] = Ey - d * sin(a); want[3] = Z0[i]
      want[4] = p; want[5] = -a; want[6] = 0
      # tolerance: the printed rounding of the value, plus the rounding of the
      # arithmetic along the path: the circle is integrated as the deviation
      # from the ideal circle (zero without force), the drifts are exact, so
      # only floating-point rounding remains, bounded by 64 ulp of the path
      # length beta*T for positions (~1e-14 m) and of the angle for angles
      for (j = 1; j <= 6; j++) {
        scale = (j <= 3) ? beta * T : (j == 4 ? p : (j == 5 ? a : 1))
        tol = prnd(want[j]) + 64 * 2.220446049250313e-16 * scale
        dv = got[i, j] - want[j]; if (dv < 0) dv = -dv
        if (dv / tol > worst) worst = dv / tol
        if (dv > tol) { bad = 1
          printf "particle %d word %d: %.15e, expected %.15e (diff %.2e > %.2e)\n", i, j, got[i, j], want[j], dv, tol }
        if (j <= 3 && dv > maxpos) maxpos = dv
        if (j == 5 && dv > maxang) maxang = dv
      }
    }
    printf "sector_dipole: %d particles, largest position error %.2e m, direction error %.2e rad (%.2f of tolerance)\n", np, maxpos, maxang, worst
    exit bad
  }' latout.dat final.dat || fail=1
exit $fail
