"""What one worker spends on a large table, from a sample of its ranges:
the finder's preparation (time, memory), and per record the candidates,
the pairs sent back, the bytes and the processor time of finding them.
Feeds the cost model of bench/README.md where a whole run takes too long.

    PYTHONPATH=build-h/python nice /usr/bin/python3 bench/dask_sample.py \
        /work/shared/data/customers-1m.csv.gz [ranges] [records per range]
"""

import resource
import sys
import time

import pandas as pd

from vexlor import _vexlor
from vexlor import distributed as vd
from vexlor import frames
from dask_scale import COMPARED, words_figures


def cpu():
    u = resource.getrusage(resource.RUSAGE_SELF)
    return u.ru_utime + u.ru_stime


def rss_mb():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def main():
    path = sys.argv[1]
    ranges = int(sys.argv[2]) if len(sys.argv) > 2 else 8
    size = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
    df = pd.read_csv(path, dtype=str, keep_default_na=False)
    _, settings = vd._prepare(df, "id", COMPARED, None, 80.0, 0.5, "",
                              "DupeSearch", 1)
    rows = frames._rows(df, 0)
    del df
    before = rss_mb()
    w, c = time.perf_counter(), cpu()
    finder = _vexlor._DupePairFinder(vd._settings_control(settings)._c, rows,
                                     settings["id"], 80.0, 0.5, "")
    print("%s: %d rows; process RSS %.0f MB before the finder"
          % (path, len(rows), before))
    print("finder: wall %.1f s, cpu %.1f s, +%.0f MB" % (
        time.perf_counter() - w, cpu() - c, rss_mb() - before), flush=True)
    n = len(rows)
    total = {"records": 0, "listed": 0, "depth": 0, "bytes": 0, "cpu": 0.0}
    for i in range(ranges):
        begin = i * (n - size) // max(1, ranges - 1)
        c = cpu()
        words = finder.find(begin, begin + size)
        total["cpu"] += cpu() - c
        records, _, listed, depth = words_figures(words)
        total["records"] += records
        total["listed"] += listed
        total["depth"] += depth
        total["bytes"] += len(words)
    r = total["records"]
    print("sample of %d records in %d ranges: %.1f candidates/record, %.2f "
          "pairs/record sent, %.1f bytes/record, %.2f ms cpu/record" % (
              r, ranges, total["depth"] / r, total["listed"] / r,
              total["bytes"] / r, 1000 * total["cpu"] / r))


if __name__ == "__main__":
    main()
