#!/usr/bin/env python3
"""F1 of the MFE (dangle modes 0 and 2) and MEA structures for each built-in parameter set.

Usage: parameter_accuracy.py BUILD_DIR KNOWN_TSV [MAX_LENGTH]

Folds every RNA of KNOWN_TSV (columns name, family, length, sequence, structure) of at
most MAX_LENGTH bases (default 250) with stemloop-fold --parameters SET, and prints a
table of the mean F1 of exact base pairs (as ensemble_accuracy.py scores it), overall
and per family.
"""
import collections
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ensemble_accuracy import f1, fold  # noqa: E402

SETS = ("turner1999", "turner2004")
RUNS = {"MFE, mode 0": (["-d", "0"], "structure"), "MFE, mode 2": (["-d", "2"], "structure"),
        "MEA, gamma 1": (["-p"], "mea")}


def main():
    build, known_tsv = sys.argv[1], sys.argv[2]
    max_length = int(sys.argv[3]) if len(sys.argv) > 3 else 250
    tool = os.path.join(build, "stemloop-fold")
    with open(known_tsv) as f:
        header = f.readline().rstrip("\n").split("\t")
        rnas = [r for r in (dict(zip(header, line.rstrip("\n").split("\t"))) for line in f)
                if int(r["length"]) <= max_length]
    scores = collections.defaultdict(lambda: collections.defaultdict(list))
    with tempfile.TemporaryDirectory() as scratch:
        fasta = os.path.join(scratch, "known.fa")
        with open(fasta, "w") as f:
            for r in rnas:
                f.write(">%s\n%s\n" % (r["name"], r["sequence"]))
        for name in SETS:
            for label, (options, key) in RUNS.items():
                result = fold(tool, fasta, ["--parameters", name] + options)
                for r in rnas:
                    got = result[r["name"]]
                    predicted = got[key] if key == "structure" else got[key]["structure"]
                    score = f1(predicted, r["structure"])
                    for group in ("all", r["family"]):
                        scores[(name, label)][group].append(score)
    families = sorted({r["family"] for r in rnas})
    first = scores[(SETS[0], "MFE, mode 0")]
    print("| set | predictor | all (%d) | %s |" % (len(rnas), " | ".join(
        "%s (%d)" % (fam, len(first[fam])) for fam in families)))
    print("|---" * (len(families) + 3) + "|")
    for (name, label), by_family in scores.items():
        cells = ["%.3f" % (sum(v) / len(v)) for v in
                 [by_family["all"]] + [by_family[fam] for fam in families]]
        print("| %s | %s | %s |" % (name, label, " | ".join(cells)))


if __name__ == "__main__":
    main()
