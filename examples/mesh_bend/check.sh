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
# within 2% of the peak force (../common/compare_fmt3.sh). Run it
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
  bash "$here/../common/compare_fmt3.sh" p_to_m.dat $model.dat 0.02 "$model against p_to_m" "8 9" || status=1
done
exit $status
