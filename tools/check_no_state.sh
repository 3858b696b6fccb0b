#!/usr/bin/env bash
# tools/check_no_state.sh OBJDUMP LIB... : fails, listing them, when a
# static library defines a mutable object: a symbol in a writable data
# section (.bss, .data, .tbss, .tdata and their subsections; .data.rel.ro
# holds constants and passes). What the compiler defines for itself passes:
# the exception personality's reference (DW.ref.*), local labels (.L*) and
# the sanitizers' records (__asan*, __ubsan*, __sancov*).
set -u
objdump=$1; shift
bad=0
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
  if [ -n "$hits" ]; then
    echo "$(basename "$lib") defines mutable objects:"
    c++filt <<<"$hits" | sed 's/^/  /'
    bad=1
  fi
done
[ $bad = 0 ] && echo "no mutable object in: $(for l in "$@"; do basename "$l"; done | tr '\n' ' ')"
exit $bad
