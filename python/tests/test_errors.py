"""Input the tools refuse raises ValueError with the tools' message; bad options raise
ValueError or TypeError."""
import pytest
import stemloop
from conftest import run_tool

TOO_LONG = "A" * 32768

# (tool, sequence, second line: constraint or structure)
REFUSED = [
    ("stemloop-fold", "GGG*AAACCC", None),
    ("stemloop-fold", TOO_LONG, None),
    ("stemloop-fold", "GGGGAAAACCCC", "(((...."),
    ("stemloop-fold", "GGGGAAAACCCC", "(((....)))))"),
    ("stemloop-fold", "GGGGAAAACCCC", "((((.z..))))"),
    ("stemloop-eval", "GGGG-AAACCCC", "((((....))))"),
    ("stemloop-eval", "GGGGAAAACCCC", "((((....)))"),
    ("stemloop-eval", "GGGGAAAACCCC", "(((.....))))"),
    ("stemloop-eval", "GGGGAAAACCCC", "((((..[.))))"),
]


# A record both tools accept, to lead a batch.
GOOD = {"stemloop-fold": ("GGGAAACCC", "........."), "stemloop-eval": ("GGGAAACCC", "(((...)))")}


def python_call(tool, sequences, lines):
    """The Python call for the records: a batch for several."""
    if tool == "stemloop-fold" and len(sequences) > 1:
        return stemloop.Model().fold_batch(sequences, constraints=lines)
    if tool == "stemloop-fold":
        return stemloop.fold(sequences[0], constraint=lines and lines[0])
    if len(sequences) > 1:
        return stemloop.evaluate_batch(sequences, lines)
    return stemloop.Model().evaluate(sequences[0], lines[0])


@pytest.mark.parametrize("batch", [False, True])
@pytest.mark.parametrize("tool,sequence,line", REFUSED, ids=range(len(REFUSED)))
def test_refusals_carry_the_tools_message(tool, sequence, line, batch):
    good = GOOD[tool] if line is not None else (GOOD[tool][0], None)
    records = [good, (sequence, line)] if batch else [(sequence, line)]
    text = "".join(s + "\n" + (l + "\n" if l is not None else "") for s, l in records)
    _, stderr = run_tool(tool, ["-C"] if tool == "stemloop-fold" and line else [], text)
    with pytest.raises(ValueError) as refused:
        python_call(tool, [s for s, _ in records], line and [l for _, l in records])
    label = "" if batch else "record 1: "
    assert stderr == [f"{tool}: {label}{refused.value}"]


@pytest.mark.parametrize("flags,call", [
    (["-p"], lambda s, c: stemloop.partition(s, constraint=c)),
    (["--subopt", "1"], lambda s, c: stemloop.subopt(s, 1, constraint=c)),
    (["--zuker", "2"], lambda s, c: stemloop.zuker(s, 2, constraint=c)),
])
def test_ensemble_and_suboptimal_refusals_carry_the_tools_message(flags, call):
    for constraint in ["(((....", "((((....)).)", "(..)........", "GGGG........"]:
        _, stderr = run_tool("stemloop-fold", flags + ["-C"], f"GGGGAAAACCCC\n{constraint}\n")
        with pytest.raises(ValueError) as refused:
            call("GGGGAAAACCCC", constraint)
        assert stderr == [f"stemloop-fold: record 1: {refused.value}"]


@pytest.mark.parametrize("temperature", [-50.01, 150.5, 1e9, float("nan")])
def test_temperatures_out_of_range_raise_the_tools_message(temperature):
    _, stderr = run_tool("stemloop-fold", ["-T", str(temperature)], "GGGAAACCC\n")
    with pytest.raises(ValueError) as refused:
        stemloop.fold("GGGAAACCC", temperature=temperature)
    message = str(refused.value)
    assert message == "fold(): temperature must be from -50 to 150 degrees Celsius"
    assert f"for -T/--temperature: {message[len('fold(): '):]} (see" in stderr[0]
    stemloop.Model(temperature=-50), stemloop.Model(temperature=150)  # the ends are in


def test_ensemble_refuses_pseudoknot_brackets_as_the_evaluation_does():
    ensemble = stemloop.partition("GGGGAAAACCCC")  # the defaults suit the ensemble
    _, stderr = run_tool("stemloop-eval", ["-p"], "GGGGAAAACCCC\n[[[[....]]]]\n")
    for measure in (ensemble.probability, ensemble.ensemble_defect):
        with pytest.raises(ValueError) as refused:
            measure("[[[[....]]]]")
        assert stderr == [f"stemloop-eval: record 1: {refused.value}"]
    assert stemloop.Model().partition("GGGGAAAACCCC") == ensemble


@pytest.mark.parametrize("call,error", [
    (lambda: stemloop.Model(dangles=4), ValueError),
    (lambda: stemloop.Model(temperature=-274), ValueError),
    (lambda: stemloop.Model(energy_set=3), ValueError),
    (lambda: stemloop.Model(nonstandard_pairs=["GAA"]), ValueError),
    (lambda: stemloop.fold("GGGAAACCC", threads=0), ValueError),
    (lambda: stemloop.fold_batch(["GGGAAACCC"], constraints=[]), ValueError),
    (lambda: stemloop.evaluate_batch(["GGGAAACCC"], []), ValueError),
    (lambda: stemloop.partition("GGGAAACCC", dangles=1), ValueError),
    (lambda: stemloop.Model(dangles=3).subopt("GGGAAACCC", 1), ValueError),
    (lambda: stemloop.zuker("GGGAAACCC", 0), ValueError),
    (lambda: stemloop.fold("GGGAAACCC", dangle=2), TypeError),
    (lambda: stemloop.fold_batch("GGGAAACCC"), TypeError),
])
def test_bad_options_raise(call, error):
    with pytest.raises(error):
        call()


FIVE_S = ("UGCCUGGCGGCCGUAGCGCGGUGGUCCCACCUGACCCCAUGCCGAACUCAGAAGUGAAACGCCGUAGCGCCGAUGGUAGUG"
          "UGGGGUCUCCCCAUGCGAGAGUAGGGAACUGCCAGGCAU")


@pytest.mark.parametrize("limit_mib", [1400, 1500])
def test_memory_running_out_raises_memory_error(limit_mib):
    # Under an address-space limit the band outgrows memory: MemoryError, never an abort.
    import os
    import subprocess
    import sys
    script = (
        "import resource, stemloop\n"
        f"resource.setrlimit(resource.RLIMIT_AS, ({limit_mib} << 20, {limit_mib} << 20))\n"
        "try:\n"
        f"    stemloop.subopt('{FIVE_S}', 12.0)\n"
        "except MemoryError:\n"
        "    print('MemoryError')\n")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    done = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True,
                          text=True, timeout=300)
    assert (done.returncode, done.stdout) == (0, "MemoryError\n"), done.stderr
