"""Quality and time of the duplicate search's groupings against a truth file.

Usage:
  PYTHONPATH=BUILD/python python3 bench/group_quality.py TABLE [OPTIONS ...]
      [--data DIR] [--threshold 80] [--cluster-threshold 0.5]
  python3 bench/group_quality.py TABLE --result FILE.csv

TABLE is a name in the data folder (customers-10k, customers-100k.csv.gz
...) or a path; its truth file sits beside it (NAME.truth.csv[.gz]). Each
OPTIONS argument is an Options text (`Grouping=Clique;MemberThreshold=70`;
`""` for none) run with the benchmark settings of the data folder's README:
`id` as the IDColumnIndex, first_name to city clustered and compared with
weight 1, phone and email off, labels from a fixed seed, progress as events.
With --result, a table written by `vexlor dupes` (a FuzzyDupesID column) is
measured instead.

Pairwise measures as the data README defines them: every two records with
the same label form a predicted pair, every two with the same entity a true
pair. Also the largest group and, where the truth names them, the share of
name-swap duplicates labelled like their customer's original record. Time is
that of the search, from its first progress event to its closing one (the
conversion of the tables from and to Python is left out), as wall time and
as the processor time of the process's threads.
"""

import argparse
import collections
import csv
import gzip
import os
import time


def open_text(path):
    if path.endswith(".gz"):
        return gzip.open(path, "rt", encoding="utf-8", newline="")
    return open(path, encoding="utf-8", newline="")


def find(data, name):
    for candidate in (name, os.path.join(data, name)):
        for suffix in ("", ".csv", ".csv.gz"):
            if os.path.exists(candidate + suffix):
                return candidate + suffix
    raise SystemExit(f"no table {name}")


def truth_path(table):
    base = table[:-3] if table.endswith(".gz") else table
    base = base[:-4] if base.endswith(".csv") else base
    for suffix in (".truth.csv", ".truth.csv.gz"):
        if os.path.exists(base + suffix):
            return base + suffix
    raise SystemExit(f"no truth file beside {table}")


def read_truth(path):
    """Per id: the entity, whether the record is its customer's original and
    whether its names were swapped (tuples: millions of rows fit)."""
    with open_text(path) as f:
        return {row["id"]: (row["entity_id"], row.get("role") == "orig",
                            "name_swap" in (row.get("corruptions") or "").split(";"))
                for row in csv.DictReader(f)}


def pairs(counts):
    return sum(n * (n - 1) // 2 for n in counts)


def measure(ids, labels, truth):
    """Pairwise precision, recall, F1, the largest group and the name-swap
    share of labelled ids (a record without a label is a group of its own)."""
    groups = collections.Counter()
    cells = collections.Counter()
    entities = collections.Counter()
    label_of = {}
    for i, record_id in enumerate(ids):
        label = labels.get(record_id, ("alone", i))
        entity = truth[record_id][0]
        label_of[record_id] = label
        groups[label] += 1
        cells[label, entity] += 1
        entities[entity] += 1
    predicted, true, correct = pairs(groups.values()), pairs(entities.values()), pairs(cells.values())
    p = correct / predicted if predicted else 1.0
    r = correct / true if true else 1.0
    f1 = 2 * p * r / (p + r) if p + r else 0.0
    original = {entity: record_id for record_id, (entity, orig, _) in truth.items()
                if orig}
    swaps = [record_id for record_id, (_, _, swapped) in truth.items() if swapped]
    found = sum(label_of[s] == label_of[original[truth[s][0]]] for s in swaps)
    swap_share = found / len(swaps) if swaps else None
    return p, r, f1, max(groups.values()), swap_share


def run(rows, header, options, threshold, cluster_threshold):
    import vexlor
    compared = ("first_name", "last_name", "company", "street", "postcode", "city")
    ctl = vexlor.Control(label_seed=1)
    for c, name in enumerate(header):
        on = name in compared
        ctl.SetColumnOption(c, on, on, 1.0, False, name)
    clock = Clock()
    ctl.connect(clock)
    result = ctl.DupeSearch(rows, header.index("id"), threshold, cluster_threshold,
                            options, vexlor.DRR_ALL, False)
    return clock.seconds(), {row[0]: row[len(header)] for row in result}


class Clock:
    """Times the search from its first event to its closing one, so that
    the conversion of the tables to and from Python is left out: wall time,
    and the processor time of all the process's threads."""

    first = last = None

    def Progress(self, *args):
        if self.first is None:
            self.first = (time.perf_counter(), time.process_time())

    def ProgressDupeSearch(self, *args):
        self.last = (time.perf_counter(), time.process_time())

    def seconds(self):
        return tuple(b - a for a, b in zip(self.first, self.last))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("table")
    parser.add_argument("options", nargs="*")
    parser.add_argument("--data", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "data"))
    parser.add_argument("--threshold", type=float, default=80.0)
    parser.add_argument("--cluster-threshold", type=float, default=0.5)
    parser.add_argument("--result")
    args = parser.parse_intermixed_args()

    table = find(args.data, args.table)
    truth = read_truth(truth_path(table))
    header, records, ids = None, None, None
    if args.options or not args.result:
        with open_text(table) as f:
            rows = list(csv.reader(f))
        header, records = rows[0], rows[1:]
        ids = [r[0] for r in records]
    print("| table | Options | time (CPU) | precision | recall | F1 | largest group | name swaps found |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")
    name = os.path.basename(table).split(".")[0]

    def report(options, seconds, labels):
        p, r, f1, largest, swaps = measure(ids, labels, truth)
        shown = "" if seconds is None else f"{seconds[0]:.2f} s ({seconds[1]:.2f} s)"
        swap_text = "" if swaps is None else f"{swaps:.1%}"
        print(f"| {name} | {options} | {shown} | {p:.3f} | {r:.3f} | {f1:.3f} | {largest} | {swap_text} |",
              flush=True)

    if args.result:
        with open_text(args.result) as f:
            reader = csv.reader(f)
            names = next(reader)
            at = names.index("FuzzyDupesID")
            labels = {r[0]: r[at] for r in reader}
        # For a result alone the table is not read: the truth names every
        # record of it.
        ids = ids or list(truth)
        report(args.result, None, labels)
    # Each run is reported as soon as it is done: on the large tables a run
    # takes many minutes.
    for options in args.options or ([] if args.result else [""]):
        seconds, labels = run(records, header, options, args.threshold,
                              args.cluster_threshold)
        report(options or "(none)", seconds, labels)


if __name__ == "__main__":
    main()
