"""DataFrames in, DataFrames out: the batch methods for pandas users.

Each function builds a control, sets its column options from column labels,
passes the frame's cells (NaN, None, pd.NA and pd.NaT as missing values)
and returns a new DataFrame made of the input's own rows (so its index,
column names and dtypes) plus the columns the method adds. pandas is
imported on the first call, so the rest of the package works without it.
"""

import collections.abc
import datetime
import decimal
import json
import os
import re
import sys
import time
import warnings

# The rows travel with their position in a last column that is neither
# clustered nor compared, so every result row finds its input row again,
# whatever the method keeps and in whatever order.
_MAX_COLUMNS = 399


def _pandas():
    try:
        import pandas
    except ImportError as error:
        raise ImportError("this vexlor function needs pandas "
                          "(Debian: python3-pandas)") from error
    return pandas


def _control(label_seed):
    from . import Control
    return Control(label_seed=label_seed)


_CELL_TYPES = (str, bool, int, float, datetime.date, decimal.Decimal,
               type(None))


def _check_frame(df, what):
    pd = _pandas()
    if not isinstance(df, pd.DataFrame):
        raise TypeError("%s must be a pandas DataFrame, not %s"
                        % (what, type(df).__name__))
    if df.shape[1] > _MAX_COLUMNS:
        raise ValueError("%s has %d columns; at most %d can be compared"
                         % (what, df.shape[1], _MAX_COLUMNS))
    duplicated = df.columns[df.columns.duplicated()]
    if len(duplicated):
        raise ValueError("%s has more than one column named %r"
                         % (what, duplicated[0]))
    for label in df.columns:
        _check_column(df[label], label, what)


def _check_column(column, label, what):
    from . import Variant, Empty, Null
    dtype = column.dtype
    kind = getattr(getattr(dtype, "categories", None), "dtype", dtype).kind
    if kind in "mcV":
        raise TypeError("%s column %r has dtype %s, which no cell can hold"
                        % (what, label, dtype))
    if kind != "O":
        return
    for cell_type in set(map(type, column.tolist())):
        if (issubclass(cell_type, _CELL_TYPES + (Variant,))
                or cell_type in (type(Empty), type(Null))
                or cell_type.__module__.split(".")[0] in ("numpy", "pandas")
                and not issubclass(cell_type, datetime.timedelta)):
            continue
        raise TypeError("%s column %r holds a value of type %s, which no "
                        "cell can hold" % (what, label, cell_type.__name__))


def _rows(df, first_position):
    """The frame's cells as rows, each ending with its position."""
    columns = [df.iloc[:, c].tolist() for c in range(df.shape[1])]
    columns.append(range(first_position, first_position + len(df)))
    return list(zip(*columns))


def _index_of(df, label, argument):
    try:
        return list(df.columns).index(label)
    except ValueError:
        raise ValueError("%s: no column named %r" % (argument, label)) from None


def _set_columns(ctl, df, id_column, columns, weights):
    """Column options by label: `columns` (None: all but id_column) are
    clustered and compared, with weight 1 unless `weights` says otherwise;
    returns the id column's index (-1 for none)."""
    labels = list(df.columns)
    id_index = -1 if id_column is None else _index_of(df, id_column, "id_column")
    if columns is None:
        compared = [c for i, c in enumerate(labels) if i != id_index]
    else:
        if isinstance(columns, str):
            columns = [columns]
        compared = list(columns)
        for label in compared:
            _index_of(df, label, "columns")
    weights = dict(weights or {})
    for label in weights:
        _index_of(df, label, "weights")
        if label not in compared:
            raise ValueError("weights: column %r is not compared" % (label,))
    for i, label in enumerate(labels):
        use = label in compared
        ctl.SetColumnOption(i, use, use, float(weights.get(label, 1.0)),
                            False, str(label))
    ctl.SetColumnOption(len(labels), False, False, 1.0, False, "")
    return id_index


def _frame(source, result, width, added_names):
    """The rows of `source` that `result` names by position, in its order,
    with the columns the method added after `width` input columns."""
    pd = _pandas()
    rows = result if isinstance(result, list) else []
    out = source.iloc[[row[width] for row in rows]].copy()
    extra = max((len(row) for row in rows), default=width + 1) - width - 1
    for k in range(extra):
        name = added_names[k] if k < len(added_names) else "Column%d" % k
        # The added columns take the dtype their values call for
        # (labels object, Match and Source int64, Similarity float64).
        out[name] = pd.Series([row[width + 1 + k] for row in rows],
                              index=out.index)
    if not rows:
        for name in added_names[:1]:
            out[name] = pd.Series([], index=out.index, dtype=object)
    return out


