#!/usr/bin/env bash
# tools/check_no_state.sh OBJDUMP [--records HEADER] LIB... : fails, listing
# them, when a static library defines a mutable object: a symbol in a
# writable data section (.bss, .data, .tbss, .tdata and their subsections;
# .data.rel.ro holds constants and passes). What the compiler defines for
# itself passes: the exception personality's reference (DW.ref.*), local
# labels (.L*) and the sanitizers' records (__asan*, __ubsan*, __sancov*).
# With --records, the process-wide records listed in HEADER (the table of
# src/run/records.hpp: an entry's first line begins {"symbol", "layer",)
# pass, each in the library of its layer (libtarvel_<layer>.a) only, and a
# listed record that none of the libraries defines fails too: the mutable
# objects of the libraries are then exactly the listed ones.
set -u
objdump=$1; shift
records=""
if [ "${1:-}" = "--records" ]; then
  records=$2; shift 2
  [ -f "$records" ] || { echo "no records header $records"; exit 1; }
fi
# the listed records: "layer symbol" per line
listed=""
if [ -n "$records" ]; then
  listed=$(sed -nE 's/^[[:space:]]*\{"([^"]+)", "([a-z]+)",.*/\2 \1/p' "$records")
  [ -n "$listed" ] || { echo "no record listed in $records"; exit 1; }
fi
bad=0
found=""
for lib in "$@"; do
  [ -f "$lib" ] || { echo "no library $lib"; bad=1; continue; }
  syms=$("$objdump" -t "$lib") || { echo "$objdump cannot read $lib"; bad=1; continue; }
  # a line: value, seven flag characters (the sixth d for a section's own
  # symbol, the last O for an object; a thread-local one has none), section, then after a tab the size and the
  # name (a visibility before it)
  hits=$(awk -F'\t' '
    NF >= 2 {
      n = split($1, a, " "); sec = a[n]; name = $2; sub(/^[^ ]+ /, "", name); sub(/^\.hidden /, "", name)
      if (substr($1, 23, 1) == "d" || (substr($1, 24, 1) != "O" && sec !~ /^\.t(bss|data)(\.|$)/)) next
      if (sec !~ /^\.(bss|data|tbss|tdata)(\.|$)/ || sec ~ /^\.data\.rel\.ro(\.|$)/) next
      if (name ~ /^(DW\.ref\.|\.L|__asan|__odr_asan|__ubsan|__sancov)/) next
      print sec " " name
    }' <<<"$syms" | sort -u)
  [ -n "$hits" ] || continue
  # the layer of the library: libtarvel_<layer>.a
  layer=$(basename "$lib" .a); layer=${layer#libtarvel_}
  unlisted=""
  while read -r sec sym; do
    name=$(c++filt <<<"$sym")
    if grep -qxF "$layer $name" <<<"$listed"; then
      found+="$layer $name"$'\n'
    else
      unlisted+="  $sec $name"$'\n'
    fi
  done <<<"$hits"
  if [ -n "$unlisted" ]; then
    if [ -n "$records" ]; then
      echo "$(basename "$lib") defines mutable objects that $records does not list for layer $layer:"
    else
      echo "$(basename "$lib") defines mutable objects:"
    fi
    printf '%s' "$unlisted"
    bad=1
  fi
done
if [ -n "$records" ]; then
  missing=$(grep -vxF -f <(printf '%s' "$found") <<<"$listed")
  if [ -n "$missing" ]; then
    echo "records listed in $records that no library of their layer defines:"
    sed 's/^\([^ ]*\) \(.*\)$/  \2 (layer \1)/' <<<"$missing"
    bad=1
  fi
fi
if [ $bad = 0 ]; then
  if [ -n "$records" ]; then
    echo "the mutable objects of $(for l in "$@"; do basename "$l"; done | tr '\n' ' ')are the $(wc -l <<<"$listed") records of $records"
  else
    echo "no mutable object in: $(for l in "$@"; do basename "$l"; done | tr '\n' ' ')"
  fi
fi
exit $bad
