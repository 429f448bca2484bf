#!/usr/bin/env bash
# Command-line tests of stemloop-fold: input forms, every option reaching the engine,
# the output formats parsed back, thread-count independence and bad input.
# Usage: tools_fold.sh BUILD_DIR
source "$(dirname "$0")/common.bash"
FOLD="$1/stemloop-fold"
# Sequence, structure, energy of each text record on stdin, names skipped.
records() { grep -v '^>' | paste - - | sed -E 's/\t/ /; s/ \( *(-?[0-9.]+)\)$/ \1/'; }
# fold_of SEQ OPTIONS...: the "sequence structure energy" line of one folded sequence.
fold_of() { local seq=$1; shift; echo "$seq" | "$FOLD" "$@" | records; }
# --- Input forms ---------------------------------------------------------------------
printf '>first\nGGGGAAAAC\nCCC\n>second\nGGGAAAUCCCAGCUAGCUAG\nGCUAGCUAGCUAGCGAUCGAUCG\n' \
  >"$WORK/multi.fa"
printf 'GGGGAAAACCCC\nGGGAAAUCCCAGCUAGCUAGGCUAGCUAGCUAGCGAUCGAUCG\n' >"$WORK/bare.txt"
printf '\n\nGGGGAAAACCCC\r\n\r\nGGGAAAUCCCAGCUAGCUAGGCUAGCUAGCUAGCGAUCGAUCG\r\n' >"$WORK/crlf.txt"
"$FOLD" "$WORK/bare.txt" >"$WORK/bare.out"
[ "$(wc -l <"$WORK/bare.out")" -eq 4 ] && grep -q '^((((....)))) ( -[0-9]\.[0-9][0-9])$' \
  "$WORK/bare.out" || fail "bare file: text format"
for form in "<$WORK/bare.txt" "- <$WORK/bare.txt" "$WORK/crlf.txt"; do
  eval "\"\$FOLD\" $form" | cmp -s - "$WORK/bare.out" || fail "input $form differs from the file"
done
check_run "multi-line FASTA" 0 "$FOLD" "$WORK/multi.fa" - <"$WORK/bare.txt"
[ "$(grep -c '^>' "$WORK/out")" -eq 2 ] && head -1 "$WORK/out" | grep -qx '>first' ||
  fail "FASTA: name lines"
diff <(head -6 "$WORK/out" | records) <(records <"$WORK/bare.out") >/dev/null ||
  fail "multi-line FASTA folds differently from the joined sequences"
[ "$(wc -l <"$WORK/out")" -eq 10 ] || fail "a file and stdin: expected 10 lines"
for pair in gggGAAAAcccc:GGGGAAAACCCC GGGAAATCCC:GGGAAAUCCC; do
  [ "$(fold_of ${pair%:*} | cut -d' ' -f2-)" = "$(fold_of ${pair#*:} | cut -d' ' -f2-)" ] ||
    fail "$pair fold differently"
done

# --- Options reaching the engine: each line "sequence|options|other options" must fold
# differently (an empty field is the default) ------------------------------------------
GU_RICH=GGGUGUGUGAAAACACGUGUCCCAGUGUGUUGGGAAAUGUGUGU
SET_SEQ=GGGGAAAACCCCGHGHGHGAAAAHGHGHG
GA_SEQ=CAGAGACCAAAGACGGGCGGGACC
while IFS='|' read -r seq a b; do
  [ "$(fold_of $seq $a)" != "$(fold_of $seq $b)" ] || fail "$seq: '$a' and '$b' agree"
done <<TABLE
$GU_RICH||--noClosingGU
$GU_RICH||--noGU
$GA_SEQ||--nsp GA,AG
CCCGGGGACGGG||--noTetra
$SET_SEQ||--energy-set 1
$SET_SEQ|--energy-set 1|--energy-set 2
GGGGAAAACCCC||-T 20
GGGGAAAACCCC||--temperature=60
TABLE
for nsp in "--nsp ga,ag" "--nsp GA --nsp=AG"; do
  [ "$(fold_of $GA_SEQ $nsp)" = "$(fold_of $GA_SEQ --nsp GA,AG)" ] || fail "$nsp"
done

