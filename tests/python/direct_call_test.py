"""Direct calls of the single-string members against the dispatch.

ctl.Difference(...) and its kin skip the dispatch for plain str, int and
bool arguments. Whatever they return or raise must be what the dispatch
gives for the same call: the method call's own path (ctl._c.call with
strict checks) and, where the argument types allow it, ctl.Invoke.
"""

import enum
import random
import unittest

import vexlor

DISPIDS = {m[1]: m[0] for m in vexlor.members()}

# Texts for every code path of the argument: empty, ASCII with NUL and
# punctuation, Latin-1 letters, the Windows-1252 signs at U+0080..U+009F,
# characters beyond Windows-1252 (transliterated), beyond the BMP, a lone
# surrogate.
TEXTS = [
    "", "a", "ABCD", "ABXD", "flaw", "lawn", "a\x00b", " Mc-Donald's, Inc. ",
    "é", "Müller", "MÜLLER-LÜDENSCHEID", "ÿ\xa0þ", "Łódź", "Иванов", "Петров",
    "Πέτρος", "€uro ‰ Š", "\x80\x81\x8d\x9f", "smile 😀 x", "\ud800ab",
    "Straße 5", "ﬁne", "日本",
]

_rng = random.Random(20240)
MEGABYTE = 1 << 20
BIG_ASCII = "".join(_rng.choice("abcdefghij KLMNOP") for _ in range(MEGABYTE))
BIG_LATIN1 = "".join(_rng.choice("aéüß ÄÖx") for _ in range(MEGABYTE))
BIG_CYRILLIC = "Иванов Łódź " * (MEGABYTE // 12)
BIG_ASTRAL = "a😀" * (MEGABYTE // 2)


def outcome(call, *args):
    """(True, type, value) of a result or (False, type, message) of an error."""
    try:
        value = call(*args)
    except Exception as error:  # the kind and text are what is compared
        return (False, type(error), str(error))
    return (True, type(value), value)


class DirectCallTest(unittest.TestCase):

    def setUp(self):
        self.ctl = vexlor.Control()

    def dispatch(self, name, *args):
        return self.ctl._c.call(DISPIDS[name], args, True)

    def assert_same(self, name, args, invoke=True):
        direct = outcome(getattr(self.ctl, name), *args)
        self.assertTrue(direct[0], direct)
        self.assertEqual(direct, outcome(self.dispatch, name, *args))
        if invoke:
            self.assertEqual(direct, outcome(self.ctl.Invoke, name.upper(), *args))

    def test_members_have_direct_entries(self):
        # Guards the rest of this file: the calls below must not all be
        # going through the dispatch.
        for name in ("metaphone", "dmetaphone", "soundex", "CompareStrings",
                     "Normalize", "EditDistance", "Difference"):
            with self.subTest(name=name):
                member = vexlor.Control.__dict__[name]
                self.assertEqual(type(member).__name__, "method_descriptor")
                self.assertEqual(member.__qualname__, "Control." + name)
                self.assertTrue(member.__doc__.startswith(name + "("))
        self.assertEqual(type(vexlor.Control.__dict__["ListAddField"]).__name__,
                         "function")

    def test_results_equal_the_dispatch(self):
        for a in TEXTS:
            for b in TEXTS:
                with self.subTest(a=a, b=b):
                    self.assert_same("Difference", (a, b))
                    self.assert_same("EditDistance", (a, b))
                    self.assert_same("CompareStrings", (a, b, True))
                    self.assert_same("CompareStrings", (a, b, False))
            for flag in (False, True):
                with self.subTest(a=a, flag=flag):
                    self.assert_same("Normalize", (a, flag))
                    self.assert_same("soundex", (a, 4, flag))
            for length in (-32768, -1, 0, 1, 4, 12, 32767):
                with self.subTest(a=a, length=length):
                    self.assert_same("metaphone", (a, length))
                    self.assert_same("dmetaphone", (a, length))
                    self.assert_same("soundex", (a, length, True))

    def test_results_with_megabyte_texts(self):
        cases = [
            ("Difference", (BIG_ASCII, "abc KLM")),
            ("Difference", ("éüx", BIG_LATIN1)),
            ("Difference", (BIG_CYRILLIC, "Ivanov")),
            ("EditDistance", (BIG_ASCII, BIG_ASCII[:1000])),
            ("EditDistance", (BIG_ASTRAL, "a?a?")),
            ("CompareStrings", (BIG_LATIN1, "{ß}*x", False)),
            ("Normalize", (BIG_ASCII, True)),
            ("Normalize", (BIG_LATIN1, False)),
            ("Normalize", (BIG_CYRILLIC, True)),
            ("soundex", (BIG_ASCII, 32767, True)),
            ("metaphone", (BIG_LATIN1, 300)),
            ("dmetaphone", (BIG_ASTRAL, 50)),
        ]
        for name, args in cases:
            with self.subTest(name=name, sizes=[len(a) for a in args if isinstance(a, str)]):
                self.assert_same(name, args, invoke=False)

    def test_other_arguments_take_the_dispatch(self):
        class Text(str):
            pass

        class Size(enum.IntEnum):
            FOUR = 4

        cases = [
            ("Difference", ("a",)),
            ("Difference", ("a", "b", "c")),
            ("Difference", ("a", None)),
            ("Difference", (None, "a")),
            ("Difference", (b"ab", "ab")),
            ("Difference", ("ab", 5)),
            ("Difference", ("ab", True)),
            ("Difference", ("ab", Text("ab"))),
            ("Difference", ("ab", vexlor.Variant(vexlor.VT_BSTR, "ab"))),
            ("Difference", ("ab", vexlor.ByRef("ab"))),
            ("Difference", ("ab", vexlor.Null)),
            ("EditDistance", ("ab", ["a", "b"])),
            ("EditDistance", (1.5, "ab")),
            ("soundex", ("Lee", 4.0, False)),
            ("soundex", ("Lee", "4", False)),
            ("soundex", ("Lee", True, False)),
            ("soundex", ("Lee", Size.FOUR, False)),
            ("soundex", ("Lee", 32768, False)),
            ("soundex", ("Lee", -32769, False)),
            ("soundex", ("Lee", 2 ** 70, False)),
            ("soundex", ("Lee", 4, 0)),
            ("soundex", ("Lee", 4, 1)),
            ("soundex", ("Lee", 4, None)),
            ("soundex", ("Lee", 4, "True")),
            ("metaphone", ("Knight", None)),
            ("dmetaphone", ("Knight", 70000)),
            ("Normalize", ("Müller", 1)),
            ("Normalize", ("Müller", 1.0)),
            ("CompareStrings", ("abc", "b", 2)),
            ("CompareStrings", ("abc", 7, True)),
        ]
        for name, args in cases:
            with self.subTest(name=name, args=args):
                self.assertEqual(outcome(getattr(self.ctl, name), *args),
                                 outcome(self.dispatch, name, *args))
        # Keywords take the dispatch method, with the same results.
        self.assertEqual(self.ctl.Difference("ab", S2="ba"),
                         self.ctl.Difference("ab", "ba"))
        self.assertEqual(self.ctl.soundex(S="Lee", length=4, firstchar=False),
                         self.ctl.soundex("Lee", 4, False))
        for bad in ({"S3": "b"}, {"S1": "b"}):
            with self.subTest(keywords=bad), self.assertRaises(TypeError):
                self.ctl.Difference("a", **bad)

    def test_control_state_and_instances(self):
        ctl = self.ctl
        ctl.CSVDelimiter = ","
        ctl.Difference("Müller", "Mueller")
        ctl.Normalize("Łódź", True)
        self.assertEqual((ctl.LastError(), ctl.LastErrorDescription(),
                          ctl.CanceledByUser(), ctl.CSVDelimiter),
                         (0, "", False, ","))
        # Unbound, and on a subclass, as with any method.
        self.assertEqual(vexlor.Control.EditDistance(ctl, "flaw", "lawn"), 2)

        class Tuned(vexlor.Control):
            def Difference(self, a, b):
                return -super().Difference(a, b)

        self.assertEqual(Tuned().Difference("ABCD", "ABXD"), -75.0)
        self.assertEqual(Tuned().soundex("Robert", 4, False),
                         ctl.Invoke("soundex", "Robert", 4, False))

        class Unready(vexlor.Control):
            def __init__(self):
                pass

        with self.assertRaises(AttributeError):
            Unready().EditDistance("a", "b")


if __name__ == "__main__":
    unittest.main()
