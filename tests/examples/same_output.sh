#!/usr/bin/env bash
# same_output.sh RUN1 RUN2
# The two run folders of one deck (1 and N processes) must hold the same
# files with the same bytes: monitor files, latout.dat and the log on
# standard output, whose run configuration of a parallel force model names
# the process count (" force on  4  cpus"); that line alone is compared with
# the count taken out. The models with a Green's function print the estimate
# and the progress of their marking and shared sample evaluation ("---
# required flags ? ---:", " isrc_gmesh1=", " i_green    =") only with several
# processes: those lines are left out. So are the share of the field calls
# per process and the time estimate measured at the first evaluation of
# "csr_p_to_p" and "csr_p_to_m" (" per process at most =", " estimated time
# per evaluation ="). stderr.txt is left out (the MPI launcher may write there).
set -u
a=$1; b=$2
# the log with the process count of its configuration line taken out
log_of() {
  sed -E -e "s/^(  with '[a-z_0-9]+' force) on +[0-9]+ +cpus$/\1/" \
         -e '/^ --- required flags \? ---: /d' -e '/^  isrc_gmesh1= /d' \
         -e '/^  i_green    = /d' -e '/^   per process at most = /d' \
         -e '/^   estimated time per evaluation = /d' "$1"
}
status=0
[ -d "$a" ] && [ -d "$b" ] || { echo "missing run folder $a or $b"; exit 1; }
n=0
for f in "$a"/*; do
  name=$(basename "$f")
  [ "$name" = stderr.txt ] && continue
  [ -f "$f" ] || continue
  n=$((n + 1))
  if [ ! -f "$b/$name" ]; then
    echo "$name: written by the first run, missing in the second"; status=1
  elif [ "$name" = stdout.txt ]; then
    if ! cmp -s <(log_of "$f") <(log_of "$b/$name"); then
      echo "$name differs between the runs:"; diff <(log_of "$f") <(log_of "$b/$name") | head -20; status=1
    fi
  elif ! cmp -s "$f" "$b/$name"; then
    echo "$name differs between the runs:"; cmp "$f" "$b/$name"; status=1
  fi
done
for f in "$b"/*; do
  name=$(basename "$f")
  [ -e "$a/$name" ] || { echo "$name: written by the second run only"; status=1; }
done
[ $n -gt 2 ] || { echo "only $n files in $a"; status=1; }
[ $status = 0 ] && echo "$n files identical"
exit $status
