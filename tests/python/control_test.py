"""The Python face of the control: members, properties, types and errors."""

import re
import unittest

import vexlor


class ControlTest(unittest.TestCase):

    def setUp(self):
        self.ctl = vexlor.Control()

    def test_single_string_members(self):
        ctl = self.ctl
        cases = [
            (ctl.EditDistance, ("flaw", "lawn"), 2),
            (ctl.EditDistance, ("", "abc"), 3),
            (ctl.Difference, ("ABCD", "ABXD"), 75.0),
            (ctl.Normalize, ("Müller", True), "MULLER"),
            (ctl.Normalize, ("Łódź", True), "LODZ"),
            (ctl.Normalize, ("Prof. Müller-Lüdenscheid", False),
             "Prof. Muller Ludenscheid"),
            (ctl.soundex, ("Lee", 4, False), "l000"),
            (ctl.soundex, ("Robert", 4, True), "6163"),
            (ctl.metaphone, ("Knight", 4), "N230"),
            (ctl.dmetaphone, ("Filipowicz", 8), "FLPTS"),
            (ctl.CompareStrings, ("Hello World", "world", True), 0),
            (ctl.CompareStrings, ("Hello World", "[a-", False), -1),
        ]
        for method, args, expected in cases:
            with self.subTest(method=method.__name__, args=args):
                self.assertEqual(method(*args), expected)
        self.assertNotEqual(ctl.EditDistance("Иванов", "Петров"), 0)

    def test_defaults_and_properties(self):
        ctl = self.ctl
        self.assertEqual(ctl.LastError(), 0)
        self.assertEqual(ctl.LastErrorDescription(), "")
        self.assertFalse(ctl.CanceledByUser())
        self.assertEqual(ctl.CSVDelimiter, ";")
        self.assertTrue(ctl.CSVTextInQuotes)
        ctl.CSVDelimiter = ","
        ctl.CSVColumnHeaders = False
        self.assertEqual(ctl.CSVDelimiter, ",")
        self.assertFalse(ctl.CSVColumnHeaders)

    def test_direct_calls_check_python_types(self):
        ctl = self.ctl
        with self.assertRaises(TypeError):
            ctl.EditDistance("a", 5)
        with self.assertRaises(TypeError):
            ctl.soundex("Lee", "4", False)
        with self.assertRaises(OverflowError):
            ctl.soundex("Lee", 70000, False)
        with self.assertRaises(TypeError):
            ctl.EditDistance("a")

    def test_invoke_converts_as_late_binding(self):
        ctl = self.ctl
        self.assertEqual(ctl.Invoke("SOUNDEX", "Lee", "4", "0"), "l000")
        self.assertEqual(ctl.Invoke(10, "flaw", "lawn"), 2)
        self.assertEqual(ctl.Invoke("difference", "ABCD", "ABXD"), 75.0)
        with self.assertRaises(vexlor.DispatchError):
            ctl.Invoke("ListAddField", "a", "b", "abc", False)
        with self.assertRaises(vexlor.DispatchError):
            ctl.Invoke("soundex", "Lee", 70000, False)
        with self.assertRaises(vexlor.DispatchError):
            ctl.Invoke("NoSuchMember")
        self.assertTrue(issubclass(vexlor.DispatchError, TypeError))

    def test_guids_and_seeds(self):
        form = re.compile(r"\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}$")
        a, b = self.ctl.NewGUID(), self.ctl.NewGUID()
        self.assertRegex(a, form)
        self.assertNotEqual(a, b)
        self.assertEqual(vexlor.Control(label_seed=7).NewGUID(),
                         vexlor.Control(label_seed=7).NewGUID())

    def test_create_by_progid_and_constants(self):
        ctl = vexlor.create("VEXLOR.VexlorCtrl.1")
        self.assertEqual(ctl.EditDistance("ab", "ba"), 2)
        with self.assertRaises(ValueError):
            vexlor.create("Other.Thing")
        self.assertEqual((vexlor.DRR_DUPES, vexlor.DRR_ALL), (0, 1))
        self.assertEqual(vexlor.MRR_CLEANMERGED, 3)
        self.assertEqual(vexlor.DO_KEEP_LAST, 1)
        self.assertEqual(vexlor.MAR_POSITIVE, 1)
        self.assertEqual(vexlor.DER_DELETED, 1)

    def test_field_list(self):
        ctl = self.ctl
        ctl.ListCompareInit()
        ctl.ListAddField("name", "abc", 2.0, False)
        ctl.ListSetCompare("name", "ABC")
        self.assertEqual(ctl.ListCalcDiff(), 0.0)
        ctl.ListCompareInit()
        ctl.ListAddField("name", "abc", 1.0, False)
        ctl.ListSetCompare("name", "ABC")
        self.assertEqual(ctl.ListCalcDiff(), 100.0)

    def test_csv_export(self):
        import os
        import tempfile
        ctl = self.ctl
        ctl.CSVDelimiter = ","
        ctl.SetColumnOption(0, True, True, 1.0, False, "Name")
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "out.csv")
            self.assertTrue(ctl.VariantArray2CSVFile([["Müller", 2.5, True]], path))
            with open(path, "rb") as f:
                self.assertEqual(f.read(),
                                 b'"Name","Column2","Column3"\r\n"M\xfcller",2.5,True\r\n')
            self.assertFalse(ctl.VariantArray2CSVFile(
                [["x"]], os.path.join(folder, "missing", "out.csv")))
            self.assertFalse(ctl.VariantArray2CSVFile("not a table", path))

    def test_member_table(self):
        names = [m[1] for m in vexlor.members()]
        self.assertIn("DupeSearch", names)
        self.assertIn("AboutBox", names)
        self.assertEqual(len(names), 28)


if __name__ == "__main__":
    unittest.main()
