#!/bin/bash
# The classic program: argument handling, output formats, the 5000-base cut and the
# fatal exit for an empty sequence. Usage: classic_program.sh BUILD_DIR
prog="$1/stemloop"
failures=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# run EXPECTED_STATUS ARGS...: runs the program, leaving stdout and stderr in $tmp.
run() {
  local want=$1
  shift
  "$prog" "$@" >"$tmp/out" 2>"$tmp/err"
  local status=$?
  [ "$status" = "$want" ] || fail "${1:-no arguments}: status $status"
}
line() { sed -n "$1p" "$tmp/out"; }

[ -x "$prog" ] || { echo "FAIL: $prog is not built"; exit 1; }

run 0
[ -s "$tmp/out" ] && fail "no arguments: output on stdout"
[ "$(wc -l <"$tmp/err")" = 1 ] || fail "no arguments: expected one usage line on stderr"
run 0 y
[ -s "$tmp/out" ] || [ -s "$tmp/err" ] && fail "mode only: printed something"

seq=GGGAGCUAAGCUCAAAGGGCAUUCCC
run 0 y "$seq"
[ "$(wc -l <"$tmp/out")" = 2 ] || fail "verbose: expected two lines"
[ "$(line 1)" = "$(printf '%15ld %s' "${#seq}" "$seq")" ] || fail "verbose line 1: '$(line 1)'"
line2=$(line 2)
structure=${line2##* }
energy=${line2% *}
[[ "$structure" =~ ^[.()]+$ ]] && [ ${#structure} = ${#seq} ] || fail "verbose structure: '$line2'"
[[ "$energy" =~ ^\ *-?[0-9]+\.[0-9]{6}$ ]] && [ "$(printf '%15f' "$energy")" = "$energy" ] ||
  fail "verbose energy is not %15f: '$energy'"
[[ "$structure" == *"("* ]] || fail "verbose: $seq did not fold"
for mode in n Y -y x; do
  run 0 "$mode" "$seq"
  [ "$(cat "$tmp/out")" = "$structure" ] || fail "mode $mode: not plain: '$(cat "$tmp/out")'"
done
run 0 yes "$seq"
[ "$(line 2)" = "$line2" ] || fail "mode yes is not verbose"

# Several sequences, in argument order, each with its own length.
run 0 n GGGGAAAACCCC "$seq" ACGU
[ "$(awk '{ printf "%d ", length($0) }' "$tmp/out")" = "12 ${#seq} 4 " ] ||
  fail "three sequences: line lengths"
[ "$(line 2)" = "$structure" ] && [ "$(line 3)" = "...." ] || fail "three sequences: order"

# A 6000-base argument is cut to its first 5000 bases.
run 0 y "$(head -c 6000 /dev/zero | tr '\0' A)"
[ "$(line 1 | awk '{ print $1, length($2) }')" = "5000 5000" ] || fail "long sequence: line 1"
[ "$(line 2 | awk '{ print length($2) }')" = 5000 ] || fail "long sequence: structure length"

# An empty sequence ends the program through the fatal exit.
run 1 n ""
[ "$(cat "$tmp/err")" = "$(printf '\ninitialize_fold: argument must be greater 0')" ] ||
  fail "empty sequence: stderr '$(cat "$tmp/err")'"
[ -s "$tmp/out" ] && fail "empty sequence: output on stdout"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "classic program: all checks passed"
