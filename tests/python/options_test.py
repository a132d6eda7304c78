"""The Options text of the batch methods from Python."""

import unittest

import vexlor

# Names written both ways round; Meyer resembles the first Meier only as
# written the right way round.
PEOPLE = [["Hans", "Meier", "Main Street 1"], ["Meier", "Hans", "Main Street 1"],
          ["Anna", "Schulz", "Park Road 7"], ["Hans", "Meyer", "Main Street 1"]]


def groups(result):
    first = {}
    return [first.setdefault(row[3], i) for i, row in enumerate(result)]


class OptionsTest(unittest.TestCase):

    def test_settings_reach_the_method(self):
        ctl = vexlor.Control(label_seed=1)
        plain = ctl.DupeSearch(PEOPLE, -1, 80.0, 0.3, "", vexlor.DRR_ALL, False)
        self.assertEqual(groups(plain), [0, 1, 2, 0])
        swapped = ctl.DupeSearch(PEOPLE, -1, 80.0, 0.3, " swap = 0,1 ; SCORES=1",
                                 vexlor.DRR_ALL, False)
        self.assertEqual(groups(swapped), [0, 0, 2, 0])
        self.assertEqual([len(row) for row in swapped], [5] * 4)
        self.assertEqual([row[4] for row in swapped][:3], [None, 100.0, None])
        best = ctl.FuzzyMatch(PEOPLE[:1], [PEOPLE[3], PEOPLE[0]], -1, 80.0, 0.3,
                              "Match=Best", vexlor.MAR_ALL, False, "", "")
        self.assertEqual(best, [PEOPLE[0] + [2]])

    def test_settings_not_read_are_refused(self):
        ctl = vexlor.Control()
        for member, args in (
                ("DupeSearch", (PEOPLE, -1, 80.0, 0.5, "Grouping=Star", 1, False)),
                ("FuzzyMerge", (PEOPLE, PEOPLE, -1, 80.0, 0.5, "Scores=1", 1,
                                False, "", "")),
                ("FuzzyMatch", (PEOPLE, PEOPLE, -1, 80.0, 0.5, "Colour=Blue", 0,
                                False, "", ""))):
            with self.subTest(member=member):
                with self.assertRaises(ValueError):
                    getattr(ctl, member)(*args)
        # Late binding is the automation interface: it ignores them, as the
        # control does.
        self.assertEqual(len(ctl.Invoke("DupeSearch", PEOPLE, -1, 80.0, 0.5,
                                        "Grouping=Star", 1, False)), 4)


if __name__ == "__main__":
    unittest.main()
