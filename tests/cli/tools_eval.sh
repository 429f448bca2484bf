#!/usr/bin/env bash
# Command-line tests of stemloop-eval: the fold | eval round trip, the loop breakdown,
# pair warnings, options, output formats, input forms and bad input.
# Usage: tools_eval.sh BUILD_DIR
set -u
FOLD="$1/stemloop-fold"
EVAL="$1/stemloop-eval"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FAILED=0

fail() {
  echo "FAIL: $*" >&2
  FAILED=1
}

check_run() {
  local name=$1 expected=$2
  shift 2
  "$@" >"$WORK/out" 2>"$WORK/err"
  local status=$?
  [ "$status" -eq "$expected" ] || fail "$name: exit status $status, expected $expected"
}

energy_of() { sed -n "$1p" "$WORK/out" | sed -E 's/.*\( *(-?[0-9.]+)\)$/\1/'; }

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
"$FOLD" -d 2 "$WORK/many.fa" | "$EVAL" -d 0 | cmp -s - <("$FOLD" -d 2 "$WORK/many.fa") &&
  fail "-d 0 and -d 2 evaluate alike"

# --- Verbose: the loops sum to the total, one breakdown per record --------------------
"$FOLD" -d 2 "$WORK/many.fa" >"$WORK/folded"
check_run "verbose" 0 "$EVAL" -d 2 -v "$WORK/folded"
python3 - "$WORK/out" <<'PY' || fail "verbose loops do not sum to the totals"
import re, sys
records, total, loops = 0, None, []
def close():
    if total is not None:
        assert abs(sum(loops) - total) < 1e-6, (total, loops)
for line in open(sys.argv[1]).read().splitlines():
    if line.startswith('  '):
        kind = line.split()[0]
        assert kind in ('exterior', 'hairpin', 'stack', 'bulge', 'interior', 'multiloop')
        loops.append(float(line.split()[-1]))
    elif re.search(r'\( *-?[0-9.]+\)$', line):
        close()
        records += 1
        total, loops = float(line.split('(')[-1].rstrip(')')), []
close()
assert records == 50, records
PY
check_run "verbose json" 0 "$EVAL" -d 2 --verbose --format json "$WORK/folded"
python3 - "$WORK/out" <<'PY' || fail "verbose json"
import json, sys
for line in open(sys.argv[1]):
    r = json.loads(line)
    assert r['loops'][0]['kind'] == 'exterior'
    assert abs(sum(l['energy'] for l in r['loops']) - r['energy']) < 1e-6
    stacks = [l for l in r['loops'] if l['kind'] == 'stack']
    assert all(l['p'] == l['i'] + 1 and l['q'] == l['j'] - 1 for l in stacks)
PY
check_run "verbose tsv" 0 "$EVAL" -v --format tsv "$WORK/folded"
python3 - "$WORK/out" <<'PY' || fail "verbose tsv"
import sys
rows = [l.rstrip('\n').split('\t') for l in open(sys.argv[1])]
assert rows[0] == ['name', 'sequence', 'structure', 'energy', 'loops']
for row in rows[1:]:
    assert len(row) == 5
    total = sum(float(item.split(':')[-1]) for item in row[4].split(';'))
    assert abs(total - float(row[3])) < 1e-6, row
PY

# --- Options reaching the engine -----------------------------------------------------
printf '>gu\nGGGUAAAAGCCC\n((((....))))\n' >"$WORK/gu.txt"
check_run "G-U allowed" 0 "$EVAL" "$WORK/gu.txt"
[ -s "$WORK/err" ] && fail "G-U pair warned about by default"
check_run "--noGU" 0 "$EVAL" --noGU "$WORK/gu.txt"
grep -qx "gu: WARNING: bases 4 and 9 (UG) can't pair!" "$WORK/err" || fail "--noGU: no warning"

printf 'GGGAAAACCC\n(((....)))\nGAGAAAACCC\n(((....)))\n' >"$WORK/ga.txt"
check_run "non-pairing bases" 0 "$EVAL" "$WORK/ga.txt"
[ "$(cat "$WORK/err")" = "record 2: WARNING: bases 2 and 9 (AC) can't pair!" ] ||
  fail "warning message: $(cat "$WORK/err")"
[ "$(wc -l <"$WORK/out")" -eq 4 ] || fail "records with warnings are still printed"
printf 'GGAGAAAACCCC\n((((....))))\n' >"$WORK/nsp.txt"
check_run "without --nsp" 0 "$EVAL" "$WORK/nsp.txt"
grep -q "(AC) can't pair" "$WORK/err" || fail "A-C pair accepted without --nsp"
check_run "--nsp" 0 "$EVAL" --nsp AC,CA "$WORK/nsp.txt"
[ -s "$WORK/err" ] && fail "--nsp AC,CA: still warned"

printf 'GGGGAAAACCCC\n((((....))))\n' >"$WORK/hp.txt"
E37=$("$EVAL" "$WORK/hp.txt" | tail -1)
[ "$E37" != "$("$EVAL" -T 50 "$WORK/hp.txt" | tail -1)" ] || fail "-T changes nothing"
printf 'CCCGGGGACGGG\n((((....))))\n' >"$WORK/tetra.txt"
[ "$("$EVAL" "$WORK/tetra.txt")" != "$("$EVAL" --noTetra "$WORK/tetra.txt")" ] ||
  fail "--noTetra changes nothing"
printf 'GGGGAAAAAAGGGAAACCCAAAAAAGGGAAACCCAAAAAACCCC\n' >"$WORK/ml.txt"
printf '((((......(((...)))......(((...)))......))))\n' >>"$WORK/ml.txt"
[ "$("$EVAL" "$WORK/ml.txt")" != "$("$EVAL" --logML "$WORK/ml.txt")" ] ||
  fail "--logML changes nothing"
