#!/usr/bin/env bash
# tools/check_layers.sh SRC LAYER... : the layers lowest first. Fails (and
# lists the lines) when a file of a layer includes a header of a layer above
# it or of a folder that is no layer. Includes of the layer's own folder and
# of lower ones pass.
set -u
src=$1; shift
layers=("$@")
rank() { local i; for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done; echo -1; }
bad=0
for own in "${layers[@]}"; do
  [ -d "$src/$own" ] || continue
  r_own=$(rank "$own")
  while IFS= read -r hit; do
    file=${hit%%:*}; rest=${hit#*:}; line=${rest%%:*}
    inc=$(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' <<<"${rest#*:}")
    case $inc in */*) ;; *) continue;; esac
    folder=${inc%%/*}
    r=$(rank "$folder")
    if [ "$r" -lt 0 ] || [ "$r" -gt "$r_own" ]; then
      echo "$file:$line: layer '$own' includes \"$inc\""; bad=1
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$src/$own"/*.[ch]pp 2>/dev/null)
done
exit $bad
