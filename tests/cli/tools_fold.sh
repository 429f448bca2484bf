#!/usr/bin/env bash
# Command-line tests of stemloop-fold: input forms, every option reaching the engine,
# the output formats parsed back, thread-count independence and bad input.
# Usage: tools_fold.sh BUILD_DIR
set -u
FOLD="$1/stemloop-fold"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FAILED=0

fail() {
  echo "FAIL: $*" >&2
  FAILED=1
}

# check_run NAME EXPECTED_STATUS CMD...: runs CMD, output in $WORK/out and $WORK/err.
check_run() {
  local name=$1 expected=$2
  shift 2
  "$@" >"$WORK/out" 2>"$WORK/err"
  local status=$?
  [ "$status" -eq "$expected" ] || fail "$name: exit status $status, expected $expected"
}

# Pairs of a dot-bracket structure against its sequence, one "i j XY" per line.
PAIRS='
import sys
def pairs(seq, st):
    stack, out = [], []
    for k, c in enumerate(st):
        if c == "(":
            stack.append(k)
        elif c == ")":
            i = stack.pop()
            out.append((i, k, (seq[i] + seq[k]).upper()))
    return out
'

# Sequence, structure, energy of each text record on stdin, names skipped.
records() {
  grep -v '^>' | paste - - | sed -E 's/\t/ /; s/ \( *(-?[0-9.]+)\)$/ \1/'
}

# --- Input forms ---------------------------------------------------------------------
printf '>first\nGGGGAAAAC\nCCC\n>second\nGGGAAAUCCCAGCUAGCUAG\nGCUAGCUAGCUAGCGAUCGAUCG\n' \
  >"$WORK/multi.fa"
printf 'GGGGAAAACCCC\nGGGAAAUCCCAGCUAGCUAGGCUAGCUAGCUAGCGAUCGAUCG\n' >"$WORK/bare.txt"
printf '\n\nGGGGAAAACCCC\r\n\r\nGGGAAAUCCCAGCUAGCUAGGCUAGCUAGCUAGCGAUCGAUCG\r\n' >"$WORK/crlf.txt"

check_run "bare file" 0 "$FOLD" "$WORK/bare.txt"
cp "$WORK/out" "$WORK/bare.out"
[ "$(wc -l <"$WORK/bare.out")" -eq 4 ] || fail "bare file: expected 4 lines"
grep -q '^((((....)))) ( -[0-9]\.[0-9][0-9])$' "$WORK/bare.out" ||
  fail "bare file: text format of the first record"
check_run "stdin" 0 "$FOLD" <"$WORK/bare.txt"
cmp -s "$WORK/out" "$WORK/bare.out" || fail "stdin differs from the file"
check_run "dash" 0 "$FOLD" - <"$WORK/bare.txt"
cmp -s "$WORK/out" "$WORK/bare.out" || fail "'-' differs from the file"
check_run "CR LF" 0 "$FOLD" "$WORK/crlf.txt"
cmp -s "$WORK/out" "$WORK/bare.out" || fail "CR LF input differs from LF input"
check_run "multi-line FASTA" 0 "$FOLD" "$WORK/multi.fa"
[ "$(grep -c '^>' "$WORK/out")" -eq 2 ] || fail "FASTA: two name lines expected"
head -1 "$WORK/out" | grep -qx '>first' || fail "FASTA: name line"
diff <(records <"$WORK/out") <(records <"$WORK/bare.out") >/dev/null ||
  fail "multi-line FASTA folds differently from the joined sequences"
check_run "file and stdin" 0 "$FOLD" "$WORK/multi.fa" - <"$WORK/bare.txt"
[ "$(wc -l <"$WORK/out")" -eq 10 ] || fail "two inputs: expected 10 lines"
echo gggGAAAAcccc >"$WORK/lower.txt"
echo GGGGAAAACCCC >"$WORK/upper.txt"
diff <("$FOLD" "$WORK/lower.txt" | sed -n 2p) <("$FOLD" "$WORK/upper.txt" | sed -n 2p) \
  >/dev/null || fail "lower case folds differently"
diff <(echo GGGAAATCCC | "$FOLD" | sed -n 2p) <(echo GGGAAAUCCC | "$FOLD" | sed -n 2p) \
  >/dev/null || fail "T folds differently from U"

