#!/usr/bin/env bash
# Command-line tests of stemloop-eval: the fold | eval round trip, the loop breakdown,
# pair warnings, options, output formats, input forms and bad input.
# Usage: tools_eval.sh BUILD_DIR
source "$(dirname "$0")/common.bash"
FOLD="$1/stemloop-fold"
EVAL="$1/stemloop-eval"

# --- Round trip: the folded energy is the evaluated one in dangle modes 0 and 2 ------
random_fasta 11 50 20 200 1000 >"$WORK/many.fa"
for d in 0 2; do
  "$FOLD" -d $d -T 25 --noLP --format text "$WORK/many.fa" >"$WORK/folded"
  check_run "round trip -d $d" 0 "$EVAL" -d $d -T 25 "$WORK/folded"
  cmp -s "$WORK/folded" "$WORK/out" || fail "fold | eval disagree in -d $d"
done
"$EVAL" -d 0 -T 25 "$WORK/folded" | cmp -s - "$WORK/folded" && fail "-d 0 and -d 2 evaluate alike"
cmp -s <("$EVAL" -j 1 --format json "$WORK/folded") <("$EVAL" -j 4 --format json "$WORK/folded") ||
  fail "-j 1 and -j 4 differ"

# --- Every structure the fold writes is evaluated: -p gives the MFE, MEA and centroid
# structures and the samples of each record, --subopt its list, in every format -------
head -6 "$WORK/many.fa" >"$WORK/three.fa"
"$FOLD" -p --sample 2 "$WORK/three.fa" | grep '^[(.]' | cut -d' ' -f1 >"$WORK/p.structures"
[ "$(wc -l <"$WORK/p.structures")" -eq 15 ] || fail "-p: 5 structures per record expected"
SEQ=GGGGAAAACCCCAUAUAGGGAAACCC
"$FOLD" --subopt 3 <<<"$SEQ" | tail -n +2 >"$WORK/band"
for format in text tsv json; do
  "$FOLD" -p --sample 2 --format $format "$WORK/three.fa" | "$EVAL" --format tsv | tail -n +2 |
    cut -f3 | cmp -s - "$WORK/p.structures" || fail "-p --format $format: not every structure"
  "$FOLD" --subopt 3 --format $format <<<"$SEQ" | "$EVAL" | grep -v '^[ACGU]' |
    cmp -s - "$WORK/band" || fail "--subopt --format $format read back"
done

# --- Verbose: the loops sum to the total, one breakdown per record, in every format ---
"$EVAL" -d 2 -v "$WORK/folded" >"$WORK/v.text"
"$EVAL" -d 0 --logML -T 42.5 --verbose --format json "$WORK/folded" >"$WORK/v.json"
"$EVAL" -v --format tsv "$WORK/folded" >"$WORK/v.tsv"
python3 - "$WORK" <<'PY' || fail "verbose loops do not sum to the totals"
import json, re, sys
work = sys.argv[1]
totals = []
for line in open(work + '/v.text').read().splitlines():
    if line.startswith('  '):
        assert line.split()[0] in ('exterior', 'hairpin', 'stack', 'bulge', 'interior', 'multiloop')
        totals[-1][1].append(float(line.split()[-1]))
    elif re.search(r'\( *-?[0-9.]+\)$', line):
        totals.append((float(line.split('(')[-1].rstrip(')')), []))
for r in map(json.loads, open(work + '/v.json')):
    o = r['options']
    assert o['logML'] is True and o['dangles'] == 0 and o['temperature'] == 42.5, o
    assert r['loops'][0]['kind'] == 'exterior' and r['name'].startswith('r')
    assert all(l['p'] == l['i'] + 1 and l['q'] == l['j'] - 1
               for l in r['loops'] if l['kind'] == 'stack')
    totals.append((r['energy'], [l['energy'] for l in r['loops']]))
rows = [l.rstrip('\n').split('\t') for l in open(work + '/v.tsv')]
assert rows[0] == ['name', 'sequence', 'structure', 'energy', 'loops']
totals += [(float(r[3]), [float(i.split(':')[-1]) for i in r[4].split(';')]) for r in rows[1:]]
assert len(totals) == 150, len(totals)
assert all(abs(sum(loops) - total) < 1e-6 for total, loops in totals)
PY

