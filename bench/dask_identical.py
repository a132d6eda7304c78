"""Checks vexlor.distributed against the single-machine calls on the shared
data: customers-100k at ClusterThreshold 0.5 and 0.3 for every grouping,
and the fuzzy match of incoming-10k against master-50k, on a local cluster
of two worker processes. Prints one line per case.

    PYTHONPATH=build-h/python nice /usr/bin/python3 bench/dask_identical.py
"""

import time

import distributed
import pandas as pd

import vexlor
from vexlor import distributed as vd

DATA = "/work/shared/data/"
COMPARED = ["first_name", "last_name", "company", "street", "postcode", "city"]


def read(name):
    return pd.read_csv(DATA + name, dtype=str, keep_default_na=False)


def check(what, one, many):
    t = time.perf_counter()
    expected = one()
    t1 = time.perf_counter() - t
    t = time.perf_counter()
    got = many()
    t2 = time.perf_counter() - t
    print("%-44s identical %s  (one machine %.1f s, cluster %.1f s)" % (
        what, got.equals(expected), t1, t2), flush=True)


def main():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1,
                                       processes=True, dashboard_address=":0")
    client = distributed.Client(cluster)
    customers = read("customers-100k.csv.gz")
    for ct in (0.5, 0.3):
        for options in ("", "Grouping=Center", "Grouping=Clique"):
            args = dict(id_column="id", columns=COMPARED, threshold=80.0,
                        cluster_threshold=ct, options=options, label_seed=1)
            check("dupes 100k ct %.1f %s" % (ct, options or "Chain"),
                  lambda: vexlor.dupes(customers, **args),
                  lambda: vd.dupes(customers, client, **args))
    master, incoming = read("master-50k.csv.gz"), read("incoming-10k.csv.gz")
    for options in ("", "Match=Best;Scores=1"):
        args = dict(id_column="id", columns=COMPARED, threshold=80.0,
                    cluster_threshold=0.5, options=options, return_results=1)
        check("match 50k/10k %s" % (options or "First"),
              lambda: vexlor.match(master, incoming, **args),
              lambda: vd.match(master, incoming, client, **args))
    client.close()
    cluster.close()


if __name__ == "__main__":
    main()
