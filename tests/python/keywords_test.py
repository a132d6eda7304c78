"""Members by keyword, their help, the enumerations and misspelt names."""

import inspect
import os
import pydoc
import unittest

import vexlor


def _table():
    return [["Anna Meier", "Berlin"], ["Anna Maier", "Berlin"],
            ["Bob Stone", "Hamburg"], ["Anna Meyer", None]]


class KeywordsTest(unittest.TestCase):

    def test_keyword_calls_equal_positional_calls(self):
        cases = [
            ("Difference", ("Meier", "Maier")),
            ("soundex", ("Robert", 4, True)),
            ("Normalize", ("Müller GmbH", True)),
            ("DupeSearch", (_table(), -1, 80.0, 0.5, "Scores=1",
                            vexlor.DRR_ALL, False)),
            ("FuzzyMatch", (_table(), _table()[::-1], -1, 80.0, 0.5, "",
                            vexlor.MAR_ALL, False, "", "")),
            ("DeleteDupes", ([["a", "{1}"], ["b", "{1}"]], 1, 1,
                             vexlor.DO_KEEP_LAST, vexlor.DER_CLEAN, False, "")),
        ]
        for name, args in cases:
            names = [p for p in inspect.signature(
                getattr(vexlor.Control, name)).parameters][1:]
            with self.subTest(name=name):
                by_position = getattr(vexlor.Control(label_seed=3), name)(*args)
                by_name = getattr(vexlor.Control(label_seed=3), name)(
                    **dict(zip(names, args)))
                mixed = getattr(vexlor.Control(label_seed=3), name)(
                    *args[:1], **dict(zip(names[1:], args[1:])))
                self.assertEqual(by_name, by_position)
                self.assertEqual(mixed, by_position)
        with self.assertRaises(ValueError):  # the Options check holds too
            vexlor.Control().DupeSearch(
                varArray=_table(), IDColumnIndex=-1, Threshold=80.0,
                ClusterThreshold=0.5, Options="Nonsense=1",
                ReturnResults=1, ShowProgress=False)
        with self.assertRaises(TypeError):
            vexlor.Control().Difference("a", S3="b")

    def test_signature_and_help_name_every_parameter(self):
        for _, name, kind, params, _, summary in vexlor.members():
            if kind != "method":
                continue
            member = getattr(vexlor.Control, name)
            with self.subTest(name=name):
                self.assertEqual(
                    list(inspect.signature(member).parameters)[1:],
                    [p for p, _ in params])
                text = pydoc.render_doc(member)
                for p, _ in params:
                    self.assertIn(p, text)
                self.assertIn(summary[1:], text)

    def test_stub_declares_every_member(self):
        stub = os.path.join(os.path.dirname(vexlor.__file__), "__init__.pyi")
        with open(stub, encoding="utf-8") as f:
            text = f.read()
        for _, name, kind, params, _, _ in vexlor.members():
            with self.subTest(name=name):
                if kind == "property":
                    self.assertIn("    %s: " % name, text)
                else:
                    self.assertRegex(text, r"def %s\(self%s\)" % (name, "".join(
                        r", %s: \w+" % p for p, _ in params)))

    def test_enumerations_are_int_enums_equal_to_their_numbers(self):
        self.assertEqual((vexlor.DRR_DUPES, vexlor.MRR_CLEANMERGED,
                          vexlor.DO_KEEP_LAST, vexlor.MAR_NEGATIVE,
                          vexlor.DER_DELETED), (0, 3, 1, 2, 1))
        self.assertIs(vexlor.MRR_ALL, vexlor.MergeReturnResults.MRR_ALL)
        self.assertIn("MatchReturnResults",
                      pydoc.render_doc(vexlor.Control.FuzzyMatch))

    def test_unknown_attributes_are_refused(self):
        ctl = vexlor.Control()
        ctl.CSVDelimiter = ","
        with self.assertRaisesRegex(AttributeError, "CSVDelimiter"):
            ctl.CSVDelimter = ";"
        self.assertEqual(ctl.CSVDelimiter, ",")


if __name__ == "__main__":
    unittest.main()
