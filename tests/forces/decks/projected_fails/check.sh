#!/usr/bin/env bash
# The failed evaluation ends the log with its lines, from the model outwards
# (after the line saying the shortest sigma_long that fits),
# after the run configuration; the "steps" file shows the one evaluation and
# no force file is written.
set -u
fail=0
want=" nsam.gt.nsamax
 error in force1
 error in forcei
 error in ttrack: force evaluation failed in the step to ct=   0.00000
 error in tarvel: tracking run stopped; last step's output not valid"
got=$(tail -n 5 stdout.txt)
# before the model's message: the sigma_long that would fit
grep -qx '   points, at most 50000; give sigma_long >= 1.69882e-06 m' stdout.txt ||
  { echo "no line with the sigma_long that fits"; fail=1; }
[ "$got" = "$want" ] || { echo "last lines:"; echo "$got"; fail=1; }
grep -q 'integrated step error=' stdout.txt && { echo "the run was reported complete"; fail=1; }
[ -e bend.dat ] && { echo "bend.dat written after the failed run"; fail=1; }
read -r _ _ _ n1 n2 n3 n4 n5 < steps.dat
[ "$n1 $n2 $n3 $n4 $n5" = "1 0 0 0 0" ] || { echo "steps.dat counts: $n1 $n2 $n3 $n4 $n5"; fail=1; }
exit $fail
