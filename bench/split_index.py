"""Duplicate search with Candidates=Bounded on a local Dask cluster whose
workers each hold one block of the table (find_split_dupe_words), against
the single-process call: identity of the labels, wall and processor time,
peak memory per worker and of the labelling process, and the per-record
figures of the cost model in bench/README.md.

    PYTHONPATH=build/python nice /usr/bin/python3 bench/split_index.py \
        /work/shared/data/customers-100k.csv.gz [workers]

Benchmark settings of the shared data: id the IDColumnIndex, six Cluster
and DupeSearch columns, Threshold 80, ClusterThreshold 0.5, seeded labels.
The split run comes first, so that this process's peak is the labelling's.
"""

import logging
import resource
import sys
import time

import distributed
import pandas as pd

import vexlor
from vexlor import distributed as vd
from vexlor import frames

COMPARED = ["first_name", "last_name", "company", "street", "postcode", "city"]
OPTIONS = "Candidates=Bounded;Grouping=Clique"
ARGS = dict(id_column="id", columns=COMPARED, threshold=80.0,
            cluster_threshold=0.5, label_seed=1, options=OPTIONS)


def usage():
    r = resource.getrusage(resource.RUSAGE_SELF)
    return r.ru_utime + r.ru_stime, r.ru_maxrss / 1024


def worker_usage():
    r = resource.getrusage(resource.RUSAGE_SELF)
    return r.ru_utime + r.ru_stime, r.ru_maxrss / 1024


def timed(what, call):
    w, c = time.perf_counter(), usage()[0]
    result = call()
    print("%-40s wall %7.2f s  cpu(this process) %7.2f s" % (
        what, time.perf_counter() - w, usage()[0] - c), flush=True)
    return result


def main():
    path = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 2
    logging.getLogger("distributed").setLevel(logging.ERROR)
    df = pd.read_csv(path, dtype=str, keep_default_na=False)
    print("table %s: %d rows, pandas %.0f MB; options %s" % (
        path, len(df), df.memory_usage(deep=True).sum() / 2**20, OPTIONS))
    print("before: this process peak %.0f MB" % usage()[1])
    cluster = distributed.LocalCluster(n_workers=n, threads_per_worker=1,
                                       processes=True, dashboard_address=":0")
    client = distributed.Client(cluster)
    base = client.run(worker_usage)
    ctl, settings = vd._prepare(df, "id", COMPARED, None, 80.0, 0.5, OPTIONS,
                                "DupeSearch", 1)
    rows = frames._rows(df, 0)
    sent = sum(len(vd._packed(rows[len(rows) * k // n:
                                   len(rows) * (k + 1) // n]))
               for k in range(n))
    words = timed("split: finding the pairs (%d workers)" % n,
                  lambda: vd.find_split_dupe_words(client, rows, settings))
    after = client.run(worker_usage)
    for address in sorted(after):
        print("  worker %s: cpu %.2f s, peak RSS %.0f MB (%.0f MB at start)" %
              (address, after[address][0] - base[address][0],
               after[address][1], base[address][1]))
    result = timed("split: labelling in this process", lambda:
                   ctl._c.replay_dupes(rows, settings["id"], 80.0, 0.5,
                                       OPTIONS, 1, words))
    labels, missed = result
    print("  labelling process peak RSS %.0f MB, missed %s" % (
        usage()[1], missed))
    print("  blocks sent %.1f MB in all, found words back %.1f MB "
          "(%.1f bytes per record)" % (
              sent / 2**20, len(words) / 2**20, len(words) / len(rows)))
    client.close()
    cluster.close()
    got = frames._frame(df, labels, df.shape[1], ("FuzzyDupesID",
                                                  "Similarity"))
    expected = timed("single process vexlor.dupes",
                     lambda: vexlor.dupes(df, **ARGS))
    print("identical labels: %s" % got.equals(expected))


if __name__ == "__main__":
    main()
