#!/usr/bin/env bash
# The Snakemake workflow (workflow/Snakefile) with 2 cores on a few hundred short records
# in a plain and a gzip FASTA file, bad records among them: every good record comes back
# once, in input order, as a direct stemloop-fold run folds it; the bad records are in
# failures.tsv and the summary; a run killed midway (SIGKILL to Snakemake and its jobs)
# and restarted with Snakemake's --unlock and --rerun-incomplete ends with the same
# results without folding again the shards it had finished.
# Usage: workflow.sh BUILD_DIR SOURCE_DIR
source "$(dirname "$0")/../cli/common.bash"
BUILD=$(cd "$1" && pwd)
SRC=$(cd "$2" && pwd)
FOLD="$BUILD/stemloop-fold"

if ! command -v snakemake >/dev/null 2>&1; then
  echo "FAIL: snakemake not found; install it with: apt-get install snakemake (make test does as root)" >&2
  exit 1
fi

# --- Input: a.fa (plain) and b.fa.gz, 336 records ---------------------------------------
python3 - "$WORK" <<'EOF'
import gzip, random, sys
work = sys.argv[1]
random.seed(15)
def seq(n):
    return "".join(random.choice("ACGU") for _ in range(n))
good = []  # names of the records that fold, in input order, as the TSV prints them
bad = []
bases = 0
with open(work + "/a.fa", "w", newline="") as f:
    f.write("GGGGAAAACCCC\n")  # a line before any '>': an unnamed record
    good.append("")
    bases += 12
    for i in range(180):
        s = seq(random.randint(20, 120))
        if i % 17 == 3:
            s = s.lower()
        name = "a%d some description" % i
        end = "\r\n" if i == 40 else "\n"
        f.write(">" + name + end)
        for k in range(0, len(s), 50):
            f.write(s[k:k + 50] + end)
        good.append(name)
        bases += len(s)
        if i == 90:
            f.write(">bad_letter\nGGGG*AAACCCC\n")
            bad.append("bad_letter")
            bases += 12
        if i in (10, 100):
            s = seq(60)
            f.write(">dup\n%s\n" % s)
            good.append("dup")
            bases += 60
    s = seq(2100)  # alone in its shard, folded with two threads
    f.write(">long2100\n%s\n" % s)
    good.append("long2100")
    bases += len(s)
with gzip.open(work + "/b.fa.gz", "wt") as f:
    for i in range(150):
        s = seq(random.randint(20, 120))
        name = "b%d" % i if i != 7 else "b\ttab"
        f.write(">%s\n%s\n" % (name, s))
        good.append(name.replace("\t", " "))
        bases += len(s)
        if i == 120:
            f.write(">empty\n")
            bad.append("empty")
with open(work + "/good.txt", "w") as f:
    f.write("".join(n + "\n" for n in good))
with open(work + "/bad.txt", "w") as f:
    f.write("".join(n + "\n" for n in bad))
with open(work + "/totals.txt", "w") as f:
    f.write("%d %d %d\n" % (len(good) + len(bad), len(good), bases))
EOF
read -r RECORDS GOOD BASES <"$WORK/totals.txt"
cat >"$WORK/config.yaml" <<EOF
inputs: [$WORK/a.fa, $WORK/b.fa.gz]
shard_bases: 3000
long_record: 300
stemloop_fold: $FOLD
EOF

# run_workflow NAME PROGRAM ARGS...: the workflow in $WORK/NAME folding with PROGRAM,
# results in $WORK/NAME/out.
run_workflow() {
  local name=$1 program=$2
  shift 2
  mkdir -p "$WORK/$name"
  snakemake -s "$SRC/workflow/Snakefile" --cores 2 --scheduler greedy \
    --directory "$WORK/$name" --configfile "$WORK/config.yaml" \
    --config outdir="$WORK/$name/out" stemloop_fold="$program" "$@"
}

