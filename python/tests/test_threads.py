"""Batches give the single calls' results on any number of threads, and every call
releases the GIL while it works."""
import sys
import threading
import time

import pytest
import stemloop
from conftest import random_sequences


def test_batches_equal_single_calls_on_any_number_of_threads():
    model = stemloop.Model(dangles=2)
    sequences = random_sequences(7, 40, lengths=(1, 300))
    expected = [(r.structure, r.energy) for r in map(model.fold, sequences)]
    for threads in (1, 2, 7, 64):
        assert [(r.structure, r.energy) for r in model.fold_batch(sequences, threads=threads)] == expected
    long_sequence = random_sequences(8, 1, lengths=(2500, 2500))[0]
    assert repr(model.fold(long_sequence, threads=2)) == repr(model.fold(long_sequence))


@pytest.mark.parametrize("call", [
    lambda m, seqs: m.fold_batch(seqs, threads=2),
    lambda m, seqs: m.fold(seqs[0] * 8),
    lambda m, seqs: stemloop.partition(seqs[0] * 2),
    lambda m, seqs: stemloop.subopt(seqs[0] * 2, 0.5, max=100),
    lambda m, seqs: m.evaluate_batch(seqs * 40, [len(s) * "." for s in seqs] * 40, threads=1),
])
def test_calls_release_the_gil(call):
    """With a long switch interval, the main thread runs during the call only if the call
    released the GIL; it lets go of the GIL itself at each turn, so the call may end."""
    model, sequences = stemloop.Model(), random_sequences(9, 60, lengths=(250, 250))
    started, done, turns = threading.Event(), threading.Event(), []

    def worker():
        started.set()
        call(model, sequences)
        done.set()

    interval = sys.getswitchinterval()
    sys.setswitchinterval(30)
    try:
        thread = threading.Thread(target=worker)
        thread.start()
        started.wait()
        while not done.is_set():
            turns.append(time.sleep(0))
        thread.join()
    finally:
        sys.setswitchinterval(interval)
    assert turns
