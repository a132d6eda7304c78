"""ExactMatchByColumn and DeleteDupes from Python."""

import datetime
import decimal
import os
import tempfile
import unittest

import vexlor


def exact(ctl, master, match, mode, column=0):
    return ctl.ExactMatchByColumn(master, match, column, mode, False)


class ExactMatchTest(unittest.TestCase):

    def test_return_modes(self):
        ctl = vexlor.Control()
        master = [["x", 0], ["y", 1], ["x", 2]]
        match = [["x"], ["z"]]
        self.assertEqual(exact(ctl, master, match, vexlor.MAR_ALL), master)
        # Only the first master row of a key is marked.
        self.assertEqual(exact(ctl, master, match, vexlor.MAR_POSITIVE),
                         master[:1])
        self.assertEqual(exact(ctl, master, match, vexlor.MAR_NEGATIVE),
                         master[1:])
        self.assertIsNone(exact(ctl, master, [["z"]], vexlor.MAR_POSITIVE))
        self.assertIsNone(exact(ctl, master, match, 3))
        self.assertEqual(ctl.LastError(), 0)

    def test_which_cells_match(self):
        when = datetime.datetime(2024, 1, 2)
        money = decimal.Decimal("1.5")
        cases = [
            ("number and text", 12, "12", True),
            ("letter case", "Meier", "MEIER", False),
            ("missing values", None, None, False),
            ("dates", when, when, False),
            ("currency", money, money, False),
        ]
        ctl = vexlor.Control()
        for name, master_cell, match_cell, matches in cases:
            with self.subTest(name):
                result = exact(ctl, [[master_cell]], [[match_cell]],
                               vexlor.MAR_POSITIVE)
                self.assertEqual(result is not None, matches)

    def test_late_bound_call(self):
        ctl = vexlor.Control()
        result = ctl.Invoke("ExactMatchByColumn", [["a"], ["b"]], [["b"]],
                            "0", "1", "False")
        self.assertEqual(result, [["b"]])


class DeleteDupesTest(unittest.TestCase):

    ROWS = [["r0", "a"], ["r1", "b"], ["r2", "a"], ["r3", "a"]]

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.log = os.path.join(self.dir.name, "deleted.csv")

    def tearDown(self):
        self.dir.cleanup()

    def read_log(self):
        with open(self.log, "rb") as f:
            return f.read()

    def test_orders_modes_and_log(self):
        cases = [
            (vexlor.DO_KEEP_FIRST, vexlor.DER_CLEAN, [0, 1], [2, 3]),
            (vexlor.DO_KEEP_LAST, vexlor.DER_CLEAN, [1, 3], [0, 2]),
            (vexlor.DO_KEEP_LAST, vexlor.DER_DELETED, [0, 2], [0, 2]),
            (5, vexlor.DER_CLEAN, [0, 1, 2, 3], []),
        ]
        ctl = vexlor.Control()
        for order, mode, rows, logged in cases:
            with self.subTest(order=order, mode=mode):
                result = ctl.DeleteDupes(self.ROWS, 1, -1, order, mode, False,
                                         self.log)
                self.assertEqual(result, [self.ROWS[r] for r in rows])
                lines = ['"Column1";"Column2"'] + [
                    '"r%d";"a"' % r for r in logged]
                self.assertEqual(self.read_log(),
                                 ("\r\n".join(lines) + "\r\n").encode())

    def test_log_follows_the_csv_properties_and_column_names(self):
        ctl = vexlor.Control()
        ctl.CSVDelimiter = ","
        ctl.CSVTextInQuotes = False
        ctl.SetColumnOption(0, True, True, 1.0, False, "Name")
        ctl.DeleteDupes(self.ROWS, 1, 0, vexlor.DO_KEEP_FIRST,
                        vexlor.DER_CLEAN, False, self.log)
        self.assertEqual(self.read_log(), b"Name\r\nr2\r\nr3\r\n")

    def test_labels_found_automatically(self):
        ctl = vexlor.Control(label_seed=1)
        one, two = ctl.NewGUID(), ctl.NewGUID()
        rows = [["r0", one, two], ["r1", one, one], ["r2", two, two]]
        # The rightmost label column (2) is used: rows 0 and 2 are a group.
        self.assertEqual(
            ctl.DeleteDupes(rows, -1, -1, vexlor.DO_KEEP_FIRST,
                            vexlor.DER_DELETED, False, ""), [rows[2]])
        self.assertIsNone(
            ctl.DeleteDupes(self.ROWS, -1, -1, vexlor.DO_KEEP_FIRST,
                            vexlor.DER_CLEAN, False, ""))
        self.assertEqual(ctl.LastError(), 0)

    def test_cancel_from_a_sink_returns_the_rows_so_far(self):
        ctl = vexlor.Control()
        events = []

        class Sink:
            def Progress(self, *args):
                events.append(args)
                # The stage's first event and then three reports: 300
                # rows are decided.
                if len(events) == 4:
                    ctl.Cancel()

        ctl.connect(Sink())
        rows = [["r%d" % r, "g%d" % (r // 2)] for r in range(1000)]
        result = ctl.DeleteDupes(rows, 1, -1, vexlor.DO_KEEP_FIRST,
                                 vexlor.DER_CLEAN, False, "")
        self.assertTrue(ctl.CanceledByUser())
        self.assertEqual(result, rows[0:300:2])
        self.assertEqual(ctl.LastError(), 0)


if __name__ == "__main__":
    unittest.main()
