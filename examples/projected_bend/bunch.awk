# Writes a "particles" layer with a Gaussian bunch of electrons on the design
# line of this example: a straight along +x from the origin to x = 1 m, then
# an arc of radius R turning clockwise (R = 10 m). Particle 1 (the centre)
# lies at path length s1 [m] of the line; the others follow it at steps of dz
# [m] along the line, n on each side, each moving along the line's tangent at
# 1 GeV/c, with Gaussian charges of rms sigma (1 mm) summing to -1 nC.
# "fmt1": particle 1 absolute, the others relative to it.
#   awk -v s1=0.5 -v n=200 -v dz=30e-6 -f bunch.awk > bunch.in
function px(s) { return s <= 1 ? s : 1 + R * sin((s - 1) / R) }
function py(s) { return s <= 1 ? 0 : -R + R * cos((s - 1) / R) }
function ang(s) { return s <= 1 ? 0 : -(s - 1) / R }
BEGIN {
  R = 10.0; sig = 1e-3; P = 1e9; Q = -1e-9
  for (j = -n; j <= n; j++) { w[j] = exp(-0.5 * (j * dz / sig) ^ 2); sum += w[j] }
  printf "! %d electrons, rms %g m, centre at s = %g m (bunch.awk)\n", 2 * n + 1, sig, s1
  print "particles {"
  print "  format = fmt1  reference_momentum = reference_particle"
  print "  array = 0.0 0 0 0 0 0 0"
  x1 = px(s1); y1 = py(s1); p1x = P * cos(ang(s1)); p1y = P * sin(ang(s1))
  printf "  %.17g %.17g 0 %.17g %.17g 0 %.12g\n", x1, y1, p1x, p1y, Q * w[0] / sum
  for (j = -n; j <= n; j++) {
    if (j == 0) continue
    s = s1 + j * dz
    printf "  %.12g %.12g 0 %.12g %.12g 0 %.12g\n", px(s) - x1, py(s) - y1, P * cos(ang(s)) - p1x, \
           P * sin(ang(s)) - p1y, Q * w[j] / sum
  }
  print "}"
}
