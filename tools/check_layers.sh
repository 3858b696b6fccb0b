#!/usr/bin/env bash
# tools/check_layers.sh SRC LAYER... : the layers lowest first. Fails (and
# lists the lines) when a file of a layer includes a header of a layer above
# it or of a folder that is no layer. Includes of the layer's own folder and
# of lower ones pass.
#
# tools/check_layers.sh --modules SRC [LIST] : the finer order between the
# files. A module is foo.hpp and foo.cpp of one folder under SRC; module A
# uses module B when a file of A includes B's header. Fails (and lists the
# #include lines) on every include cycle between modules (a set of two or
# more modules that reach one another) that LIST does not allow, on an
# allowance of LIST that is no longer exactly such a set, and on an include
# that breaks foundation's order of LIST (core, then I/O in order). LIST
# defaults to modules.txt beside this script; its format is described there.
set -u
if [ "${1:-}" = "--modules" ]; then
  [ $# -ge 2 ] && [ -d "$2" ] || { echo "usage: $0 --modules SRC [LIST]"; exit 2; }
  src=${2%/}
  list=${3:-$(dirname "$0")/modules.txt}
  [ -r "$list" ] || { echo "cannot read the module list $list"; exit 2; }
  # every module file (folder/name.ext), then every quoted include line
  # (path:line:text), then the list
  awk -v src="$src" -v listname="$list" '
    function stem(f) { sub(/\.[^.\/]*$/, "", f); return f }
    function fail(msg) { print msg; bad = 1 }
    function rel(f) { return index(f, src "/") == 1 ? substr(f, length(src) + 2) : f }
    # the members of a set given as "a b c", sorted, as one key
    function canon(text,   n, a, i, j, t, out) {
      n = split(text, a, " ")
      for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
      out = ""
      for (i = 1; i <= n; i++) out = out (i > 1 ? " " : "") a[i]
      return out
    }
    phase == 1 {
      f = rel($0)
      if (f !~ /\//) next
      m = stem(f)
      if (!(m in known)) { known[m] = 1; mods[++nmod] = m; idx[m] = nmod }
      if (f ~ /\.hpp$/) header[f] = m
      next
    }
    phase == 2 {
      line = $0
      file = line; sub(/:.*/, "", file)
      rest = substr(line, length(file) + 2)
      lno = rest; sub(/:.*/, "", lno)
      text = substr(rest, length(lno) + 2)
      inc = text; sub(/^[^"]*"/, "", inc); sub(/".*$/, "", inc)
      if (!(inc in header)) next
      f = rel(file)
      a = stem(f); b = header[inc]
      if (a == b) next
      ia = idx[a]; ib = idx[b]
      if (!((ia, ib) in edge)) { edge[ia, ib] = 1; reach[ia, ib] = 1 }
      nl++; lfrom[nl] = ia; lto[nl] = ib
      ltext[nl] = file ":" lno ": " text
      next
    }
    phase == 3 {
      sub(/#.*/, "")
      if ($0 ~ /^[ \t]*$/) next
      key = $1; $1 = ""; sub(/^ +/, "")
      if (key == "core:") { for (i = 1; i <= split($0, w, " "); i++) { if (w[i] in group) fail(listname ": foundation/" w[i] " listed twice"); group[w[i]] = "core" } }
      else if (key == "io:") { for (i = 1; i <= split($0, w, " "); i++) { if (w[i] in group) fail(listname ": foundation/" w[i] " listed twice"); group[w[i]] = "io"; rank[w[i]] = ++nio } }
      else if (key == "allow:") { allow[++nallow] = canon($0) }
      else fail(listname ": a line that is not core:, io: or allow: -- " key " " $0)
      next
    }
    END {
      # transitive closure of the uses
      for (k = 1; k <= nmod; k++)
        for (i = 1; i <= nmod; i++) {
          if (!((i, k) in reach)) continue
          for (j = 1; j <= nmod; j++) if ((k, j) in reach) reach[i, j] = 1
        }
      # the sets of modules that reach one another
      for (i = 1; i <= nmod; i++) {
        if (i in comp) continue
        comp[i] = i; members = mods[i]; size = 1
        for (j = i + 1; j <= nmod; j++)
          if (((i, j) in reach) && ((j, i) in reach)) { comp[j] = i; members = members " " mods[j]; size++ }
        if (size < 2) continue
        key = canon(members)
        allowed = 0
        for (a = 1; a <= nallow; a++) if (allow[a] == key) { allowed = 1; used[a] = 1 }
        if (allowed) print "allowed include cycle, to be cut: " key
        else fail("include cycle between modules: " key)
        for (l = 1; l <= nl; l++)
          if ((lfrom[l] in comp) && comp[lfrom[l]] == i && (lto[l] in comp) && comp[lto[l]] == i) print "  " ltext[l]
      }
      for (a = 1; a <= nallow; a++)
        if (!(a in used)) fail("allowed in " listname " but no longer an include cycle: " allow[a] " (remove the line)")
      # foundation: core below I/O, the I/O modules in their order
      for (i = 1; i <= nmod; i++) {
        m = mods[i]
        if (m !~ /^foundation\//) continue
        n = substr(m, 12)
        if (!(n in group)) fail(m " is neither core nor io in " listname)
      }
      for (n in group) if (!(("foundation/" n) in known)) fail(listname " lists foundation/" n ", which is no module")
      for (l = 1; l <= nl; l++) {
        a = mods[lfrom[l]]; b = mods[lto[l]]
        if (a !~ /^foundation\// || b !~ /^foundation\//) continue
        a = substr(a, 12); b = substr(b, 12)
        if (!(a in group) || !(b in group)) continue
        if (group[a] == "core" && group[b] == "io")
          fail("foundation core module " a " includes the I/O module " b ":\n  " ltext[l])
        else if (group[a] == "io" && group[b] == "io" && rank[b] >= rank[a])
          fail("foundation I/O module " a " includes " b ", which comes after it in " listname ":\n  " ltext[l])
      }
      exit bad
    }
  ' phase=1 <(find "$src" -mindepth 2 -maxdepth 2 -type f \( -name '*.hpp' -o -name '*.cpp' \) | sort) \
    phase=2 <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$src"/*/*.[ch]pp /dev/null) \
    phase=3 "$list"
  exit $?
fi
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
