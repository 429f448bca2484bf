"""partition, subopt and zuker equal stemloop-fold -p, --subopt and --zuker on random
sequences, constraints included; the probability matrix is consistent."""
import json
import random

import numpy
import pytest
import stemloop
from conftest import random_sequences, run_tool

# (keywords, the tool's flags, with constraints)
OPTIONS = [
    ({}, [], False),
    ({"dangles": 0, "no_lonely_pairs": True, "temperature": 50}, ["-d", "0", "--noLP", "-T", "50"], False),
    ({"no_closing_gu": True, "tetraloops": False}, ["--noClosingGU", "--noTetra", "-C"], True),
]


def run(seed, flags, constrained):
    """The random records, their constraints (or None) and the tool's JSON records."""
    sequences = random_sequences(seed, 5, lengths=(1, 60))
    rng = random.Random(seed)
    constraints = ["".join(rng.choice("....x") for _ in s) if constrained else None for s in sequences]
    text = "".join(f"{s}\n{c}\n" if c else f"{s}\n" for s, c in zip(sequences, constraints))
    stdout, stderr = run_tool("stemloop-fold", flags + ["--format", "json"], text)
    assert stderr == []
    return zip(sequences, constraints, map(json.loads, stdout.splitlines()))


@pytest.mark.parametrize("seed", range(len(OPTIONS)))
def test_partition_equals_the_tool(seed):
    options, flags, constrained = OPTIONS[seed]
    flags = flags + ["-p", "--bpp-cutoff", "0", "--mea-gamma", "2", "--sample", "3", "--seed", "5"]
    for sequence, constraint, t in run(seed, flags, constrained):
        e = stemloop.partition(sequence, constraint=constraint, **options)
        approx = lambda x: pytest.approx(x, rel=1e-8, abs=1e-12)
        assert (e.energy, e.diversity, e.probability(t["structure"])) == \
            approx((t["ensemble_energy"], t["diversity"], t["mfe_probability"]))
        mea = e.mea(2.0)
        assert (mea.structure, mea.gamma, mea.expected_accuracy) == \
            (t["mea"]["structure"], 2.0, approx(t["mea"]["expected_accuracy"]))
        assert (e.centroid, e.sample(3, seed=5)) == (t["centroid"]["structure"], t["samples"])
        p = e.probabilities
        upper = [[i + 1, j + 1, p[i, j]] for i, j in numpy.argwhere(numpy.triu(p) > 0)]
        assert upper == [[i, j, approx(q)] for i, j, q in t["pairs"]]
        assert (p == p.T).all() and p.sum(axis=1) + e.unpaired == approx(numpy.ones(len(p)))
        assert e.ensemble_defect("." * len(p)) == approx(len(p) - e.unpaired.sum())


@pytest.mark.parametrize("seed", range(len(OPTIONS)))
def test_subopt_and_zuker_equal_the_tool(seed):
    options, flags, constrained = OPTIONS[seed]
    model = stemloop.Model(**{"dangles": 2, **options})
    calls = [
        (["--subopt", "1.5", "--sorted"], lambda s, c: model.subopt(s, 1.5, sorted=True, constraint=c)),
        (["--subopt", "4", "--max", "7"], lambda s, c: model.subopt(s, 4, max=7, constraint=c)),
        (["--zuker", "4", "--window", "1", "--percent", "30"],
         lambda s, c: model.zuker(s, 4, window=1, percent=30, constraint=c)),
    ]
    for more_flags, call in calls:
        for sequence, constraint, t in run(seed, flags + more_flags, constrained):
            assert call(sequence, constraint) == [(s["structure"], s["energy"]) for s in t["subopt"]]
