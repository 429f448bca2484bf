#!/usr/bin/env bash
# Command-line tests of the interchange formats and pipeline safety: fold output in every
# format read back by stemloop-eval, pseudoknots, compressed and GenBank-style input,
# warnings, drawings, and interrupted runs keeping whole records.
# Usage: tools_formats.sh BUILD_DIR
source "$(dirname "$0")/common.bash"
FOLD="$1/stemloop-fold"
EVAL="$1/stemloop-eval"

python3 -c "
import random
random.seed(12)
for k in range(30):
    print('>r%d %s' % (k, random.choice(['', 'x/y', '\u00e9 t'])))
    print(''.join(random.choice('ACGU') for _ in range(random.randint(20, 150))))
" >"$WORK/many.fa"

# --- Every output format of the fold reads back with the fold's energies ---------------
"$FOLD" -d2 "$WORK/many.fa" >"$WORK/folded"
for format in ct bpseq tsv json; do
  "$FOLD" -d2 --format $format "$WORK/many.fa" >"$WORK/f.$format"
  check_run "eval $format" 0 "$EVAL" -d2 "$WORK/f.$format"
  cmp -s "$WORK/out" "$WORK/folded" || fail "$format: eval differs from the fold"
  check_run "--input-format $format" 0 "$EVAL" -d2 --input-format $format - <"$WORK/f.$format"
  cmp -s "$WORK/out" "$WORK/folded" || fail "--input-format $format"
done
check_run "wrong input format" 1 "$EVAL" --input-format ct "$WORK/folded"

# --- Compressed, byte-order-marked and GenBank-style input ------------------------------
gzip -c "$WORK/many.fa" >"$WORK/many.fa.gz"
"$FOLD" -d2 <"$WORK/many.fa.gz" | cmp -s - "$WORK/folded" || fail "gzip on standard input"
"$FOLD" -d2 "$WORK/many.fa.gz" | cmp -s - "$WORK/folded" || fail "gzip file"
gzip -c "$WORK/f.ct" | "$EVAL" -d2 | cmp -s - "$WORK/folded" || fail "gzip CT"
printf '\xef\xbb\xbf' | cat - "$WORK/many.fa" | "$FOLD" -d2 | cmp -s - "$WORK/folded" ||
  fail "byte-order mark"
head -c 300 "$WORK/many.fa.gz" >"$WORK/cut.gz"
check_run "cut gzip" 2 "$FOLD" "$WORK/cut.gz"
grep -q "cannot read '$WORK/cut.gz': compressed data ends early" "$WORK/err" || fail "cut gzip"
printf '>gb\n        1 gggg aaaa cc\n       11 cc\n>n\nGGGNNAAARCCC\n' >"$WORK/gb.fa"
check_run "GenBank lines, IUPAC" 0 "$FOLD" "$WORK/gb.fa"
sed -n 2p "$WORK/out" | grep -qx ggggaaaacccc || fail "GenBank-style spaces and digits kept"
[ "$(cat "$WORK/err")" = "n: WARNING: letters N, R are not A, C, G, U or T and never pair" ] ||
  fail "IUPAC warning: $(cat "$WORK/err")"

# --- Pseudoknots, short hairpins, unmet constraints -----------------------------------
printf '>pk\nGGGAAACCCAAAGGGAAUUUCCCA\n((([[[)))...(((..]]]))).\n' >"$WORK/pk.txt"
check_run "pseudoknot refused" 1 "$EVAL" "$WORK/pk.txt"
grep -q "pk: structure position 4: '\[' marks a pseudoknot; --strip-pseudoknots" "$WORK/err" ||
  fail "pseudoknot message: $(cat "$WORK/err")"
check_run "pseudoknot stripped" 0 "$EVAL" --strip-pseudoknots --format json "$WORK/pk.txt"
grep -q '"structure":"(((...)))...(((.....)))."' "$WORK/out" &&
  grep -q '"warnings":\["dropped 3 pseudoknotted pairs"\]' "$WORK/out" ||
  fail "stripped pseudoknot: $(cat "$WORK/out")"
