#!/usr/bin/env python3
"""Generates lib/src/data/turner2004_tables.inc from data/turner2004/*.tsv.

The tables are keyed by letters, each pair read from inside the loop it scores; this
script turns them into the index layout of the working tables (see docs/parameters.md):
pair types 0..7 read as each table reads them, bases 0..4, energies in 0.01 kcal/mol.
Entries the source has no row for are filled by fixed rules: a base 0 (unknown) or a
nonstandard pair (type 7) costs the most that any real base or canonical pair costs in
that place; type 0 (no pair) is 0, or the sentinel in the stacking tables.

  gen_turner2004.py           writes the .inc file
  gen_turner2004.py --check   fails unless the committed file is what it would write
"""
import csv
import itertools
import math
import os
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
SOURCE = os.path.join(ROOT, "data", "turner2004")
TARGET = os.path.join(ROOT, "lib", "src", "data", "turner2004_tables.inc")
INF = 1000000
TYPES = {"CG": 1, "GC": 2, "GU": 3, "UG": 4, "AU": 5, "UA": 6}
REVERSE = [0, 2, 1, 4, 3, 6, 5, 7]
BASES = {"A": 1, "C": 2, "G": 3, "U": 4}
SIZES = {"P": 8, "B": 5, "S": 31, "E": 5}


def energy(text):
    return INF if text == "inf" else int(round(float(text) * 100))


def rows(name):
    with open(os.path.join(SOURCE, name + ".tsv"), newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def table(axes, entries, type0):
    """A full table from {index tuple: (dG, dH)} of real bases and canonical pairs."""
    out = {}
    for index in itertools.product(*(range(SIZES[a]) for a in axes)):
        if index in entries:
            out[index] = entries[index]
            continue
        if any(a == "P" and i == 0 for a, i in zip(axes, index)):
            out[index] = type0
            continue
        # Unknown bases and nonstandard pairs: the dearest real choice in their place.
        choices = [range(1, 5) if a == "B" and i == 0 else range(1, 7) if a == "P" and i == 7
                   else [i] for a, i in zip(axes, index)]
        out[index] = max((entries[c] for c in itertools.product(*choices)), key=lambda v: v[0])
    return [out[i] for i in sorted(out)]


def keyed(name, key):
    return {key(r): (energy(r["dG37"]), energy(r["dH"])) for r in rows(name)}


def t(pair):
    return TYPES[pair]


def build():
    tables = {}
    stack = keyed("stack", lambda r: (t(r["pair5"]), REVERSE[t(r["pair3"])]))
    tables["stack"] = table("PP", stack, (INF, INF))
    coax = keyed("coaxial_stack", lambda r: (t(r["pair5"]), REVERSE[t(r["pair3"])]))
    tables["coaxial_stack"] = table("PP", coax, (INF, INF))
    for name, source in (("hairpin", "hairpin_initiation"), ("bulge", "bulge_initiation"),
                         ("interior", "interior_initiation")):
        sizes = keyed(source, lambda r: (int(r["size"]),))
        sizes[(0,)] = (INF, INF)
        tables[name] = [sizes[(s,)] for s in range(31)]
    misc = {r["name"]: r for r in rows("misc")}
    per_nt = (energy(misc["interior_asymmetry_per_nt"]["dG37"]),
              energy(misc["interior_asymmetry_per_nt"]["dH"]))
    tables["ninio"] = [per_nt] * 5
    for name in ("hairpin", "interior", "interior_1n", "interior_23", "multi", "exterior"):
        entries = keyed("mismatch_" + name,
                        lambda r: (t(r["pair"]), BASES[r["t1"]], BASES[r["b1"]]))
        tables["mismatch_" + name] = table("PBB", entries, (0, 0))
    # Dangles are indexed by the helix end's type read from outside the loop.
    tables["dangle5"] = table("PB", keyed("dangle5", lambda r: (REVERSE[t(r["pair"])],
                                                                BASES[r["b1"]])), (0, 0))
    tables["dangle3"] = table("PB", keyed("dangle3", lambda r: (REVERSE[t(r["pair"])],
                                                                BASES[r["t1"]])), (0, 0))
    inner = lambda r: (t(r["pair5"]), REVERSE[t(r["pair3"])])
    tables["int11"] = table("PPBB", keyed(
        "int11", lambda r: inner(r) + (BASES[r["t1"]], BASES[r["b1"]])), (0, 0))
    tables["int21"] = table("PPBBB", keyed(
        "int21", lambda r: inner(r) + (BASES[r["t1"]], BASES[r["b2"]], BASES[r["b1"]])), (0, 0))
    tables["int22"] = table("PPBBBB", keyed(
        "int22", lambda r: inner(r) + (BASES[r["t1"]], BASES[r["t2"]], BASES[r["b2"]],
                                       BASES[r["b1"]])), (0, 0))

    def constant(name):
        r = misc[name]
        return (energy(r["dG37"]), energy(r["dH"]))
    constants = {
        "ml_closing": constant("multibranch_a"), "ml_intern": constant("multibranch_c_per_helix"),
        "ml_base": constant("multibranch_b_per_unpaired"), "terminal_AU": constant("terminal_AU_penalty"),
        "max_ninio": constant("interior_asymmetry_max"),
        "hairpin_GU_closure": constant("hairpin_special_GU_closure"),
        "hairpin_all_C_slope": constant("hairpin_all_C_slope"),
        "hairpin_all_C_intercept": constant("hairpin_all_C_intercept"),
        "hairpin_C3": constant("hairpin_C3_penalty"), "bulge_special_C": constant("bulge_special_C"),
    }
    reals = {"lxc": round(float(misc["loop_extrapolation"]["dG37"]) * 100, 6),
             "bulge_states_RT": round(float(misc["bulge_states_RT"]["dG37"]) * 100, 6)}
    hairpins = [(r["sequence"], energy(r["dG37"]), energy(r["dH"])) for r in rows("hairpin_loops_listed")]
    return tables, constants, reals, hairpins


def render():
    tables, constants, reals, hairpins = build()
    out = ["// Generated by scripts/gen_turner2004.py from data/turner2004/*.tsv; do not edit.",
           "// Each table: its name, then dG37 and dH per entry in index order (0.01 kcal/mol)."]
    for name, values in tables.items():
        out.append(f"TABLE({name},")
        flat = [v for pair in values for v in pair]
        for k in range(0, len(flat), 16):
            out.append("      " + ", ".join(str(v) for v in flat[k:k + 16]) + ",")
        out.append(")")
    for name, (g, h) in constants.items():
        out.append(f"CONSTANT({name}, {g}, {h})")
    for name, value in reals.items():
        out.append(f"REAL({name}, {value!r})")
    for seq, g, h in hairpins:
        out.append(f'SPECIAL_HAIRPIN("{seq}", {g}, {h})')
    return "\n".join(out) + "\n"


def main():
    text = render()
    if "--check" in sys.argv[1:]:
        with open(TARGET) as f:
            if f.read() != text:
                sys.exit(f"{TARGET} is not what {sys.argv[0]} makes of {SOURCE}")
        return
    with open(TARGET, "w") as f:
        f.write(text)


if __name__ == "__main__":
    main()
