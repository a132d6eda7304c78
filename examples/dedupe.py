"""Dedupe a CSV file of customers: print each group of duplicates."""
import csv, sys
import vexlor

rows = list(csv.reader(open(sys.argv[1], encoding="utf-8", newline="")))
header, records = rows[0], rows[1:]
ctl = vexlor.Control(label_seed=1)
for c, name in enumerate(header):
    ctl.SetColumnOption(c, name not in ("id", "phone", "email"), name not in ("id", "phone", "email"), 1.0, False, name)
groups = ctl.DupeSearch(records, header.index("id"), 80.0, 0.5, "", vexlor.DRR_DUPES, False) or []
for row in groups:
    print(row[-1], "|", ", ".join(v for v in row[1:7] if v))
print(len(groups), "records in", len({row[-1] for row in groups}), "groups")
