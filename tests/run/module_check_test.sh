#!/usr/bin/env bash
# module_check_test.sh CHECK_LAYERS: the module mode of the layer check on
# small trees. Each case: the include lines of its files, its module list,
# the exit code and a line the check must print.
set -u
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0

# run_case NAME RC EXPECTED_LINE LIST_LINES FILE=INCLUDE...  (INCLUDE may be empty)
run_case() {
  local name=$1 rc_want=$2 want=$3 list=$4; shift 4
  local d="$work/$name"; mkdir -p "$d/src"
  printf '%b\n' "$list" > "$d/modules.txt"
  local spec file inc
  for spec in "$@"; do
    file=${spec%%=*}; inc=${spec#*=}
    mkdir -p "$d/src/$(dirname "$file")"; touch "$d/src/$file"
    [ -n "$inc" ] && echo "#include \"$inc\"" >> "$d/src/$file"
  done
  local out rc
  out=$(bash "$check" --modules "$d/src" "$d/modules.txt" 2>&1); rc=$?
  if [ "$rc" != "$rc_want" ] || ! grep -qF -- "$want" <<<"$out"; then
    echo "FAIL $name: exit $rc (want $rc_want), want the line: $want"; echo "$out" | sed 's/^/  | /'; fails=1
  fi
}

fnd='core: a e\nio: b c'
base=(foundation/a.hpp= foundation/e.hpp= foundation/b.hpp=foundation/a.hpp foundation/c.hpp=foundation/e.hpp)
run_case clean 0 "" "$fnd" "${base[@]}" x/p.cpp=x/q.hpp x/q.hpp=foundation/c.hpp
run_case cycle 1 "include cycle between modules: x/p x/q" "$fnd" "${base[@]}" \
  x/p.hpp= x/p.cpp=x/q.hpp x/q.hpp=x/p.hpp
run_case cycle_lines 1 "src/x/q.hpp:1: #include \"x/p.hpp\"" "$fnd" "${base[@]}" \
  x/p.hpp= x/p.cpp=x/q.hpp x/q.hpp=x/p.hpp
run_case three_through_cpp 1 "include cycle between modules: x/p x/q x/r" "$fnd" "${base[@]}" \
  x/p.hpp= x/q.hpp= x/r.hpp= x/p.cpp=x/q.hpp x/q.cpp=x/r.hpp x/r.cpp=x/p.hpp
run_case allowed 0 "allowed include cycle, to be cut: x/p x/q" "$fnd\nallow: x/q x/p" "${base[@]}" \
  x/p.hpp= x/p.cpp=x/q.hpp x/q.hpp=x/p.hpp
run_case allowance_stale 1 "no longer an include cycle: x/p x/q" "$fnd\nallow: x/p x/q" "${base[@]}" \
  x/p.hpp= x/q.hpp=x/p.hpp
run_case allowance_grown 1 "include cycle between modules: x/p x/q x/r" "$fnd\nallow: x/p x/q" "${base[@]}" \
  x/p.hpp= x/r.hpp= x/p.cpp=x/q.hpp x/q.hpp=x/r.hpp x/r.cpp=x/p.hpp
run_case core_uses_io 1 "foundation core module a includes the I/O module c" "$fnd" "${base[@]}" foundation/a.cpp=foundation/c.hpp
run_case io_order 1 "foundation I/O module b includes c, which comes after it" "$fnd" "${base[@]}" foundation/b.cpp=foundation/c.hpp
run_case unlisted 1 "foundation/d is neither core nor io" "$fnd" "${base[@]}" foundation/d.hpp=
exit $fails