# --- A whole run against a direct stemloop-fold run -------------------------------------
start=$(date +%s.%N)
run_workflow whole "$FOLD" >"$WORK/whole.log" 2>&1 || { fail "workflow run: status $?"; tail -30 "$WORK/whole.log" >&2; exit 1; }
end=$(date +%s.%N)
OUT="$WORK/whole/out"

gzip -dc "$WORK/b.fa.gz" >"$WORK/b.fa"
dstart=$(date +%s.%N)
"$FOLD" -j2 --format tsv "$WORK/a.fa" "$WORK/b.fa" >"$WORK/direct.tsv" 2>"$WORK/direct.err"
status=$?
dend=$(date +%s.%N)
[ "$status" -eq 1 ] || fail "direct run: status $status, expected 1"
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
echo "workflow: $(seconds "$start" "$end") s; direct stemloop-fold -j2: $(seconds "$dstart" "$dend") s"

cmp -s "$WORK/direct.tsv" "$OUT/folded.tsv" || fail "folded.tsv differs from the direct run"
# The long record's job declares the tool's own figure for its fold on 2 threads.
LONG_BYTES=$("$FOLD" -j2 --workspace-bytes 2100)
python3 - "$WORK" "$OUT" "$RECORDS" "$GOOD" "$BASES" "$LONG_BYTES" <<'EOF' || FAILED=1
import glob, json, os, sys, xml.etree.ElementTree as ET
work, out = sys.argv[1:3]
records, good_count, bases, long_bytes = map(int, sys.argv[3:])
problems = []
good = open(work + "/good.txt").read().split("\n")[:-1]
bad = open(work + "/bad.txt").read().split()
rows = [line.rstrip("\n").split("\t") for line in open(out + "/folded.tsv", newline="\n")]
if rows[0] != ["name", "sequence", "structure", "energy"]:
    problems.append("folded.tsv header %r" % rows[0])
names = [r[0] for r in rows[1:]]
if names != good:
    problems.append("folded.tsv names: %d rows, expected %d, first difference at %s" % (
        len(names), len(good), next((k for k, (a, b) in enumerate(zip(names, good)) if a != b), "end")))
direct = {}
for line in open(work + "/direct.err"):
    prefix, name, message = line.rstrip("\n").split(": ", 2)
    direct[name] = message
failures = [line.rstrip("\n").split("\t") for line in open(out + "/failures.tsv")]
if failures[0] != ["name", "message", "file", "record"]:
    problems.append("failures.tsv header %r" % failures[0])
if [f[0] for f in failures[1:]] != bad:
    problems.append("failures.tsv names %r, expected %r" % ([f[0] for f in failures[1:]], bad))
for f in failures[1:]:
    if direct.get(f[0]) != f[1]:
        problems.append("failure of %s: %r, the direct run says %r" % (f[0], f[1], direct.get(f[0])))
summary = open(out + "/summary.txt").read()
expected = "records: %s (%s folded, %s failed)" % ("{:,}".format(records), "{:,}".format(good_count), len(bad))
for text in [expected, "bases: {:,}".format(bases), "failures: %d" % len(bad), "time: "] + bad:
    if text not in summary:
        problems.append("summary lacks %r" % text)
points = ET.parse(out + "/energy_per_base.svg").getroot().findall(".//{http://www.w3.org/2000/svg}circle")
if len(points) != good_count:
    problems.append("plot has %d points, expected %d" % (len(points), good_count))
stats = [json.load(open(p)) for p in sorted(glob.glob(out + "/folds/*.stats.json"))]
if len(stats) < 5:
    problems.append("only %d shards" % len(stats))
for s in stats:
    if os.environ.get("STEMLOOP_SANITIZED") != "1" and s["peak_rss_mb"] > s["mem_mb"]:
        problems.append("shard %s used %.1f MB, declared %d" % (s["shard"], s["peak_rss_mb"], s["mem_mb"]))
