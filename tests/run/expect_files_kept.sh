#!/usr/bin/env bash
# expect_files_kept.sh NP: the check of a deck of tests/run/decks/files whose
# output file or folder is refused. Run in the run folder files_<case>_np<n>:
# every line of want.txt stands in stdout.txt, in that order and each as a
# whole line; every file of the deck folder is still as it was (the deck,
# its includes and input files were not written over); and the folder's own
# more.sh, when there is one, checks what else the case needs.
set -u
here=$(cd "$(dirname "$0")" && pwd)
case=${PWD##*/}; case=${case#files_}; case=${case%_np*}
src=$here/decks/files/$case
[ -d "$src" ] || { echo "no deck folder $src"; exit 1; }
awk 'FILENAME == "want.txt" { want[++n] = $0; next }
     k < n && $0 == want[k + 1] { k++ }
     END { if (k < n) { printf "missing line %d of want.txt: %s\n", k + 1, want[k + 1]; exit 1 }
           printf "%d lines found in order\n", n }' want.txt stdout.txt || exit 1
fail=0
while IFS= read -r -d '' f; do
  rel=${f#"$src"/}
  if [ -L "$f" ]; then
    [ -L "$rel" ] || { echo "$rel is no longer a link"; fail=1; }
  elif ! cmp -s "$f" "$rel"; then
    echo "$rel was written over"; fail=1
  fi
done < <(find "$src" \( -type f -o -type l \) -print0)
if [ -f "$src/more.sh" ]; then bash "$src/more.sh" "$@" || fail=1; fi
exit $fail
