#!/usr/bin/env python3
"""Generate lib/src/data/interior_tables.inc: the 1x1, 2x1 and 2x2 interior-loop tables.

int11_37, int11_H, int21_37, int21_H, int22_37 and int22_H follow from the rules of
the parameter set; only the individual 2x2 free energies come from a data file, int22_37.tsv
(see data/README.md). The generator checks every rule the data must meet and
writes C initialisers for energy_par.cpp to include. The output depends on nothing but
the input file, so running it twice gives identical bytes.

Usage: gen_interior_tables.py [--tsv PATH] [--out PATH] [--check]
  --check  compare with the existing output instead of writing it; exit 1 if it differs.
"""

import argparse
import itertools
import os
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_TSV = os.path.join(REPO, "data", "int22_37.tsv")
DEFAULT_OUT = os.path.join(REPO, "lib", "src", "data", "interior_tables.inc")

# Pair types and aliased base codes.
PAIR_NAMES = ["", "CG", "GC", "GU", "UG", "AU", "UA", "NS"]
CG, GC, GU, UG, AU, UA, NS = range(1, 8)
STANDARD = range(1, 7)
BASE_NAMES = "_ACGU"
A, C, G, U = range(1, 5)
REAL = range(1, 5)
TYPES = range(8)
BASES = range(5)


def pt(name):
    return PAIR_NAMES.index(name)


def base(letter):
    return BASE_NAMES.index(letter)


def strong(t):
    return t in (CG, GC)


def table(shape, value):
    """A nested list of the given shape, entries from value(*index)."""
    if len(shape) == 1:
        return [value(k) for k in range(shape[0])]
    return [table(shape[1:], lambda *rest, k=k: value(k, *rest)) for k in range(shape[0])]


# ---------------------------------------------------------------------------- int11 ---

# The four blocks with both types from CG and GC, rows base i+1, columns base j-1 (A C G U).
INT11_STRONG = {
    (CG, CG): [[110, 40, 40, 40], [40, 40, 40, 40], [40, 40, -140, 40], [40, 40, 40, 40]],
    (CG, GC): [[40, -40, 40, 40], [30, 50, 40, 50], [-10, 40, -170, 40], [40, 0, 40, -30]],
    (GC, CG): [[40, 30, -10, 40], [-40, 50, 40, 0], [40, 40, -170, 40], [40, 50, 40, -30]],
    (GC, GC): [[80, 40, 40, 40], [40, 40, 40, 40], [40, 40, -210, 40], [40, 40, 40, -70]],
}

# [U][U] in the blocks of two standard types that depart from the default.
INT11_UU = {(GC, AU): 100, (AU, GC): 100, (AU, AU): 120, (AU, UA): 150, (UA, AU): 150,
            (UA, UA): 180}


def int11_37(t1, t2, x, y):
    if t1 == 0 or t2 == 0:
        return 0
    default = 110 if strong(t1) or strong(t2) else 170
    if x == 0 or y == 0 or NS in (t1, t2):
        return default
    if (t1, t2) in INT11_STRONG:
        return INT11_STRONG[(t1, t2)][x - 1][y - 1]
    if (x, y) == (G, G):
        return default - 210
    if (x, y) == (U, U) and (t1, t2) in INT11_UU:
        return INT11_UU[(t1, t2)]
    return default


# ---------------------------------------------------------------------------- int21 ---

# The 1x2 loop base table: rows bases i+1 and q+1, columns base j-1 (A C G U).
INT21_BASE = {
    "AA": [390, 370, 310, 550], "AC": [360, 320, 310, 550],
    "AG": [250, 210, 190, 550], "AU": [550, 550, 550, 550],
    "CA": [380, 370, 550, 370], "CC": [370, 400, 550, 370],
    "CG": [550, 550, 550, 550], "CU": [400, 340, 550, 370],
    "GA": [320, 550, 230, 550], "GC": [550, 550, 550, 550],
    "GG": [230, 550, 370, 550], "GU": [550, 550, 550, 550],
    "UA": [550, 550, 550, 550], "UC": [550, 370, 550, 280],
    "UG": [550, 550, 550, 550], "UU": [550, 320, 550, 270],
}