grep -qx 'pk: WARNING: dropped 3 pseudoknotted pairs' "$WORK/err" || fail "dropped pairs message"
printf 'GGGGAACCCC\n((((..))))\n' >"$WORK/hp.txt"
check_run "short hairpin" 0 "$EVAL" --format json "$WORK/hp.txt"
python3 - "$WORK/out" <<'PY' || fail "short hairpin warning in JSON"
import json, sys
r = json.loads(open(sys.argv[1]).read())
assert r['energy'] > 1000 and r['warnings'] == [
    'hairpin closed by bases 4 and 7 has 2 unpaired bases, fewer than 3'], r
PY
grep -qx 'record 1: WARNING: hairpin closed by bases 4 and 7 has 2 unpaired bases, fewer than 3' \
  "$WORK/err" || fail "short hairpin on standard error"
printf 'AAAAAAAAAAAA\n|...........\nGGGGAAAACCCC\n|...........\n' >"$WORK/con.txt"
check_run "unmet constraint" 0 "$FOLD" -C "$WORK/con.txt"
[ "$(cat "$WORK/err")" = "record 1: WARNING: could not enforce all constraints: '|' positions\
 left unpaired: 1" ] || fail "unmet constraint: $(cat "$WORK/err")"

# --- Drawings: one file per record, named safely, bases as in the structure -------------
check_run "svg" 0 "$FOLD" -d2 --svg "$WORK/svg" --format tsv "$WORK/many.fa"
cp "$WORK/out" "$WORK/svg.tsv"
check_run "eval svg" 0 "$EVAL" --svg "$WORK/arcs" --svg-style arcs "$WORK/svg.tsv"
python3 - "$WORK" <<'PY' || fail "drawings do not match the structures"
import os, sys, xml.etree.ElementTree as ET
work = sys.argv[1]
rows = [l.rstrip('\n').split('\t') for l in open(work + '/svg.tsv', encoding='utf-8')][1:]
for folder in ('svg', 'arcs'):
    files = sorted(os.listdir(work + '/' + folder))
    assert len(files) == 30, files
    for name, seq, st, _ in rows:
        base = name.replace('/', '_').replace(' ', '_').replace('\u00e9', '').replace('__', '_')
        path = '%s/%s/%s.svg' % (work, folder, base.strip('_'))
        circles = [c for c in ET.parse(path).iter('{http://www.w3.org/2000/svg}circle')
                   if c.get('data-pos')]
        stack, partner = [], [0] * len(st)
        for k, c in enumerate(st):
            if c == '(':
                stack.append(k)
            elif c == ')':
                i = stack.pop()
                partner[i], partner[k] = k + 1, i + 1
        assert [int(c.get('data-pos')) for c in circles] == list(range(1, len(st) + 1)), path
        assert [int(c.get('data-partner')) for c in circles] == partner, path
PY
check_run "svg folder is a file" 2 "$FOLD" --svg "$WORK/many.fa" "$WORK/many.fa"

# --- Interrupted runs keep every finished record whole ----------------------------------
python3 -c "
import random
random.seed(4)
for k in range(3):
    print('>done%d' % k)
    print(''.join(random.choice('ACGU') for _ in range(60)))
print('>long')
print(''.join(random.choice('ACGU') for _ in range(9000)))
" >"$WORK/slow.fa"
for sig in INT TERM; do
  python3 - "$FOLD" "$WORK/slow.fa" "$WORK/int.out" $sig <<'PY' || fail "SIG$sig run"
import signal, subprocess, sys, time
fold, path, out, name = sys.argv[1:]
with open(out, 'w') as sink:
    p = subprocess.Popen([fold, '-j', '2', path], stdout=sink, stderr=subprocess.PIPE)
start = time.time()
while open(out).read().count('\n') < 9 and time.time() - start < 30:
    time.sleep(0.05)
