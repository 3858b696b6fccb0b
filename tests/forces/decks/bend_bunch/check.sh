#!/usr/bin/env bash
# Each three-dimensional model against the steady-state wake, within 5% of
# its peak (examples/common/steady_wake.sh). Registered with its path in the
# source tree.
set -u
here=$(cd "$(dirname "$0")" && pwd)
bad=0
for f in wake wake_p_to_m wake_g_to_p wake_g_to_m; do
  bash "$here/../../../../examples/common/steady_wake.sh" $f.dat 0.05 "$f" || bad=1
done
exit $bad
