# Writes the "particles" layer of the benchmark chicane: a linearly chirped
# Gaussian electron bunch at 5 GeV/c, -1 nC, rms length 200 um, that the
# chicane's R56 compresses ten times (to 20 um), with a normalized
# horizontal emittance of 1 um at beta 40 m and alpha 2.6 and a small
# uncorrelated energy spread (3e-6). The bunch moves along +x; its centre,
# particle 1, stands at x = x1 on the axis with the design momentum.
#   awk -v n=201 -f bunch.awk > bunch.in        (n odd)
# Deterministic (no random numbers): particle i lies at the Gaussian
# quantile (i - 0.5)/n along the motion (a quiet start, particle 1 the
# middle one); its transverse phase (x, x') and uncorrelated energy come
# from low-discrepancy sequences (van der Corput in bases 2 and 3, the golden
# ratio), each turned into a Gaussian.
#
# Chirp: a particle z ahead of the centre gets the relative momentum
# d = hc z + d_u. The path length of the chicane changes by R56 d (R56 < 0:
# higher momentum, shorter path), so z becomes z - R56 d and the rms length
# |1 - hc R56| sz; hc = (1 - 1/compress)/R56 compresses by the factor
# compress. R56 of four rectangular bends of radius R and projected length
# Lb, the first pair and the last pair Ld apart (projected), with
# sin th = Lb/R:  R56 = 4 R (th - tan th) - 2 Ld tan^2 th / cos th.
function asin(v) { return atan2(v, sqrt(1 - v * v)) }
# inverse of the standard normal distribution (P. J. Acklam's rational
# approximation, relative error 1.2e-9)
function qnorm(p,   q, r, a1, a2, a3, a4, a5, a6, b1, b2, b3, b4, b5, c1, c2, c3, c4, c5, c6, d1, d2, d3, d4) {
  a1 = -3.969683028665376e+01; a2 = 2.209460984245205e+02; a3 = -2.759285104469687e+02
  a4 = 1.383577518672690e+02; a5 = -3.066479806614716e+01; a6 = 2.506628277459239e+00
  b1 = -5.447609879822406e+01; b2 = 1.615858368580409e+02; b3 = -1.556989798598866e+02
  b4 = 6.680131188771972e+01; b5 = -1.328068155288572e+01
  c1 = -7.784894002430293e-03; c2 = -3.223964580411365e-01; c3 = -2.400758277161838e+00
  c4 = -2.549732539343734e+00; c5 = 4.374664141464968e+00; c6 = 2.938163982698783e+00
  d1 = 7.784695709041462e-03; d2 = 3.224671290700398e-01; d3 = 2.445134137142996e+00; d4 = 3.754408661907416e+00
  if (p < 0.02425) { q = sqrt(-2 * log(p))
    return (((((c1 * q + c2) * q + c3) * q + c4) * q + c5) * q + c6) / ((((d1 * q + d2) * q + d3) * q + d4) * q + 1) }
  if (p > 1 - 0.02425) { q = sqrt(-2 * log(1 - p))
    return -(((((c1 * q + c2) * q + c3) * q + c4) * q + c5) * q + c6) / ((((d1 * q + d2) * q + d3) * q + d4) * q + 1) }
  q = p - 0.5; r = q * q
  return (((((a1 * r + a2) * r + a3) * r + a4) * r + a5) * r + a6) * q / (((((b1 * r + b2) * r + b3) * r + b4) * r + b5) * r + 1)
}
# radical inverse of k in base b (van der Corput), in (0, 1) for k >= 1
function vdc(k, b,   v, f) { v = 0; f = 1 / b; while (k > 0) { v += f * (k % b); k = int(k / b); f /= b }; return v }
BEGIN {
  if (n == "") n = 201
  if (n < 3 || n % 2 == 0) { print "bunch.awk: n must be odd and at least 3" > "/dev/stderr"; exit 1 }
  if (x1 == "") x1 = 0.5                      # m, the centre on the axis
  P = 5e9; Q = -1e-9; if (sz == "") sz = 200e-6; if (compress == "") compress = 10
  en = 1e-6; bx = 40; ax = 2.6; du = 3e-6
  R = 10.3462; Lb = 0.5; Ld = 5.0
  mc2 = 510998.95                             # eV
  th = asin(Lb / R)
  R56 = 4 * R * (th - sin(th) / cos(th)) - 2 * Ld * (sin(th) / cos(th)) ^ 2 / cos(th)
  hc = (1 - 1 / compress) / R56
  eps = en / (P / mc2)                        # geometric emittance, m
  printf "! benchmark chicane bunch (bunch.awk): %d electrons, %g C, %g eV/c, rms %g m,\n", n, Q, P, sz
  printf "! chirp %.10g /m for R56 = %.10g m (compression %g), en = %g m, beta %g m, alpha %g, du %g\n", \
         hc, R56, compress, en, bx, ax, du
  print "particles {"
  print "  format = fmt1  reference_momentum = reference_particle"
  print "  array = 0.0 0 0 0 0 0 0"
  printf "  %.17g 0 0 %.17g 0 0 %.12g\n", x1, P, Q / n
  mid = (n + 1) / 2; k = 0
  for (i = 1; i <= n; i++) {
    if (i == mid) continue
    k++
    z = sz * qnorm((i - 0.5) / n)
    a = sqrt(-2 * log(vdc(k, 2))); phi = 2 * 3.141592653589793 * (k * 0.6180339887498949 % 1)
    g1 = a * cos(phi); g2 = a * sin(phi)
    x = sqrt(eps * bx) * g1; xp = sqrt(eps / bx) * (g2 - ax * g1)
    d = hc * z + du * qnorm(vdc(k, 3))
    p = P * (1 + d)
    printf "  %.17g %.17g 0 %.17g %.17g 0 %.12g\n", z, x, p * cos(xp) - P, p * sin(xp), Q / n
  }
  print "}"
}
