#!/usr/bin/env bash
# expect_refused_evaluation.sh: the check of a deck whose first force
# evaluation must be refused by the forces layer. Run in the run folder:
# every line of want.txt (a copy of the deck folder's) stands in stdout.txt,
# in that order and each as a whole line, and no field was computed (no
# progress line of a model, no force file).
set -u
[ -f want.txt ] && [ -f stdout.txt ] || { echo "missing want.txt or stdout.txt"; exit 1; }
awk 'FILENAME == "want.txt" { want[++n] = $0; next }
     k < n && $0 == want[k + 1] { k++ }
     END { if (k < n) { printf "missing line %d of want.txt: %s\n", k + 1, want[k + 1]; exit 1 }
           printf "%d lines found in order\n", n }' want.txt stdout.txt || exit 1
if grep -q "isrc\|i_green\|required flags" stdout.txt; then echo "a model computed fields"; exit 1; fi
if grep -q "integrated step error" stdout.txt; then echo "the run was reported complete"; exit 1; fi
