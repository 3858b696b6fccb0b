# Steady-state CSR wake of a Gaussian line charge on a circle, shared by the
# check scripts (awk functions only; load with awk -f csr_wake.awk -f ...).
#
# A Gaussian line charge of charge Q [C] and rms length s [m] that has moved
# on a circle of radius R [m] for much longer than the overtaking length
# (24 R^2 s)^(1/3) exerts on a particle y = (z - zc)/s ahead of its centre
# zc the longitudinal field
#   E(y) = csr_unit(Q, R, s) * csr_G(y)   [V/m; eV/m on an electron],
#   csr_unit = Q/(4 pi eps0 R^(2/3) s^(4/3)),
#   csr_G(y) = 2/(3^(1/3) sqrt(2 pi)) int_0^inf xi^(-1/3) (y - xi) exp(-(y - xi)^2/2) dxi
# (csr_G(0) = -0.556340: the centre loses energy, the head gains; the
# largest |csr_G| is 0.6167, at y = -0.38).

function csr_abs(v) { return v < 0 ? -v : v }

# csr_G(y) with xi = t^3 (which removes the singularity), Simpson on
# t in [0, (max(y, 0) + 12)^(1/3)], 1200 intervals (error below 1e-6)
function csr_G(y,   n, h, t, z, s, i, w) {
  n = 1200; h = ((y > 0 ? y : 0) + 12) ^ (1 / 3) / n; s = 0
  for (i = 0; i <= n; i++) {
    t = i * h; z = y - t * t * t
    w = (i == 0 || i == n) ? 1 : (i % 2 ? 4 : 2)
    s += w * 3 * t * z * exp(-0.5 * z * z)
  }
  return 2 / (3 ^ (1 / 3) * sqrt(2 * 3.141592653589793)) * s * h / 3
}

# the field unit Q/(4 pi eps0 R^(2/3) s^(4/3)) [V/m]
function csr_unit(Q, R, s) { return 8.987551787366543e9 * Q / (R ^ (2 / 3) * s ^ (4 / 3)) }

# the overtaking length (24 R^2 s)^(1/3) [m]
function csr_overtaking(R, s) { return (24 * R * R * s) ^ (1 / 3) }
