"""Rule split: reads the input files in order (plain or gzip) and writes shards of about
`shard_bases` bases, each a FASTA file whose records are renamed r<counter>, with an index
of their original names, and the tables of the shards and inputs.

A record at least `long_record` bases long, or longer than a shard, is a shard of its own.
Records are never reordered: shards cover consecutive records, in input order.
"""

import argparse
import os
import sys
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stemloop_workflow as sw  # noqa: E402


def records_of(path):
    """The records of one file; a file that cannot be read stops the split, named."""
    try:
        yield from sw.read_records(path)
    except (OSError, EOFError, zlib.error) as e:  # gzip.BadGzipFile is an OSError
        raise SystemExit("split: cannot read %s: %s" % (path, e))


def split(inputs, out_dir, shard_bases, long_record):
    started = time.time()
    os.makedirs(out_dir, exist_ok=True)
    shards = []
    input_rows = []
    state = {"fasta": None, "index": None, "info": None}

    def close():
        if state["fasta"] is None:
            return
        state["fasta"].close()
        info = state["info"]
        sw.write_tsv_atomically(sw.shard_index(out_dir, info["shard"]), sw.INDEX_COLUMNS, state["index"])
        shards.append(info)
        state["fasta"] = state["index"] = state["info"] = None

    def open_shard(first):
        shard = "%05d" % (len(shards) + 1)
        state["fasta"] = open(sw.shard_fasta(out_dir, shard), "wb")
        state["index"] = []
        state["info"] = dict(shard=shard, records=0, bases=0, longest=0, first=first, last=first, cost=0.0)

    counter = 0
    for file_number, path in enumerate(inputs):
        records = bases = 0
        for number, record in enumerate(records_of(path), start=1):
            counter += 1
            records += 1
            bases += record.length
            alone = record.length >= long_record or record.length >= shard_bases
            info = state["info"]
            if info is not None and (alone or info["bases"] + record.length > shard_bases):
                close()
            if state["info"] is None:
                open_shard(counter)
            info = state["info"]
            rid = sw.record_id(counter)
            state["fasta"].write(b">" + rid.encode() + b"\n")
            for line in record.lines:
                state["fasta"].write(line + b"\n")
            named = record.name is not None
            state["index"].append(dict(
                id=rid, file=file_number, number=number, counter=counter, named=int(named),
                name=sw.tsv_field(sw.decode(record.name)) if named else "",
                length=record.length))
            info["records"] += 1
            info["bases"] += record.length
            info["longest"] = max(info["longest"], record.length)
            info["last"] = counter
            # A record longer than the tool takes is refused at once: it costs nothing.
            if record.length <= sw.MAX_BASES:
                info["cost"] += sw.fold_cost(record.length)
            if alone:
                close()
        input_rows.append(dict(file=file_number, path=path, records=records, bases=bases))
    close()

    for info in shards:
        info["cost"] = "%.6g" % info["cost"]
    sw.write_tsv_atomically(os.path.join(out_dir, sw.INPUTS), sw.INPUT_COLUMNS, input_rows)
    sw.write_json_atomically(os.path.join(out_dir, sw.SPLIT_INFO), dict(
        started=started, finished=time.time(), shard_bases=shard_bases, long_record=long_record))
    # The manifest last: its presence means the split is whole.
    sw.write_tsv_atomically(os.path.join(out_dir, sw.MANIFEST), sw.MANIFEST_COLUMNS, shards)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out", required=True, help="the shard folder")
    parser.add_argument("--shard-bases", type=int, required=True)
    parser.add_argument("--long-record", type=int, required=True)
    parser.add_argument("inputs", nargs="+")
    args = parser.parse_args()
    split(args.inputs, args.out, args.shard_bases, args.long_record)


if __name__ == "__main__":
    main()