long = [s for s in stats if s["bases"] == 2100]
if len(long) != 1 or long[0]["records"] != 1 or long[0]["threads"] != 2:
    problems.append("the 2100-base record is not alone with 2 threads: %r" % long)
elif long[0]["mem_mb"] != 256 + -(-long_bytes // (1 << 20)):
    problems.append("the 2100-base record declared %d MB for a %d-byte fold" % (
        long[0]["mem_mb"], long_bytes))
for p in problems:
    print("FAIL:", p, file=sys.stderr)
sys.exit(1 if problems else 0)
EOF

# --- Killed midway, then resumed ---------------------------------------------------------
# Each fold sleeps first, so that some shards are done and others not when it is killed.
printf '#!/bin/sh\nsleep 0.5\nexec "%s" "$@"\n' "$FOLD" >"$WORK/slow-fold"
chmod +x "$WORK/slow-fold"
SLOW="$WORK/slow-fold"
KILLED="$WORK/killed/out"
# setsid: Snakemake leads a process group of its own, killed whole below.
export -f run_workflow
export WORK SRC
setsid bash -c 'run_workflow killed "$1"' _ "$SLOW" \
  >"$WORK/killed1.log" 2>&1 &
leader=$!
disown "$leader"  # no job-control notice when it is killed
shards=$(($(wc -l <"$OUT/shards/manifest.tsv") - 1))
for _ in $(seq 600); do
  [ "$(find "$KILLED/folds" -name '*.stats.json' 2>/dev/null | wc -l)" -ge 3 ] && break
  sleep 0.1
done
kill -KILL -- "-$leader"
for _ in $(seq 100); do  # until no process of the session is left but zombies
  [ "$(ps -o stat= --sid "$leader" | grep -vc '^Z')" -eq 0 ] && break
  sleep 0.1
done
done_before=$(find "$KILLED/folds" -name '*.stats.json' 2>/dev/null | wc -l)
[ "$done_before" -ge 3 ] && [ "$done_before" -lt "$shards" ] ||
  fail "the run was not killed midway: $done_before of $shards shards done"
[ -e "$KILLED/folded.tsv" ] && fail "the killed run merged"
(cd "$KILLED/folds" && md5sum ./*.stats.json) >"$WORK/before.md5"

run_workflow killed "$SLOW" --unlock \
  >"$WORK/unlock.log" 2>&1 || fail "--unlock: status $?"
run_workflow killed "$SLOW" --rerun-incomplete \
  >"$WORK/killed2.log" 2>&1 || { fail "restart: status $?"; tail -30 "$WORK/killed2.log" >&2; }
grep -q "checkpoint split" "$WORK/killed2.log" && fail "the restart split the input again"
refolded=$(grep -o 'shard=[0-9]*' "$WORK/killed2.log" | sort -u | sed 's/shard=//')
kept=0
while read -r sum file; do
  shard=$(basename "$file" .stats.json)
  if grep -qx "$shard" <<<"$refolded"; then continue; fi
  kept=$((kept + 1))
  [ "$(cd "$KILLED/folds" && md5sum "$file" | cut -d' ' -f1)" = "$sum" ] || fail "shard $shard changed"
done <"$WORK/before.md5"
again=$((done_before - kept))
[ "$kept" -ge 1 ] || fail "the restart folded again every shard done before the kill"
[ "$again" -le 2 ] || fail "the restart folded again $again finished shards (at most the 2 running at the kill)"
[ "$(echo "$refolded" | grep -c .)" -eq $((shards - kept)) ] || fail "the restart folded $refolded"
cmp -s "$OUT/folded.tsv" "$KILLED/folded.tsv" || fail "folded.tsv after the restart differs"
cmp -s "$OUT/failures.tsv" "$KILLED/failures.tsv" || fail "failures.tsv after the restart differs"
echo "killed with $done_before of $shards shards done; the restart folded $((shards - kept))"

[ "$FAILED" -eq 0 ] && echo "workflow: all checks passed"
exit "$FAILED"