# --- Options reaching the engine -----------------------------------------------------
GU_RICH=GGGUGUGUGAAAACACGUGUCCCAGUGUGUUGGGAAAUGUGUGU
gu_pairs() {
  records | python3 -c "$PAIRS
n = 0
for line in sys.stdin:
    seq, st, _ = line.split()
    n += sum(p in ('GU', 'UG') for _, _, p in pairs(seq, st))
print(n)"
}
[ "$(echo $GU_RICH | "$FOLD" | gu_pairs)" -gt 0 ] || fail "GU-rich input has no G-U pair"
[ "$(echo $GU_RICH | "$FOLD" --noGU | gu_pairs)" -eq 0 ] || fail "--noGU left a G-U pair"
[ "$(echo $GU_RICH | "$FOLD" --noClosingGU | records)" != \
  "$(echo $GU_RICH | "$FOLD" | records)" ] ||
  fail "--noClosingGU changes nothing"

energies() { records | awk '{print $3}'; }
E37=$(echo GGGGAAAACCCC | "$FOLD" | energies)
E20=$(echo GGGGAAAACCCC | "$FOLD" -T 20 | energies)
E60=$(echo GGGGAAAACCCC | "$FOLD" --temperature=60 | energies)
awk -v a="$E20" -v b="$E37" -v c="$E60" 'BEGIN { exit !(a < b && b < c) }' ||
  fail "-T: energies $E20 $E37 $E60 do not rise with temperature"

python3 -c "
import random
random.seed(7)
for k in range(50):
    n = random.randint(20, 160)
    s = ''.join(random.choice('ACGU') for _ in range(n))
    print('>r%d' % k)
    for i in range(0, n, 50):
        print(s[i:i + 50])
" >"$WORK/many.fa"
"$FOLD" -d 0 "$WORK/many.fa" >"$WORK/d0"
"$FOLD" -d 2 "$WORK/many.fa" >"$WORK/d2"
"$FOLD" "$WORK/many.fa" >"$WORK/d1"
cmp -s "$WORK/d0" "$WORK/d2" && fail "-d 0 and -d 2 agree on every record"
cmp -s "$WORK/d1" "$WORK/d2" && fail "-d 1 and -d 2 agree on every record"
[ "$("$FOLD" -d3 "$WORK/many.fa" | wc -l)" -eq 150 ] || fail "-d3: 150 lines expected"

"$FOLD" --noLP "$WORK/many.fa" | records | python3 -c "$PAIRS
for line in sys.stdin:
    seq, st, _ = line.split()
    ps = {(i, j) for i, j, _ in pairs(seq, st)}
    for i, j in ps:
        if (i - 1, j + 1) not in ps and (i + 1, j - 1) not in ps:
            sys.exit('isolated pair %d %d in %s' % (i + 1, j + 1, st))
" || fail "--noLP left an isolated pair"
cmp -s <("$FOLD" --noLP "$WORK/many.fa") "$WORK/d1" && fail "--noLP changes nothing"

TETRA=CCCGGGGACGGG  # closes the special hairpin GGGGAC
[ "$(echo $TETRA | "$FOLD" | energies)" != "$(echo $TETRA | "$FOLD" --noTetra | energies)" ] ||
  fail "--noTetra changes nothing"

GA_SEQ=CAGAGACCAAAGACGGGCGGGACC
ga_pairs() {
  records | python3 -c "$PAIRS
seq, st, _ = sys.stdin.read().split()
print(sum(p in ('GA', 'AG') for _, _, p in pairs(seq, st)))"
}
[ "$(echo $GA_SEQ | "$FOLD" --nsp GA,AG | ga_pairs)" -gt 0 ] || fail "--nsp GA,AG: no G-A pair"
[ "$(echo $GA_SEQ | "$FOLD" --nsp ga,ag | ga_pairs)" -gt 0 ] || fail "--nsp ga,ag: no G-A pair"
[ "$(echo $GA_SEQ | "$FOLD" | ga_pairs)" -eq 0 ] || fail "G-A pair without --nsp"

SET_SEQ=GGGGAAAACCCCGHGHGHGAAAAHGHGHG
[ "$(echo $SET_SEQ | "$FOLD" | records)" != \
  "$(echo $SET_SEQ | "$FOLD" --energy-set 1 | records)" ] ||
  fail "--energy-set 1 changes nothing"
[ "$(echo $SET_SEQ | "$FOLD" --energy-set 1 | records)" != \
  "$(echo $SET_SEQ | "$FOLD" --energy-set 2 | records)" ] || fail "--energy-set 2 = 1"

