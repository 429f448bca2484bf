#!/usr/bin/env python3
"""Runs two builds of stemloop on the same random sequences and reports every output that
differs: the fold in each dangle mode and option set, the ensemble, suboptimal structures,
constraints, evaluation, the classic program and the drawings.

    scripts/compare_builds.py BASE_BUILD NEW_BUILD [--count 300] [--seed 1]

A refactoring or a speed-up must leave all of it byte-identical; the script exits with
status 1 and names the first differing record of each mode otherwise."""

import argparse
import os
import random
import subprocess
import sys
import tempfile

# Options of stemloop-fold, one run each. Dangle modes are always spelled out, so a
# change of the tools' default mode does not show up as a difference.
FOLD_MODES = [
    ["-d0"], ["-d1"], ["-d2"], ["-d3"],
    ["-d1", "--noLP"], ["-d2", "--noLP", "--noClosingGU"], ["-d1", "-T", "24.5"],
    ["-d2", "--noGU"], ["-d1", "--noTetra", "--energy-set", "1"],
    ["-d2", "--parameters", "turner2004"], ["-d0", "--parameters", "turner2004"],
    ["-d2", "-p", "--sample", "3", "--seed", "5", "--format", "json"],
    ["-d0", "-p", "--format", "tsv"],
    ["-d2", "--subopt", "1.5", "--max", "40"],
    ["-d2", "--zuker", "5"],
    ["-d1", "--format", "ct"],
]
CONSTRAINED_MODES = [["-d1", "-C"], ["-d2", "-C", "--nsp", "GA"], ["-d2", "-p", "-C"]]
EVAL_MODES = [["-d0"], ["-d1", "-v"], ["-d2", "-v"], ["-d3"], ["-d2", "--logML"]]


def random_sequence(rng):
    return "".join(rng.choice("ACGU") for _ in range(rng.randint(8, 160)))


def random_constraint(rng, n):
    return "".join(rng.choice("........|x<>") for _ in range(n))


def run(args, stdin):
    done = subprocess.run(args, input=stdin, capture_output=True)
    return done.returncode, done.stdout, done.stderr


def compare(label, base, new, stdin, failures):
    a, b = run(base, stdin), run(new, stdin)
    if a != b:
        failures.append(label)
        print(f"differs: {label}", file=sys.stderr)


def tree_bytes(folder):
    out = []
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            out.append((name, f.read()))
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("base")
    parser.add_argument("new")
    parser.add_argument("--count", type=int, default=300)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    sequences = [random_sequence(rng) for _ in range(args.count)]
    fasta = "".join(f">r{k}\n{s}\n" for k, s in enumerate(sequences)).encode()
    constrained = "".join(f">c{k}\n{s}\n{random_constraint(rng, len(s))}\n"
                          for k, s in enumerate(sequences)).encode()
    tool = {side: {t: os.path.join(getattr(args, side), t)
                   for t in ("stemloop-fold", "stemloop-eval", "stemloop")}
            for side in ("base", "new")}
    failures = []
    for mode in FOLD_MODES:
        compare("fold " + " ".join(mode), [tool["base"]["stemloop-fold"], *mode],
                [tool["new"]["stemloop-fold"], *mode], fasta, failures)
    for mode in CONSTRAINED_MODES:
        compare("fold " + " ".join(mode), [tool["base"]["stemloop-fold"], *mode],
                [tool["new"]["stemloop-fold"], *mode], constrained, failures)
    # Evaluation reads the base build's folds in each mode.
    for mode in EVAL_MODES:
        _, folded, _ = run([tool["base"]["stemloop-fold"], mode[0]], fasta)
        compare("eval " + " ".join(mode), [tool["base"]["stemloop-eval"], *mode],
                [tool["new"]["stemloop-eval"], *mode], folded, failures)
    classic = [s for s in sequences[:100]]
    compare("classic program", [tool["base"]["stemloop"], "y", *classic],
            [tool["new"]["stemloop"], "y", *classic], b"", failures)
    with tempfile.TemporaryDirectory() as work:
        drawn = {}
        for side in ("base", "new"):
            folder = os.path.join(work, side)
            run([tool[side]["stemloop-fold"], "-d2", "-p", "--svg", folder, "--dotplot",
                 folder + "-dots"], fasta[: len(fasta) // 10])
            drawn[side] = (tree_bytes(folder), tree_bytes(folder + "-dots"))
        if drawn["base"] != drawn["new"]:
            failures.append("drawings")
            print("differs: drawings", file=sys.stderr)
    total = len(FOLD_MODES) + len(CONSTRAINED_MODES) + len(EVAL_MODES) + 2
    print(f"{total - len(failures)} of {total} modes identical on {args.count} sequences")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
