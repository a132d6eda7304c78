"""Precision, recall and time of DupeSearch over a grid of Threshold and
ClusterThreshold on a sample customer table, with the benchmark settings of
the data folder. Usage: PYTHONPATH=build/python python3 bench/threshold_grid.py
[DATA_DIR] [TABLE]"""

import collections
import csv
import itertools
import os
import sys
import time

import vexlor

DATA = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(__file__), "..", "..", "shared", "data")
TABLE = sys.argv[2] if len(sys.argv) > 2 else "customers-10k"
COMPARED = ("first_name", "last_name", "company", "street", "postcode", "city")


def read(name):
    with open(os.path.join(DATA, name), encoding="utf-8", newline="") as f:
        return list(csv.reader(f))


def pairs(groups):
    return {tuple(sorted(p)) for g in groups.values() for p in itertools.combinations(g, 2)}


rows = read(TABLE + ".csv")
header, records = rows[0], rows[1:]
truth = {r[0]: r[1] for r in read(TABLE + ".truth.csv")[1:]}
entities = collections.defaultdict(list)
for r in records:
    entities[truth[r[0]]].append(r[0])
true_pairs = pairs(entities)

print("| Threshold | ClusterThreshold | time | precision | recall | F1 |")
print("|---:|---:|---:|---:|---:|---:|")
for threshold in (70.0, 80.0, 90.0):
    for cluster in (0.3, 0.5, 0.7):
        ctl = vexlor.Control(label_seed=1)
        for c, name in enumerate(header):
            on = name in COMPARED
            ctl.SetColumnOption(c, on, on, 1.0, False, name)
        start = time.perf_counter()
        result = ctl.DupeSearch(records, 0, threshold, cluster, "", vexlor.DRR_ALL, False)
        seconds = time.perf_counter() - start
        groups = collections.defaultdict(list)
        for r in result:
            groups[r[-1]].append(r[0])
        predicted = pairs(groups)
        correct = len(predicted & true_pairs)
        p = correct / len(predicted) if predicted else 1.0
        rc = correct / len(true_pairs)
        f1 = 2 * p * rc / (p + rc) if p + rc else 0.0
        print(f"| {threshold:g} | {cluster:g} | {seconds:.2f} s | {p:.3f} | {rc:.3f} | {f1:.3f} |")
