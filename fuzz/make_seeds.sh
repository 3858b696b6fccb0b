#!/usr/bin/env bash
# make_seeds.sh SOURCE_TREE CORPUS
# Writes one fuzz input per deck folder of the repository (every folder
# under tests/ and examples/ holding a tarvel.in but the validation decks
# and the benchmark chicane, whose runs of three-dimensional models on tens
# to hundreds of particles take seconds each, beyond the 10 s limit of an
# input under the sanitizers; their words are those of the lighter decks;
# the decks of fuzz/seeds/
# and the README's annotated deck) into CORPUS: the deck, then each further file of the folder after a
# line "%%% NAME" (check scripts, expected outputs and READMEs left out; an
# empty folder as an empty file NAME/.keep). The words NaN and Infinity of
# comments are written in lower case: the fuzz target looks for them in the
# outputs and skips inputs that hold them.
set -eu
src=$1; out=$2
mkdir -p "$out"
n=0
while IFS= read -r deck; do
  dir=$(dirname "$deck")
  name=$(echo "${dir#"$src"/}" | tr '/' '_')
  # a file, ended by a line end when it has none (the next header starts a line)
  put() { cat "$1"; [ ! -s "$1" ] || [ "$(tail -c1 "$1" | od -An -c | tr -d ' ')" = '\n' ] || echo; }
  {
    put "$deck"
    (cd "$dir" && find . -mindepth 1 -maxdepth 2 \( -type f -o -type d -empty \) \
        ! -name tarvel.in ! -name check.sh ! -name 'expected*' ! -name README.md | sort) |
    while IFS= read -r f; do
      f=${f#./}
      if [ -d "$dir/$f" ]; then printf '%%%%%% %s/.keep\n' "$f"; continue; fi
      printf '%%%%%% %s\n' "$f"
      put "$dir/$f"
    done
  } | sed -e 's/NaN/nan/g' -e 's/Infinity/infinity/g' >"$out/seed_$name"
  n=$((n + 1))
done < <(find "$src/tests" "$src/examples" -name tarvel.in -type f | sort | grep -v -e "^$src/tests/validation/" \
           -e "^$src/examples/benchmark_chicane/")
# hand-written decks of the features no deck of the suite uses (already in
# the input layout)
for f in "$src"/fuzz/seeds/*; do
  sed -e 's/NaN/nan/g' -e 's/Infinity/infinity/g' "$f" >"$out/seed_fuzz_$(basename "$f")"
  n=$((n + 1))
done
# the README's annotated deck (its fenced block holding a "tracker" layer)
awk '/^```/ { if (inb) { if (blk ~ /tracker/) { printf "%s", blk; exit } blk = ""; inb = 0 } else inb = 1; next }
     inb { blk = blk $0 "\n" }' "$src/README.md" >"$out/seed_readme"
[ -s "$out/seed_readme" ] && n=$((n + 1)) || rm -f "$out/seed_readme"
echo "$n seed decks in $out"