random_fasta 7 50 20 160 50 >"$WORK/many.fa"
for opts in "-d 0" "-d 1" "-d 2" "-d3" "" "--noLP"; do
  "$FOLD" $opts "$WORK/many.fa" >"$WORK/o${opts// /}"
  [ "$(wc -l <"$WORK/o${opts// /}")" -eq 150 ] || fail "'$opts': 150 lines expected"
done
for pair in o-d0:o o-d1:o o:o-d3 o:o--noLP; do
  cmp -s "$WORK/${pair%:*}" "$WORK/${pair#*:}" && fail "$pair: the options agree on every record"
done
cmp -s "$WORK/o" "$WORK/o-d2" || fail "the default dangle mode is not 2"

# Constraints: forced pairs appear, 'x' positions stay unpaired, FASTA sequences may span
# lines before their constraint.
printf '>c1\nGGGGAAAACCCC\nAAAGGGGAAAACCCC\n((((....))))...............\nGGGGAAAACCCC\nxxxx........\n' \
  >"$WORK/con.fa"
check_run "constraint" 0 "$FOLD" -C "$WORK/con.fa"
sed -n 3p "$WORK/out" | grep -q '^((((....))))\.\.\.' || fail "-C: forced pairs missing"
sed -n 5p "$WORK/out" | grep -q '^\.\.\.\.' || fail "-C: 'x' positions paired"
[ "$(wc -l <"$WORK/out")" -eq 5 ] || fail "-C: 5 lines expected"

# --- Output formats, and byte-identical output for every thread count -----------------
printf '>tab\there "q" \\ \xc3\xa9\xff\nGGGGAAAACCCC\nGGGAAAUCCC\n' >"$WORK/names.fa"
"$FOLD" --format tsv -d2 "$WORK/many.fa" >"$WORK/tsv"
"$FOLD" --format tsv "$WORK/names.fa" >"$WORK/tsv.name"
"$FOLD" --format=json -d 2 -T 30 --noLP --nsp GA "$WORK/names.fa" "$WORK/bare.txt" >"$WORK/json"
python3 - "$WORK" <<'PY' || fail "tsv or json lines"
import json, sys
w = sys.argv[1]
rows = [l.rstrip('\n').split('\t') for l in open(w + '/tsv')]
assert rows[0] == ['name', 'sequence', 'structure', 'energy'] and len(rows) == 51, rows[0]
text = open(w + '/o-d2').read().split('\n')
for k, (name, seq, st, energy) in enumerate(rows[1:]):  # the text output, field by field
    assert text[3 * k:3 * k + 3] == ['>' + name, seq, '%s (%6.2f)' % (st, float(energy))], k
row = open(w + '/tsv.name', 'rb').readlines()[1]
assert row.startswith(b'tab here "q" \\ \xc3\xa9\xef\xbf\xbd\t') and len(row.split(b'\t')) == 4
rs = [json.loads(l) for l in open(w + '/json', encoding='utf-8')]
assert len(rs) == 3 and rs[0]['name'] == 'tab\there "q" \\ \u00e9\ufffd', rs
assert rs[0]['sequence'] == 'GGGGAAAACCCCGGGAAAUCCC' and len(rs[0]['structure']) == 22
o = rs[0]['options']
assert isinstance(rs[0]['energy'], float) and o['noLP'] is True and o['nsp'] == 'GA', o
assert o['dangles'] == 2 and o['temperature'] == 30 and o['noGU'] is False and o['energy_set'] == 0
assert rs[1]['name'] is None and rs[2]['name'] is None and rs[1]['structure'] == '((((....))))'
PY
for format in text tsv json; do
  "$FOLD" -j 1 --format $format "$WORK/many.fa" >"$WORK/j1"
  "$FOLD" -j 4 --format $format "$WORK/many.fa" | cmp -s - "$WORK/j1" || fail "-j 4 ($format)"
  "$FOLD" --jobs=3 --format $format <"$WORK/many.fa" | cmp -s - "$WORK/j1" || fail "-j 3 $format"
done

# --- Long sequences and bad records: named by name or number, the others still fold ---
random_fasta 3 1 5050 5050 5050 >"$WORK/long.fa"
A=$(head -c 20000 /dev/zero | tr '\0' A)
printf '>huge\n%s\n%s\n>short\nGGGGAAAACCCC\n' "$A" "$A" >>"$WORK/long.fa"
check_run "long" 1 "$FOLD" -j 2 "$WORK/long.fa"
[ "$(sed -n 3p "$WORK/out" | cut -d' ' -f1 | tr -d '\n' | wc -c)" -eq 5050 ] ||
  fail "5050 bases: structure length"
grep -qx '((((....)))) ( -[0-9.]*)' "$WORK/out" || fail "record after a huge one not folded"
[ "$(cat "$WORK/err")" = "stemloop-fold: huge: sequence of 40000 bases is longer than the\
 32767 bases supported" ] || fail "huge record message: $(cat "$WORK/err")"

printf 'GGGGAAAACCCC\nGGGG-AAACCCC\n>named\nGGGG AAACCCC\n>ok\nGGGAAAUCCC\n>empty\n' \
  >"$WORK/bad.txt"
check_run "bad records" 1 "$FOLD" "$WORK/bad.txt"
expect_err "bad records" <<'MSG'
stemloop-fold: record 2: position 5: '-' is not a letter
stemloop-fold: empty: no sequence
MSG
[ "$(records <"$WORK/out" | wc -l)" -eq 3 ] || fail "bad records: the 3 good ones printed"

# A sequence line where a constraint is due starts the next record.
input badcon.txt GGGGAAAACCCC '((((....)))' GGGGAAAACCCC '((((....))).' GGGGAAAACCCC \
  '((((..#.))))' GGGGAAAACCCC ')(((....))).' GGGG AAAACCCC xxxx.... GGGGAAAACCCC
check_run "bad constraints" 1 "$FOLD" --constraint "$WORK/badcon.txt"
expect_err "bad constraints" <<'MSG'
stemloop-fold: record 1: constraint has 11 characters for a sequence of 12 bases
stemloop-fold: record 2: constraint position 1: unbalanced brackets in constraint string
stemloop-fold: record 3: constraint position 7: '#' is not one of ( ) < > x | .
stemloop-fold: record 4: constraint position 1: unbalanced brackets in constraints
stemloop-fold: record 5: missing constraint line
stemloop-fold: record 7: missing constraint line
MSG
[ "$(sed -n 1p "$WORK/out")" = AAAACCCC ] || fail "bad constraints: the good record printed"

# --- --workspace-bytes: the figure a record is checked against before its fold ---------
plain=$("$FOLD" --workspace-bytes 5000)
ensemble=$("$FOLD" -p --workspace-bytes 5000)
[[ $plain =~ ^[0-9]+$ && $plain -gt 5000*5000*5 && $ensemble -gt 6*$plain ]] ||
  fail "--workspace-bytes 5000: $plain, with -p $ensemble"
need=$("$FOLD" -p -j1 --workspace-bytes 32767)
memory=$(($(getconf _PHYS_PAGES) * $(getconf PAGE_SIZE)))
if [ "$need" -gt "$memory" ]; then  # refused before any table is made
  random_fasta 5 1 32767 32767 32767 >"$WORK/max.fa"
  check_run "-p of 32767 bases" 1 "$FOLD" -p -j1 "$WORK/max.fa"
  expect_err "-p of 32767 bases" <<MSG
stemloop-fold: r0: folding 32767 bases needs $((need >> 20)) MiB of workspace, more than the \
$((memory >> 20)) MiB of memory
MSG
fi

# --- Bad options and files: one line, status 2, nothing on stdout ---------------------
usage_errors "$FOLD" <<TABLE
unknown option --frobnicate|--frobnicate
unknown option -q|-q
unknown option --logML|--logML
unknown option --verbose|--verbose
invalid value '7' for -d/--dangles|-d 7
invalid value 'abc' for -T/--temperature|-T abc
invalid value '5x'|-T 5x
invalid value 'inf'|-T inf
'1e9' for -T/--temperature: temperature must be from -50 to 150 degrees Celsius|-T 1e9
temperature must be from -50|-T 1e12
temperature must be from -50|-T -50.01
invalid value '0' for -j/--jobs|-j 0
invalid value '-1' for -j/--jobs|-j -1
invalid value 'x' for -j/--jobs|--jobs x
invalid value 'xml' for --format|--format xml
invalid value '3' for --energy-set|--energy-set 3
invalid value '-1' for --energy-set|--energy-set -1
invalid value 'GAA' for --nsp|--nsp GAA
invalid value 'GA,' for --nsp|--nsp GA,
invalid value 'G1' for --nsp|--nsp G1
invalid value '0' for --workspace-bytes (expected 1 to 32767)|--workspace-bytes 0
invalid value '32768' for --workspace-bytes|--workspace-bytes 32768
needs a value|-d
needs a value|--dangles
option --svg needs a value|--svg
cannot read '$WORK/none.fa'|"$WORK/bare.txt" "$WORK/none.fa"
cannot read '$WORK'|"$WORK"
TABLE

for t in -50 150; do
  echo GGGGAAAACCCC | "$FOLD" -T $t >/dev/null || fail "-T $t refused"
done

help_and_version "$FOLD" 'default 37' 'dangling-end mode (default 2)' 'from -50 to 150' 32767 \
  --workspace-bytes

exit $FAILED
