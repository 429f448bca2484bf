#!/usr/bin/env bash
# Command-line tests of stemloop-fold's suboptimal structures: the band in every format,
# sorted and cut, Zuker's list, strict constraints and the options it refuses.
# Usage: tools_subopt.sh BUILD_DIR
source "$(dirname "$0")/common.bash"
FOLD="$1/stemloop-fold"
EVAL="$1/stemloop-eval"
SEQ=GGAUCACAGUCUACACUGCUCACUCCAACCCCGGCCCCUGAGUCCGAGGA
# reevaluated OPTIONS < structure lines: the same lines, energies from stemloop-eval
reevaluated() { sed "s/ .*//; i $SEQ" | "$EVAL" "$@" | grep -v "^$SEQ\$"; }

for d in 0 2; do
  "$FOLD" --subopt 2.5 -d $d <<<"$SEQ" | tail -n +2 >"$WORK/band$d"
  [ "$(wc -l <"$WORK/band$d")" -gt 20 ] || fail "-d $d: a band of 2.5 kcal/mol of $SEQ holds 20+"
  reevaluated -d $d <"$WORK/band$d" | cmp -s - "$WORK/band$d" || fail "-d $d: energies differ"
done
cmp -s "$WORK/band0" "$WORK/band2" && fail "-d 0 and -d 2 give the same band"
[ "$("$FOLD" --subopt 2.5 <<<"$SEQ" | tail -n +2)" = "$(cat "$WORK/band2")" ] ||
  fail "mode 2 is not the default"
"$FOLD" --subopt 2.5 --sorted <<<"$SEQ" | tail -n +2 >"$WORK/sorted"
"$FOLD" --subopt 2.5 --sorted --max 5 <<<"$SEQ" | tail -n +2 >"$WORK/first5"
"$FOLD" --subopt 2.5 --format tsv <<<"$SEQ" >"$WORK/tsv"
"$FOLD" --subopt 2.5 --format json <<<"$SEQ" >"$WORK/json"
python3 - "$WORK" <<'PY' || fail "sorted, --max, tsv or json"
import json, sys
w = sys.argv[1]
def lines(name):
    return [(s, float(e[:-1])) for s, e in (l.rstrip('\n').rsplit(' (', 1) for l in open(w + '/' + name))]
band, ordered = lines('band2'), lines('sorted')
assert sorted(band, key=lambda s: (s[1], s[0])) == ordered and len(set(band)) == len(band)
assert lines('first5') == ordered[:5]
rows = [l.rstrip('\n').split('\t') for l in open(w + '/tsv')]
assert rows[0] == ['name', 'sequence', 'structure', 'energy']
assert [(r[2], float(r[3])) for r in rows[1:]] == band
record = json.loads(open(w + '/json').read())
assert [(s['structure'], s['energy']) for s in record['subopt']] == band
assert record['options']['subopt'] == 2.5 and record['options']['dangles'] == 2
PY
[ "$("$FOLD" --subopt 2.5 --max 7 <<<"$SEQ" | wc -l)" -eq 8 ] || fail "--max 7"

# Zuker: the minimum first, then fewer and different structures within the percentage.
"$FOLD" --zuker 4 --percent 40 --window 1 <<<"$SEQ" | tail -n +2 >"$WORK/zuker"
[ "$(head -1 "$WORK/zuker")" = "$("$FOLD" -d 2 <<<"$SEQ" | tail -1)" ] || fail "zuker: MFE first"
[ "$(sort -u "$WORK/zuker" | wc -l)" -eq 4 ] || fail "zuker: 4 distinct structures"
reevaluated -d 2 <"$WORK/zuker" | cmp -s - "$WORK/zuker" || fail "zuker: energies differ"

# Strict constraints: 'x' stays unpaired and '|' pairs in every structure.
printf '%s\n%s\n' "$SEQ" "xxxx|............................................>" |
  "$FOLD" -C --subopt 3 | tail -n +2 >"$WORK/constrained"
[ "$(grep -c '^\.\.\.\.[()][^ ]*) ' "$WORK/constrained")" -eq "$(wc -l <"$WORK/constrained")" ] &&
  [ "$(wc -l <"$WORK/constrained")" -gt 10 ] || fail "-C: a structure breaks the constraints"

for args in "-d 1 --subopt 1" "--subopt -1" "--subopt 1 --max 0" "--sorted" "--window 2" \
  "--subopt 1 --zuker 2" "-d3 --zuker 2" "--zuker 0" "-p --subopt 1"; do
  check_run "$args" 2 "$FOLD" $args <<<"$SEQ"
  [ "$(wc -l <"$WORK/err")" -eq 1 ] && [ ! -s "$WORK/out" ] || fail "$args: one line, no output"
done
exit $FAILED
