#!/usr/bin/env bash
# launcher_check.sh TARVEL OWN OTHER LINE DECKDIR SCRATCH
# A job of 2 processes started by the launcher of another MPI (OTHER: the
# launcher and its options, split at blanks) is refused: a nonzero exit
# code, LINE once on standard output and nothing else there, and no file
# written (the deck of DECKDIR writes a log file and latout.dat). The same
# deck started by the program's own launcher (OWN) at 2 processes runs and
# writes both.
set -u
tarvel=$1; own=$2; other=$3; line=$4; deck=$5; scratch=$6
read -r -a other_cmd <<<"$other"
fail=0
for launch in other own; do
  run=$scratch/$launch; rm -rf "$run"; mkdir -p "$run"; cp -r "$deck"/. "$run"/
  cd "$run" || exit 2
  if [ $launch = other ]; then
    timeout 60 "${other_cmd[@]}" -n 2 "$tarvel" >stdout.txt 2>stderr.txt </dev/null; rc=$?
    [ "$rc" != 0 ] && [ "$rc" != 124 ] || { echo "$launch: exit code $rc"; fail=1; }
    [ "$(cat stdout.txt)" = "$line" ] || { echo "$launch: standard output:"; cat stdout.txt; echo "expected:"; echo "$line"; fail=1; }
    written=$(ls -A | grep -vxE 'tarvel.in|stdout.txt|stderr.txt')
    [ -z "$written" ] || { echo "$launch: files written: $written"; fail=1; }
  else
    timeout 60 "$own" -n 2 "$tarvel" >stdout.txt 2>stderr.txt </dev/null; rc=$?
    [ "$rc" = 0 ] || { echo "$launch: exit code $rc"; cat stdout.txt stderr.txt; fail=1; }
    [ -s run.log ] && [ -s latout.dat ] || { echo "$launch: run.log or latout.dat missing"; fail=1; }
    grep -q ' error' stdout.txt && { echo "$launch: an error line"; fail=1; }
  fi
done
exit $fail
