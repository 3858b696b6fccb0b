#!/usr/bin/env bash
# tools/run_folder.sh DECK_DIR
# Makes a new folder for a run of the deck folder DECK_DIR and prints its
# path: DECK_DIR/run, or run_2, run_3, ... when that name is taken. The
# folder is created here (mkdir without -p, so an existing one is never
# reused), marked with the file .tarvel_run, and receives a copy of the deck
# folder without the run folders made before. Nothing is ever removed.
set -eu
deck=$(cd "$1" && pwd)
k=1
while :; do
  name=run; [ "$k" -gt 1 ] && name=run_$k
  if mkdir "$deck/$name" 2>/dev/null; then break; fi
  k=$((k + 1))
  [ "$k" -gt 10000 ] && { echo "no free run folder in $deck" >&2; exit 1; }
done
run=$deck/$name
: > "$run/.tarvel_run"
for f in "$deck"/* "$deck"/.[!.]* "$deck"/..?*; do
  [ -e "$f" ] || [ -L "$f" ] || continue
  [ "$f" = "$run" ] && continue
  [ -d "$f" ] && [ -f "$f/.tarvel_run" ] && continue  # a run folder made before
  cp -r "$f" "$run"/
done
echo "$run"
