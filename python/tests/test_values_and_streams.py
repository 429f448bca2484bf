"""read_fasta reads files as stemloop-fold does; partition_batch and iter_subopt give what
partition and subopt give; results are values (==, hash, pickle, repr); argument errors
name the function called."""
import gzip
import itertools
import json
import pickle

import pytest
import stemloop
from conftest import random_sequences, run_tool

FASTA = ">tRNA 1\nGCGGAUUUAG CUCAGUUGGG\n  21 AGAGCGCCAG\nACUG\n>\nGGGAAACCC\nAUGCAUGCAUGC\n>last\ngggaaaccc\n"


@pytest.mark.parametrize("compressed", [False, True])
def test_read_fasta_reads_files_as_the_tool(tmp_path, compressed):
    path = tmp_path / ("in.fa.gz" if compressed else "in.fa")
    path.write_bytes(gzip.compress(FASTA.encode()) if compressed else FASTA.encode())
    stdout, stderr = run_tool("stemloop-fold", ["--format", "json", "-d", "2", str(path)], "")
    tool = [json.loads(line) for line in stdout.splitlines()]
    records = list(stemloop.read_fasta(path))
    assert stderr == [] and [(r.name, r.sequence) for r in records] == \
        [(t.get("name", ""), t["sequence"]) for t in tool]
    assert [(f.structure, f.energy) for f in stemloop.fold_batch(
        (r.sequence for r in stemloop.read_fasta(str(path))), dangles=2)] == \
        [(t["structure"], t["energy"]) for t in tool]


def test_read_fasta_refusals(tmp_path):
    bad = tmp_path / "bad.fa"
    bad.write_text(">ok\nGGGAAACCC\n>broken\nGG*GAAACCC\n")
    _, stderr = run_tool("stemloop-fold", [str(bad)], "")
    reader = stemloop.read_fasta(bad)
    assert next(reader).name == "ok"
    with pytest.raises(ValueError) as refused:
        next(reader)
    assert f"stemloop-fold: {refused.value}" == stderr[0].replace(": ", f": {bad}: ", 1)
    damaged = tmp_path / "damaged.fa.gz"
    damaged.write_bytes(gzip.compress(b">a\nGGGAAACCC\n")[:-6])
    with pytest.raises(OSError, match="compressed data ends early"):
        list(stemloop.read_fasta(damaged))
    with pytest.raises(FileNotFoundError):
        stemloop.read_fasta(tmp_path / "missing.fa")
    with pytest.raises(IsADirectoryError):
        stemloop.read_fasta(tmp_path)


def test_partition_batch_equals_partition():
    sequences = random_sequences(11, 9, lengths=(1, 80))
    constraints = ["x" + "." * (len(s) - 1) for s in sequences]
    batch = stemloop.partition_batch(iter(sequences), constraints=constraints, threads=3, dangles=0)
    single = [stemloop.partition(s, constraint=c, dangles=0) for s, c in zip(sequences, constraints)]
    assert batch == single
    assert [(e.energy, e.probabilities.tolist()) for e in batch] == \
        [(e.energy, e.probabilities.tolist()) for e in single]
    with pytest.raises(ValueError, match="^record 2: position 2: '-' is not a letter$"):
        stemloop.Model(dangles=2).partition_batch(["GGGAAACCC", "G-C"])


def test_iter_subopt_streams_what_subopt_lists():
    model = stemloop.Model(dangles=2)
    for sequence in random_sequences(12, 6, lengths=(10, 50)):
        for keywords in ({}, {"sorted": True}, {"max": 4}):
            assert list(model.iter_subopt(sequence, 3.0, **keywords)) == \
                model.subopt(sequence, 3.0, **keywords)
    # A band far too wide to list: the first structures come at once, and closing or
    # dropping the iterator stops the walk.
    wide = stemloop.iter_subopt(random_sequences(13, 1, lengths=(300, 300))[0], 1000, dangles=0)
    assert len(list(itertools.islice(wide, 1000))) == 1000
    wide.close()
    assert list(wide) == []
    next(stemloop.iter_subopt("GGGGAAAACCCC" * 20, 1000, dangles=2))


def test_results_are_values(tmp_path):
    model = stemloop.Model(dangles=2, nonstandard_pairs=["ga"])
    sequence = "GGGGAAAACCCCAUGCAUGC"
    (tmp_path / "one.fa").write_text(f">one\n{sequence}\n")
    values = [model, model.fold(sequence), model.evaluate(sequence, "((((....))))........"),
              model.partition(sequence), model.partition(sequence).mea(),
              next(stemloop.read_fasta(tmp_path / "one.fa"))]
    for value in values:
        loaded = pickle.loads(pickle.dumps(value))
        assert loaded == value and hash(loaded) == hash(value) and repr(loaded) == repr(value)
    assert model != stemloop.Model(dangles=0) and values[1] != model.fold(sequence + "A")
    assert eval(repr(model), vars(stemloop)) == model
    assert repr(values[1]) == \
        "FoldResult(sequence='GGGGAAAACCCCAUGCAUGC', structure='((((....))))........', energy=-7.1)"
    long = repr(model.fold("GC" * 100))
    assert len(long) < 250 and "\u2026" in long
    assert values[1]._repr_svg_().count('data-pos="') == len(sequence)


@pytest.mark.parametrize("call,error,message", [
    (lambda: stemloop.fold("GGG", dangle=2), TypeError, "fold(): unexpected keyword argument 'dangle'"),
    (lambda: stemloop.partition("GGG", temperature="hot"), TypeError,
     "partition(): temperature must be float, not str"),
    (lambda: stemloop.Model(dangles=5), ValueError, "Model(): dangles must be 0, 1, 2 or 3"),
    (lambda: stemloop.Model(no_gu=1), TypeError, "Model(): no_gu must be bool, not int"),
    (lambda: stemloop.partition_batch("GGG"), TypeError,
     "partition_batch(): sequences must be an iterable of str, not str"),
    (lambda: stemloop.evaluate_batch(["GGG"], [None]), TypeError,
     "evaluate_batch(): structures must hold str, not NoneType (item 1)"),
    (lambda: stemloop.iter_subopt("GGG", -1), ValueError,
     "iter_subopt(): delta must be from 0 to 1000000 kcal/mol"),
    (lambda: stemloop.read_fasta(3), TypeError, "read_fasta(): path must be str or os.PathLike, not int"),
])
def test_argument_errors_name_the_function(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert str(raised.value) == message
