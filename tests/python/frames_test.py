"""The DataFrame layer and the data stack's cells (pandas, numpy, tqdm:
run under the interpreter they are installed for; skipped elsewhere)."""

import contextlib
import io
import json
import os
import tempfile
import unittest
import warnings

try:
    import numpy as np
    import pandas as pd
except ImportError:
    pd = None

import vexlor


def _people():
    return pd.DataFrame({
        "name": ["Anna Meier", "Anna Maier", "Bob Stone", "Anna Meyer",
                 "Bobby Stone", "Carla Day"],
        "city": ["Berlin", "Berlin", "Hamburg", "Berlin", None, "Bonn"],
        7: np.array([1, 2, 3, 4, 5, 6], dtype="int32"),
        "born": pd.to_datetime(["1980-01-02", None, "1975-05-06",
                                "1980-01-02", "1975-05-06", "1990-09-09"]),
        "score": [1.5, np.nan, 2.0, 1.5, 2.0, 3.0],
    }, index=pd.Index(list("uvwxyz"), name="key"))


@contextlib.contextmanager
def warnings_caught():
    """Every warning raised inside, kept in the list it yields."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        yield caught


def _groups(labels):
    """Rows grouped by label, as a set of frozensets of positions."""
    by_label = {}
    for position, label in enumerate(labels):
        by_label.setdefault(label, set()).add(position)
    return {frozenset(g) for g in by_label.values()}


@unittest.skipIf(pd is None, "pandas is not installed for this interpreter")
class FramesTest(unittest.TestCase):

    def test_a_large_chained_group_is_named_once(self):
        many = pd.DataFrame({"name": ["Anna Meier"] * 51 + ["Bob Stone"]})
        for options, warned in (("", 1), ("Grouping=Clique", 0)):
            with self.subTest(options=options):
                with warnings_caught() as caught:
                    vexlor.dupes(many, options=options)
                said = [w for w in caught
                        if issubclass(w.category, vexlor.LargeGroupWarning)]
                self.assertEqual(len(said), warned)
                if warned:
                    self.assertIn("51 records", str(said[0].message))
                    self.assertIn("Grouping=Clique;Scoring=Estimated;Swap=1,2",
                                  str(said[0].message))

    def test_missing_values_give_the_same_groups(self):
        results = []
        for missing in (None, np.nan, pd.NA, ""):
            df = _people()[["name", "city"]].astype(object)
            df.loc[["y", "x"], "city"] = missing
            results.append(_groups(vexlor.dupes(df)["FuzzyDupesID"]))
        self.assertEqual(results[0], results[1])
        self.assertEqual(results[0], results[2])
        self.assertEqual(results[0], results[3])  # Null is the empty text

    def test_round_trip_keeps_index_names_and_dtypes(self):
        df = _people()
        out = vexlor.dupes(df, columns=["name", "city"], weights={"city": 2.0},
                           options="Scores=1", label_seed=4)
        self.assertEqual(list(out.columns),
                         list(df.columns) + ["FuzzyDupesID", "Similarity"])
        pd.testing.assert_frame_equal(out[df.columns], df)
        self.assertEqual(out["Similarity"].dtype, np.float64)
        # The frame gives what the Control gives for the same rows.
        ctl = vexlor.Control(label_seed=4)
        for i, label in enumerate(df.columns):
            use = label in ("name", "city")
            ctl.SetColumnOption(i, use, use, 2.0 if label == "city" else 1.0,
                                False, str(label))
        rows = ctl.DupeSearch(df.astype(object).values.tolist(), -1, 80.0, 0.5,
                              "Scores=1", vexlor.DRR_ALL, False)
        self.assertEqual(_groups(out["FuzzyDupesID"]),
                         _groups(r[-2] for r in rows))

    def test_methods_keep_the_rows_they_return(self):
        df = _people()
        labelled = vexlor.dupes(df, columns=["name"], label_seed=1)
        kept = vexlor.delete_dupes(labelled, keep="last")
        self.assertEqual(list(kept.index), ["x", "y", "z"])
        matched = vexlor.match(df, df.iloc[[5, 2]], columns=["name"])
        self.assertEqual(matched["Match"].tolist(), [0, 0, 2, 0, 2, 1])
        merged = vexlor.merge(df.iloc[:3], df.iloc[3:], columns=["name"],
                              label_seed=2)
        self.assertEqual(list(merged.index), ["u", "v", "w", "z"])
        self.assertEqual(merged["Source"].tolist(), [0, 0, 0, 1])
        found = vexlor.exact(df, df.iloc[[1, 3]], column="name",
                             return_results=vexlor.MAR_POSITIVE)
        self.assertEqual(list(found.index), ["v", "x"])
        pd.testing.assert_frame_equal(found, df.loc[["v", "x"]])

    def test_bad_frames_name_the_column(self):
        df = _people()
        cases = [
            (df.rename(columns={"city": "name"}), {}, ValueError, "'name'"),
            (df, {"columns": ["name", "town"]}, ValueError, "'town'"),
            (df, {"weights": {"twon": 2.0}}, ValueError, "'twon'"),
            (df, {"id_column": "id"}, ValueError, "'id'"),
            (df.assign(tags=[[1]] * 6), {}, TypeError, "'tags'"),
            (df.assign(span=pd.Timedelta(1)), {}, TypeError, "'span'"),
            (df.values, {}, TypeError, "ndarray"),
        ]
        for frame, kwargs, error, text in cases:
            with self.subTest(kwargs=kwargs, text=text):
                with self.assertRaisesRegex(error, text):
                    vexlor.dupes(frame, **kwargs)
        mixed = df.assign(city=["Berlin", 5, 2.5, None, True, "Bonn"])
        self.assertEqual(len(vexlor.dupes(mixed)), 6)
        empty = vexlor.dupes(df.iloc[:0])
        self.assertEqual(list(empty.columns), list(df.columns) + ["FuzzyDupesID"])
        self.assertEqual(len(empty), 0)

    def test_numpy_scalars_are_cells_and_arguments(self):
        rows = [["Anna Meier", 1, 2.5, True], ["Anna Maier", 1, 2.5, True]]
        numpy_rows = [[np.str_(a), np.int64(b), np.float32(c), np.bool_(d)]
                      for a, b, c, d in rows]
        expected = vexlor.Control(label_seed=1).DupeSearch(
            rows, -1, 80.0, 0.5, "", vexlor.DRR_ALL, False)
        got = vexlor.Control(label_seed=1).DupeSearch(
            numpy_rows, np.int64(-1), np.float64(80.0), 0.5, "",
            np.int16(1), np.bool_(False))
        self.assertEqual(got, expected)

    def test_progress(self):
        events = []
        vexlor.dupes(_people(), progress=events.append)
        self.assertEqual(events[-1]["event"], "ProgressDupeSearch")
        self.assertEqual(events[-1]["PercentDone"], 100.0)
        self.assertIn("ETAString", events[0])
        with contextlib.redirect_stderr(io.StringIO()) as shown:
            vexlor.dupes(_people(), progress=True)
        self.assertIn("100%", shown.getvalue())

    def test_estimated_scoring_saves_and_reuses_its_model(self):
        people = _people()
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "model.json")
            fitted = vexlor.dupes(people, scoring="estimated", model_out=path,
                                  label_seed=1, options="Scores=1")
            with open(path, encoding="utf-8") as f:
                saved = json.load(f)
            self.assertIn("prior", saved)
            for model in (path, saved):
                again = vexlor.dupes(people, model=model, label_seed=1,
                                     options="Scores=1")
                pd.testing.assert_frame_equal(again, fitted)
            for bad in ({"scoring": "median"}, {"model_out": path},
                        {"model": path, "scoring": "mean"},
                        {"model": {"prior": 2}}):
                with self.assertRaises(ValueError, msg=str(bad)):
                    vexlor.dupes(people, **bad)


if __name__ == "__main__":
    unittest.main()
