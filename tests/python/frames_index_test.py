"""vexlor.Index: made from a DataFrame, added to and matched, opened again."""

import os
import tempfile
import unittest

try:
    import pandas as pd
except ImportError:  # pragma: no cover
    pd = None

import vexlor


@unittest.skipIf(pd is None, "needs pandas")
class IndexTest(unittest.TestCase):
    def test_add_match_export_and_reopen(self):
        people = pd.DataFrame({"id": ["1", "2", "3"],
                               "name": ["Anna Meier", "Anna Maier", "Bob Stone"],
                               "city": ["Bonn", "Bonn", "Ulm"]})
        new = pd.DataFrame({"name": ["Anna Meyer", "Carl Dorn"],
                            "city": ["Bonn", "Kiel"]})
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "people.index")
            with vexlor.Index.create(path, people, id_column="id") as index:
                stored = index.export()["FuzzyDupesID"].tolist()
                matched = index.match(new)
                added = index.add(new)
                self.assertEqual(matched["FuzzyDupesID"][0], stored[0])
                self.assertIsNone(matched["FuzzyDupesID"][1])
                self.assertEqual(added["FuzzyDupesID"][0], stored[0])
                self.assertNotIn(added["FuzzyDupesID"][1], stored)
                self.assertEqual(list(added.columns),
                                 ["name", "city", "FuzzyDupesID", "Similarity"])
                with self.assertRaisesRegex(ValueError, "'street'"):
                    index.match(pd.DataFrame({"street": ["Main St"]}))
            with vexlor.Index.open(path) as index:
                groups = index.export()["FuzzyDupesID"].tolist()
                self.assertEqual(groups[:3], stored)
                self.assertEqual(index.info()["records"], 5)
            with self.assertRaisesRegex(ValueError, "exists"):
                vexlor.Index.create(path, people)
            with open(os.path.join(folder, "x.csv"), "w") as f:
                f.write("a,b\n1,2\n")
            with self.assertRaisesRegex(ValueError, "not a vexlor index"):
                vexlor.Index.open(os.path.join(folder, "x.csv"))


if __name__ == "__main__":
    unittest.main()
