#!/usr/bin/env bash
# compare_fmt3.sh A B TOLERANCE LABEL [FIELDS]
# Compares the self-force of the same bunch in two "fmt3" monitor files A
# and B (two models, or two settings of one, from the same start): for the
# force fields FIELDS (default 8, the force along the motion; "8 9" adds
# the one to its left) the largest difference over the particles, against
# the peak |force| of A over them. Passes when it is at most TOLERANCE
# times the peak. Prints the figures, and "peak" = the peak of A for the
# caller. bash and awk only.
set -u
a=$1; b=$2; tol=$3; label=$4; fields=${5:-8}
for f in "$a" "$b"; do [ -f "$f" ] || { echo "$label: missing $f"; exit 1; }; done
awk -v tol="$tol" -v label="$label" -v fields="$fields" '
  function abs(v) { return v < 0 ? -v : v }
  BEGIN { nf = split(fields, col, " ") }
  FNR == 1 { k++; next }
  k == 1 { na++; for (c = 1; c <= nf; c++) A[na, c] = $(col[c]) + 0; next }
  k == 2 { nb++; for (c = 1; c <= nf; c++) B[nb, c] = $(col[c]) + 0 }
  END {
    if (na < 2 || na != nb) { printf "%s: %d and %d particles\n", label, na, nb; exit 1 }
    for (i = 1; i <= na; i++) for (c = 1; c <= nf; c++) {
      if (abs(A[i, c]) > peak) peak = abs(A[i, c])
      d = abs(A[i, c] - B[i, c]); if (d > worst) { worst = d; wi = i }
    }
    if (!(peak > 0)) { printf "%s: no force in the first file\n", label; exit 1 }
    printf "%s: peak %.5g eV/m, largest difference %.4g eV/m = %.2f%% of it (particle %d)\n", \
           label, peak, worst, 100 * worst / peak, wi
    if (worst > tol * peak) { printf "%s: difference above %g%% of the peak\n", label, 100 * tol; exit 1 }
  }' "$a" "$b"