# Progress: the events' fields by name, as the command line prints them.
_FIELDS = {
    "Progress": ("Action", "PercentDone", "ElapsedSeconds", "ElapsedString",
                 "ETASeconds", "ETAString"),
    "ProgressDupeSearch": ("PercentDone", "RecordNo", "RecordCount",
                           "DepthCurrent", "DepthMax", "DepthAvg",
                           "DupesFound", "DupesFound2", "ElapsedSeconds",
                           "ElapsedString", "ETASeconds", "ETAString"),
}


class _Sink:
    def __init__(self, report):
        self._report = report

    def Progress(self, *args):
        self._report(dict(zip(_FIELDS["Progress"], args), event="Progress"))

    def ProgressDupeSearch(self, *args):
        self._report(dict(zip(_FIELDS["ProgressDupeSearch"], args),
                          event="ProgressDupeSearch"))


class _Bar:
    """A tqdm bar when tqdm is importable, else a line on stderr redrawn at
    most four times a second. Each stage of a method starts it again."""

    def __init__(self, title):
        self._title = title
        self._last_draw = 0.0
        self._drawn = False
        try:
            from tqdm.auto import tqdm
        except ImportError:
            self._bar = None
        else:
            self._bar = tqdm(total=100.0, desc=title, unit="%",
                             bar_format="{desc}: {percentage:3.0f}%|{bar}| "
                                        "[{elapsed}<{remaining}]")

    def __call__(self, fields):
        percent = min(max(float(fields["PercentDone"]), 0.0), 100.0)
        if self._bar is not None:
            if percent < self._bar.n:
                self._bar.reset(total=100.0)
            self._bar.update(percent - self._bar.n)
            return
        now = time.monotonic()
        if now - self._last_draw < 0.25 and percent < 100.0:
            return
        self._last_draw = now
        self._drawn = True
        sys.stderr.write("\r%s: %5.1f%%  elapsed %s  left %s " % (
            self._title, percent, fields["ElapsedString"], fields["ETAString"]))
        sys.stderr.flush()

    def close(self):
        if self._bar is not None:
            self._bar.close()
        elif self._drawn:
            sys.stderr.write("\n")


def _run(ctl, progress, title, call):
    """call(), with events to `progress`: False for none, True for a bar,
    or a callable given each event's fields as a dict."""
    if not progress:
        return call()
    report = progress if callable(progress) else _Bar(title)
    sink = _Sink(report)
    ctl.connect(sink)
    try:
        return call()
    finally:
        ctl.disconnect(sink)
        if report is not progress:
            report.close()


def _scoring(ctl, options, scoring, model, model_out):
    """The Options text with `scoring` in force (a model implies
    "estimated"); hands `model` (a path or the dict of a saved model) to
    the control and has it keep the model that scores when `model_out` is
    given."""
    if scoring not in (None, "mean", "estimated"):
        raise ValueError("scoring must be 'mean' or 'estimated', not %r"
                         % (scoring,))
    if model is not None:
        if scoring == "mean":
            raise ValueError("model scores with the model: not with "
                             "scoring='mean'")
        scoring = "estimated"
        if isinstance(model, collections.abc.Mapping):
            text = json.dumps(model)
        else:
            with open(os.fspath(model), encoding="utf-8") as f:
                text = f.read()
        ctl._c._set_model(text)
    elif model_out is not None:
        ctl._c._set_model(None)
    if scoring is not None:
        options = "%s;Scoring=%s" % (options, scoring) if options.strip() \
            else "Scoring=" + scoring
    said = re.findall(r"scoring\s*=\s*(\w*)", options, re.IGNORECASE)
    if model_out is not None and (not said or said[-1].lower() != "estimated"):
        raise ValueError("model_out needs scoring='estimated' (or a model)")
    return options


def _write_model(ctl, model_out):
    if model_out is not None:
        with open(os.fspath(model_out), "w", encoding="utf-8") as f:
            f.write(ctl._c._model_out())


def _raise_on_error(ctl, method):
    if ctl.LastError() != 0:
        raise RuntimeError("%s: %s" % (method, ctl.LastErrorDescription()))


