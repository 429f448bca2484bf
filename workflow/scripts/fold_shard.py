"""Rule fold: folds one shard with stemloop-fold --format tsv and keeps, apart, the rows
it printed and the records it refused with their messages.

Refused records (exit status 1) are the shard's failures, not the job's: the job fails
only when the tool rejects its options (status 2), is killed (SIGKILL, as the kernel or a
cluster does to a job out of memory: Snakemake may then run it again, and the SLURM
profile asks for more memory each attempt) or prints what does not match the shard.
Should the tool crash otherwise on the shard, each record is folded alone so that only
the record that crashes it is a failure. Outputs are written under temporary names and
moved into place, so a killed job leaves no output that looks whole.
"""

import argparse
import os
import re
import resource
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stemloop_workflow as sw  # noqa: E402

USAGE_STATUS = 2
MESSAGE = re.compile(r"^[^:]*: (r\d+): (.*)$")


class Run:
    """One run of the tool: its exit status, output lines and standard error."""

    def __init__(self, cmd, stdin_bytes=None):
        self.cmd = cmd
        with open(os.devnull, "rb") as null:
            proc = subprocess.Popen(
                cmd, stdin=subprocess.PIPE if stdin_bytes is not None else null,
                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            out, err = proc.communicate(stdin_bytes)
        self.status = proc.returncode
        self.out = sw.decode(out).split("\n")
        if self.out and self.out[-1] == "":
            self.out.pop()
        self.err = sw.decode(err)

    def describe_end(self):
        if self.status < 0:
            try:
                name = signal.Signals(-self.status).name
            except ValueError:
                name = "signal %d" % -self.status
            return "stemloop-fold ended by %s" % name
        return "stemloop-fold exited with status %d" % self.status


def messages_of(err):
    """Refusal messages by record id, and the other lines of standard error."""
    messages, other = {}, []
    for line in err.splitlines():
        match = MESSAGE.match(line)
        if match:
            rid, text = match.groups()
            messages[rid] = messages[rid] + "; " + text if rid in messages else text
        elif line.strip():
            other.append(line)
    return messages, other


def check_run(run, mem_mb):
    """Stops the job when the tool refused its options or was killed."""
    if run.status == USAGE_STATUS:
        raise SystemExit("stemloop-fold refused to run: %s" % run.err.strip())
    if run.status == -signal.SIGKILL:
        raise SystemExit("stemloop-fold was killed (SIGKILL), most likely for want of memory; "
                         "the job declared %d MB" % mem_mb)


def fold(cmd_base, fasta, ids, mem_mb, runs):
    """The header, rows by id and failures by id; each run made is added to `runs`."""
    runs.append(Run(cmd_base + [fasta]))
    first = runs[0]
    check_run(first, mem_mb)
    if first.status in (0, 1):
        return read_output(first, ids)

    # The tool crashed on the shard: fold each record alone.
    header, rows, failures = None, {}, {}
    crashed = 0
    for record in sw.read_records(fasta):
        rid = sw.decode(record.name)
        text = b">" + record.name + b"\n" + b"".join(line + b"\n" for line in record.lines)
        run = Run(cmd_base + ["-"], text)
        runs.append(run)
        check_run(run, mem_mb)
        if run.status in (0, 1):
            h, r, f = read_output(run, [rid])
            header = header or h
            rows.update(r)
            failures.update(f)
        else:
            crashed += 1
            failures[rid] = run.describe_end()
    if crashed == len(ids) and len(ids) > 1:
        raise SystemExit("stemloop-fold crashes on every record of the shard (%s): %s"
                         % (first.describe_end(), first.err.strip()))
    return header, rows, failures


def read_output(run, ids):
    """The header, rows by id and failures by id of a run that ended normally, checked
    against the ids the run was given: rows in order, each at most once."""
    if not run.out:
        raise SystemExit("stemloop-fold printed no header: %s" % run.err.strip())
    header = run.out[0]
    columns = header.split("\t")
    if columns[0] != "name":
        raise SystemExit("unexpected stemloop-fold header: %r" % header)
    position = {rid: k for k, rid in enumerate(ids)}
    rows, last = {}, -1
    for line in run.out[1:]:
        fields = line.split("\t")
        rid = fields[0]
        if len(fields) != len(columns) or rid not in position:
            raise SystemExit("unexpected stemloop-fold output line: %r" % line)
        if position[rid] <= last:
            raise SystemExit("stemloop-fold output out of order or repeated at %s" % rid)
        last = position[rid]
        rows[rid] = line
    messages, other = messages_of(run.err)
    failures = {}
    for rid in ids:
        if rid in rows:
            if rid in messages:
                raise SystemExit("stemloop-fold both folded and refused %s" % rid)
            continue
        if rid in messages:
            failures[rid] = messages[rid]
        else:
            failures[rid] = "no result (%s%s)" % (run.describe_end(), ": " + other[-1] if other else "")
    return header, rows, failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for name in ("program", "shard", "fasta", "index", "tsv", "failures", "stats", "log"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--threads", type=int, required=True)
    parser.add_argument("--mem-mb", type=int, default=0)
    parser.add_argument("options", nargs="*", help="stemloop-fold's options (after --)")
    args = parser.parse_args()

    started = time.time()
    index = sw.read_tsv(args.index)
    ids = [row["id"] for row in index]
    cmd_base = [args.program] + args.options + ["--format", "tsv", "-j", str(args.threads)]
    runs = []
    try:
        header, rows, failures = fold(cmd_base, args.fasta, ids, args.mem_mb, runs)
    except OSError as e:
        raise SystemExit("cannot run %s: %s (set stemloop_fold in the config)" % (args.program, e))
    finally:
        with open(args.log, "w", **sw.ENCODING) as log:
            for run in runs:
                log.write("$ %s\nexit status %d\n%s" % (" ".join(run.cmd), run.status, run.err))
    # Every record of the shard has a row or a failure, never both.
    assert all((rid in rows) != (rid in failures) for rid in ids)

    tmp = args.tsv + ".tmp"
    with open(tmp, "w", **sw.ENCODING) as f:
        f.write((header or "name\tsequence\tstructure\tenergy") + "\n")
        for rid in ids:
            if rid in rows:
                f.write(rows[rid] + "\n")
    sw.write_tsv_atomically(args.failures, ["id", "message"],
                            [dict(id=rid, message=sw.tsv_field(failures[rid]))
                             for rid in ids if rid in failures])
    os.replace(tmp, args.tsv)
    peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    finished = time.time()
    sw.write_json_atomically(args.stats, dict(
        shard=args.shard, records=len(ids), folded=len(rows), failed=len(failures),
        bases=sum(int(row["length"]) for row in index), threads=args.threads,
        mem_mb=args.mem_mb, peak_rss_mb=round(peak_kib / 1024.0, 1), runs=len(runs),
        status=runs[0].status, started=started, finished=finished,
        seconds=round(finished - started, 3), host=socket.gethostname()))


if __name__ == "__main__":
    main()
