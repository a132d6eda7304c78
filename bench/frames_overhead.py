"""What the pandas layer adds to a duplicate search: the conversion of the
DataFrame into the control's table and of the result back into a frame.

Usage:
  PYTHONPATH=BUILD/python python3 bench/frames_overhead.py [TABLE]
      [--data DIR] [--cluster-threshold 0.5]

TABLE (default customers-100k) is read with pandas from the data folder,
with the benchmark settings of its README: `id` identifies a record,
first_name to city are clustered and compared with weight 1. The search
itself is timed from its first progress event to its last; the rest of the
call is the layer's conversion both ways.
"""

import argparse
import os
import time

import pandas as pd

import vexlor

COMPARED = ["first_name", "last_name", "company", "street", "postcode", "city"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("table", nargs="?", default="customers-100k")
    parser.add_argument("--data", default=os.path.join(
        os.path.dirname(__file__), "..", "..", "shared", "data"))
    parser.add_argument("--cluster-threshold", type=float, default=0.5)
    args = parser.parse_args()
    path = args.table
    if not os.path.exists(path):
        for suffix in (".csv", ".csv.gz"):
            candidate = os.path.join(args.data, args.table + suffix)
            if os.path.exists(candidate):
                path = candidate
    df = pd.read_csv(path, dtype=str, keep_default_na=False)

    event_times = []
    started = time.perf_counter()
    result = vexlor.dupes(df, id_column="id", columns=COMPARED,
                          cluster_threshold=args.cluster_threshold,
                          label_seed=1,
                          progress=lambda fields: event_times.append(
                              time.perf_counter()))
    total = time.perf_counter() - started
    search = event_times[-1] - event_times[0] if event_times else total
    layer = total - search
    print("%s: %d rows, %d groups; call %.2f s, search %.2f s, "
          "conversion %.2f s (%.1f%% of the search)" % (
              os.path.basename(path), len(result),
              result["FuzzyDupesID"].nunique(), total, search, layer,
              100.0 * layer / search))


if __name__ == "__main__":
    main()
