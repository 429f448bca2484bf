#!/usr/bin/env bash
# The classic program: argument handling, output formats, the 5000-base cut and the
# fatal exit for an empty sequence. Usage: classic_program.sh BUILD_DIR
source "$(dirname "$0")/common.bash"
PROG="$1/stemloop"
line() { sed -n "$1p" "$WORK/out"; }

check_run "no arguments" 0 "$PROG"
[ ! -s "$WORK/out" ] && [ "$(wc -l <"$WORK/err")" = 1 ] || fail "no arguments: one usage line"
check_run "mode only" 0 "$PROG" y
[ -s "$WORK/out" ] || [ -s "$WORK/err" ] && fail "mode only: printed something"

seq=GGGAGCUAAGCUCAAAGGGCAUUCCC
check_run "verbose" 0 "$PROG" y "$seq"
cp "$WORK/out" "$WORK/verbose"
line2=$(line 2)
structure=${line2##* }
[ "$(cat "$WORK/out")" = "$(printf '%15ld %s\n%15f %s' ${#seq} $seq "${line2% *}" "$structure")" ] ||
  fail "verbose: not %15ld and %15f lines: $(cat "$WORK/out")"
[[ "$structure" =~ ^[.()]+$ && ${#structure} = ${#seq} && "$structure" == *"("* ]] ||
  fail "verbose structure: '$line2'"
for mode in n Y -y x; do
  [ "$("$PROG" "$mode" "$seq")" = "$structure" ] || fail "mode $mode is not plain"
done
"$PROG" yes "$seq" | cmp -s - "$WORK/verbose" || fail "mode yes is not verbose"

# Several sequences, in argument order, each with its own length.
check_run "three sequences" 0 "$PROG" n GGGGAAAACCCC "$seq" ACGU
[ "$(awk '{ printf "%d ", length($0) }' "$WORK/out")" = "12 ${#seq} 4 " ] &&
  [ "$(line 2)" = "$structure" ] && [ "$(line 3)" = "...." ] || fail "three sequences"

# A 6000-base argument is cut to its first 5000 bases.
check_run "long" 0 "$PROG" y "$(head -c 6000 /dev/zero | tr '\0' A)"
[ "$(awk '{ printf "%s %d ", $1, length($2) }' "$WORK/out")" = "5000 5000 0.000000 5000 " ] ||
  fail "long sequence: $(cut -c 1-40 "$WORK/out")"

# An empty sequence ends the program through the fatal exit.
check_run "empty sequence" 1 "$PROG" n ""
printf '\ninitialize_fold: argument must be greater 0\n' | expect_err "empty sequence"
[ -s "$WORK/out" ] && fail "empty sequence: output on stdout"
exit $FAILED
