"""Shared by the Python tests: the built command-line tools and random input."""
import os
import random
import subprocess

BUILD = os.environ.get("STEMLOOP_BUILD", os.path.join(os.path.dirname(__file__), "../../build"))


def run_tool(tool, flags, text):
    """Runs stemloop-fold or stemloop-eval on `text`; returns (stdout, stderr lines)."""
    done = subprocess.run([os.path.join(BUILD, tool)] + flags, input=text, capture_output=True,
                          text=True, check=False)
    return done.stdout, done.stderr.splitlines()


def random_sequences(seed, count, lengths=(1, 120)):
    rng = random.Random(seed)
    return ["".join(rng.choice("ACGU") for _ in range(rng.randint(*lengths))) for _ in range(count)]


def random_structure(rng, n):
    """A random nested dot-bracket structure of n characters; its pairs may not pair."""
    chars, open_ = [], []
    for k in range(n):
        if open_ and k - open_[-1] > 3 and rng.random() < 0.4:
            chars[open_.pop()] = "("
            chars.append(")")
        else:
            chars.append(".")
            if rng.random() < 0.4:
                open_.append(k)
    return "".join(chars)