# Entries that depart from base table plus offset: (t1, t2, "i+1 q+1 j-1") -> value.
INT21_EXCEPTIONS = {
    (CG, GC, "AAA"): 230, (CG, GC, "AAG"): 110, (CG, GC, "AGA"): 80, (CG, GC, "UCU"): 150,
    (GC, CG, "AAA"): 250, (GC, CG, "AAG"): 210, (GC, CG, "AGA"): 120, (GC, CG, "UCU"): 120,
}


def int21_37(t1, t2, a, b, c):
    if t1 == 0 or t2 == 0:
        return 0
    if 0 in (a, b, c) or NS in (t1, t2):
        return 550
    key = (t1, t2, BASE_NAMES[a] + BASE_NAMES[b] + BASE_NAMES[c])
    if key in INT21_EXCEPTIONS:
        return INT21_EXCEPTIONS[key]
    offset = {0: 0, 1: -70, 2: -150}[strong(t1) + strong(t2)]
    return INT21_BASE[BASE_NAMES[a] + BASE_NAMES[b]][c - 1] + offset


# ------------------------------------------------ interior mismatch enthalpies E ---

# E[type][first base][second base] for the standard types, bases A C G U.
E_STANDARD = {
    CG: [[-1029, -949, -1029, -1029], [-519, -449, -519, -669],
         [-939, -939, -939, -939], [-809, -739, -809, -859]],
    GC: [[-519, -879, -559, -879], [-719, -309, -309, -389],
         [-709, -739, -619, -739], [-499, -499, -499, -569]],
    GU: [[-429, -599, -599, -599], [-259, -239, -239, -239],
         [-339, -689, -689, -689], [-329, -329, -329, -329]],
    UG: [[-719, -789, -959, -809], [-479, -479, -359, -479],
         [-659, -809, -919, -809], [-549, -439, -549, -359]],
    AU: [[-429, -599, -599, -599], [-259, -239, -239, -239],
         [-339, -689, -689, -689], [-329, -329, -329, -329]],
    UA: [[-399, -629, -889, -589], [-429, -509, -199, -179],
         [-379, -679, -889, -679], [-279, -139, -279, -140]],
}


def E(t, x, y):
    """Interior mismatch enthalpy; type 0 never reaches a table (those entries are 0)."""
    if t == NS:
        return -50
    if x == 0:
        return 0
    if y == 0:
        return -50
    return E_STANDARD[t][x - 1][y - 1]


def int21_H(t1, t2, a, b, c):
    if t1 == 0 or t2 == 0:
        return 0
    return E(t1, a, c) + E(t2, b, a)


# ---------------------------------------------------------------------------- int22 ---

# The printed block CG/CG: rows bases i+1 and p-1, columns bases q+1 and j-1, both in the
# order AA AC AG AU CA ... UU. Used only to check the data file.
INT22_CGCG = [
    [130, 160, 30, 200, 120, 150, 20, 200, 30, 60, -70, 200, 200, 200, 200, 200],
    [160, 200, 60, 200, 210, 180, 150, 200, 200, 200, 200, 200, 190, 170, 130, 200],
    [30, 60, -70, 200, 200, 200, 200, 200, 100, 140, 0, 200, -40, -110, -60, 200],
    [200, 200, 200, 200, 190, 170, 130, 200, 110, 40, 90, 200, 140, 80, 130, 200],
    [120, 210, 200, 190, 110, 140, 200, 120, 20, 150, 200, 130, 200, 200, 200, 200],
    [150, 180, 200, 170, 140, 170, 200, 150, 200, 200, 200, 200, 120, 150, 200, 140],
    [20, 150, 200, 130, 200, 200, 200, 200, 90, 180, 200, 170, -150, -20, 200, -40],
    [200, 200, 200, 200, 120, 150, 200, 140, 0, 130, 200, 110, 30, 60, 200, 50],
    [30, 200, 100, 110, 20, 200, 90, 0, -70, 200, 0, 90, 200, 200, 200, 200],
    [60, 200, 140, 40, 150, 200, 180, 130, 200, 200, 200, 200, 130, 200, 170, 110],
    [-70, 200, 0, 90, 200, 200, 200, 200, 0, 200, 80, 90, -60, 200, -70, -260],
    [200, 200, 200, 200, 130, 200, 170, 110, 90, 200, 90, -110, 130, 200, 120, 110],
    [200, 190, -40, 140, 200, 120, -150, 30, 200, 130, -60, 130, 200, 200, 200, 200],
    [200, 170, -110, 80, 200, 150, -20, 60, 200, 200, 200, 200, 200, 140, -40, 50],
    [200, 130, -60, 130, 200, 200, 200, 200, 200, 170, -70, 120, 200, -40, -420, -50],
    [200, 200, 200, 200, 200, 140, -40, 50, 200, 110, -260, 110, 200, 50, -50, -40],
]

