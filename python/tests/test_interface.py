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


def parameters_of_docstring(doc):
    """The parameter names of the signature that leads a docstring, as
    'f(self: Model, sequence: str, *, threads: int = 1, **kwargs) -> FoldResult' gives them,
    '*' included."""
    line = doc.strip().splitlines()[0]
    inside, names, depth, current = line[line.index("(") + 1:line.rindex(") ->")], [], 0, ""
    for c in inside + ",":
        if c == "," and depth == 0:
            names.append(current.split(":")[0].split("=")[0].strip())
            current = ""
            continue
        depth += (c in "([") - (c in ")]")
        current += c
    return [n for n in names if n and n != "self"]


def parameters_of_stub(function):
    args = function.args
    names = [a.arg for a in args.posonlyargs + args.args if a.arg != "self"]
    return names + (["*"] if args.kwonlyargs else []) + [a.arg for a in args.kwonlyargs]


def test_stub_signatures_equal_the_module():
    with open(STUB, encoding="utf-8") as stub:
        tree = ast.parse(stub.read())
    model_keywords = [n for n in parameters_of_docstring(stemloop.Model.__init__.__doc__) if n != "*"]
    checked = 0
    for node in tree.body:
        owner = getattr(stemloop, node.name, None) if isinstance(node, ast.ClassDef) else stemloop
        functions = node.body if isinstance(node, ast.ClassDef) else [node]
        for function in functions:
            if not isinstance(function, ast.FunctionDef) or function.decorator_list:
                continue
            names = parameters_of_docstring(getattr(owner, function.name).__doc__)
            if names[-1:] == ["**kwargs"]:  # module-level functions take Model's keywords
                names = names[:-1] + model_keywords
            assert parameters_of_stub(function) == names, function.name
            checked += 1
    assert checked >= 30


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