# --- Options reaching the engine and pair warnings -----------------------------------
input gu.txt '>gu' GGGUAAAAGCCC '((((....))))'
input ga.txt GGGAAAACCC '(((....)))' GAGAAAACCC '(((....)))'
input nsp.txt GGAGAAAACCCC '((((....))))'
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

input hp.txt GGGGAAAACCCC '((((....))))'
input tetra.txt CCCGGGGACGGG '((((....))))'
input ml.txt GGGGAAAAAAGGGAAACCCAAAAAAGGGAAACCCAAAAAACCCC \
  '((((......(((...)))......(((...)))......))))'
input coax.txt GAGGGAAACCCGGGAAACCCAAC '(.(((...)))(((...)))..)'
for case in "-T 50:hp.txt" "--noTetra:tetra.txt" "--logML:ml.txt" "-d 3:coax.txt"; do
  [ "$("$EVAL" ${case%:*} "$WORK/${case#*:}")" != "$("$EVAL" "$WORK/${case#*:}")" ] ||
    fail "${case%:*} changes nothing"
done

"$EVAL" --format json "$WORK/ga.txt" 2>/dev/null | grep -c '"name":null,"sequence":"G[AG]GAAAACCC","structure":"(((....)))"' |
  grep -qx 2 || fail "json without names"

# --- Input forms ---------------------------------------------------------------------
input plain.txt GGGGAAAACCCC '((((....))))' GGGAAAUCCC '(((....)))'
printf '\r\nGGGGAAAACCCC\r\n((((....)))) ( -9.99)\r\n\r\nGGGAAAUCCC\r\n(((....)))\r\n' \
  >"$WORK/crlf.txt"
"$EVAL" "$WORK/plain.txt" >"$WORK/plain.out"
grep -qx '((((....)))) ( -[0-9.]*)' "$WORK/plain.out" || fail "text format"
"$EVAL" "$WORK/crlf.txt" | cmp -s - "$WORK/plain.out" || fail "CR LF input evaluated differently"
"$EVAL" <"$WORK/plain.txt" | cmp -s - "$WORK/plain.out" || fail "stdin"

# --- Bad records ---------------------------------------------------------------------
input bad.txt '>short' GGGGAAAACCCC '((((....)))' '>open' GGGGAAAACCCC '(((((....)))' \
  GGGGAAAACCCC '((((....))))' '>close' GGGGAAAACCCC '((((....))))).' '>chars' GGGGAAAACCCC \
  '((((..[.))))' '>junk' GGGGAAAACCCC '((((....)))) energy' GGGG1AAACCCC '((((....))))' \
  GGGGAAAACCCC '>nothing' '>last' GGGAAAUCCC '(((....))) ( -1.00)' GGGG GGGAAAUCCC '(((....)))'
check_run "bad records" 1 "$EVAL" "$WORK/bad.txt"
expect_err "bad records" <<'MSG'
stemloop-eval: short: structure has 11 characters for a sequence of 12 bases
stemloop-eval: open: structure position 13: unbalanced brackets in structure
stemloop-eval: close: structure has 14 characters for a sequence of 12 bases
stemloop-eval: chars: structure position 7: '[' marks a pseudoknot; --strip-pseudoknots drops such pairs
stemloop-eval: junk: text after the structure is not an energy in parentheses
stemloop-eval: record 7: position 5: '1' is not a letter
stemloop-eval: record 8: missing structure line
stemloop-eval: nothing: no sequence
stemloop-eval: record 11: missing structure line
MSG
[ "$(grep -c '^[(.]' "$WORK/out")" -eq 3 ] || fail "bad records: the 3 good ones printed"
grep -qx '>last' "$WORK/out" || fail "record after bad ones not printed"

# --- Bad options: one line, status 2, nothing on stdout ------------------------------
usage_errors "$EVAL" <<TABLE
unknown option --bogus|--bogus
unknown option -C|-C
invalid value '7' for -d/--dangles|-d 7
invalid value 'abc' for -T/--temperature|-T abc
temperature must be from -50 to 150 degrees Celsius|-T 151
invalid value '0' for -j/--jobs|-j 0
invalid value 'csv' for --format|--format csv
cannot read '$WORK/nope'|$WORK/nope
TABLE
help_and_version "$EVAL" --logML 'default 37' 'dangling-end mode (default 2)'

exit $FAILED
