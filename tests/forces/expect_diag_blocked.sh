#!/usr/bin/env bash
# expect_diag_blocked.sh: the check of a deck that runs twice with "test" =
# "yes", the second time with the output path "blocked", where a folder
# takes the name of a diagnostic file. Run in the run folder. The first run
# writes the file and ends cleanly; in the second every evaluation names
# the file in a warning after the line of the failed open, the run goes on
# with its forces to its end time, and its last line says that the
# diagnostic output is incomplete. The fmt3 outputs of every step (ph_*.dat)
# of the two runs are the same bytes.
set -u
fail=0
err() { echo "$*"; fail=1; }
name=$(cd blocked && for d in */; do echo "${d%/}"; done | head -1)
[ -n "$name" ] && [ -d "blocked/$name" ] || { echo "no folder in blocked/"; exit 1; }
[ -f "$name" ] || err "the first run did not write $name"
awk -v name="blocked/$name" '
  /integrated step error=/ { runs++; next }
  runs == 0 { next }
  /^  ctsig ?=/ { evals++ }
  $0 == " warning: diagnostic file " name " not written" {
    warns++
    if (prev !~ "^ cannot open " name " for writing: ") { print "warning without the line of the failed open"; bad = 1 } }
  /error in force|error in ttrack/ { print "a failed evaluation: " $0; bad = 1 }
  { prev = $0 }
  END {
    if (runs != 1) { printf "%d runs ended cleanly, expected 1\n", runs; bad = 1 }
    if (warns == 0 || warns != evals) { printf "%d warnings for %d evaluations of the second run\n", warns, evals; bad = 1 }
    printf "%d evaluations, each with its warning\n", evals
    exit bad }' stdout.txt || fail=1
last=$(grep -v '^ *-*$\|Tarvelin\|rel1\|maxprt\|solver' stdout.txt | tail -1)
[ "$last" = " error in tarvel: tracking run complete, diagnostic output incomplete" ] || err "last line: $last"
n=0
for f in ph_*.dat; do
  [ -f "$f" ] || continue
  n=$((n + 1))
  cmp -s "$f" "blocked/$f" || err "$f differs from blocked/$f"
done
[ "$n" -ge 2 ] && [ "$(ls blocked/ph_*.dat | wc -l)" = "$n" ] || err "$n outputs of the first run, $(ls blocked/ph_*.dat | wc -l) of the second"
exit $fail
