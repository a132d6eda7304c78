"""Duplicate search and fuzzy match on a Dask cluster, with the results of
the single-machine calls.

The workers find, for ranges of records, the candidates that reach the
threshold against the whole table (each worker prepares the table once);
this process then labels the records in order from those pairs, with the
same label source, as vexlor.dupes and vexlor.match would. Needs Dask's
distributed scheduler (Debian: python3-dask and python3-distributed).

    >>> from vexlor import distributed
    >>> distributed.dupes(df, id_column="id", threshold=80, label_seed=1)

Run as `python3 -m vexlor.distributed` it is the helper of the command
line's `vexlor dupes --workers N` and `--scheduler ADDRESS`.
"""

import argparse
import concurrent.futures
import csv
import itertools
import os
import pickle
import re
import sys
import threading
import time
import zlib

from . import frames

# What a worker holds per byte of the table as pandas holds it: the rows it
# is sent, the finder's cells, comparison texts and trigram index. About 2.9
# on customers-1m (bench/README.md); the rest is room for the interpreter.
_WORKER_BYTES_PER_TABLE_BYTE = 4

# Records per task: small enough that a lost worker costs little to redo
# and the progress bar moves, large enough that a task outweighs its cost.
_RANGE_ROWS = 20000

# Ranges of records sent ahead of the one being merged, when the table is
# split (find_split_dupe_words).
_RANGES_IN_FLIGHT = 3


def _distributed():
    try:
        import distributed
    except ImportError as error:
        raise ImportError("vexlor.distributed needs Dask's distributed "
                          "scheduler (Debian: python3-dask and "
                          "python3-distributed)") from error
    return distributed


def _whole(df):
    """A pandas DataFrame of `df`, computed when it is a Dask one."""
    if hasattr(df, "compute") and hasattr(df, "npartitions"):
        return df.compute()
    return df


class _Cluster:
    """The client to use: the caller's, or a local cluster of processes
    started for the call and closed after it."""

    def __init__(self, client, n_workers):
        self.client = client
        self._own = None
        if client is None:
            distributed = _distributed()
            cluster = distributed.LocalCluster(
                n_workers=n_workers or os.cpu_count() or 1,
                threads_per_worker=1, processes=True, dashboard_address=":0")
            self.client = distributed.Client(cluster)
            self._own = cluster

    def close(self):
        if self._own is not None:
            self.client.close()
            self._own.close()


def _check_memory(client, table_bytes):
    """Refuses a table that would not fit a worker, before it is sent."""
    need = table_bytes * _WORKER_BYTES_PER_TABLE_BYTE
    workers = client.scheduler_info().get("workers", {})
    limits = [w.get("memory_limit") or 0 for w in workers.values()]
    limit = min((m for m in limits if m), default=0)
    if limit and need > limit:
        raise MemoryError(
            "the table needs about %d MB on each worker, more than the "
            "workers' memory_limit of %d MB; give the workers more memory "
            "or use a smaller table" % (need >> 20, limit >> 20))