p.send_signal(getattr(signal, 'SIG' + name))
status = p.wait(timeout=30)
lines = open(out).read().split('\n')
assert status == {'INT': 130, 'TERM': 143}[name], status
assert len(lines) == 10 and lines[6] == '>done2' and lines[9] == '', lines
err = p.stderr.read().decode()
assert err == 'stemloop-fold: stopped by SIG%s: 3 records finished and written\n' % name, err
PY
done

# --- With the ensemble and suboptimal structures ----------------------------------------
SEQ=GGGGAAAACCCCAUAUAGGGAAACCC
"$FOLD" --subopt 3 <<<"$SEQ" | tail -n +2 >"$WORK/band"
"$FOLD" --subopt 3 --format ct <<<"$SEQ" | "$EVAL" -d2 | grep -v '^[ACGU]' |
  cmp -s - "$WORK/band" || fail "suboptimal CT blocks read back"
check_run "-p with CT" 2 "$FOLD" -p --format ct <<<"$SEQ"
check_run "--svg with --zuker" 2 "$FOLD" --zuker 3 --svg "$WORK/none" <<<"$SEQ"
# SIGTERM ends a streaming band after a whole structure and closes its JSON line; the
# --bpp file of -p stops at the same record as the output.
python3 - "$FOLD" "$WORK" <<'PY' || fail "interrupted band and pair file"
import json, random, signal, subprocess, sys, time
fold, work = sys.argv[1:]
random.seed(3)
seq = ''.join(random.choice('ACGU') for _ in range(120))
p = subprocess.Popen([fold, '--subopt', '15', '--max', '3000000', '--format', 'json'],
                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
p.stdin.write((seq + '\n').encode())
p.stdin.close()
head = p.stdout.read(1 << 20)
p.send_signal(signal.SIGTERM)
record = json.loads(head + p.stdout.read())
assert p.wait(timeout=30) == 143 and 1000 < len(record['subopt']) < 3000000, len(record['subopt'])
assert record['warnings'] == [] and 'options' in record
with open(work + '/ens.fa', 'w') as f:
    for k in range(3):
        f.write('>done%d\n%s\n' % (k, ''.join(random.choice('ACGU') for _ in range(60))))
    f.write('>long\n%s\n' % ''.join(random.choice('ACGU') for _ in range(2500)))
with open(work + '/ens.out', 'w') as sink:
    p = subprocess.Popen([fold, '-p', '-j', '2', '--bpp', work + '/ens.bpp', work + '/ens.fa'],
                         stdout=sink, stderr=subprocess.DEVNULL)
start = time.time()
while open(work + '/ens.out').read().count('>') < 3 and time.time() - start < 30:
    time.sleep(0.05)
p.send_signal(signal.SIGTERM)
assert p.wait(timeout=30) == 143
names = [l.split()[1] for l in open(work + '/ens.bpp') if l.startswith('#')]
assert names == ['done0', 'done1', 'done2'], names
assert open(work + '/ens.out').read().count('>') == 3
PY
# CT and BPSEQ records without a name are named after their file and number in it.
"$FOLD" --format ct <<<"$SEQ" >"$WORK/a.ct"
cat "$WORK/a.ct" "$WORK/a.ct" >"$WORK/two.ct"
"$FOLD" --format bpseq <<<"$SEQ" >"$WORK/b.bpseq"
"$EVAL" --format tsv "$WORK/two.ct" "$WORK/b.bpseq" - <"$WORK/a.ct" | cut -f1 | tr '\n' ' ' |
  grep -qx 'name two.ct:1 two.ct:2 b.bpseq:1  ' || fail "CT and BPSEQ records named after the file"

check_run "help" 0 "$FOLD" --help
grep -q 'Mode 3' "$WORK/out" && grep -q -- '--svg DIR' "$WORK/out" || fail "--help: mode 3, --svg"

exit $FAILED
