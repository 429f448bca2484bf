#!/usr/bin/env bash
# Command-line tests of stemloop-eval: the fold | eval round trip, the loop breakdown,
# pair warnings, options, output formats, input forms and bad input.
# Usage: tools_eval.sh BUILD_DIR
source "$(dirname "$0")/common.bash"
FOLD="$1/stemloop-fold"
EVAL="$1/stemloop-eval"
# input NAME LINES...: writes the lines to $WORK/NAME.
input() { local f="$WORK/$1"; shift; printf '%s\n' "$@" >"$f"; }

python3 -c "
import random
random.seed(11)
for k in range(50):
    n = random.randint(20, 200)
    print('>r%d' % k)
    print(''.join(random.choice('ACGU') for _ in range(n)))
" >"$WORK/many.fa"

# --- Round trip: the folded energy is the evaluated one in dangle modes 0 and 2 ------
for d in 0 2; do
  "$FOLD" -d $d --noLP "$WORK/many.fa" >"$WORK/folded"
  check_run "round trip -d $d" 0 "$EVAL" -d $d "$WORK/folded"
  cmp -s "$WORK/folded" "$WORK/out" || fail "fold | eval disagree in -d $d"
  "$FOLD" -d $d -T 25 --format text "$WORK/many.fa" | "$EVAL" -d $d -T 25 >"$WORK/piped"
  "$FOLD" -d $d -T 25 "$WORK/many.fa" | cmp -s - "$WORK/piped" || fail "pipe at 25 C, -d $d"
done
"$FOLD" -d 2 "$WORK/many.fa" >"$WORK/folded"
"$EVAL" -d 0 "$WORK/folded" | cmp -s - "$WORK/folded" && fail "-d 0 and -d 2 evaluate alike"
cmp -s <("$EVAL" -j 1 --format json "$WORK/folded") <("$EVAL" -j 4 --format json "$WORK/folded") ||
  fail "-j 1 and -j 4 differ"

# --- Verbose: the loops sum to the total, one breakdown per record, in every format ---
"$EVAL" -d 2 -v "$WORK/folded" >"$WORK/v.text"
"$EVAL" -d 2 --verbose --format json "$WORK/folded" >"$WORK/v.json"
"$EVAL" -v --format tsv "$WORK/folded" >"$WORK/v.tsv"
python3 - "$WORK" <<'PY' || fail "verbose loops do not sum to the totals"
import json, re, sys
work = sys.argv[1]
totals = []
for line in open(work + '/v.text').read().splitlines():
    if line.startswith('  '):
        kind = line.split()[0]
        assert kind in ('exterior', 'hairpin', 'stack', 'bulge', 'interior', 'multiloop')
        totals[-1][1].append(float(line.split()[-1]))
    elif re.search(r'\( *-?[0-9.]+\)$', line):
        totals.append((float(line.split('(')[-1].rstrip(')')), []))
for line in open(work + '/v.json'):
    r = json.loads(line)
    assert r['loops'][0]['kind'] == 'exterior'
    stacks = [l for l in r['loops'] if l['kind'] == 'stack']
    assert all(l['p'] == l['i'] + 1 and l['q'] == l['j'] - 1 for l in stacks)
    totals.append((r['energy'], [l['energy'] for l in r['loops']]))
rows = [l.rstrip('\n').split('\t') for l in open(work + '/v.tsv')]
assert rows[0] == ['name', 'sequence', 'structure', 'energy', 'loops']
for row in rows[1:]:
    totals.append((float(row[3]), [float(i.split(':')[-1]) for i in row[4].split(';')]))
assert len(totals) == 150, len(totals)
for total, loops in totals:
    assert abs(sum(loops) - total) < 1e-6, (total, loops)
PY

# --- Options reaching the engine and pair warnings -----------------------------------
input gu.txt '>gu' GGGUAAAAGCCC '((((....))))'
input ga.txt GGGAAAACCC '(((....)))' GAGAAAACCC '(((....)))'
input nsp.txt GGAGAAAACCCC '((((....))))'
input hp.txt GGGGAAAACCCC '((((....))))'
input set.txt GAAAAC '(....)'
# Each line: options | input | expected stderr ('' for none).
while IFS='|' read -r opts file err; do
  check_run "$opts $file" 0 "$EVAL" $opts "$WORK/$file"
  [ "$(cat "$WORK/err")" = "$err" ] || fail "$opts $file: stderr '$(cat "$WORK/err")'"
  [ "$(wc -l <"$WORK/out")" -eq "$(wc -l <"$WORK/$file")" ] || fail "$opts $file: output"
done <<'TABLE'
|gu.txt|
--noGU|gu.txt|gu: WARNING: bases 4 and 9 (UG) can't pair!
|ga.txt|record 2: WARNING: bases 2 and 9 (AC) can't pair!
|nsp.txt|record 1: WARNING: bases 3 and 10 (AC) can't pair!
--nsp AC,CA|nsp.txt|
--energy-set 1|set.txt|record 1: WARNING: bases 1 and 6 (GC) can't pair!
TABLE

