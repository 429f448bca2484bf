"""The module documents everything, its type stub lists exactly what it has, and it names
the same version and parameter set as the tools."""
import ast
import os

import stemloop
from conftest import random_sequences, run_tool

STUB = os.path.join(os.path.dirname(stemloop.__file__), "stemloop.pyi")


def public(names):
    return {n for n in names if not n.startswith("_")}


def test_docstrings_and_stub_cover_the_module():
    with open(STUB, encoding="utf-8") as stub:
        tree = ast.parse(stub.read())
    stubbed = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            stubbed[node.name] = public(n.name for n in node.body if isinstance(n, ast.FunctionDef))
        elif isinstance(node, ast.FunctionDef):
            stubbed[node.name] = set()
        elif isinstance(node, ast.AnnAssign):
            stubbed[node.target.id] = set()
    assert public(stubbed) == public(dir(stemloop)) and "__version__" in stubbed
    for name, members in stubbed.items():
        item = getattr(stemloop, name)
        if isinstance(item, type):
            assert members == public(dir(item)), name
            assert item.__doc__, name
            for member in members:
                doc = getattr(item, member).__doc__ or ""
                assert doc.strip().splitlines()[-1].endswith("."), f"{name}.{member}"
        elif callable(item):
            assert item.__doc__.strip().splitlines()[-1].endswith("."), name


def test_version_and_parameters_equal_the_tools():
    for tool in ("stemloop-fold", "stemloop-eval"):
        stdout, _ = run_tool(tool, ["--version"], "")
        assert stdout.splitlines()[:2] == [
            f"{tool} {stemloop.__version__}", f"parameters: {stemloop.PARAMETERS} (Mathews et al., "
            "J. Mol. Biol. 288:911-940, 1999)"]


def test_parameter_sets_by_name_and_file(tmp_path):
    path = str(tmp_path / "set.par")
    run_tool("stemloop-fold", ["--write-parameters", path], "")
    seqs = random_sequences(3, 8, (20, 90))
    default, from_file = stemloop.Model(dangles=2), stemloop.Model(dangles=2, parameters=path)
    assert from_file.parameters == path and from_file.parameter_set == "Turner 1999"
    assert [repr(default.fold(s)) for s in seqs] == [repr(from_file.fold(s)) for s in seqs]
    with open(path, encoding="utf-8") as f:
        damaged = f.read().replace("\nml_intern 40 0\n", "\nml_intern forty 0\n")
    with open(path, "w", encoding="utf-8") as f:
        f.write(damaged)
    try:
        stemloop.Model(parameters=path)
        raise AssertionError("a damaged file was read")
    except ValueError as e:
        assert "table constants: bad energy 'forty'" in str(e)