for d in 1 3; do
  check_run "-d $d" 0 "$EVAL" -d $d "$WORK/ml.txt"
done
printf 'GGGGAAAACCCC\n((((....))))\n' >"$WORK/set.txt"
check_run "--energy-set 1" 0 "$EVAL" --energy-set 1 "$WORK/set.txt"
grep -q "can't pair" "$WORK/err" || fail "--energy-set 1: G-C pairs still accepted"

check_run "json options" 0 "$EVAL" --format json -d 0 --logML -T 42.5 "$WORK/ga.txt"
python3 - "$WORK/out" <<'PY' || fail "json lines"
import json, sys
rs = [json.loads(l) for l in open(sys.argv[1])]
assert len(rs) == 2 and rs[0]['name'] is None and rs[0]['structure'] == '(((....)))'
o = rs[0]['options']
assert o['logML'] is True and o['dangles'] == 0 and o['temperature'] == 42.5, o
PY

# --- Input forms ---------------------------------------------------------------------
printf 'GGGGAAAACCCC\n((((....))))\nGGGAAAUCCC\n(((....)))\n' >"$WORK/plain.txt"
printf '\r\nGGGGAAAACCCC\r\n((((....)))) ( -9.99)\r\n\r\nGGGAAAUCCC\r\n(((....)))\r\n' \
  >"$WORK/crlf.txt"
"$EVAL" "$WORK/plain.txt" >"$WORK/plain.out"
grep -qx '((((....)))) ( -[0-9.]*)' "$WORK/plain.out" || fail "text format"
check_run "CR LF" 0 "$EVAL" "$WORK/crlf.txt"
cmp -s "$WORK/out" "$WORK/plain.out" || fail "CR LF input evaluated differently"
check_run "stdin" 0 "$EVAL" <"$WORK/plain.txt"
cmp -s "$WORK/out" "$WORK/plain.out" || fail "stdin"
check_run "dash" 0 "$EVAL" -j 1 - "$WORK/plain.txt" <"$WORK/plain.txt"
[ "$(wc -l <"$WORK/out")" -eq 8 ] || fail "'-' and a file"

"$FOLD" "$WORK/many.fa" >"$WORK/folded"
cmp -s <("$EVAL" -j 1 --format json "$WORK/folded") <("$EVAL" -j 4 --format json "$WORK/folded") ||
  fail "-j 1 and -j 4 differ"

# --- Bad records ---------------------------------------------------------------------
cat >"$WORK/bad.txt" <<'IN'
>short
GGGGAAAACCCC
((((....)))
>open
GGGGAAAACCCC
(((((....)))
GGGGAAAACCCC
((((....))))
>close
GGGGAAAACCCC
((((....))))).
>chars
GGGGAAAACCCC
((((..[.))))
>junk
GGGGAAAACCCC
((((....)))) energy
GGGG1AAACCCC
((((....))))
GGGGAAAACCCC
>nothing
>last
GGGAAAUCCC
(((....))) ( -1.00)
IN
check_run "bad records" 1 "$EVAL" "$WORK/bad.txt"
cat >"$WORK/expected" <<'MSG'
stemloop-eval: short: structure has 11 characters for a sequence of 12 bases
stemloop-eval: open: structure position 13: unbalanced brackets in make_pair_table
stemloop-eval: close: structure has 14 characters for a sequence of 12 bases
stemloop-eval: chars: structure position 7: '[' is not one of ( ) .
stemloop-eval: junk: text after the structure is not an energy in parentheses
stemloop-eval: record 7: position 5: '1' is not a letter
stemloop-eval: record 8: missing structure line
stemloop-eval: nothing: no sequence
MSG
diff "$WORK/expected" "$WORK/err" >/dev/null || fail "bad record messages: $(cat "$WORK/err")"
[ "$(grep -c '^[(.]' "$WORK/out")" -eq 2 ] || fail "bad records: the 2 good ones printed"
grep -qx '>last' "$WORK/out" || fail "record after bad ones not printed"

printf '>balance\nGGGGAAAACCCC\n))))....((((\n' >"$WORK/unbalanced.txt"
check_run "unbalanced" 1 "$EVAL" "$WORK/unbalanced.txt"
grep -qx "stemloop-eval: balance: structure position 1: unbalanced brackets in make_pair_table" \
  "$WORK/err" || fail "unbalanced message: $(cat "$WORK/err")"
[ -s "$WORK/out" ] && fail "unbalanced: printed a result"

# --- Bad options: one line, status 2, nothing on stdout ------------------------------
bad_usage() {
  local name=$1 pattern=$2
  shift 2
  check_run "$name" 2 "$@" <"$WORK/plain.txt"
  [ -s "$WORK/out" ] && fail "$name: printed on stdout"
  [ "$(wc -l <"$WORK/err")" -eq 1 ] || fail "$name: $(wc -l <"$WORK/err") lines on stderr"
  grep -q -- "$pattern" "$WORK/err" || fail "$name: message $(cat "$WORK/err")"
}
bad_usage "unknown option" "unknown option --bogus" "$EVAL" --bogus
bad_usage "-d 7" "invalid value '7' for -d/--dangles" "$EVAL" -d 7
bad_usage "-T abc" "invalid value 'abc' for -T/--temperature" "$EVAL" -T abc
bad_usage "-j 0" "invalid value '0' for -j/--jobs" "$EVAL" -j 0
bad_usage "fold option" "unknown option -C" "$EVAL" -C
bad_usage "missing file" "cannot read '$WORK/nope'" "$EVAL" "$WORK/nope"
check_run "help" 0 "$EVAL" --help
grep -q -- '--logML' "$WORK/out" && grep -q 'default 37' "$WORK/out" || fail "--help"

exit $FAILED
