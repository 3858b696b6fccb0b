#!/usr/bin/env bash
# The lines of the case's want.txt stand in stdout.txt in that order, each
# as a whole line (the exit code is the deck test's). Run in the run folder.
set -u
[ -f want.txt ] && [ -f stdout.txt ] || { echo "missing want.txt or stdout.txt"; exit 1; }
awk 'FILENAME == "want.txt" { want[++n] = $0; next }
     k < n && $0 == want[k + 1] { k++ }
     END { if (k < n) { printf "missing line %d of want.txt: %s\n", k + 1, want[k + 1]; exit 1 }
           printf "%d lines found in order\n", n }' want.txt stdout.txt
