#!/usr/bin/env bash
# The check of a row of the Green's-function work table, run in the run
# folder: the lines of want.txt stand in stdout.txt in that order, each as a
# whole line; stdout.txt ends with the lines of last.txt (nothing follows a
# refusal: the step makes no further evaluation); a run refused before it
# starts ("error: no tracking run" last) made no evaluation and no step. The
# exit code is the deck test's.
set -u
[ -f want.txt ] || [ -f last.txt ] || { echo "missing want.txt and last.txt"; exit 1; }
[ -f stdout.txt ] || { echo "missing stdout.txt"; exit 1; }
if [ -f want.txt ]; then
  awk 'FILENAME == "want.txt" { want[++n] = $0; next }
       k < n && $0 == want[k + 1] { k++ }
       END { if (k < n) { printf "missing line %d of want.txt: %s\n", k + 1, want[k + 1]; exit 1 }
             printf "%d lines found in order\n", n }' want.txt stdout.txt || exit 1
fi
if [ -f last.txt ]; then
  n=$(wc -l < last.txt)
  if ! cmp -s <(tail -n "$n" stdout.txt) last.txt; then
    echo "stdout.txt does not end with last.txt:"; diff <(tail -n "$n" stdout.txt) last.txt; exit 1
  fi
  echo "ends with the $n lines of last.txt"
  if [ "$(tail -n 1 last.txt)" = " error: no tracking run" ] &&
     grep -q "^ green's function of\|isrc\|ctstep=\|^ *\(\*\*\* \)\?step_error/step_time=" stdout.txt; then
    echo "a run refused before it starts made an evaluation or a step"; exit 1
  fi
fi
exit 0
