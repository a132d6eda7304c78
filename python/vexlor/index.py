"""vexlor.Index: a deduplicated table kept up to date, with group ids that
never change once a record is stored.

    with vexlor.Index.create("people.index", people, id_column="id") as index:
        added = index.add(new_people)       # stored, with FuzzyDupesID
        answer = index.match(typed_record)  # the same answer, nothing stored
"""

import collections.abc
import json
import os

from . import _vexlor
from . import frames

_LABEL = "FuzzyDupesID"


def _plain_rows(df):
    """The frame's cells as rows, in column order."""
    columns = [df.iloc[:, c].tolist() for c in range(df.shape[1])]
    return [list(row) for row in zip(*columns)] if columns else \
        [[] for _ in range(len(df))]


def _model_text(model):
    if isinstance(model, collections.abc.Mapping):
        return json.dumps(model)
    with open(os.fspath(model), encoding="utf-8") as f:
        return f.read()


class Index:
    """A persisted index (an SQLite file) of records and their groups.

    Make one with Index.create, open one with Index.open; use it as a
    context manager or call close(). add() and match() take a DataFrame
    whose columns are (some of) the index's, by name, and return it with
    "FuzzyDupesID" (the group id; None where match() finds the record would
    be alone) and "Similarity" (of the match that placed it; NaN for a
    record that opens a group) columns, as vexlor.dupes does.
    """

    def __init__(self, native):
        self._native = native

    @classmethod
    def create(cls, path, df, *, label_column=None, id_column=None,
               columns=None, weights=None, threshold=80.0,
               cluster_threshold=0.5, options="", label_seed=None,
               progress=False, scoring=None, model=None):
        """Makes the index file `path` from `df` with the settings of
        vexlor.dupes (the same keywords) and returns it open. If df has a
        label column (label_column, or a "FuzzyDupesID" column), its
        groups are kept; otherwise df is deduplicated first. A file at
        `path` is never replaced: ValueError."""
        frames._check_frame(df, "df")
        if label_column is not None and label_column not in df.columns:
            raise ValueError("label_column: no column named %r"
                             % (label_column,))
        label = label_column if label_column is not None else (
            _LABEL if _LABEL in df.columns else None)
        if os.path.exists(os.fspath(path)):
            raise ValueError("%s exists; an index is made anew only"
                             % os.fspath(path))
        records = df.drop(columns=[label]) if label is not None else df
        ctl = frames._control(label_seed)
        options = frames._scoring(ctl, options, scoring, model, None)
        estimated = "scoring=estimated" in options.replace(" ", "").lower()
        if estimated and model is None:
            if label is not None:
                raise ValueError("a labelled df is not searched, so estimated "
                                 "scoring needs its model (model=...)")
            ctl._c._set_model(None)
        id_index = frames._set_columns(ctl, records, id_column, columns,
                                       weights)
        rows = _plain_rows(records)
        if label is not None:
            labels = [str(x) for x in df[label].tolist()]
        else:
            positioned = frames._rows(records, 0)
            result = frames._run(ctl, progress, "DupeSearch",
                                 lambda: ctl.DupeSearch(
                                     positioned, id_index, float(threshold),
                                     float(cluster_threshold), options, 1,
                                     False))
            frames._raise_on_error(ctl, "DupeSearch")
            width = records.shape[1]
            labels = [None] * len(records)
            for row in result or []:
                labels[row[width]] = row[width + 1]
        model_json = ""
        if estimated:
            model_json = _model_text(model) if label is not None \
                else ctl._c._model_out()
        _vexlor._Index.create(os.fspath(path), ctl._c,
                              [str(c) for c in records.columns], rows, labels,
                              id_index, float(threshold),
                              float(cluster_threshold), options, model_json)
        return cls.open(path, label_seed=label_seed)

    @classmethod
    def open(cls, path, *, label_seed=None):
        """Opens the index file `path`; ValueError for a file that is not
        an index this version reads (another program's, a newer one's or a
        damaged one), which is left as it is."""
        return cls(_vexlor._Index(os.fspath(path), label_seed))

    @property
    def columns(self):
        return list(self._native.names)

    def _records(self, df):
        frames._check_frame(df, "df")
        names = self._native.names
        where = {name: i for i, name in enumerate(names)}
        for label in df.columns:
            if str(label) not in where:
                raise ValueError("df has column %r, which the index does not "
                                 "have (its columns: %s)"
                                 % (label, ", ".join(names)))
        rows = [[None] * len(names) for _ in range(len(df))]
        for c, label in enumerate(df.columns):
            at = where[str(label)]
            for r, cell in enumerate(df.iloc[:, c].tolist()):
                rows[r][at] = cell
        return rows

    def _answer(self, df, store):
        pd = frames._pandas()
        answers = self._native.search(self._records(df), store)
        out = df.copy()
        out[_LABEL] = pd.Series([a[0] for a in answers], index=df.index,
                                dtype=object)
        out["Similarity"] = pd.Series(
            [float("nan") if a[1] is None else a[1] for a in answers],
            index=df.index, dtype=float)
        return out

    def add(self, df):
        """Searches each record of df against the index (and the records
        before it in df), puts it in a group by the index's grouping or a
        new one, and stores all of them in one transaction."""
        return self._answer(df, True)

    def match(self, df):
        """What add(df) would answer, storing nothing."""
        return self._answer(df, False)

    def matches(self, df):
        """Per record of df, its matches best first: (id, group,
        similarity) tuples, as the service answers them."""
        return [a[2] for a in self._native.search(self._records(df), False)]

    def export(self):
        """Every record with its group id, in the order stored."""
        pd = frames._pandas()
        rows, groups = self._native.export()
        out = pd.DataFrame(rows, columns=self._native.names)
        out[_LABEL] = pd.Series(groups, dtype=object)
        return out

    def info(self):
        """Records, groups, file size and settings, as a dict."""
        return dict(self._native.info())

    def close(self):
        self._native.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False
