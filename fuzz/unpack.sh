#!/usr/bin/env bash
# unpack.sh INPUT DIR
# Writes a fuzz input as the deck folder it stands for: tarvel.in and each
# file after a line "%%% NAME", with '/' turned into '_' as the fuzz target
# does. The folder then runs as a deck test (tarvel_deck_test).
set -eu
in=$1; dir=$2
mkdir -p "$dir"
awk -v dir="$dir" '
  function valid(n,   k, parts, np) {
    if (n == "" || length(n) > 64) return 0
    np = split(n, parts, "/"); if (np > 2) return 0
    for (k = 1; k <= np; k++) if (parts[k] !~ /^[A-Za-z0-9._-]+$/ || parts[k] == "." || parts[k] == "..") return 0
    return 1
  }
  BEGIN { out = dir "/tarvel.in"; printf "" > out }
  /^%%% / && valid(substr($0, 5)) {
    close(out); name = substr($0, 5)
    if (name ~ /\//) system("mkdir -p \"" dir "/" substr(name, 1, index(name, "/") - 1) "\"")
    out = dir "/" name; printf "" > out; next
  }
  { gsub("/", "_"); print > out }' "$in"
