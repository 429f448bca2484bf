"""What a new user does with the installed package: FASTA in, ensembles and suboptimal
structures out, results pickled. Run by test_package.py in a fresh virtual environment;
exits non-zero when anything differs."""
import gzip
import importlib.metadata
import itertools
import os
import pathlib
import pickle
import sys
import tempfile

import stemloop

assert pathlib.Path(stemloop.__file__).is_relative_to(sys.prefix), stemloop.__file__
assert pathlib.Path(stemloop.__file__).with_name("stemloop.pyi").is_file()
assert importlib.metadata.requires("stemloop") == ["numpy"]

folder = pathlib.Path(tempfile.mkdtemp())
path = folder / "hairpins.fa.gz"
with gzip.open(path, "wt") as fasta:
    fasta.write(">first hairpin\nGGGGAAAA\nCCCC\n>second\nGGGAAAUCCCAUGCAUGCAAAGCAUGC\n")
records = list(stemloop.read_fasta(path))
assert [(r.name, r.sequence) for r in records] == \
    [("first hairpin", "GGGGAAAACCCC"), ("second", "GGGAAAUCCCAUGCAUGCAAAGCAUGC")]

ensembles = stemloop.partition_batch((r.sequence for r in stemloop.read_fasta(str(path))),
                                     threads=2, dangles=2)
assert [e.energy for e in ensembles] == \
    [stemloop.partition(r.sequence, dangles=2).energy for r in records]

band = stemloop.iter_subopt(records[1].sequence, 3.0, dangles=2)
first = list(itertools.islice(band, 5))
band.close()
assert first == stemloop.subopt(records[1].sequence, 3.0, max=5, dangles=2)

folded = stemloop.fold_batch(map(lambda r: r.sequence, records), dangles=2)
kept = [records, ensembles, folded, stemloop.Model(dangles=2, temperature=30)]
loaded = pickle.loads(pickle.dumps(kept))
assert loaded == kept
assert [e.mea().structure for e in loaded[1]] == [e.mea().structure for e in ensembles]
assert folded[0]._repr_svg_().startswith("<?xml")
print(os.linesep.join(map(repr, folded)))