def dupes(df, *, id_column=None, columns=None, weights=None, threshold=80.0,
          cluster_threshold=0.5, options="", return_results=1,
          label_seed=None, progress=False, scoring=None, model=None,
          model_out=None):
    """Finds the rows of `df` that resemble each other.

    df: the records, one per row. id_column: the label of a column that
    identifies a record and is never compared (None: no such column).
    columns: the labels of the columns to cluster and compare (None: all
    but id_column); weights: {label: weight} for compared columns (1.0
    otherwise). threshold: the similarity in percent from which two
    records are duplicates; cluster_threshold: the fraction of the
    columns' trigrams that two records must share to be compared at all.
    options: the Options text ("Grouping=Clique;Scores=1", see the README).
    return_results: vexlor.DRR_ALL (every row) or vexlor.DRR_DUPES (only
    the rows with duplicates). label_seed: reproducible labels.
    progress: True for a progress bar, or a callable given each event's
    fields as a dict. scoring: "mean" (the weighted mean of the columns'
    similarities) or "estimated" (the match probability of a model fitted
    to the data, in percent), over the Options text's Scoring. model: a
    saved model (a path to its JSON, or that JSON read as a dict) to score
    with instead of fitting one; it implies "estimated". model_out: a path
    where the model that scored is saved as JSON.

    Returns a new DataFrame: the rows of df (index, columns and dtypes
    kept) with a "FuzzyDupesID" column, the label of the row's group (a
    row without duplicates has a label of its own), and with Scores=1 a
    "Similarity" column (NaN for the first row of a group). A chained
    group (the default Grouping) of more than fifty records raises a
    vexlor.LargeGroupWarning once, naming the setting advised for large
    tables.

    >>> people = pd.DataFrame({"name": ["Anna Meier", "Anna Maier", "Bob"]})
    >>> labels = vexlor.dupes(people)["FuzzyDupesID"]
    >>> labels.duplicated(keep=False).tolist()
    [True, True, False]
    """
    _check_frame(df, "df")
    ctl = _control(label_seed)
    options = _scoring(ctl, options, scoring, model, model_out)
    id_index = _set_columns(ctl, df, id_column, columns, weights)
    rows = _rows(df, 0)
    result = _run(ctl, progress, "DupeSearch", lambda: ctl.DupeSearch(
        rows, id_index, float(threshold), float(cluster_threshold), options,
        int(return_results), False))
    _raise_on_error(ctl, "DupeSearch")
    _write_model(ctl, model_out)
    frame = _frame(df, result, df.shape[1], ("FuzzyDupesID", "Similarity"))
    _warn_large_group(frame, options)
    return frame


# kLargeChainedGroup and kAdvisedLargeTableOptions of
# include/vexlor/match_options.h, which the command line's summary names.
_LARGE_CHAINED_GROUP = 50
_ADVISED_OPTIONS = "Grouping=Clique;Scoring=Estimated;Swap=1,2"


class LargeGroupWarning(UserWarning):
    """A chained duplicate search made a group past some fifty records."""


def _chained(options):
    """Whether the Options text leaves the grouping at Chain (the control
    takes an unknown value for the default)."""
    grouping = "chain"
    for setting in options.split(";"):
        name, _, value = setting.partition("=")
        if name.strip().lower() == "grouping":
            grouping = value.strip().lower()
    return grouping not in ("clique", "center")


def _warn_large_group(frame, options):
    """Says once per search when a chained group grew past some fifty
    records, and names the setting advised for large tables."""
    if frame.empty or not _chained(options):
        return
    largest = int(frame["FuzzyDupesID"].value_counts().max())
    if largest > _LARGE_CHAINED_GROUP:
        warnings.warn(
            "vexlor.dupes: the largest group holds %d records; chained "
            "groups this large often join different entities. On large "
            "tables options=%r is advised (id, first name, last name in "
            "columns 0, 1, 2)." % (largest, _ADVISED_OPTIONS),
            LargeGroupWarning, stacklevel=3)


def _check_pair(master, df):
    _check_frame(master, "master")
    _check_frame(df, "df")
    if master.shape[1] != df.shape[1]:
        raise ValueError("df has %d columns and master %d: the columns are "
                         "compared by position" % (df.shape[1], master.shape[1]))


def match(master, df, *, id_column=None, columns=None, weights=None,
          threshold=80.0, cluster_threshold=0.5, options="", return_results=0,
          label_seed=None, progress=False, scoring=None, model=None,
          model_out=None):
    """Marks every row of `master` with the first row of `df` that
    resembles it.

    The columns of df are compared with master's by position (the two
    frames have as many columns); id_column, columns and weights name
    master's columns, the other arguments are those of vexlor.dupes.
    return_results: vexlor.MAR_ALL, MAR_POSITIVE (the matched rows) or
    MAR_NEGATIVE (the others).

    Returns the rows of master with a "Match" column: the matching df row's
    number, counted from 1 in df's order, 0 for none (and "Similarity" with
    Scores=1).

    >>> vexlor.match(known, incoming)["Match"].tolist()
    [2, 0, 1]
    """
    _check_pair(master, df)
    ctl = _control(label_seed)
    options = _scoring(ctl, options, scoring, model, model_out)
    id_index = _set_columns(ctl, master, id_column, columns, weights)
    rows, others = _rows(master, 0), _rows(df, len(master))
    result = _run(ctl, progress, "FuzzyMatch", lambda: ctl.FuzzyMatch(
        rows, others, id_index, float(threshold), float(cluster_threshold),
        options, int(return_results), False, "", ""))
    _raise_on_error(ctl, "FuzzyMatch")
    _write_model(ctl, model_out)
    return _frame(master, result, master.shape[1], ("Match", "Similarity"))