# int22_H entries that are not a sum of E terms.
INT22_H_EXCEPTIONS = {(CG, GC, G, U, G, U): -3080, (GC, CG, G, U, G, U): -3080,
                      (GC, GC, G, U, G, U): -3080}

HEADER = ["t1", "t2", "i+1", "p-1", "q+1", "j-1", "dG"]


def read_int22(path):
    """The 9216 individual values: (t1, t2, a, b, c, d) -> dG, standard types, real bases."""
    values = {}
    with open(path, encoding="ascii") as f:
        lines = f.read().splitlines()
    assert lines[0].split("\t") == HEADER, f"{path}: unexpected header {lines[0]!r}"
    for n, line in enumerate(lines[1:], start=2):
        fields = line.split("\t")
        assert len(fields) == 7, f"{path}:{n}: expected 7 fields"
        t1, t2 = pt(fields[0]), pt(fields[1])
        assert t1 in STANDARD and t2 in STANDARD, f"{path}:{n}: bad pair type"
        bases = tuple(base(x) for x in fields[2:6])
        assert all(x in REAL for x in bases) and all(len(x) == 1 for x in fields[2:6]), \
            f"{path}:{n}: bad base"
        key = (t1, t2) + bases
        assert key not in values, f"{path}:{n}: duplicate entry"
        values[key] = int(fields[6])
    assert len(values) == 36 * 256, f"{path}: {len(values)} entries, expected 9216"
    return values


COMPLEMENT = {(A, U), (U, A), (C, G), (G, C)}
SAME_AS = {GU: AU, UG: UA}  # GU blocks equal AU blocks, UG blocks equal UA blocks


def check_int22(v):
    """The rules of the 2x2 table that data/README.md says the data file meets."""
    for (t1, t2, a, b, c, d), x in v.items():
        if (a, d) in COMPLEMENT or (b, c) in COMPLEMENT:
            assert x == 200, f"complementary mismatch is not 200 at {t1} {t2} {a}{b}{c}{d}: {x}"
        assert x == v[(t2, t1, c, d, a, b)], f"symmetry fails at {t1} {t2} {a}{b}{c}{d}"
        assert x == v[(SAME_AS.get(t1, t1), SAME_AS.get(t2, t2), a, b, c, d)], \
            f"wobble block differs from its AU/UA block at {t1} {t2} {a}{b}{c}{d}"
    blocks = {tuple(v[(t1, t2) + k] for k in itertools.product(REAL, repeat=4))
              for t1 in STANDARD for t2 in STANDARD}
    assert len(blocks) == 16, f"{len(blocks)} distinct blocks, expected 16"
    pairs = list(itertools.product(REAL, repeat=2))
    for r, (a, b) in enumerate(pairs):
        for col, (c, d) in enumerate(pairs):
            assert v[(CG, CG, a, b, c, d)] == INT22_CGCG[r][col], \
                f"CG/CG block differs from the published block at {a}{b}{c}{d}"


def make_int22_37(v):
    def value(t1, t2, a, b, c, d):
        if t1 == 0 or t2 == 0:
            return 0
        if 0 in (a, b, c, d) or NS in (t1, t2):
            return 340
        return v[(t1, t2, a, b, c, d)]
    return value


def int22_H(t1, t2, a, b, c, d):
    if t1 == 0 or t2 == 0:
        return 0
    return INT22_H_EXCEPTIONS.get((t1, t2, a, b, c, d), E(t1, a, d) + E(t2, c, b))


