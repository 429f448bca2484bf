"""What the workflow's rules share: reading records as stemloop-fold does, the shard
files and their tables, and the fold's memory, thread and time estimates.

Only the standard library is used, so the rules run with the Python that runs
Snakemake, locally or on a cluster node.
"""

import functools
import gzip
import json
import os
import subprocess

# --- Records as stemloop-fold reads them (lib/src/records/line_reader.cpp, records.cpp) ---

# Characters that stemloop-fold drops at the end of a line.
BLANKS = b" \t\r\v\f"
# Characters of a line that stemloop-fold keeps (the rest is only counted).
MAX_KEPT = 65536
# Longest sequence stemloop-fold folds (kMaxBases).
MAX_BASES = 32767
# Records at least this long have their fill shared between stemloop-fold's -j threads
# (kLongSequence in tools/fold_main.cpp).
LONG_SEQUENCE = 2000

# Text files of the workflow: UTF-8, with any other byte carried through unchanged.
ENCODING = dict(encoding="utf-8", errors="surrogateescape", newline="\n")


class Record:
    """One record: its name (None when unnamed), its sequence lines and length."""

    __slots__ = ("name", "lines", "length")

    def __init__(self, name, lines, length):
        self.name = name
        self.lines = lines
        self.length = length


def open_input(path):
    """A binary reader of `path`, decompressed when it is gzip data (by its first bytes)."""
    with open(path, "rb") as probe:
        magic = probe.read(2)
    if magic == b"\x1f\x8b":
        return gzip.open(path, "rb")
    return open(path, "rb")


def meaningful_lines(stream):
    """Lines without their trailing blanks; lines left empty are skipped, as the tool does."""
    for raw in stream:
        if raw.endswith(b"\n"):
            raw = raw[:-1]
        line = raw.rstrip(BLANKS)
        if line:
            yield line


def read_records(path):
    """The records of one file, in order, as stemloop-fold splits them: a '>' line names a
    record whose sequence is every following line up to the next '>' line; a line before
    the first '>' line is an unnamed record of its own."""
    current = None
    with open_input(path) as stream:
        for line in meaningful_lines(stream):
            if line[:1] == b">":
                if current is not None:
                    yield current
                current = Record(line[:MAX_KEPT][1:].lstrip(b" \t"), [], 0)
            elif current is not None:
                current.lines.append(line)
                current.length += len(line)
            else:
                yield Record(None, [line], len(line))
    if current is not None:
        yield current


def tsv_field(text):
    """A name as the tool's TSV prints it: tabs and line breaks become spaces."""
    return text.replace("\t", " ").replace("\n", " ").replace("\r", " ")


def decode(raw):
    return raw.decode("utf-8", errors="surrogateescape")


# --- The fold's cost -------------------------------------------------------------------


def run_here(cmd):
    """Runs a command on this machine: its completed process, or None when it cannot run
    here (not found, not executable, built for other machines, or hanging), as happens
    where the folding program is built for a cluster's nodes only."""
    try:
        run = subprocess.run(cmd, capture_output=True, text=True, timeout=60)
    except (OSError, subprocess.SubprocessError):
        return None
    # 126 and 127: the shell or the loader found the program but could not start it.
    return None if run.returncode in (126, 127) else run


@functools.lru_cache(maxsize=None)
def workspace_bytes(program, options, n, threads):
    """Bytes one fold of n bases needs on `threads` threads with stemloop-fold's `options`
    (a tuple), as the program says (--workspace-bytes); None when it cannot run here.
    Raises ValueError with the program's message when it refuses."""
    n = max(1, min(n, MAX_BASES))  # longer records are refused without a fold
    cmd = [program, *options, "-j", str(threads), "--workspace-bytes", str(n)]
    run = run_here(cmd)
    if run is None:
        return None
    answer = run.stdout.strip()
    if run.returncode != 0 or not answer.isdigit():
        message = run.stderr.strip() or "no byte count printed"
        raise ValueError("%s: %s" % (" ".join(cmd), message.splitlines()[-1]))
    return int(answer)


# A bound on the bytes one fold of n bases on `threads` threads needs with any options,
# declared where stemloop-fold cannot run: above the costliest, -p (38 n^2 and the fill's
# rows per thread) and --zuker (33 n^2), by a margin.
BOUND_BYTES_PER_SQUARE = 40
BOUND_BYTES_PER_THREAD_BASE = 1024
BOUND_FIXED_BYTES = 64 << 20