# Constraints: forced pairs appear, 'x' positions stay unpaired, FASTA sequences may span
# lines before their constraint.
printf '>c1\nGGGGAAAACCCC\nAAAGGGGAAAACCCC\n((((....))))...............\n' >"$WORK/con.fa"
printf 'GGGGAAAACCCC\nxxxx........\n' >>"$WORK/con.fa"
check_run "constraint" 0 "$FOLD" -C "$WORK/con.fa"
sed -n 3p "$WORK/out" | grep -q '^((((....))))\.\.\.' || fail "-C: forced pairs missing"
sed -n 5p "$WORK/out" | grep -q '^\.\.\.\.' || fail "-C: 'x' positions paired"
[ "$(wc -l <"$WORK/out")" -eq 5 ] || fail "-C: 5 lines expected"

# --- Output formats ------------------------------------------------------------------
printf '>tab\there "q" \\ \xc3\xa9\xff\nGGGGAAAACCCC\nGGGAAAUCCC\n' >"$WORK/names.fa"
check_run "tsv" 0 "$FOLD" --format tsv -d2 "$WORK/many.fa"
python3 - "$WORK/out" "$WORK/d2" <<'PY' || fail "tsv does not match the text output"
import sys
rows = [l.rstrip('\n').split('\t') for l in open(sys.argv[1])]
assert rows[0] == ['name', 'sequence', 'structure', 'energy'], rows[0]
text = open(sys.argv[2]).read().split('\n')
for k, row in enumerate(rows[1:]):
    assert len(row) == 4, row
    name, seq, st, energy = row
    assert text[3 * k] == '>' + name and text[3 * k + 1] == seq
    assert text[3 * k + 2] == '%s (%6.2f)' % (st, float(energy)), (text[3 * k + 2], row)
assert len(rows) == 51
PY
check_run "json" 0 "$FOLD" --format=json -d 2 -T 30 --noLP --nsp GA "$WORK/names.fa"
python3 - "$WORK/out" <<'PY' || fail "json lines"
import json, sys
lines = open(sys.argv[1], encoding='utf-8').read().splitlines()
assert len(lines) == 1, lines
r = json.loads(lines[0])
assert r['name'] == 'tab\there "q" \\ \u00e9\ufffd', r['name']
assert r['sequence'] == 'GGGGAAAACCCCGGGAAAUCCC'
assert len(r['structure']) == 22 and isinstance(r['energy'], float)
o = r['options']
assert o['dangles'] == 2 and o['temperature'] == 30 and o['noLP'] is True, o
assert o['nsp'] == 'GA' and o['noGU'] is False and o['energy_set'] == 0, o
PY
check_run "json unnamed" 0 "$FOLD" --format json "$WORK/bare.txt"
python3 -c "
import json, sys
rs = [json.loads(l) for l in open(sys.argv[1])]
assert len(rs) == 2 and all(r['name'] is None for r in rs)
assert rs[0]['structure'] == '((((....))))'
" "$WORK/out" || fail "json of unnamed records"
check_run "tsv name" 0 "$FOLD" --format tsv "$WORK/names.fa"
[ "$(sed -n 2p "$WORK/out" | awk -F'\t' '{print NF}')" -eq 4 ] || fail "tab in a tsv name"

# --- Threads -------------------------------------------------------------------------
for format in text tsv json; do
  "$FOLD" -j 1 --format $format "$WORK/many.fa" >"$WORK/j1"
  "$FOLD" -j 4 --format $format "$WORK/many.fa" >"$WORK/j4"
  "$FOLD" --jobs=3 --format $format <"$WORK/many.fa" >"$WORK/j3"
  cmp -s "$WORK/j1" "$WORK/j4" || fail "-j 1 and -j 4 differ ($format)"
  cmp -s "$WORK/j1" "$WORK/j3" || fail "-j 1 and -j 3 differ ($format)"
done

# --- Long sequences and bad records --------------------------------------------------
python3 -c "
import random
random.seed(3)
print('>long')
print(''.join(random.choice('ACGU') for _ in range(5050)))
print('>huge')
print('A' * 40000)
print('>short')
print('GGGGAAAACCCC')
" >"$WORK/long.fa"
check_run "long" 1 "$FOLD" -j 2 "$WORK/long.fa"
[ "$(sed -n 2p "$WORK/out" | tr -d '\n' | wc -c)" -eq 5050 ] || fail "5050 bases not folded"
[ "$(sed -n 3p "$WORK/out" | cut -d' ' -f1 | tr -d '\n' | wc -c)" -eq 5050 ] ||
  fail "5050 bases: structure length"
grep -qx '((((....)))) ( -[0-9.]*)' "$WORK/out" || fail "record after a huge one not folded"
TOO_LONG='sequence of 40000 bases is longer than the 32767 bases supported'
grep -qx "stemloop-fold: huge: $TOO_LONG" "$WORK/err" ||
  fail "huge record message: $(cat "$WORK/err")"

