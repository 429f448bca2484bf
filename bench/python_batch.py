"""Batch folding through Python: fixed-seed random 200-base sequences folded by
Model.fold_batch on 1 and 2 threads and by `stemloop-fold -j 2` on the same sequences.
Besides wall-clock seconds it prints the CPU seconds used, which other work on a shared
machine does not inflate.

    python_batch.py BUILD_DIR [COUNT]     (COUNT defaults to 10,000)
"""
import os
import random
import resource
import subprocess
import sys
import tempfile
import time

import stemloop


def cpu_seconds():
    """CPU time of this process and of its finished children."""
    own, children = (resource.getrusage(w) for w in (resource.RUSAGE_SELF, resource.RUSAGE_CHILDREN))
    return own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime


def timed(run):
    """Wall-clock and CPU seconds of run()."""
    wall, cpu = time.perf_counter(), cpu_seconds()
    run()
    return time.perf_counter() - wall, cpu_seconds() - cpu


def main():
    build = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    rng = random.Random(2026)
    sequences = ["".join(rng.choice("ACGU") for _ in range(200)) for _ in range(count)]
    model = stemloop.Model()
    seconds = {f"Python fold_batch, {t} thread(s)": timed(lambda t=t: model.fold_batch(sequences, threads=t))
               for t in (1, 2)}
    with tempfile.NamedTemporaryFile("w", suffix=".txt") as records:
        records.write("\n".join(sequences) + "\n")
        records.flush()
        command = [os.path.join(build, "stemloop-fold"), "-j", "2", records.name]
        seconds["stemloop-fold -j 2"] = timed(
            lambda: subprocess.run(command, stdout=subprocess.DEVNULL, check=True))
    print(f"batch: {count} random sequences of 200 bases")
    for name, (secs, cpu) in seconds.items():
        print(f"  {name:32} {secs:8.2f} s {count / secs:8.0f} sequences/s {cpu:8.2f} CPU s")
    one, two, tool = (wall for wall, _ in seconds.values())
    print(f"  2 threads vs 1: {one / two:.2f}x; Python 2 threads vs stemloop-fold -j 2: "
          f"{tool / two:.2f}x the tool's speed")


if __name__ == "__main__":
    main()
