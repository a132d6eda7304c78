"""vexlor.distributed on a local cluster of two worker processes: the same
results as the single-machine calls, also when a worker dies mid-run."""

import logging
import os
import random
import unittest

try:
    import distributed
    import pandas as pd
except ImportError:
    distributed = None

import vexlor
from vexlor import distributed as vd

_CUSTOMERS = "/work/shared/data/customers-1k.csv"
_COMPARED = ["first_name", "last_name", "company", "street", "postcode",
             "city"]


def _random_frame(rows, seed):
    """Names and streets with typos, a few missing cells and numbers."""
    rng = random.Random(seed)
    words = ["Meier", "Meyer", "Mayer", "Schmidt", "Schmitt", "Anna", "Anne",
             "Hans Peter", "Main St 1", "Main Street 1", "Berlin", "Belin"]

    def cell():
        w = rng.choice(words)
        if rng.random() < 0.3:
            i = rng.randrange(len(w))
            w = w[:i] + rng.choice("aeiouxyz") + w[i + 1:]
        return None if rng.random() < 0.02 else w
    return pd.DataFrame({"id": range(rows),
                         "name": [cell() for _ in range(rows)],
                         "street": [cell() for _ in range(rows)],
                         "n": [rng.randrange(3) for _ in range(rows)]})


def _dies_once(name):
    """Makes the first call of vexlor.distributed's function `name` in this
    worker end the worker process."""
    import vexlor.distributed as module
    find = getattr(module, name)

    def dying(*args):
        setattr(module, name, find)
        os._exit(1)
    setattr(module, name, dying)


@unittest.skipIf(distributed is None, "Dask's distributed or pandas is not "
                 "installed for this interpreter")
class DistributedTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        # The worker killed on purpose is no news.
        logging.getLogger("distributed").setLevel(logging.CRITICAL)
        cls.cluster = distributed.LocalCluster(
            n_workers=2, threads_per_worker=1, processes=True,
            dashboard_address=":0")
        cls.client = distributed.Client(cls.cluster)

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        cls.cluster.close()

    def _frames(self):
        yield "random", _random_frame(700, 3), {"id_column": "id"}
        if os.path.exists(_CUSTOMERS):
            customers = pd.read_csv(_CUSTOMERS, dtype=str,
                                    keep_default_na=False)
            yield "customers", customers, {"id_column": "id",
                                           "columns": _COMPARED}

    def test_same_labels_as_one_machine(self):
        for what, df, keywords in self._frames():
            # Bounded candidates split the table itself over the workers.
            for options in ["", "Grouping=Center",
                            "Grouping=Clique;Scores=1", "Candidates=Bounded",
                            "Candidates=Bounded;Grouping=Clique;Scores=1"]:
                for cluster_threshold in [0.5, 0.3]:
                    with self.subTest(what=what, options=options,
                                      cluster_threshold=cluster_threshold):
                        args = dict(keywords, options=options, label_seed=7,
                                    cluster_threshold=cluster_threshold)
                        expected = vexlor.dupes(df, **args)
                        got = vd.dupes(df, self.client, range_rows=97, **args)
                        pd.testing.assert_frame_equal(got, expected)
        # Estimated scoring takes the same keywords and searches here alone.
        df = _random_frame(700, 3)
        args = dict(id_column="id", label_seed=7, scoring="estimated")
        pd.testing.assert_frame_equal(vd.dupes(df, self.client, **args),
                                      vexlor.dupes(df, **args))

    def test_same_matches_as_one_machine(self):
        for what, df, keywords in self._frames():
            master, second = df.iloc[:500], df.iloc[500:800]
            for options in ["", "Match=Best;Scores=1"]:
                with self.subTest(what=what, options=options):
                    args = dict(keywords, options=options, return_results=1)
                    expected = vexlor.match(master, second, **args)
                    got = vd.match(master, second, self.client, range_rows=41,
                                   **args)
                    pd.testing.assert_frame_equal(got, expected)

    def test_a_worker_that_dies_changes_nothing(self):
        df = _random_frame(2000, 5)
        # With bounded candidates the dead worker's block of the table moves
        # to the other, in either round of a range.
        for options, dies in [("", "_find_dupes"),
                              ("Candidates=Bounded", "_block_shortlist"),
                              ("Candidates=Bounded", "_block_find")]:
            with self.subTest(options=options, dies=dies):
                args = dict(id_column="id", label_seed=3, options=options)
                expected = vexlor.dupes(df, **args)
                [address] = sorted(self.client.nthreads())[:1]
                self.client.run(_dies_once, dies, workers=[address])
                got = vd.dupes(df, self.client, range_rows=100, **args)
                pd.testing.assert_frame_equal(got, expected)
                self.client.wait_for_workers(2, timeout=60)

    def test_a_call_stopped_on_the_way_leaves_no_task_running(self):
        class Client:
            cancelled = None

            def gather(self, futures):
                raise KeyboardInterrupt

            def cancel(self, futures):
                Client.cancelled = futures
        with self.assertRaises(KeyboardInterrupt):
            vd._gather(Client(), ["f1", "f2"], False)
        self.assertEqual(Client.cancelled, ["f1", "f2"])

    def test_a_table_too_large_names_the_limit(self):
        class Client:
            def scheduler_info(self):
                return {"workers": {"a": {"memory_limit": 1 << 20}}}
        with self.assertRaisesRegex(MemoryError, "memory_limit of 1 MB"):
            vd._check_memory(Client(), 1 << 20)

    def test_a_dask_frame_is_computed(self):
        import dask.dataframe as dd
        df = _random_frame(300, 9)
        expected = vexlor.dupes(df, id_column="id", label_seed=1)
        got = vd.dupes(dd.from_pandas(df, npartitions=3), self.client,
                       id_column="id", label_seed=1)
        pd.testing.assert_frame_equal(got, expected)


if __name__ == "__main__":
    unittest.main()