def workspace_bound(n, threads):
    return (BOUND_BYTES_PER_SQUARE * n * n + BOUND_BYTES_PER_THREAD_BASE * threads * n +
            BOUND_FIXED_BYTES)


def fold_cost(n):
    """Relative cost of folding n bases, in seconds on one core of the development
    machine (README: 0.047 s at 1000 bases, 1.62 s at 5000, ~170 s at 30000)."""
    return 1.0e-3 + 5.0e-8 * n * n * (1.0 + n / 5000.0)


# --- Shard tables ---------------------------------------------------------------------

MANIFEST = "manifest.tsv"
MANIFEST_COLUMNS = ["shard", "records", "bases", "longest", "first", "last", "cost"]
INDEX_COLUMNS = ["id", "file", "number", "counter", "named", "name", "length"]
INPUTS = "inputs.tsv"
INPUT_COLUMNS = ["file", "path", "records", "bases"]
SPLIT_INFO = "split.json"


def record_id(counter):
    """The name a record has inside its shard: unique, and free of ':' and blanks, so
    the tool's messages about it are read back without doubt."""
    return "r%d" % counter


def shard_fasta(shard_dir, shard):
    return os.path.join(shard_dir, shard + ".fa")


def shard_index(shard_dir, shard):
    return os.path.join(shard_dir, shard + ".index.tsv")


def read_tsv(path):
    """Rows of a TSV file with a header line, as dicts of strings."""
    with open(path, "r", **ENCODING) as f:
        header = f.readline().rstrip("\n").split("\t")
        rows = []
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) != len(header):
                raise ValueError("%s: a line has %d fields, not %d" % (path, len(fields), len(header)))
            rows.append(dict(zip(header, fields)))
        return rows


def write_tsv_atomically(path, columns, rows):
    """Writes a TSV file under a temporary name, then moves it into place."""
    tmp = path + ".tmp"
    with open(tmp, "w", **ENCODING) as f:
        f.write("\t".join(columns) + "\n")
        for row in rows:
            f.write("\t".join(str(row[c]) for c in columns) + "\n")
    os.replace(tmp, path)


def write_json_atomically(path, value):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(value, f, indent=1, sort_keys=True)
        f.write("\n")
    os.replace(tmp, path)


_manifests = {}


def manifest(shard_dir):
    """The shard table written by the split, as a dict shard -> row (ints), in order."""
    path = os.path.join(shard_dir, MANIFEST)
    stamp = os.stat(path).st_mtime_ns
    cached = _manifests.get(path)
    if cached is None or cached[0] != stamp:
        shards = {}
        for row in read_tsv(path):
            shards[row["shard"]] = {
                k: (row[k] if k == "shard" else float(row[k]) if k == "cost" else int(row[k]))
                for k in MANIFEST_COLUMNS
            }
        cached = (stamp, shards)
        _manifests[path] = cached
    return cached[1]


def shard_threads(info, long_threads, threads):
    """Threads for a shard: `long_threads` for a record alone that is long enough for the
    tool to share its fill between threads, otherwise `threads`, at most one per record."""
    if info["records"] == 1 and info["longest"] >= LONG_SEQUENCE:
        return max(1, long_threads)
    return max(1, min(threads, info["records"]))


def shard_memory_mb(info, threads, fold_bytes, overhead_mb):
    """Memory for a shard's fold: `fold_bytes` (the workspace of its longest record) per
    thread that folds records at once (one for a long record alone, whose threads share
    a fill), and a fixed allowance for the program, its model and the Python wrapper."""
    busy = 1 if info["records"] == 1 else min(threads, info["records"])
    return int(overhead_mb + (busy * fold_bytes + (1 << 20) - 1) // (1 << 20))


def shard_runtime_minutes(info, threads, dangles, minimum, factor):
    """Wall time to ask a cluster for: the shard's estimated fold time with a margin."""
    seconds = info["cost"] * factor / max(1, threads)
    if str(dangles) == "3":
        seconds *= 20  # coaxial stacking is about 17 times slower (README)
    return max(int(minimum), int(seconds / 60.0) + 1)
