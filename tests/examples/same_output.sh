#!/usr/bin/env bash
# same_output.sh RUN1 RUN2
# The two run folders of one example deck (1 and 4 processes) must hold the
# same files with the same bytes: monitor files, latout.dat and the log on
# standard output. stderr.txt is left out (the MPI launcher may write there).
set -u
a=$1; b=$2
status=0
[ -d "$a" ] && [ -d "$b" ] || { echo "missing run folder $a or $b"; exit 1; }
n=0
for f in "$a"/*; do
  name=$(basename "$f")
  [ "$name" = stderr.txt ] && continue
  [ -f "$f" ] || continue
  n=$((n + 1))
  if [ ! -f "$b/$name" ]; then
    echo "$name: written with 1 process, missing with 4"; status=1
  elif ! cmp -s "$f" "$b/$name"; then
    echo "$name differs between the runs:"; cmp "$f" "$b/$name"; status=1
  fi
done
for f in "$b"/*; do
  name=$(basename "$f")
  [ -e "$a/$name" ] || { echo "$name: written with 4 processes only"; status=1; }
done
[ $n -gt 2 ] || { echo "only $n files in $a"; status=1; }
[ $status = 0 ] && echo "$n files identical"
exit $status