input tetra.txt CCCGGGGACGGG '((((....))))'
input ml.txt GGGGAAAAAAGGGAAACCCAAAAAAGGGAAACCCAAAAAACCCC \
  '((((......(((...)))......(((...)))......))))'
for case in "-T 50:hp.txt" "--noTetra:tetra.txt" "--logML:ml.txt"; do
  [ "$("$EVAL" ${case%:*} "$WORK/${case#*:}")" != "$("$EVAL" "$WORK/${case#*:}")" ] ||
    fail "${case%:*} changes nothing"
done
for d in 1 3; do check_run "-d $d" 0 "$EVAL" -d $d "$WORK/ml.txt"; done

check_run "json options" 0 "$EVAL" --format json -d 0 --logML -T 42.5 "$WORK/ga.txt"
python3 - "$WORK/out" <<'PY' || fail "json lines"
import json, sys
rs = [json.loads(l) for l in open(sys.argv[1])]
assert len(rs) == 2 and rs[0]['name'] is None and rs[0]['structure'] == '(((....)))'
o = rs[0]['options']
assert o['logML'] is True and o['dangles'] == 0 and o['temperature'] == 42.5, o
PY

# --- Input forms ---------------------------------------------------------------------
input plain.txt GGGGAAAACCCC '((((....))))' GGGAAAUCCC '(((....)))'
printf '\r\nGGGGAAAACCCC\r\n((((....)))) ( -9.99)\r\n\r\nGGGAAAUCCC\r\n(((....)))\r\n' \
  >"$WORK/crlf.txt"
"$EVAL" "$WORK/plain.txt" >"$WORK/plain.out"
grep -qx '((((....)))) ( -[0-9.]*)' "$WORK/plain.out" || fail "text format"
"$EVAL" "$WORK/crlf.txt" | cmp -s - "$WORK/plain.out" || fail "CR LF input evaluated differently"
"$EVAL" <"$WORK/plain.txt" | cmp -s - "$WORK/plain.out" || fail "stdin"
check_run "dash" 0 "$EVAL" -j 1 - "$WORK/plain.txt" <"$WORK/plain.txt"
[ "$(wc -l <"$WORK/out")" -eq 8 ] || fail "'-' and a file"

# --- Bad records ---------------------------------------------------------------------
input bad.txt '>short' GGGGAAAACCCC '((((....)))' '>open' GGGGAAAACCCC '(((((....)))' \
  GGGGAAAACCCC '((((....))))' '>close' GGGGAAAACCCC '((((....))))).' '>chars' GGGGAAAACCCC \
  '((((..[.))))' '>junk' GGGGAAAACCCC '((((....)))) energy' GGGG1AAACCCC '((((....))))' \
  GGGGAAAACCCC '>nothing' '>last' GGGAAAUCCC '(((....))) ( -1.00)' GGGG GGGAAAUCCC '(((....)))'
check_run "bad records" 1 "$EVAL" "$WORK/bad.txt"
cat >"$WORK/expected" <<'MSG'
stemloop-eval: short: structure has 11 characters for a sequence of 12 bases
stemloop-eval: open: structure position 13: unbalanced brackets in structure
stemloop-eval: close: structure has 14 characters for a sequence of 12 bases
stemloop-eval: chars: structure position 7: '[' is not one of ( ) .
stemloop-eval: junk: text after the structure is not an energy in parentheses
stemloop-eval: record 7: position 5: '1' is not a letter
stemloop-eval: record 8: missing structure line
stemloop-eval: nothing: no sequence
stemloop-eval: record 11: missing structure line
MSG
diff "$WORK/expected" "$WORK/err" >/dev/null || fail "bad record messages: $(cat "$WORK/err")"
[ "$(grep -c '^[(.]' "$WORK/out")" -eq 3 ] || fail "bad records: the 3 good ones printed"
grep -qx '>last' "$WORK/out" || fail "record after bad ones not printed"

# --- Bad options: one line, status 2, nothing on stdout ------------------------------
usage_errors "$EVAL" <<TABLE
unknown option --bogus|--bogus
unknown option -C|-C
invalid value '7' for -d/--dangles|-d 7
invalid value 'abc' for -T/--temperature|-T abc
invalid value '0' for -j/--jobs|-j 0
invalid value 'csv' for --format|--format csv
cannot read '$WORK/nope'|$WORK/nope
TABLE
for help in --help -h; do
  check_run "$help" 0 "$EVAL" $help
  grep -q -- '--logML' "$WORK/out" && grep -q 'default 37' "$WORK/out" || fail "$help"
done
check_run "version" 0 "$EVAL" --version
grep -q '^stemloop-eval [0-9]' "$WORK/out" || fail "--version"

exit $FAILED
