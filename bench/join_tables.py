"""Joins two customer tables made by datagen with different seeds into one,
with their truth files, for sizes the generator cannot hold at once.

Usage:
  python3 bench/join_tables.py FIRST.csv.gz SECOND.csv.gz OUT.csv.gz

Each table's truth file sits beside it (NAME.truth.csv.gz); OUT's is
written beside OUT. The second table's ids follow the first's largest, and
its entity ids (and the entity ids its look-alikes name) get a "2:" prefix,
for the two seeds drew their customers apart.
"""

import csv
import gzip
import sys


def truth_of(path):
    return path[:-len(".csv.gz")] + ".truth.csv.gz"


def join(first, second, out, entity_columns):
    with gzip.open(out, "wt", encoding="utf-8", newline="",
                   compresslevel=3) as f:
        writer = csv.writer(f, lineterminator="\n")
        shift = 0
        for path, prefix in [(first, ""), (second, "2:")]:
            with gzip.open(path, "rt", encoding="utf-8", newline="") as g:
                reader = csv.reader(g)
                header = next(reader)
                if not prefix:
                    writer.writerow(header)
                columns = [header.index(c) for c in entity_columns]
                last = shift
                for row in reader:
                    row[0] = str(int(row[0]) + shift)
                    last = max(last, int(row[0]))
                    for c in columns:
                        if prefix and row[c]:
                            row[c] = prefix + row[c]
                    writer.writerow(row)
                shift = last


def main(argv):
    if len(argv) != 3:
        raise SystemExit(__doc__)
    first, second, out = argv
    join(first, second, out, [])
    join(truth_of(first), truth_of(second), truth_of(out),
         ["entity_id", "lookalike_of"])


if __name__ == "__main__":
    main(sys.argv[1:])
