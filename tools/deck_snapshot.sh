#!/usr/bin/env bash
# tools/deck_snapshot.sh TARVEL OUTDIR
# Runs every deck folder (a folder holding tarvel.in, or expected.out) of
# tests/ and examples/ through TARVEL at the process counts its CMakeLists
# gives (1 when none), each in a fresh copy, and stores its stdout, exit code
# and every file the run wrote under OUTDIR/<deck>_np<n>/. Two snapshots of
# two builds compare with `diff -r`: a refactoring must change no byte.
# The jobs start through the launcher of the MPI that TARVEL is linked with,
# tarvel_mpiexec of its build folder (or the launcher given as MPIEXEC).
set -u
tarvel=$(realpath "$1"); out=$(realpath -m "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
mpiexec=${MPIEXEC:-$(dirname "$tarvel")/tarvel_mpiexec}
command -v "$mpiexec" >/dev/null || { echo "no launcher $mpiexec (give the one of TARVEL's MPI as MPIEXEC)"; exit 1; }
rm -rf "$out"; mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# process counts of a deck folder: the NPROCS list of its tarvel_deck_test line
nprocs_of() {
  local dir=$1 cm line
  for cm in "$(dirname "$dir")/CMakeLists.txt" "$(dirname "$(dirname "$dir")")/CMakeLists.txt"; do
    [ -f "$cm" ] || continue
    line=$(grep -E "tarvel_deck_test\(.*/$(basename "$dir")( |\))" "$cm" | head -1)
    if [ -n "$line" ]; then
      echo "$line" | sed -nE 's/.*NPROCS ([0-9 ]+).*/\1/p' | grep -oE '[0-9]+' | tr '\n' ' '
      echo "$line" | grep -q NPROCS || echo 1
      return
    fi
  done
  case $dir in */examples/*) echo "1 4";; *) echo 1;; esac
}
find "$root/tests" "$root/examples" -mindepth 1 -type d | sort | while read -r d; do
  [ -f "$d/tarvel.in" ] || [ -f "$d/expected.out" ] || continue
  case $d in */examples/*/run|*/examples/*/run/*|*/examples/*/run_*) continue;; esac
  name=${d#$root/}; name=${name//\//_}
  for np in $(nprocs_of "$d"); do
    [ "$np" -gt 8 ] && continue
    r="$work/${name}_np$np"; rm -rf "$r"; mkdir -p "$r"; cp -r "$d"/. "$r"/
    (cd "$r" && timeout 300 "$mpiexec" -n "$np" "$tarvel" >stdout.txt 2>/dev/null </dev/null; echo $? > rc.txt)
    dest="$out/${name}_np$np"; mkdir -p "$dest"
    # every file the run wrote: new, or changed against the deck folder
    (cd "$r" && find . -type f) | sort | while read -r f; do
      if [ ! -f "$d/$f" ] || ! cmp -s "$d/$f" "$r/$f"; then
        mkdir -p "$dest/$(dirname "$f")"; cp "$r/$f" "$dest/$f"
      fi
    done
    # the cost lines of csr_p_to_p and csr_p_to_m (standard output and a log
    # file) carry a measured time
    grep -rlE 'estimated time per evaluation = |s each \(measured\)$' "$dest" 2>/dev/null | while read -r f; do
      sed -i -E -e 's/(per process at most = [0-9]+), .* s each \(measured\)$/\1, (measured)/' \
                -e 's/(estimated time per evaluation = ).*$/\1(measured)/' "$f"
    done
  done
done
echo "snapshot in $out: $(find "$out" -type f | wc -l) files"
