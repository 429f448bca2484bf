#!/usr/bin/env bash
# Command-line tests of memory shortage (address-space limits in subshells): a record
# too large is one line and status 1 while the others are folded, threads that cannot be
# had leave their work to the others, and large records wait for room rather than being
# refused, so -j changes no result.
# Usage: tools_memory.sh BUILD_DIR
source "$(dirname "$0")/common.bash"
FOLD="$1/stemloop-fold"

# -p of 12,000 bases needs gigabytes: refused in one line, the small record still folded.
random_fasta 11 1 12000 12000 80 >"$WORK/big.fa"
printf '>small\nGGGGAAAACCCC\n' >>"$WORK/big.fa"
for limit in 800000 750000; do
  (ulimit -v $limit && exec "$FOLD" -j 2 -p "$WORK/big.fa") >"$WORK/out" 2>"$WORK/err"
  status=$?
  [ "$status" -eq 1 ] || fail "-p of 12000 bases under $limit KiB: status $status"
  [ "$(wc -l <"$WORK/err")" -eq 1 ] && grep -q "^stemloop-fold: r0: .*12000 bases" "$WORK/err" ||
    fail "-p of 12000 bases under $limit KiB: $(cat "$WORK/err")"
  grep -q '^((((....)))) ( -5.40)$' "$WORK/out" || fail "the small record is missing under $limit"
done

# Threads whose stacks do not fit: fewer run, with the same output.
random_fasta 12 6 100 300 80 >"$WORK/few.fa"
"$FOLD" -j 1 -p "$WORK/few.fa" >"$WORK/expected"
(ulimit -v 1500000 && ulimit -s 600000 && exec "$FOLD" -j 4 -p "$WORK/few.fa") >"$WORK/out" 2>"$WORK/err"
status=$?
[ "$status" -eq 0 ] && cmp -s "$WORK/expected" "$WORK/out" ||
  fail "threads short: status $status, $(head -c 300 "$WORK/err")"

# Three records of 4000 bases, of which only one or two fit at once: all folded with -j 3,
# as with -j 1 (fewer threads start when memory is short; idle ones hold no tables).
random_fasta 13 3 4000 4000 80 >"$WORK/large.fa"
"$FOLD" -j 1 "$WORK/large.fa" >"$WORK/expected"
for limit in 200000 300000; do
  (ulimit -v $limit && exec "$FOLD" -j 3 "$WORK/large.fa") >"$WORK/out" 2>"$WORK/err"
  status=$?
  [ "$status" -eq 0 ] && cmp -s "$WORK/expected" "$WORK/out" ||
    fail "-j 3 under $limit KiB: status $status, $(head -c 300 "$WORK/err")"
done
exit $FAILED
