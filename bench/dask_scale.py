"""Duplicate search on a local Dask cluster against the single-process call:
wall and processor time, the labelling's share, peak memory per worker and
the figures of the cost model in bench/README.md.

    PYTHONPATH=build-h/python nice /usr/bin/python3 bench/dask_scale.py \
        /work/shared/data/customers-100k.csv.gz [workers ...]

Benchmark settings of the shared data: id the IDColumnIndex, six Cluster
and DupeSearch columns, Threshold 80, ClusterThreshold 0.5, seeded labels.
"""

import resource
import sys
import time

import distributed
import pandas as pd

import vexlor
from vexlor import distributed as vd
from vexlor import frames

COMPARED = ["first_name", "last_name", "company", "street", "postcode", "city"]
ARGS = dict(id_column="id", columns=COMPARED, threshold=80.0,
            cluster_threshold=0.5, label_seed=1)


def cpu():
    s, c = (resource.getrusage(w) for w in (resource.RUSAGE_SELF,
                                             resource.RUSAGE_CHILDREN))
    return s.ru_utime + s.ru_stime + c.ru_utime + c.ru_stime


def peak_mb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def timed(what, call):
    w, c = time.perf_counter(), cpu()
    result = call()
    print("%-34s wall %7.2f s  cpu(this process) %7.2f s" % (
        what, time.perf_counter() - w, cpu() - c), flush=True)
    return result


def words_figures(words):
    import array
    a = array.array("I", words)
    i = records = found = listed = depth = 0
    while i < len(a):
        h = a[i]
        records += 1
        if h & 1:
            found += 1
            listed += h >> 2
            depth += a[i + 1]
            i += 2 + (h >> 2)
        else:
            i += 1
    return records, found, listed, depth


def main():
    path = sys.argv[1]
    counts = [int(n) for n in sys.argv[2:]] or [1, 2]
    df = pd.read_csv(path, dtype=str, keep_default_na=False)
    print("table %s: %d rows, pandas %.0f MB" % (
        path, len(df), df.memory_usage(deep=True).sum() / 2**20))
    expected = timed("single process vexlor.dupes", lambda: vexlor.dupes(
        df, **ARGS))
    print("  peak RSS of this process %.0f MB" % peak_mb())

    ctl, settings = vd._prepare(df, ARGS["id_column"], COMPARED, None, 80.0,
                                0.5, "", "DupeSearch", 1)
    rows = frames._rows(df, 0)
    shipped = len(vd._packed(rows))
    finder = timed("finder (table prepared once)", lambda: vexlor._vexlor
                   ._DupePairFinder(vd._settings_control(settings)._c, rows,
                                    settings["id"], 80.0, 0.5, ""))
    del finder
    for n in counts:
        cluster = distributed.LocalCluster(n_workers=n, threads_per_worker=1,
                                           processes=True,
                                           dashboard_address=":0")
        client = distributed.Client(cluster)
        try:
            w0, c0 = time.perf_counter(), cpu()
            words = timed("%d worker(s): find pairs" % n, lambda:
                          vd.find_dupe_words(client, rows, settings))
            result, missed = timed("%d worker(s): labelling here" % n,
                                   lambda: ctl._c.replay_dupes(
                                       rows, settings["id"], 80.0, 0.5, "", 1,
                                       words))
            got = frames._frame(df, result, df.shape[1],
                                ("FuzzyDupesID", "Similarity"))
            print("%d worker(s): total wall %.2f s, identical %s, missed %s"
                  % (n, time.perf_counter() - w0, got.equals(expected),
                     missed))
            rss = client.run(lambda: resource.getrusage(
                resource.RUSAGE_SELF).ru_maxrss / 1024)
            print("  peak RSS per worker MB: %s" % sorted(
                round(v) for v in rss.values()))
            used = client.run(lambda: (lambda u: u.ru_utime + u.ru_stime)(
                resource.getrusage(resource.RUSAGE_SELF)))
            print("  cpu per worker s (whole life): %s" % sorted(
                round(v, 1) for v in used.values()))
            records, found, listed, depth = words_figures(words)
            print("  table shipped per worker (packed) %.1f MB; words back %.1f MB "
                  "(%.1f bytes/record)" % (shipped / 2**20, len(words) / 2**20,
                                           len(words) / records))
            print("  records %d, found by workers %d, candidates %.1f/record,"
                  " listed pairs %.2f/record" % (records, found,
                                                   depth / records,
                                                   listed / records))
            ctl = vd._settings_control(settings, 1)
        finally:
            client.close()
            cluster.close()
    print("peak RSS of this process %.0f MB" % peak_mb())


if __name__ == "__main__":
    main()
