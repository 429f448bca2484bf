#!/usr/bin/env bash
# Command-line tests of parameter sets: a written set read back gives byte-identical
# output for every algorithm, the built-in sets by name, and damaged files refused.
# Usage: tools_parameters.sh BUILD_DIR
source "$(dirname "$0")/common.bash"
FOLD="$1/stemloop-fold"
EVAL="$1/stemloop-eval"
random_fasta 5 12 20 140 60 >"$WORK/in.fa"

for set in turner1999 turner2004; do
  check_run "write $set" 0 "$FOLD" --parameters $set --write-parameters "$WORK/$set.par"
  [ -s "$WORK/out" ] && fail "--write-parameters printed on stdout"
  # The written file is the set: every output equals the built-in set's, byte for byte.
  while read -r args; do
    "$FOLD" --parameters $set $args "$WORK/in.fa" >"$WORK/built-in" 2>&1
    "$FOLD" --parameters "$WORK/$set.par" $args "$WORK/in.fa" >"$WORK/read-back" 2>&1
    cmp -s "$WORK/built-in" "$WORK/read-back" || fail "$set $args: the read-back set differs"
  done <<'ARGS'
-d 0 --format json
-d 1
-d 2 -T 55 --noTetra
-d 3 -T 10
-p --sample 3 --format tsv
-d 0 -p --bpp-cutoff 0.01
--subopt 1.5 --format json
--zuker 4
ARGS
  "$FOLD" --parameters $set -d 2 "$WORK/in.fa" >"$WORK/folded"
  for args in "-d 2 -v" "-d 2 -p --format json"; do
    "$EVAL" --parameters $set $args "$WORK/folded" >"$WORK/built-in"
    "$EVAL" --parameters "$WORK/$set.par" $args "$WORK/folded" >"$WORK/read-back"
    cmp -s "$WORK/built-in" "$WORK/read-back" || fail "eval $set $args: the read-back set differs"
  done
done
cmp -s "$WORK/turner1999.par" <("$FOLD" --write-parameters /dev/stdout) ||
  fail "turner1999 is not the default set"
[ "$("$FOLD" --parameters turner2004 --version | tail -1)" = \
  "parameters: Turner 2004 (Mathews et al., Proc. Natl. Acad. Sci. USA 101:7287-7292, 2004)" ] ||
  fail "--version names the set"
"$FOLD" --parameters turner2004 --format json "$WORK/in.fa" | grep -vc '"parameters":"Turner 2004"}$' |
  grep -qx 0 || fail "the JSON output names the set"
cmp -s <("$FOLD" "$WORK/in.fa") <("$FOLD" --parameters turner2004 "$WORK/in.fa") &&
  fail "turner2004 folds as turner1999"

# A damaged file: one line naming the file, the line and the table, status 2, nothing
# folded. damaged NAME SED-SCRIPT MESSAGE
damaged() {
  sed "$2" "$WORK/turner1999.par" >"$WORK/$1.par"
  echo "$3|--parameters $WORK/$1.par $WORK/in.fa"
}
{
  damaged value '/^\[stack\]/,/^$/ s/^CG GC -330/CG GC -3.3/' "value.par:[0-9]*: table stack: bad energy '-3.3'"
  damaged key '/^\[int21\]/,/^$/ s/^AU UA A C G /AU UA A C X /' "key.par:[0-9]*: table int21: bad key 'X'"
  damaged missing '/^GU UG A C G U /d' "missing.par:[0-9]*: table int22: missing entry GU UG A C G U"
  damaged twice '/^\[dangle5\]/a CG A -50 -240' "twice.par:[0-9]*: table dangle5: entry given twice"
  damaged short '/^\[hairpin\]/,/^$/ s/^7 .*/7 590/' "short.par:[0-9]*: table hairpin: expected 1 key"
  damaged section '/^\[mismatch_multi\]/,/^$/d' "section.par:[0-9]*: table mismatch_multi: missing"
  damaged rule 's/^end_mismatches off/end_mismatches maybe/' "rule.par:[0-9]*: table rules: rule end_mismatches"
  damaged constant '/^ml_intern /d' "constant.par:[0-9]*: table constants: missing constant ml_intern"
  damaged header '1,3d' "header.par:[0-9]*: table header: not a parameter file"
  damaged cut '30000,$d' "cut.par:[0-9]*: table int22: missing entry"
  echo "cannot read parameter file|--parameters $WORK/none.par $WORK/in.fa"
} | usage_errors "$FOLD"
echo "missing.par:[0-9]*: table int22: missing entry|--parameters $WORK/missing.par $WORK/in.fa" |
  usage_errors "$EVAL"
exit $FAILED