def merge(master, df, *, id_column=None, columns=None, weights=None,
          threshold=80.0, cluster_threshold=0.5, options="", return_results=3,
          label_seed=None, progress=False, scoring=None, model=None,
          model_out=None):
    """Adds to `master` the rows of `df` that resemble neither a master row
    nor a df row added before them.

    Columns are compared by position, as in vexlor.match. return_results:
    vexlor.MRR_CLEANMERGED (master and the added rows), MRR_ALL (every
    row), MRR_DUPES (only the rows that resemble others) or MRR_IMPORT
    (only the added df rows).

    Returns the rows (df's under master's column names, with their own
    index) with "FuzzyDupesID" and "Source" (0 master, 1 df) columns,
    except for MRR_IMPORT, which returns df's rows alone.

    >>> vexlor.merge(known, incoming)["Source"].tolist()
    [0, 0, 1]
    """
    pd = _pandas()
    _check_pair(master, df)
    ctl = _control(label_seed)
    options = _scoring(ctl, options, scoring, model, model_out)
    id_index = _set_columns(ctl, master, id_column, columns, weights)
    rows, others = _rows(master, 0), _rows(df, len(master))
    result = _run(ctl, progress, "FuzzyMerge", lambda: ctl.FuzzyMerge(
        rows, others, id_index, float(threshold), float(cluster_threshold),
        options, int(return_results), False, "", ""))
    _raise_on_error(ctl, "FuzzyMerge")
    _write_model(ctl, model_out)
    both = pd.concat([master, df.set_axis(master.columns, axis=1)])
    names = () if return_results == 0 else ("FuzzyDupesID", "Source")
    return _frame(both, result, master.shape[1], names)


def exact(master, df, *, column, return_results=0, progress=False):
    """The rows of `master` whose text in `column` occurs in the same
    column of `df`. Texts compare exactly (case and blanks count, empty
    texts never match); of several master rows with one text only the
    first counts as matched.

    return_results: vexlor.MAR_ALL, MAR_POSITIVE (the matched rows) or
    MAR_NEGATIVE (the others). Returns those rows of master, unchanged.

    >>> vexlor.exact(known, incoming, column="email",
    ...              return_results=vexlor.MAR_NEGATIVE)
    """
    _check_frame(master, "master")
    _check_frame(df, "df")
    at = _index_of(master, column, "column")
    _index_of(df, column, "column")
    # Only the match column is read from df: it goes where master has it.
    others = [(None,) * at + (cell,) for cell in df[column].tolist()]
    ctl = _control(None)
    rows = _rows(master, 0)
    result = _run(ctl, progress, "ExactMatchByColumn",
                  lambda: ctl.ExactMatchByColumn(rows, others, at,
                                                 int(return_results), False))
    _raise_on_error(ctl, "ExactMatchByColumn")
    return _frame(master, result, master.shape[1], ())


def delete_dupes(df, *, label_column="FuzzyDupesID", keep="first",
                 return_results=0, progress=False):
    """Keeps one row of every group of rows that share a label (as
    vexlor.dupes gives them); rows with an empty label belong to no group
    and are left out.

    label_column: the label of the column holding the labels. keep:
    "first" or "last", the row kept of each group. return_results:
    vexlor.DER_CLEAN (the kept rows) or DER_DELETED (the others).

    Returns those rows of df, unchanged.

    >>> vexlor.delete_dupes(vexlor.dupes(people))
    """
    from . import DO_KEEP_FIRST, DO_KEEP_LAST
    _check_frame(df, "df")
    if keep not in ("first", "last"):
        raise ValueError("keep must be 'first' or 'last', not %r" % (keep,))
    at = _index_of(df, label_column, "label_column")
    ctl = _control(None)
    rows = _rows(df, 0)
    order = DO_KEEP_FIRST if keep == "first" else DO_KEEP_LAST
    result = _run(ctl, progress, "DeleteDupes", lambda: ctl.DeleteDupes(
        rows, at, df.shape[1], order, int(return_results), False, ""))
    _raise_on_error(ctl, "DeleteDupes")
    return _frame(df, result, df.shape[1], ())
