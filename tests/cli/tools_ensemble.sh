#!/usr/bin/env bash
# Command-line tests of -p: the outputs and keys it adds, --bpp, --sample, strict
# constraints, and the options it refuses.
# Usage: tools_ensemble.sh BUILD_DIR
source "$(dirname "$0")/common.bash"
FOLD="$1/stemloop-fold"
EVAL="$1/stemloop-eval"
printf '>hp\nGGGGAAAACCCC\n>t\nGCGGAUUUAGCUCAGUUGGGAGAGCGCCAGACUGAAGAUCUGGAGGUCCUGUGUUCGAUCCACAGAAUUCGCACCA\n' \
  >"$WORK/in.fa"

check_run "json" 0 "$FOLD" -p --sample 4 --seed 3 --bpp "$WORK/bpp" --dotplot "$WORK/dots" \
  --format json "$WORK/in.fa"
# One dot plot per record.
[ "$(ls "$WORK/dots")" = "$(printf 'hp.svg\nt.svg')" ] || fail "dot plot files"
grep -q '<svg' "$WORK/dots/hp.svg" || fail "dot plot is no SVG"
python3 - "$WORK/out" "$WORK/bpp" <<'PY' || fail "json keys or --bpp file"
import json, sys
records = [json.loads(line) for line in open(sys.argv[1])]
listed = {}
name = None
for line in open(sys.argv[2]):
    if line.startswith('#'):
        name = line.split()[1]; listed[name] = []
    else:
        i, j, p = line.split(); listed[name].append([int(i), int(j), float(p)])
for r in records:
    assert r["options"]["dangles"] == 2 and r["options"]["partition"]
    assert r["ensemble_energy"] <= r["energy"] + 1e-9
    assert 0 < r["mfe_probability"] <= 1 and r["diversity"] >= 0
    assert r["mea"]["gamma"] > 0 and len(r["mea"]["structure"]) == len(r["sequence"])
    assert r["mea"]["expected_accuracy"] > 0
    assert len(r["centroid"]["structure"]) == len(r["sequence"])
    assert len(r["samples"]) == 4
    assert all(p >= 1e-4 and i < j for i, j, p in r["pairs"])
    assert r["pairs"] == listed[r["name"]]
PY
"$FOLD" -p --sample 4 --seed 3 "$WORK/in.fa" >"$WORK/a"
"$FOLD" -p --sample 4 --seed 3 -j 2 "$WORK/in.fa" | cmp -s - "$WORK/a" || fail "-j changes -p output"
grep -q ' centroid$' "$WORK/a" && [ "$(grep -c ' sample$' "$WORK/a")" -eq 8 ] || fail "text lines"
check_run "tsv" 0 "$FOLD" -p -d0 --format tsv "$WORK/in.fa"
head -1 "$WORK/out" | grep -q $'\tensemble_energy\tmfe_probability\tdiversity\tmea\tmea_gamma\tmea_expected_accuracy\tcentroid$' \
  || fail "tsv header"

# The MFE line of -p -C holds the constraints strictly: 'x' stays unpaired, '|' pairs.
printf 'GGGGAAAACCCCAGUAGCUGAAAGCU\nx...........|.............\n' >"$WORK/c.txt"
check_run "strict" 0 "$FOLD" -p -C "$WORK/c.txt"
sed -n 2p "$WORK/out" | grep -q '^\.' || fail "'x' paired in the MFE line"
[ "$(sed -n 2p "$WORK/out" | cut -c13)" != "." ] || fail "'|' unpaired in the MFE line"

check_run "eval" 0 "$EVAL" -p --format json <<<$'GGGGAAAACCCC\n((((....))))'
python3 -c "
import json, sys
r = json.loads(open(sys.argv[1]).read())
assert 0 < r['probability'] <= 1 and 0 <= r['ensemble_defect'] <= 12" "$WORK/out" || fail "eval keys"

check_run "-p -d1" 2 "$FOLD" -p -d1 "$WORK/in.fa"
grep -q 'dangle mode 0 or 2' "$WORK/err" || fail "-p -d1 message"
check_run "--sample without -p" 2 "$FOLD" --sample 3 "$WORK/in.fa"
check_run "--dotplot without -p" 2 "$FOLD" --dotplot "$WORK/dots" "$WORK/in.fa"
check_run "bad gamma" 2 "$FOLD" -p --mea-gamma x "$WORK/in.fa"
check_run "unwritable --bpp" 2 "$FOLD" -p --bpp "$WORK/none/bpp" "$WORK/in.fa"
exit $FAILED
