#!/usr/bin/python3
"""Single-string methods seen from Python, against the usual Python tools.

Times per call, in one run of one interpreter, on pairs of neighbouring
records of the sample customer table: first names, last names, streets and
cities (as they are in the file, and upper-cased for Difference as the
record comparison sees them).

  Difference   against difflib.SequenceMatcher(None, a, b, autojunk=False)
               .ratio() * 100: the values must be equal, and the time per
               call is compared;
  EditDistance against Levenshtein.distance (python3-levenshtein);
  soundex      against jellyfish.soundex (python3-jellyfish): throughput
               only, since the two codes differ by design.

Usage (Debian's interpreter, where both packages import):
  PYTHONPATH=BUILD/python /usr/bin/python3 bench/python_compare.py [DATA_DIR]
"""

import csv
import difflib
import os
import sys
import time

import jellyfish
import Levenshtein

import vexlor


def load_pairs(data_dir, limit=2000):
    path = os.path.join(data_dir, "customers-10k.csv")
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))[: limit + 1]
    pairs = {"first/last names": [], "street/city": []}
    for a, b in zip(rows, rows[1:]):
        for column in ("first_name", "last_name"):
            pairs["first/last names"].append((a[column], b[column]))
        for column in ("street", "city"):
            pairs["street/city"].append((a[column], b[column]))
    return pairs


def per_call(function, pairs, rounds):
    """Seconds per call of function(a, b), the best of a few rounds."""
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        for a, b in pairs:
            function(a, b)
        best = min(best, (time.perf_counter() - start) / len(pairs))
    return best


def per_word(function, words, rounds):
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        for w in words:
            function(w)
        best = min(best, (time.perf_counter() - start) / len(words))
    return best


def main():
    data_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "data")
    ctl = vexlor.Control()
    difference = ctl.Difference
    edit_distance = ctl.EditDistance
    def soundex(word):
        return ctl.soundex(word, 4, False)  # four characters, first letter kept

    def ratio(a, b):
        return difflib.SequenceMatcher(None, a, b, autojunk=False).ratio() * 100

    print(f"Python {sys.version.split()[0]} ({sys.executable})")
    # What a call costs before any work, on two empty strings.
    empty = [("", "")] * 2000
    overhead = per_call(edit_distance, empty, 5)
    print(f"call overhead of a member (EditDistance on empty strings): "
          f"{overhead * 1e9:.0f} ns")
    # The same through the late-bound dispatch, which the direct entries
    # of the single-string members skip.
    def invoked(a, b):
        return ctl.Invoke("EditDistance", a, b)

    overhead = per_call(invoked, empty, 5)
    print(f"the same through ctl.Invoke (late-bound dispatch): "
          f"{overhead * 1e9:.0f} ns")
    print(f"{'method':<14}{'pairs':<18}{'vexlor':>12}{'reference':>14}"
          f"{'ratio':>9}  note")
    for kind, pairs in load_pairs(data_dir).items():
        upper = [(a.upper(), b.upper()) for a, b in pairs]
        # Equal values first: the gestalt similarity is difflib's ratio
        # without its junk heuristics.
        unequal = sum(1 for a, b in upper
                      if abs(difference(a, b) - ratio(a, b)) > 1e-9)
        ours = per_call(difference, upper, 5)
        theirs = per_call(ratio, upper, 3)
        print(f"{'Difference':<14}{kind:<18}{ours * 1e9:>9.0f} ns"
              f"{theirs * 1e9:>11.0f} ns{theirs / ours:>8.1f}x  "
              f"{len(upper) - unequal}/{len(upper)} values equal "
              f"(difflib.SequenceMatcher autojunk=False)")
        ours = per_call(edit_distance, pairs, 5)
        theirs = per_call(Levenshtein.distance, pairs, 5)
        unequal = sum(1 for a, b in pairs
                      if edit_distance(a, b) != Levenshtein.distance(a, b))
        print(f"{'EditDistance':<14}{kind:<18}{ours * 1e9:>9.0f} ns"
              f"{theirs * 1e9:>11.0f} ns{theirs / ours:>8.2f}x  "
              f"{len(pairs) - unequal}/{len(pairs)} values equal "
              f"(Levenshtein.distance)")
        words = [a for a, _ in pairs if a]
        ours = per_word(soundex, words, 5)
        theirs = per_word(jellyfish.soundex, words, 5)
        print(f"{'soundex':<14}{kind:<18}{ours * 1e9:>9.0f} ns"
              f"{theirs * 1e9:>11.0f} ns{theirs / ours:>8.2f}x  "
              f"throughput only (jellyfish.soundex)")


if __name__ == "__main__":
    main()
