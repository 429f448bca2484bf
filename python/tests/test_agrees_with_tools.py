"""Python results equal those of stemloop-fold and stemloop-eval on random sequences, for
every option, constraints and the loop-by-loop breakdown included."""
import json
import random
import re

import pytest
import stemloop
from conftest import random_sequences, random_structure, run_tool

# (Model keywords, the tools' flags, log_ml for evaluation)
OPTIONS = [
    ({}, [], False),
    ({}, [], True),
    ({"temperature": 24.5}, ["-T", "24.5"], False),
    ({"temperature": 70}, ["-T", "70"], True),
    ({"dangles": 0}, ["-d", "0"], False),
    ({"dangles": 2}, ["-d", "2"], True),
    ({"dangles": 3}, ["-d", "3"], False),
    ({"no_lonely_pairs": True}, ["--noLP"], False),
    ({"no_gu": True}, ["--noGU"], False),
    ({"no_closing_gu": True}, ["--noClosingGU"], False),
    ({"tetraloops": False}, ["--noTetra"], False),
    ({"nonstandard_pairs": ["GA", "ag"]}, ["--nsp", "GA,AG"], False),
    ({"energy_set": 1}, ["--energy-set", "1"], False),
    ({"energy_set": 2}, ["--energy-set", "2"], False),
    ({"dangles": 3, "no_lonely_pairs": True, "no_gu": True, "temperature": 30},
     ["-d", "3", "--noLP", "--noGU", "-T", "30"], True),
]


def tool_records(stdout):
    return [json.loads(line) for line in stdout.splitlines()]


def loops_of(evaluation):
    """The loops as stemloop-eval's JSON gives them: 1-based pairs, (0, 0) for none."""
    ends = lambda pair: (0, 0) if pair is None else (pair[0] + 1, pair[1] + 1)
    return [{"kind": l.kind, **dict(zip("ij", ends(l.closing))), **dict(zip("pq", ends(l.inner))),
             "energy": l.energy} for l in evaluation.loops]


@pytest.mark.parametrize("seed", range(len(OPTIONS)))
def test_fold_and_evaluate_equal_the_tools(seed):
    options, flags, log_ml = OPTIONS[seed]
    sequences = random_sequences(seed, 16)
    model = stemloop.Model(**options)
    stdout, _ = run_tool("stemloop-fold", flags + ["--format", "json"], "\n".join(sequences))
    folded = tool_records(stdout)
    assert [(r.structure, r.energy) for r in model.fold_batch(sequences)] == \
        [(t["structure"], t["energy"]) for t in folded]
    assert {t["parameters"] for t in folded} == {stemloop.PARAMETERS}

    rng = random.Random(seed)
    structures = [t["structure"] for t in folded] + [random_structure(rng, len(s)) for s in sequences]
    sequences = sequences * 2
    text = "".join(f"{s}\n{t}\n" for s, t in zip(sequences, structures))
    eval_flags = flags + ["-v", "--format", "json"] + (["--logML"] if log_ml else [])
    stdout, stderr = run_tool("stemloop-eval", eval_flags, text)
    evaluated = model.evaluate_batch(sequences, structures, log_ml=log_ml, threads=3)
    assert [(e.energy, loops_of(e)) for e in evaluated] == \
        [(t["energy"], t["loops"]) for t in tool_records(stdout)]
    warned = [tuple(map(int, m)) for m in re.findall(r"record (\d+): WARNING: bases (\d+) and (\d+)", "\n".join(stderr))]
    assert warned == [(k + 1, i + 1, j + 1) for k, e in enumerate(evaluated) for i, j in e.invalid_pairs]


def constraint_of(rng, structure):
    """The pairs of `structure` and random marks on its other bases; never a leading '>',
    which the tools would read as a name line."""
    return "".join(c if c != "." else rng.choice("....x|<>" if k else "....x|<")
                   for k, c in enumerate(structure))


@pytest.mark.parametrize("dangles", [0, 1, 2, 3])
def test_constrained_folds_equal_the_tools(dangles):
    rng = random.Random(dangles)
    sequences = random_sequences(dangles, 24)
    constraints = [constraint_of(rng, stemloop.fold(s, temperature=60).structure) for s in sequences]
    text = "".join(f"{s}\n{c}\n" for s, c in zip(sequences, constraints))
    stdout, stderr = run_tool("stemloop-fold", ["-C", "-d", str(dangles), "--format", "tsv"], text)
    folded = stemloop.Model(dangles=dangles).fold_batch(sequences, constraints=constraints)
    assert [line.split("\t")[2:] for line in stdout.splitlines()[1:]] == \
        [[r.structure, f"{r.energy:.2f}"] for r in folded]
    # only warnings for constraints the fold could not meet, no refusals
    assert all(": WARNING: " in line for line in stderr)
