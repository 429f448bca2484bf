#!/bin/bash
# The classic program: argument handling, output formats, the 5000-base cut and the
# fatal exit for an empty sequence. Usage: classic_program.sh BUILD_DIR
prog="$1/stemloop"
failures=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run ARGS...: runs the program, leaving stdout, stderr and the status in $tmp.
run() {
  "$prog" "$@" >"$tmp/out" 2>"$tmp/err"
  echo $? >"$tmp/status"
}
status() { cat "$tmp/status"; }

[ -x "$prog" ] || { echo "FAIL: $prog is not built"; exit 1; }

run
[ "$(status)" = 0 ] || fail "no arguments: status $(status)"
[ -s "$tmp/out" ] && fail "no arguments: output on stdout"
[ "$(wc -l <"$tmp/err")" = 1 ] || fail "no arguments: expected one usage line on stderr"

run y
[ "$(status)" = 0 ] || fail "mode only: status $(status)"
[ -s "$tmp/out" ] || [ -s "$tmp/err" ] && fail "mode only: printed something"

seq=GGGAGCUAAGCUCAAAGGGCAUUCCC
run y "$seq"
[ "$(status)" = 0 ] || fail "verbose: status $(status)"
[ "$(wc -l <"$tmp/out")" = 2 ] || fail "verbose: expected two lines"
line1=$(sed -n 1p "$tmp/out")
line2=$(sed -n 2p "$tmp/out")
want1=$(printf '%15ld %s' "${#seq}" "$seq")
[ "$line1" = "$want1" ] || fail "verbose line 1: '$line1'"
structure=${line2##* }
energy=${line2% *}
[[ "$structure" =~ ^[.()]+$ ]] && [ ${#structure} = ${#seq} ] || fail "verbose structure: '$line2'"
[ ${#energy} = 15 ] || fail "verbose energy field is not 15 wide: '$energy'"
[[ "$energy" =~ ^\ *-?[0-9]+\.[0-9]{6}$ ]] || fail "verbose energy format: '$energy'"
[ "$(printf '%15f' "$energy")" = "$energy" ] || fail "verbose energy is not %15f: '$energy'"
[ "$structure" != "$(printf '%*s' ${#seq} '' | tr ' ' .)" ] || fail "verbose: $seq did not fold"

for mode in n Y -y x; do
  run "$mode" "$seq"
  [ "$(status)" = 0 ] || fail "mode $mode: status $(status)"
  [ "$(cat "$tmp/out")" = "$structure" ] || fail "mode $mode: not plain: '$(cat "$tmp/out")'"
done
run yes "$seq"
[ "$(sed -n 2p "$tmp/out")" = "$line2" ] || fail "mode yes is not verbose"

# Several sequences, in argument order, each with its own length.
run n GGGGAAAACCCC "$seq" ACGU
[ "$(wc -l <"$tmp/out")" = 3 ] || fail "three sequences: expected three lines"
[ "$(sed -n 2p "$tmp/out")" = "$structure" ] || fail "three sequences: order"
lengths=$(awk '{ printf "%d ", length($0) }' "$tmp/out")
[ "$lengths" = "12 ${#seq} 4 " ] || fail "three sequences: lengths $lengths"
[ "$(sed -n 3p "$tmp/out")" = "...." ] || fail "four bases fold to dots"

# A 6000-base argument is cut to its first 5000 bases.
long=$(head -c 6000 /dev/zero | tr '\0' A)

run y "$long"
[ "$(status)" = 0 ] || fail "long sequence: status $(status)"
printed=$(sed -n 1p "$tmp/out" | awk '{ print $2 }')
[ ${#printed} = 5000 ] || fail "long sequence: printed sequence has ${#printed} bases"
[ "$(sed -n 1p "$tmp/out" | awk '{ print $1 }')" = 5000 ] || fail "long sequence: first field"
cut_structure=$(sed -n 2p "$tmp/out" | awk '{ print $2 }')
[ ${#cut_structure} = 5000 ] || fail "long sequence: structure has ${#cut_structure} characters"

# An empty sequence ends the program through the fatal exit.
run n ""
[ "$(status)" = 1 ] || fail "empty sequence: status $(status)"
[ "$(cat "$tmp/err")" = "$(printf '\ninitialize_fold: argument must be greater 0')" ] ||
  fail "empty sequence: stderr '$(cat "$tmp/err")'"
[ -s "$tmp/out" ] && fail "empty sequence: output on stdout"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "classic program: all checks passed"