printf 'GGGGAAAACCCC\nGGGG-AAACCCC\n>named\nGGGG AAACCCC\n>ok\nGGGAAAUCCC\n>empty\n' \
  >"$WORK/bad.txt"
check_run "bad records" 1 "$FOLD" "$WORK/bad.txt"
grep -qx "stemloop-fold: record 2: position 5: '-' is not a letter" "$WORK/err" ||
  fail "bad letter message: $(cat "$WORK/err")"
grep -qx "stemloop-fold: named: position 5: ' ' is not a letter" "$WORK/err" ||
  fail "named bad record message"
grep -qx "stemloop-fold: empty: no sequence" "$WORK/err" || fail "empty record message"
[ "$(wc -l <"$WORK/err")" -eq 3 ] || fail "bad records: 3 messages expected"
[ "$(records <"$WORK/out" | wc -l)" -eq 2 ] || fail "bad records: the 2 good ones printed"

printf 'GGGGAAAACCCC\n((((....)))\nGGGGAAAACCCC\n((((....))).\nGGGGAAAACCCC\n((((..#.))))\n' \
  >"$WORK/badcon.txt"
printf 'GGGGAAAACCCC\n)(((....))).\nGGGGAAAACCCC\n............\nGGGGAAAACCCC\n' \
  >>"$WORK/badcon.txt"
check_run "bad constraints" 1 "$FOLD" --constraint "$WORK/badcon.txt"
cat >"$WORK/expected" <<'MSG'
stemloop-fold: record 1: constraint has 11 characters for a sequence of 12 bases
stemloop-fold: record 2: constraint position 1: unbalanced brackets in constraint string
stemloop-fold: record 3: constraint position 7: '#' is not one of ( ) < > x | .
stemloop-fold: record 4: constraint position 1: unbalanced brackets in constraints
stemloop-fold: record 6: missing constraint line
MSG
diff "$WORK/expected" "$WORK/err" >/dev/null || fail "constraint messages: $(cat "$WORK/err")"
[ "$(wc -l <"$WORK/out")" -eq 2 ] || fail "bad constraints: the good record printed"

# --- Bad options and files: one line, status 2, nothing on stdout ---------------------
bad_usage() {
  local name=$1 pattern=$2
  shift 2
  check_run "$name" 2 "$@" <"$WORK/bare.txt"
  [ -s "$WORK/out" ] && fail "$name: printed on stdout"
  [ "$(wc -l <"$WORK/err")" -eq 1 ] || fail "$name: $(wc -l <"$WORK/err") lines on stderr"
  grep -q -- "$pattern" "$WORK/err" || fail "$name: message $(cat "$WORK/err")"
}
bad_usage "unknown option" "unknown option --frobnicate" "$FOLD" --frobnicate
bad_usage "unknown short" "unknown option -q" "$FOLD" -q
bad_usage "-d 7" "invalid value '7' for -d/--dangles" "$FOLD" -d 7
bad_usage "-T abc" "invalid value 'abc' for -T/--temperature" "$FOLD" -T abc
bad_usage "-T 5x" "invalid value '5x'" "$FOLD" -T 5x
bad_usage "-j 0" "invalid value '0' for -j/--jobs" "$FOLD" -j 0
bad_usage "-j x" "invalid value 'x' for -j/--jobs" "$FOLD" --jobs x
bad_usage "--format" "invalid value 'xml' for --format" "$FOLD" --format xml
bad_usage "--energy-set" "invalid value '3' for --energy-set" "$FOLD" --energy-set 3
bad_usage "--nsp" "invalid value 'GAA' for --nsp" "$FOLD" --nsp GAA
bad_usage "missing value" "needs a value" "$FOLD" -d
bad_usage "eval option" "unknown option --logML" "$FOLD" --logML
bad_usage "missing file" "cannot read '$WORK/none.fa'" "$FOLD" "$WORK/bare.txt" "$WORK/none.fa"
bad_usage "directory" "cannot read '$WORK'" "$FOLD" "$WORK"

check_run "help" 0 "$FOLD" --help
grep -q 'default 37' "$WORK/out" && grep -q 'dangling-end mode (default 1)' "$WORK/out" &&
  grep -q '32767' "$WORK/out" || fail "--help: defaults or limit missing"
check_run "version" 0 "$FOLD" --version
grep -q '^stemloop-fold [0-9]' "$WORK/out" || fail "--version"

exit $FAILED
