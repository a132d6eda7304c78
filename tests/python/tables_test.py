"""Tables and cells across the Python boundary, and DupeSearch from Python."""

import datetime
import decimal
import unittest

import vexlor

ROWS = [
    ["Meier", "Main Street 1"],
    ["Meyer", "Main Street 1"],
    ["Schulz", "Park Road 7"],
]


def dupes(ctl, table, mode=vexlor.DRR_ALL, show=False):
    return ctl.DupeSearch(table, -1, 80.0, 0.3, "", mode, show)


class TablesTest(unittest.TestCase):

    def test_dupe_search_labels_and_groups(self):
        ctl = vexlor.Control(label_seed=5)
        result = dupes(ctl, ROWS)
        self.assertEqual([r[:2] for r in result], ROWS)
        labels = [r[2] for r in result]
        self.assertEqual(labels[0], labels[1])
        self.assertNotEqual(labels[0], labels[2])
        groups = dupes(vexlor.Control(label_seed=5), ROWS, vexlor.DRR_DUPES)
        self.assertEqual([r[:2] for r in groups], ROWS[:2])
        self.assertEqual(ctl.LastError(), 0)

    def test_seeded_results_repeat_exactly(self):
        a = dupes(vexlor.Control(label_seed=9), ROWS, vexlor.DRR_DUPES)
        b = dupes(vexlor.Control(label_seed=9), ROWS, vexlor.DRR_DUPES)
        self.assertEqual(a, b)

    def test_not_a_table(self):
        ctl = vexlor.Control()
        for arg in ("text", 5, None, ["a", "b"]):
            with self.subTest(arg=arg):
                self.assertIsNone(dupes(ctl, arg))
                self.assertEqual(ctl.LastError(), 0)

    def test_cells_round_trip(self):
        when = datetime.datetime(2024, 2, 29, 13, 30)
        row = [None, vexlor.Empty, vexlor.Null, True, 7, 2 ** 40, 2.5, "Łódź",
               when, decimal.Decimal("12.5"), vexlor.Variant(vexlor.VT_I2, 5)]
        ctl = vexlor.Control()
        for c in range(len(row)):
            ctl.SetColumnOption(c, False, False, 1.0, False, "")
        result = dupes(ctl, [row])
        out = result[0]
        self.assertEqual(out[:3], [None, None, None])
        self.assertIs(out[3], True)
        self.assertEqual(out[4], 7)
        self.assertEqual(out[5], float(2 ** 40))
        self.assertEqual(out[6:8], [2.5, "Łódź"])
        self.assertEqual(out[8], when)
        self.assertEqual(out[9], decimal.Decimal("12.5"))
        self.assertEqual(out[10], 5)

    def test_exact_table_keeps_bounds_and_types(self):
        ctl = vexlor.Control()
        table = vexlor.Table([["Meier", vexlor.Variant(vexlor.VT_I2, 5)],
                              ["Meyer", vexlor.Empty]], lower_bounds=(1, 1))
        result = dupes(ctl, table)
        self.assertIsInstance(result, vexlor.Table)
        self.assertEqual(result.lower_bounds, (1, 1))
        self.assertEqual(result.rows[0][1], vexlor.Variant(vexlor.VT_I2, 5))
        self.assertIs(result.rows[1][1], vexlor.Empty)

    def test_ragged_rows_are_padded_with_null(self):
        ctl = vexlor.Control()
        result = dupes(ctl, [["a", "b", "c"], ["d"]])
        self.assertEqual(result[1][:3], ["d", None, None])

    def test_rows_and_cells_are_what_iteration_gives_whatever_len_claims(self):
        class Liar(list):
            """Claims `len_shift` items more than it holds, and iterates
            over `iter_shift` more (made of `filler`) or fewer."""

            def __init__(self, items, len_shift, iter_shift, filler):
                super().__init__(items)
                self.len_shift, self.iter_shift = len_shift, iter_shift
                self.filler = filler

            def __len__(self):
                return max(0, super().__len__() + self.len_shift)

            def __iter__(self):
                items = list(super().__iter__())
                if self.iter_shift < 0:
                    return iter(items[:self.iter_shift])
                return iter(items + [self.filler] * self.iter_shift)

        ctl = vexlor.Control()
        for c in range(8):
            ctl.SetColumnOption(c, False, False, 1.0, False, "")
        for len_shift in (5, -1):
            for iter_shift in (5, -1):
                with self.subTest(len_shift=len_shift, iter_shift=iter_shift):
                    def lie(items, filler):
                        return Liar(items, len_shift, iter_shift, filler)
                    table = lie([lie(["a", "b", "c"], "x"), lie(["d"], "x"),
                                 lie(["e", "f"], "x")], lie(["y"], "z"))
                    seen = [list(row) for row in table]
                    width = max(map(len, seen))
                    held = [row + [None] * (width - len(row)) for row in seen]
                    self.assertEqual([r[:-1] for r in dupes(ctl, table)], held)
                    self.assertIsNone(dupes(ctl, lie(["a", "b"], "x")))

    def test_by_reference_and_empty(self):
        ctl = vexlor.Control()
        self.assertEqual(len(dupes(ctl, vexlor.ByRef(ROWS))), 3)
        self.assertEqual(dupes(ctl, []), [])

    def test_integers_beyond_double_precision_are_refused(self):
        with self.assertRaises(OverflowError):
            dupes(vexlor.Control(), [[2 ** 60]])

    def test_events_and_cancel_from_a_sink(self):
        ctl = vexlor.Control()
        seen = []

        class Sink:
            def Progress(self, *args):
                seen.append(("Progress", args))

            def ProgressDupeSearch(self, *args):
                seen.append(("ProgressDupeSearch", args))
                ctl.Cancel()

        sink = Sink()
        ctl.connect(sink)
        rows = [["name %d" % i, "street %d" % i] for i in range(50)]
        self.assertIsNone(dupes(ctl, rows))
        self.assertTrue(ctl.CanceledByUser())
        self.assertEqual(seen[0][0], "Progress")
        self.assertEqual(seen[0][1][:2], (1, 0.0))
        ctl.disconnect(sink)
        self.assertEqual(len(dupes(ctl, rows)), 50)
        self.assertFalse(ctl.CanceledByUser())

    def test_sinks_changed_inside_an_event(self):
        ctl = vexlor.Control()
        heard = {"a": 0, "b": 0, "c": 0}

        class Sink:
            def __init__(self, name):
                self.name = name

            def Progress(self, *args):
                heard[self.name] += 1
                if self.name == "a":
                    ctl.disconnect(b)
                    ctl.connect(Sink("c"))
                    ctl.disconnect(self)
                    raise KeyError("after disconnecting itself")

        b = Sink("b")
        ctl.connect(Sink("a"))
        ctl.connect(b)
        with self.assertRaises(KeyError):
            dupes(ctl, ROWS)
        self.assertEqual(heard, {"a": 1, "b": 0, "c": 0})
        dupes(ctl, ROWS)
        self.assertEqual((heard["a"], heard["b"]), (1, 0))
        self.assertGreater(heard["c"], 0)

    def test_a_replay_inside_an_event_is_refused(self):
        # The labelling of vexlor.distributed is a batch call like any
        # other: inside a running one it gives nothing and leaves the
        # running call, its labels included, as it was.
        ctl = vexlor.Control(label_seed=3)
        nested = []

        class Sink:
            def Progress(self, *args):
                if not nested:
                    nested.append(ctl._c.replay_dupes(
                        ROWS, -1, 80.0, 0.3, "", vexlor.DRR_ALL, b""))

        ctl.connect(Sink())
        got = dupes(ctl, ROWS)
        self.assertEqual(nested, [(None, False)])
        self.assertEqual(got, dupes(vexlor.Control(label_seed=3), ROWS))

    def test_found_words_cut_short_are_refused(self):
        # And the control stays usable.
        ctl = vexlor.Control(label_seed=3)
        with self.assertRaisesRegex(ValueError, "cut short"):
            ctl._c.replay_dupes(ROWS, -1, 80.0, 0.3, "", vexlor.DRR_ALL,
                                b"\0\0\0\0\0")
        self.assertEqual(dupes(ctl, ROWS),
                         dupes(vexlor.Control(label_seed=3), ROWS))

    def test_exception_in_a_sink_ends_the_call_and_propagates(self):
        ctl = vexlor.Control()

        class Boom(Exception):
            pass

        class Sink:
            def Progress(self, *args):
                raise Boom("stop")

        ctl.connect(Sink())
        with self.assertRaises(Boom):
            dupes(ctl, ROWS)
        self.assertTrue(ctl.CanceledByUser())


if __name__ == "__main__":
    unittest.main()
