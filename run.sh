#!/usr/bin/env bash
# ./run.sh [DECK_DIR] [NPROCS]
# Installs what is missing, builds in Release (against MPICH) and runs the
# deck folder DECK_DIR (default: the first example) with NPROCS processes
# (default 1), started by the launcher of the MPI the program is linked
# with. The run happens in a new folder made for it, DECK_DIR/run (run_2,
# run_3, ... when that name is taken), a copy of the deck folder, so the
# example folders stay clean; the log and output files are left there.
# Nothing is removed, neither the runs before nor a folder of the user's
# own. It ends with the run folder and the command that checks the run.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
deck=${1:-$here/examples/sector_dipole}
np=${2:-1}
# a wrong argument is refused before anything is installed or built
bash "$here/tools/start_run.sh" "$deck" "$np"
. "$here/tools/deps.sh"
tarvel_ensure_deps
build=$here/build-release
# the build is quiet; its messages are shown only when it fails
tarvel_configure "$here" "$build" -DCMAKE_BUILD_TYPE=Release -DTARVEL_MPI=mpich -DTARVEL_TESTS=OFF -DTARVEL_BENCH=OFF
if ! log=$(cmake --build "$build" --target tarvel -j "$(tarvel_jobs)" 2>&1); then
  echo "$log"; echo "build failed"; exit 1
fi
exec bash "$here/tools/start_run.sh" "$deck" "$np" "$build/tarvel_mpiexec" "$build/tarvel"
