"""How many master rows the fuzzy match marks with the right incoming record,
keeping the first record that resembles a row (Match=First) or the most
similar one (Match=Best).

Usage: PYTHONPATH=BUILD/python python3 bench/match_choice.py [--data DIR]
    [--cluster-threshold 0.5] [OPTIONS ...]

master-50k against incoming-10k with the benchmark settings of the data
folder's README. A master row's mark is right when the incoming record's
truth names that master row (about 130 master rows have two such records;
either is right).
"""

import argparse
import collections
import csv
import gzip
import os
import time


def read(data, name):
    with gzip.open(os.path.join(data, name), "rt", encoding="utf-8", newline="") as f:
        return list(csv.reader(f))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("options", nargs="*", default=["Match=First", "Match=Best"])
    parser.add_argument("--data", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "data"))
    parser.add_argument("--threshold", type=float, default=80.0)
    parser.add_argument("--cluster-threshold", type=float, default=0.5)
    args = parser.parse_args()
    import vexlor

    master = read(args.data, "master-50k.csv.gz")
    incoming = read(args.data, "incoming-10k.csv.gz")
    header = master[0]
    truth = {}
    with gzip.open(os.path.join(args.data, "incoming-10k.truth.csv.gz"), "rt",
                   encoding="utf-8", newline="") as f:
        for row in csv.DictReader(f):
            if row["master_id"]:
                truth.setdefault(row["master_id"], set()).add(row["id"])
    compared = ("first_name", "last_name", "company", "street", "postcode", "city")
    print("| Options | time | master rows marked | right | wrong | rows with a true record, marked right |")
    print("|---|---:|---:|---:|---:|---:|")
    for options in args.options:
        ctl = vexlor.Control(label_seed=1)
        for c, name in enumerate(header):
            on = name in compared
            ctl.SetColumnOption(c, on, on, 1.0, False, name)
        start = time.perf_counter()
        result = ctl.FuzzyMatch(master[1:], incoming[1:], 0, args.threshold,
                                args.cluster_threshold, options, vexlor.MAR_ALL,
                                False, "", "")
        seconds = time.perf_counter() - start
        counts = collections.Counter()
        for row in result:
            match = row[len(header)]
            if match == 0:
                continue
            right = incoming[match][0] in truth.get(row[0], ())
            counts["right" if right else "wrong"] += 1
        marked = counts["right"] + counts["wrong"]
        print(f"| {options} | {seconds:.2f} s | {marked} | {counts['right']} | "
              f"{counts['wrong']} | {counts['right']}/{len(truth)} "
              f"({counts['right'] / len(truth):.1%}) |", flush=True)


if __name__ == "__main__":
    main()