# --------------------------------------------------------------------------- output ---

def check_tables(t):
    """Symmetries every complete table must show, and known worked numbers."""
    for t1, t2 in itertools.product(TYPES, repeat=2):
        for x, y in itertools.product(BASES, repeat=2):
            assert t["int11_37"][t1][t2][x][y] == t["int11_37"][t2][t1][y][x]
        for a, b, c, d in itertools.product(BASES, repeat=4):
            for name in ("int22_37", "int22_H"):
                assert t[name][t1][t2][a][b][c][d] == t[name][t2][t1][c][d][a][b], name
    i11, i21 = t["int11_37"], t["int21_37"]
    assert (i11[CG][CG][G][G], i11[CG][AU][G][G], i11[AU][AU][G][G]) == (-140, -100, -40)
    assert [i21[p][q][A][A][A] for p, q in ((GU, GU), (CG, GU), (CG, CG), (CG, GC))] == \
        [390, 320, 240, 230]
    assert (i21[AU][AU][A][U][A], i21[CG][AU][A][U][A], i21[GC][CG][A][U][A]) == \
        (550, 480, 400)


def c_array(name, shape, rows):
    """One definition; each line holds the 5x5 values of the last two indices."""
    dims = "".join(f"[{n}]" for n in shape)
    out = [f"const int {name}{dims} = {{"]

    def emit(node, depth, label):
        indent = "  " * (depth + 1)
        if len(shape) - depth - 1 == 2:
            out.append(f"{indent}{flat(node)},  // {label}")
            return
        out.append(f"{indent}{{  // {label}")
        for k, child in enumerate(node):
            emit(child, depth + 1, index_label(depth, k, label))
        out.append(f"{indent}}},")

    for k, child in enumerate(rows):
        emit(child, 0, index_label(-1, k, ""))
    out.append("};")
    return "\n".join(out) + "\n"


def index_label(depth, k, label):
    """Comment naming the indices of a sub-array: pair types, then base letters."""
    name = (PAIR_NAMES[k] or "0") if depth < 1 else BASE_NAMES[k]
    sep = "/" if depth == 0 else " "
    return f"{label}{sep}{name}" if label else name


def flat(node):
    if isinstance(node, list):
        sep = ", " if isinstance(node[0], list) else ","
        return "{" + sep.join(flat(x) for x in node) + "}"
    return str(node)


def generate(tsv):
    v = read_int22(tsv)
    check_int22(v)
    table_specs = [
        ("int11_37", (8, 8, 5, 5), int11_37),
        ("int11_H", (8, 8, 5, 5), lambda *i: 0),
        ("int21_37", (8, 8, 5, 5, 5), int21_37),
        ("int21_H", (8, 8, 5, 5, 5), int21_H),
        ("int22_37", (8, 8, 5, 5, 5, 5), make_int22_37(v)),
        ("int22_H", (8, 8, 5, 5, 5, 5), int22_H),
    ]
    tables = {name: table(shape, f) for name, shape, f in table_specs}
    check_tables(tables)
    text = [
        "// Generated by scripts/gen_interior_tables.py from int22_37.tsv; do not edit.\n",
        "// Interior-loop tables, included by energy_par.cpp. Indices:\n",
        "// int11 [t1][t2][i+1][j-1], int21 [t1][t2][i+1][q+1][j-1],\n",
        "// int22 [t1][t2][i+1][p-1][q+1][j-1]; t1 = type of (i,j), t2 = type of (q,p).\n",
        "// Comments name the leading indices of each line (pair types, then bases).\n",
        "// clang-format off\n",
    ]
    for name, shape, _ in table_specs:
        text.append("\n" + c_array(name, shape, tables[name]))
    text.append("// clang-format on\n")
    return "".join(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tsv", default=DEFAULT_TSV)
    parser.add_argument("--out", default=DEFAULT_OUT)
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    text = generate(args.tsv)
    if args.check:
        with open(args.out, encoding="ascii") as f:
            if f.read() != text:
                print(f"{args.out} is out of date; rerun {sys.argv[0]}", file=sys.stderr)
                return 1
        return 0
    with open(args.out, "w", encoding="ascii", newline="\n") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
