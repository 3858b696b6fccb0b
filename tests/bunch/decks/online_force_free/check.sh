#!/usr/bin/env bash
# A force-free run of two tracker layers on a time grid with online
# monitors: exactly the expected files and records; every all-particle
# phase output equals a one-shot monitor of the same time.
set -u
fail=0
err() { echo "$*"; fail=1; }

for f in ph_0001.dat ph_0002.dat ph_0003.dat mk_0001.dat mk_0002.dat st.dat sb.dat one.dat; do
  [ -f "$f" ] || err "missing $f"
done
for f in ph_0004.dat mk_0003.dat nostep.dat ph.dat mk.dat; do
  [ -e "$f" ] && err "unexpected $f"
done
cmp -s ph_0002.dat shot_05.dat || err "ph_0002.dat differs from the monitor at 0.5"
cmp -s ph_0003.dat shot_10.dat || err "ph_0003.dat differs from the monitor at 1.0"

shape() {  # file records length
  local n bad
  n=$(wc -l <"$1")
  [ "$n" = "$2" ] || err "$1: $n records, expected $2"
  bad=$(awk -v L="$3" 'length($0) != L { b++ } END { print b + 0 }' "$1")
  [ "$bad" = 0 ] || err "$1: $bad records not $3 characters long"
}
shape ph_0001.dat 4 161
shape st.dat 6 69
shape sb.dat 6 64
shape one.dat 5 161
shape mk_0001.dat 4 234
shape mk_0002.dat 4 234

# one record per step (the zero-length first pass of each run included),
# the time first
[ "$(awk '{ printf "%s ", $1 + 0 }' st.dat)" = "0 0.25 0.5 0.5 0.75 1 " ] || err "st.dat: step times"
[ "$(awk '{ printf "%s ", $1 + 0 }' sb.dat)" = "0 0.25 0.5 0.5 0.75 1 " ] || err "sb.dat: step times"
# the single-particle monitor is retired after its end at 0.8
[ "$(awk '{ printf "%s ", $1 + 0 }' one.dat)" = "0 0.25 0.5 0.5 0.75 " ] || err "one.dat: times"
# the marker monitor starts 0.5 before the bunch reaches the dipole entry
[ "$(head -1 mk_0001.dat | awk '{ print $1 + 0 }')" = 0.75 ] || err "mk_0001.dat: time"
[ "$(head -1 mk_0002.dat | awk '{ print $1 + 0 }')" = 1 ] || err "mk_0002.dat: time"

grep -qx '  warning: online_monitor=nostep.dat           is not active' stdout.txt \
  || err "no 'is not active' line"
exit $fail
