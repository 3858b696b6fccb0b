#!/usr/bin/env bash
# expect_lines.sh [evaluation|run]: the check of a deck that must give
# certain log lines. Run in the run folder; every line of want.txt (a copy
# of the deck folder's) must stand in stdout.txt, in that order and each as
# a whole line, and stdout.txt holds no other line beginning with
# "warning" (none said twice). By default the deck is refused or ends while
# it is read: no run may have been set up. With "evaluation" (a first force
# evaluation refused by the forces layer): no field was computed (no
# progress line of a model), the run was not reported complete, and the run
# ends with the tracker's and the program's lines that the first step
# failed. With "run" runs may have been set up.
set -u
[ -f want.txt ] && [ -f stdout.txt ] || { echo "missing want.txt or stdout.txt"; exit 1; }
awk 'FILENAME == "want.txt" { want[++n] = $0; next }
     k < n && $0 == want[k + 1] { k++ }
     END { if (k < n) { printf "missing line %d of want.txt: %s\n", k + 1, want[k + 1]; exit 1 }
           printf "%d lines found in order\n", n }' want.txt stdout.txt || exit 1
warnings=$(grep -c '^ warning' stdout.txt); wanted=$(grep -c '^ warning' want.txt)
if [ "$warnings" != "$wanted" ]; then
  echo "stdout.txt holds $warnings warning lines, want.txt $wanted:"; grep '^ warning' stdout.txt; exit 1
fi
if [ "${1:-}" = evaluation ]; then
  if grep -q "isrc\|i_green\|required flags" stdout.txt; then echo "a model computed fields"; exit 1; fi
  if grep -q "integrated step error" stdout.txt; then echo "the run was reported complete"; exit 1; fi
  last=" error in ttrack: force evaluation failed in the step to ct=   0.00000
 error in tarvel: tracking run stopped; last step's output not valid"
  if [ "$(tail -n 2 stdout.txt)" != "$last" ]; then
    echo "stdout.txt does not end with:"; echo "$last"; echo "but with:"; tail -n 2 stdout.txt; exit 1
  fi
elif [ "${1:-}" != run ] && grep -q "start time" stdout.txt; then
  echo "a run was set up"; exit 1
fi