def _ranges(rows, workers, range_rows):
    size = range_rows or max(1, min(_RANGE_ROWS, -(-rows // (4 * workers))))
    return [(b, min(b + size, rows)) for b in range(0, rows, size)]


# Per worker process: the finders of the table last prepared, by their keys
# (a call's key, then a block's number when the table is split: a worker
# that took over a lost worker's block holds two). A finder serves one range
# at a time, also on a worker of several threads.
_FINDERS = {}
_FINDER_LOCK = threading.Lock()


def _finder(key, make, use):
    with _FINDER_LOCK:
        finder = _FINDERS.get(key)
        if finder is None:
            call = key.split("-")[0]
            for other in [k for k in _FINDERS if k.split("-")[0] != call]:
                del _FINDERS[other]  # one table at a time
            finder = _FINDERS[key] = make()
        return use(finder)


class _ColumnCalls:
    """Stands in for a control to note the column options that the frame
    layer sets, so that every process sets the same."""

    def __init__(self):
        self.calls = []

    def SetColumnOption(self, *args):
        self.calls.append(args)


def _settings_control(settings, label_seed=None):
    """A control with the column options of `settings`."""
    from . import Control
    ctl = Control(label_seed=label_seed)
    for call in settings["columns"]:
        ctl.SetColumnOption(*call)
    return ctl


def _check_options(options, method):
    from . import _vexlor
    problems = _vexlor._options_problems(options, method)
    if problems:
        raise ValueError("%s Options: %s" % (method, "; ".join(problems)))


def _prepare(df, id_column, columns, weights, threshold, cluster_threshold,
             options, method, label_seed):
    """The labelling control and the settings the workers need."""
    noted = _ColumnCalls()
    id_index = frames._set_columns(noted, df, id_column, columns, weights)
    _check_options(options, method)
    settings = {"columns": noted.calls, "id": id_index,
                "threshold": float(threshold),
                "cluster_threshold": float(cluster_threshold),
                "options": options}
    return _settings_control(settings, label_seed), settings


def _packed(rows):
    """The rows as the workers keep them until their finder is made: the
    finder holds its own copy, so a worker need not keep Python's."""
    return zlib.compress(pickle.dumps(rows, protocol=5), 1)


def _unpacked(packed):
    return pickle.loads(zlib.decompress(packed))


def _find_dupes(key, packed, settings, begin, end):
    from . import _vexlor

    def make():
        ctl = _settings_control(settings)
        return _vexlor._DupePairFinder(
            ctl._c, _unpacked(packed), settings["id"], settings["threshold"],
            settings["cluster_threshold"], settings["options"])
    return _finder(key, make, lambda finder: finder.find(begin, end))


def _find_matches(key, packed, settings, records):
    from . import _vexlor

    def make():
        ctl = _settings_control(settings)
        return _vexlor._MatchPairFinder(
            ctl._c, _unpacked(packed), settings["id"], settings["threshold"],
            settings["cluster_threshold"], settings["options"])
    return _finder(key, make, lambda finder: finder.find(records))


def _gather(client, futures, progress):
    """The results of `futures` in order; on any way out before that, no
    worker is left busy with them."""
    done = False
    try:
        if progress:
            _distributed().progress(futures)
        results = client.gather(futures)
        done = True
        return results
    finally:
        if not done:
            client.cancel(futures)


def _said(options, name):
    """The last value `options` gives `name`, lower case, or None."""
    said = re.findall(r"%s\s*=\s*(\w*)" % name, options, re.IGNORECASE)
    return said[-1].lower() if said else None


def _splits_index(settings):
    """Whether the workers hold a block of the table each rather than all
    of it: with bounded candidates, whose shortlists the blocks find alone
    (vexlor/tables/distributed/block_pair_finder.h)."""
    options = settings["options"]
    return (_said(options, "candidates") == "bounded" and
            _said(options, "scoring") != "estimated")


class _Block:
    """A block's finder and the ranges it has shortlisted and not yet
    found."""

    def __init__(self, finder):
        self.finder = finder
        self.shortlisted = set()


def _block_finder(key, packed, settings, first_row):
    from . import _vexlor

    def make():
        ctl = _settings_control(settings)
        return _Block(_vexlor._BlockPairFinder(
            ctl._c, _unpacked(packed), first_row, settings["id"],
            settings["threshold"], settings["cluster_threshold"],
            settings["options"]))
    return make


def _block_common_keys(key, packed, settings, first_row, blocks):
    make = _block_finder(key, packed, settings, first_row)
    return _finder(key, make, lambda b: b.finder.common_keys(blocks))


def _block_key_rows(key, packed, settings, first_row, keys):
    make = _block_finder(key, packed, settings, first_row)
    return _finder(key, make, lambda b: b.finder.key_rows(keys))


def _block_shortlist(key, packed, settings, first_row, over, records, first):
    # The keys over the bucket come with every range, so that a worker
    # that had to make its finder again skips them too.
    def use(block):
        block.finder.skip_keys(over)
        words = block.finder.shortlist(records, first)
        block.shortlisted.add(first)
        return words
    return _finder(key, _block_finder(key, packed, settings, first_row), use)


def _block_find(key, packed, settings, first_row, over, records, first,
                cuts):
    def use(block):
        if first not in block.shortlisted:
            # Shortlisted by a worker since lost: the same shortlist again,
            # which the cuts were made from.
            block.finder.skip_keys(over)
            block.finder.shortlist(records, first)
        block.shortlisted.discard(first)
        return block.finder.find(records, first, cuts)
    return _finder(key, _block_finder(key, packed, settings, first_row), use)


class _Broadcast:
    """Data scattered to every worker, scattered again when a loss took
    it: the scheduler keeps no way to make it anew."""

    def __init__(self, client, data):
        self._client = client
        self._data = data
        self._future = None

    def future(self, check=False):
        """The data's future; with `check`, first asks the scheduler
        whether a worker still holds it."""
        if check and self._future is not None:
            held = self._client.who_has([self._future])
            if not held.get(self._future.key):
                self._future = None
        for attempt in range(5):
            if self._future is not None:
                return self._future
            try:
                # A new key each time: the lost one may still be known.
                [self._future] = self._client.scatter(
                    [self._data], broadcast=True, hash=False)
            except (KeyboardInterrupt, MemoryError):
                raise
            except Exception:
                # The scheduler's copying can stumble on workers that come
                # and go.
                if attempt == 4:
                    raise
                time.sleep(1)
        return self._future


class _SplitBlocks:
    """The table's blocks, one per worker, and the tasks on them. A block
    whose worker is lost is sent again to a worker still there, and the
    tasks that failed with it are submitted again; any other failure is
    the call's."""

    def __init__(self, client, rows, settings):
        import uuid
        self._client = client
        self._rows = rows
        self._settings = settings
        self._key = uuid.uuid4().hex
        workers = self._workers()
        n = len(workers)
        self.count = n
        self._bounds = [(len(rows) * k // n, len(rows) * (k + 1) // n)
                        for k in range(n)]
        self._where = list(workers)
        # In the tasks' keys: the moves before it and a number of its own,
        # for a task sent again must be a new one to the scheduler.
        self._moves = 0
        self._sent = itertools.count()
        self._lossy = False
        self._blocks = [self._scatter(k) for k in range(n)]

    def _workers(self):
        # Asked of the scheduler now: the client's copy of its workers
        # lags behind a loss.
        return sorted(self._client.nthreads()) or [None]

    def _scatter(self, k):
        b, e = self._bounds[k]
        where = {} if self._where[k] is None else {
            "workers": [self._where[k]]}
        [block] = self._client.scatter([_packed(self._rows[b:e])], hash=False,
                                       **where)
        return block

    def submit(self, k, function, *args, name):
        """Submits function(block key, block, settings, first row, *args)
        to block k's worker; the args that are _Broadcast go as their
        futures."""
        where = {} if self._where[k] is None else {
            "workers": [self._where[k]], "allow_other_workers": False}
        check = self._lossy  # after a loss, data may be gone
        args = [a.future(check) if isinstance(a, _Broadcast) else a
                for a in args]
        return self._client.submit(
            function, "%s-%d" % (self._key, k), self._blocks[k],
            self._settings.future(check), self._bounds[k][0], *args,
            key="vexlor-split-%s-%s-%d-%d-%d" % (
                name, self._key, k, self._moves, next(self._sent)), **where)

    def _move_lost(self):
        """Places the blocks of workers no longer there; whether any was."""
        try:
            self._client.wait_for_workers(1, timeout=60)
        except Exception:
            return False
        alive = self._workers()
        lost = [k for k in range(self.count)
                if self._where[k] is not None and (
                    self._where[k] not in alive or
                    self._blocks[k].status != "finished")]
        for k in lost:
            held = {w: self._where.count(w) for w in alive}
            self._where[k] = min(alive, key=lambda w: (held[w], w))
        self._moves += 1 if lost else 0
        for k in lost:
            self._blocks[k] = self._scatter(k)
        return bool(lost)

    def gather(self, futures, again):
        """The results of futures[k] in order; again(k) submits the task
        of block k once more."""
        for _ in range(4 * self.count):
            try:
                return self._client.gather(futures)
            except (KeyboardInterrupt, MemoryError):
                self._client.cancel(futures)
                raise
            except Exception as error:
                # Only a loss cancels a task of ours: of its worker, or of
                # the data it waited for. A task sent before the last move
                # may also have failed with it.
                lost = isinstance(error, concurrent.futures.CancelledError)
                stale = any(f.status != "finished" and
                            int(f.key.split("-")[-2]) < self._moves
                            for f in futures)
                if not self._move_lost() and not stale and not lost:
                    self._client.cancel(futures)
                    raise
                self._lossy = True
                futures = [f if f.status == "finished" else again(k)
                           for k, f in enumerate(futures)]
        return _gather(self._client, futures, False)


def find_split_dupe_words(client, rows, settings, progress=False,
                          range_rows=None):
    """find_dupe_words with the table split into one block of rows per
    worker: each worker holds its block's index alone and meets every
    record against it; this process merges the blocks' shortlists."""
    from . import _vexlor
    blocks = _SplitBlocks(client, rows, _Broadcast(client, settings))
    n = blocks.count

    def submitted(function, args, name):
        """function's tasks on every block, args(k) giving block k's
        arguments, and how to submit block k's again."""
        def on(k):
            return blocks.submit(k, function, *args(k), name=name)
        return [on(k) for k in range(n)], on

    def everywhere(function, *args, name):
        return blocks.gather(*submitted(function, lambda k: args, name))

    common = everywhere(_block_common_keys, n, name="common")
    keys = b"".join(sorted({common[k][i:i + 8] for k in range(n)
                            for i in range(0, len(common[k]), 8)}))
    counts = everywhere(_block_key_rows, keys, name="rows")
    over = _Broadcast(client, _vexlor._keys_over_bucket(keys, counts))
    # A record is settled in two rounds (block_words.h): the blocks'
    # shortlists, then, with the cuts of the whole table's shortlist, their
    # counts and verdicts. A few ranges are in flight, so that the workers
    # go on while this process merges, and no worker holds more than those
    # ranges' records and shortlists.
    ranges = _ranges(len(rows), n, range_rows)
    shortlisting, finding, words = [], [], []

    def cut_oldest():
        b, e, records, (futures, again) = shortlisting.pop(0)
        cuts = _vexlor._block_cuts(blocks.gather(futures, again), e - b)
        finding.append((e - b, submitted(
            _block_find, lambda k, a=(over, records, b): a + (cuts[k],),
            name="find-%d" % b)))

    def merge_oldest():
        count, (futures, again) = finding.pop(0)
        words.append(_vexlor._merge_block_words(
            blocks.gather(futures, again), count))
        if progress:
            print("vexlor.distributed: %d of %d ranges" % (
                len(words), len(ranges)), file=sys.stderr)

    for b, e in ranges:
        records = _Broadcast(client, rows[b:e])
        shortlisting.append((b, e, records, submitted(
            _block_shortlist, lambda k, a=(over, records, b): a,
            name="list-%d" % b)))
        if len(shortlisting) > _RANGES_IN_FLIGHT:
            cut_oldest()
        if len(finding) > _RANGES_IN_FLIGHT:
            merge_oldest()
    while shortlisting:
        cut_oldest()
    while finding:
        merge_oldest()
    return b"".join(words)


def find_dupe_words(client, rows, settings, progress=False, range_rows=None,
                    table_bytes=0):
    """The found pairs of every record of `rows` (lists of cells), as the
    labelling reads them: bytes."""
    import uuid
    if _splits_index(settings):
        _check_memory(client, table_bytes // max(
            1, len(client.scheduler_info().get("workers", {}))))
        return find_split_dupe_words(client, rows, settings, progress,
                                     range_rows)
    workers = max(1, len(client.scheduler_info().get("workers", {})))
    _check_memory(client, table_bytes)
    key = uuid.uuid4().hex
    [rows_future] = client.scatter([_packed(rows)], broadcast=True)
    [settings_future] = client.scatter([settings], broadcast=True)
    futures = [
        client.submit(_find_dupes, key, rows_future, settings_future, b, e,
                      key="vexlor-dupes-%s-%d" % (key, b))
        for b, e in _ranges(len(rows), workers, range_rows)]
    return b"".join(_gather(client, futures, progress))


def _on_one_machine(options, scoring, model, model_out):
    """Whether the call scores with an estimated model, whose estimation
    reads sampled records out of turn: that search runs here alone."""
    said = re.findall(r"scoring\s*=\s*(\w*)", options, re.IGNORECASE)
    return (scoring == "estimated" or model is not None or
            model_out is not None or
            bool(said) and said[-1].lower() == "estimated")


def dupes(df, client=None, *, id_column=None, columns=None, weights=None,
          threshold=80.0, cluster_threshold=0.5, options="", return_results=1,
          label_seed=None, progress=False, scoring=None, model=None,
          model_out=None, n_workers=None, range_rows=None):
    """vexlor.dupes on a Dask cluster: the same keywords, the same result.

    df: a pandas or Dask DataFrame (a Dask one is computed here). client: a
    distributed.Client, or None for a local cluster of `n_workers`
    processes (one per core by default) started for this call. progress:
    True for Dask's progress bar. range_rows: records per task. With
    estimated scoring the search runs on this machine alone.
    """
    df = _whole(df)
    if _on_one_machine(options, scoring, model, model_out):
        return frames.dupes(df, id_column=id_column, columns=columns,
                            weights=weights, threshold=threshold,
                            cluster_threshold=cluster_threshold,
                            options=options, return_results=return_results,
                            label_seed=label_seed, progress=progress,
                            scoring=scoring, model=model, model_out=model_out)
    frames._check_frame(df, "df")
    ctl, settings = _prepare(df, id_column, columns, weights, threshold,
                             cluster_threshold, options, "DupeSearch",
                             label_seed)
    id_index = settings["id"]
    rows = frames._rows(df, 0)
    cluster = _Cluster(client, n_workers)
    try:
        words = find_dupe_words(
            cluster.client, rows, settings, progress, range_rows,
            int(df.memory_usage(deep=True).sum()))
    finally:
        cluster.close()
    result, missed = ctl._c.replay_dupes(
        rows, id_index, float(threshold), float(cluster_threshold), options,
        int(return_results), words)
    if missed:
        return frames.dupes(df, id_column=id_column, columns=columns,
                            weights=weights, threshold=threshold,
                            cluster_threshold=cluster_threshold,
                            options=options, return_results=return_results,
                            label_seed=label_seed)
    frames._raise_on_error(ctl, "DupeSearch")
    return frames._frame(df, result, df.shape[1], ("FuzzyDupesID",
                                                   "Similarity"))


def match(master, df, client=None, *, id_column=None, columns=None,
          weights=None, threshold=80.0, cluster_threshold=0.5, options="",
          return_results=0, label_seed=None, progress=False, scoring=None,
          model=None, model_out=None, n_workers=None, range_rows=None):
    """vexlor.match on a Dask cluster: the master table goes to every
    worker once, ranges of df's records to one each. Keywords as dupes."""
    import uuid
    master, df = _whole(master), _whole(df)
    if _on_one_machine(options, scoring, model, model_out):
        return frames.match(master, df, id_column=id_column, columns=columns,
                            weights=weights, threshold=threshold,
                            cluster_threshold=cluster_threshold,
                            options=options, return_results=return_results,
                            label_seed=label_seed, progress=progress,
                            scoring=scoring, model=model, model_out=model_out)
    frames._check_pair(master, df)
    ctl, settings = _prepare(master, id_column, columns, weights, threshold,
                             cluster_threshold, options, "FuzzyMatch",
                             label_seed)
    id_index = settings["id"]
    rows, others = frames._rows(master, 0), frames._rows(df, len(master))
    cluster = _Cluster(client, n_workers)
    try:
        client = cluster.client
        workers = max(1, len(client.scheduler_info().get("workers", {})))
        _check_memory(client, int(master.memory_usage(deep=True).sum()))
        key = uuid.uuid4().hex
        [rows_future] = client.scatter([_packed(rows)], broadcast=True)
        [settings_future] = client.scatter([settings], broadcast=True)
        futures = [
            client.submit(_find_matches, key, rows_future, settings_future,
                          others[b:e], key="vexlor-match-%s-%d" % (key, b))
            for b, e in _ranges(len(others), workers, range_rows)]
        words = b"".join(_gather(client, futures, progress))
    finally:
        cluster.close()
    result, missed = ctl._c.replay_match(
        rows, others, id_index, float(threshold), float(cluster_threshold),
        options, int(return_results), words)
    if missed:
        return frames.match(master, df, id_column=id_column, columns=columns,
                            weights=weights, threshold=threshold,
                            cluster_threshold=cluster_threshold,
                            options=options, return_results=return_results,
                            label_seed=label_seed)
    frames._raise_on_error(ctl, "FuzzyMatch")
    return frames._frame(master, result, master.shape[1], ("Match",
                                                           "Similarity"))


def _main(argv):
    """The command line's helper: reads a job the command wrote (the
    table as CSV, every cell quoted; the settings as arguments), finds the
    pairs on the cluster and writes their words to a file."""
    parser = argparse.ArgumentParser(prog="python3 -m vexlor.distributed")
    parser.add_argument("table")
    parser.add_argument("words")
    parser.add_argument("--workers", type=int)
    parser.add_argument("--scheduler")
    parser.add_argument("--id-column", type=int, default=-1)
    parser.add_argument("--threshold", type=float, required=True)
    parser.add_argument("--cluster-threshold", type=float, required=True)
    parser.add_argument("--options", default="")
    # Per column: cluster,dupe_search,weight,compare_null.
    parser.add_argument("--column", action="append", default=[])
    parser.add_argument("--progress", action="store_true")
    a = parser.parse_args(argv)
    with open(a.table, newline="", encoding="utf-8") as f:
        rows = [row for row in csv.reader(f)]
    columns = []
    for c, text in enumerate(a.column):
        cluster, dupe, weight, compare_null = text.split(",")
        columns.append((c, cluster == "1", dupe == "1", float(weight),
                        compare_null == "1", ""))
    settings = {"columns": columns, "id": a.id_column,
                "threshold": a.threshold,
                "cluster_threshold": a.cluster_threshold,
                "options": a.options}
    try:
        distributed = _distributed()
    except ImportError as error:
        print("vexlor.distributed: %s" % error, file=sys.stderr)
        return 3  # the command line names what is missing
    if a.scheduler:
        client = distributed.Client(a.scheduler)
        cluster = None
    else:
        cluster = _Cluster(None, a.workers)
        client = cluster.client
    try:
        size = sum(len(cell) for cell in itertools.chain.from_iterable(rows))
        words = find_dupe_words(client, rows, settings, a.progress,
                                table_bytes=size + 60 * len(rows))
    finally:
        if cluster is not None:
            cluster.close()
        else:
            client.close()
    with open(a.words, "wb") as f:
        f.write(words)
    return 0


if __name__ == "__main__":
    # The tasks must name the package's functions, not this script's: Dask
    # sends a script's functions by value, with their module's state.
    from vexlor import distributed as _package
    sys.exit(_package._main(sys.argv[1:]))
