"""FuzzyMatch and FuzzyMerge from Python."""

import os
import tempfile
import unittest

import vexlor

MASTER = [["Meier", "Main Street 1"], ["Schulz", "Park Road 7"],
          ["Becker", "Hill Lane 3"]]
OTHER = [["Baecker", "Hill Lane 3"], ["Zimmer", "Lake View 12"],
         ["Meyer", "Main Street 1"], ["Zimmer", "Lake View 12"]]


class FuzzyMatchTest(unittest.TestCase):

    def test_return_modes(self):
        ctl = vexlor.Control()
        cases = [
            (vexlor.MAR_ALL, [MASTER[0] + [3], MASTER[1] + [0],
                              MASTER[2] + [1]]),
            (vexlor.MAR_POSITIVE, [MASTER[0] + [3], MASTER[2] + [1]]),
            (vexlor.MAR_NEGATIVE, [MASTER[1] + [0]]),
            (7, None),
        ]
        for mode, expected in cases:
            with self.subTest(mode=mode):
                self.assertEqual(
                    ctl.FuzzyMatch(MASTER, OTHER, -1, 80.0, 0.5, "", mode,
                                   False, "", ""), expected)
        self.assertEqual(ctl.LastError(), 0)

    def test_logs_and_late_binding(self):
        with tempfile.TemporaryDirectory() as folder:
            positive = os.path.join(folder, "positive.csv")
            ctl = vexlor.Control()
            result = ctl.Invoke("FuzzyMatch", MASTER, OTHER, "-1", "80", "0.5",
                                "", "1", "False", positive, "")
            self.assertEqual(len(result), 2)
            with open(positive, "rb") as f:
                self.assertEqual(
                    f.read(),
                    b'"Column1";"Column2"\r\n"Baecker";"Hill Lane 3"\r\n'
                    b'"Meyer";"Main Street 1"\r\n')

    def test_cancel_from_a_sink(self):
        ctl = vexlor.Control()

        class Sink:
            def ProgressDupeSearch(self, *args):
                ctl.Cancel()

        ctl.connect(Sink())
        self.assertIsNone(ctl.FuzzyMatch(MASTER, OTHER, -1, 80.0, 0.5, "",
                                         vexlor.MAR_ALL, False, "", ""))
        self.assertTrue(ctl.CanceledByUser())


class FuzzyMergeTest(unittest.TestCase):

    def merge(self, mode, ctl=None):
        ctl = ctl or vexlor.Control(label_seed=3)
        return ctl.FuzzyMerge(MASTER, OTHER, -1, 80.0, 0.5, "", mode, False,
                              "", "")

    def test_return_modes(self):
        self.assertEqual(self.merge(vexlor.MRR_IMPORT), [OTHER[1]])
        clean = self.merge(vexlor.MRR_CLEANMERGED)
        self.assertEqual([row[:2] for row in clean], MASTER + [OTHER[1]])
        self.assertEqual([row[3] for row in clean], [0, 0, 0, 1])
        everything = self.merge(vexlor.MRR_ALL)
        self.assertEqual([row[:2] for row in everything], MASTER + OTHER)
        ids = [row[2] for row in everything]
        # Baecker joins Becker, Meyer joins Meier, the Zimmers each other.
        self.assertEqual([ids.index(i) for i in ids], [0, 1, 2, 2, 4, 0, 4])
        self.assertTrue(all(len(i) == 38 and i[0] == "{" for i in ids))
        self.assertEqual(len(self.merge(vexlor.MRR_DUPES)), 6)
        self.assertIsNone(self.merge(4))
        self.assertEqual(
            vexlor.Control().FuzzyMerge(MASTER, MASTER, -1, 80.0, 0.5, "",
                                        vexlor.MRR_IMPORT, False, "", ""), [])
        # The same seed gives the same labels.
        self.assertEqual(everything, self.merge(vexlor.MRR_ALL))

    def test_logs(self):
        with tempfile.TemporaryDirectory() as folder:
            imported = os.path.join(folder, "imported.csv")
            rejected = os.path.join(folder, "rejected.csv")
            ctl = vexlor.Control()
            ctl.CSVColumnHeaders = False
            ctl.FuzzyMerge(MASTER, OTHER, -1, 80.0, 0.5, "",
                           vexlor.MRR_ALL, False, imported, rejected)
            with open(imported, "rb") as f:
                self.assertEqual(f.read(), b'"Zimmer";"Lake View 12"\r\n')
            with open(rejected, "rb") as f:
                self.assertEqual(f.read().count(b"\r\n"), 3)


if __name__ == "__main__":
    unittest.main()
