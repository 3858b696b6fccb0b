#!/usr/bin/env bash
# ./run.sh [DECK_DIR] [NPROCS]
# Installs what is missing, builds in Release and runs the deck folder
# DECK_DIR (default: the first example) with NPROCS processes (default 1).
# The run happens in a new folder made for it, DECK_DIR/run (run_2, run_3,
# ... when that name is taken), a copy of the deck folder, so the example
# folders stay clean; the log and output files are left there. Nothing is
# removed, neither the runs before nor a folder of the user's own.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/tools/deps.sh"
tarvel_ensure_deps
deck=${1:-$here/examples/sector_dipole}
np=${2:-1}
deck=$(cd "$deck" && pwd)
# the build is quiet; its messages are shown only when it fails
if ! log=$(cmake -S "$here" -B "$here/build-release" -DCMAKE_BUILD_TYPE=Release -DTARVEL_TESTS=OFF \
             -DTARVEL_BENCH=OFF 2>&1 && cmake --build "$here/build-release" --target tarvel -j "$(tarvel_jobs)" 2>&1); then
  echo "$log"; echo "build failed"; exit 1
fi
run=$(bash "$here/tools/run_folder.sh" "$deck")
cd "$run"
echo "running $deck with $np process(es) in $run"
exec mpiexec -n "$np" "$here/build-release/tarvel"
