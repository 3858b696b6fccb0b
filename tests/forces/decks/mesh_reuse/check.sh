#!/usr/bin/env bash
# The first run reuses its Green's function in every repeated evaluation of
# a time step: between two step lines ("ctstep=") every evaluation (its
# "boxes =" line) but the first says "using old green's function"; the
# second (use_old_mesh = no) never does. The forces of the two runs agree
# within 0.5% of the peak (examples/common/compare_fmt3.sh). Registered with
# its path in the source tree.
set -u
here=$(cd "$(dirname "$0")" && pwd)
awk '
  /tracking to end_time/ { run++; evals = 0 }
  function block() { if (evals > 0 && reused != evals - 1) bad++; nb += evals > 0; evals = 0; reused = 0 }
  run == 1 && /ctstep=/ { block() }
  run == 1 && /boxes =/ { evals++; all++ }
  run == 1 && /using old green/ { reused++; used++ }
  run == 2 && /using old green/ { fresh++ }
  run == 2 && /boxes =/ { all2++ }
  END {
    block()
    printf "reused: %d of %d evaluations in %d evaluation times; use_old_mesh = no: %d of %d\n", used, all, nb, fresh, all2
    if (bad || used == 0 || fresh || all2 != all) { print "unexpected reuse"; exit 1 }
  }' stdout.txt || exit 1
bash "$here/../../../../examples/common/compare_fmt3.sh" fresh.dat reused.dat 0.005 "reused against fresh" "8 9"
