#!/usr/bin/env bash
# Compares the forces of the mesh models (p_to_m.dat, g_to_m.dat, g_to_p.dat,
# format
# fmt3: h h' z z' s dgamma q F1 F2 F3 [eV/m] act def, after a header record)
# with the steady-state CSR wake of the Gaussian line charge within 5% of its
# peak (../common/steady_wake.sh). Across the bunch the longitudinal force
# changes with the radial offset (the transverse Coulomb field tilted into
# the motion by the bend): the particles of one position along the arc (a
# slice, s within 10 um) are averaged first, charge summed. The Green's
# function models must also agree with csr_p_to_m particle by particle
# within 2% of the peak force. Run it
# in the run folder. bash and awk only.
set -u
here=$(cd "$(dirname "$0")" && pwd)
for f in p_to_m.dat g_to_m.dat g_to_p.dat latout.dat; do [ -f "$f" ] || { echo "missing $f"; exit 1; }; done
status=0
for model in p_to_m g_to_m g_to_p; do
  dir=$(mktemp -d "${TMPDIR:-/tmp}/mesh_bend.XXXXXX")
  cp latout.dat "$dir/"
  { head -1 "$model.dat"
    tail -n +2 "$model.dat" | sort -g -k5,5 | awk '
      function slice() { if (n) printf "0 0 0 0 %.15e 0 %.15e %.15e 0 0 1 1\n", s / n, q, f / n }
      { if (n && $5 - last > 1e-5) { slice(); n = 0; s = 0; q = 0; f = 0 }
        n++; s += $5; q += $7; f += $8; last = $5 }
      END { slice() }'
  } > "$dir/wake.dat"
  (cd "$dir" && bash "$here/../common/steady_wake.sh" wake.dat 0.05 "$model, slices") || status=1
  rm -rf "$dir"
done
for model in g_to_m g_to_p; do
  awk -v model=$model 'FNR == 1 { k++; next }
    k == 1 { n++; a[n] = $8; b[n] = $9 }
    k == 2 { m++; for (c = 8; c <= 9; c++) { d = $c - (c == 8 ? a[m] : b[m]); if (d < 0) d = -d; if (d > w) w = d } }
    END {
      for (i = 1; i <= n; i++) for (c = 0; c < 2; c++) { v = c ? b[i] : a[i]; if (v < 0) v = -v; if (v > p) p = v }
      printf "%s against p_to_m: largest difference %.2f%% of the peak force\n", model, 100 * w / p
      if (n != m || n < 2 || w > 0.02 * p) exit 1
    }' p_to_m.dat $model.dat || status=1
done
exit $status
