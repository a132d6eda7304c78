"""Vexlor: fuzzy matching of names, addresses and whole records.

    import vexlor
    ctl = vexlor.Control()
    ctl.EditDistance("flaw", "lawn")            # 2
    ctl.Normalize("Müller GmbH & Co. KG", True) # 'MULLER U.'
    rows = ctl.DupeSearch(table, -1, 80.0, 0.5, "", vexlor.DRR_ALL, False)

Every member of the control is a method under its exact name, taking its
arguments in the member table's order. Tables are lists of rows (each a list
or tuple of cells); vexlor.Table gives full control over bounds and cell
types, vexlor.ByRef passes a table by reference.
"""

import difflib
import enum
import inspect

from . import _vexlor

__all__ = [
    "Control", "create", "Table", "ByRef", "Variant", "Empty", "Null",
    "NO_ARRAY", "DispatchError", "members", "dupes", "match", "merge",
    "exact", "delete_dupes", "LargeGroupWarning", "DupeReturnResults",
    "MergeReturnResults",
    "DeleteOrders", "MatchReturnResults", "DeleteReturnResults", "Index",
]

__version__ = "5.7.0"


class _Singleton:
    __slots__ = ("_name",)

    def __init__(self, name):
        self._name = name

    def __repr__(self):
        return "vexlor." + self._name

    def __reduce__(self):
        return self._name


Empty = _Singleton("Empty")
"""An Empty cell (no value at all; in a compared column it switches the
column off for good)."""

Null = _Singleton("Null")
"""A Null cell (a missing value: the empty text). None means the same."""

NO_ARRAY = _Singleton("NO_ARRAY")
"""The array-typed result that holds no array (after running out of memory)."""


class DispatchError(TypeError):
    """A late-bound call whose arguments could not be converted."""


# Variant type codes, for vexlor.Variant.
VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR = range(9)
VT_DISPATCH, VT_ERROR, VT_BOOL, VT_VARIANT, VT_UNKNOWN, VT_DECIMAL = 9, 10, 11, 12, 13, 14
VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT = range(16, 24)


# Enumerations of the type library, taken from the library itself; their
# members equal their numbers.
_ENUMS = tuple(enum.IntEnum(_name, _constants, module=__name__)
               for _name, _constants in _vexlor._enumerations())
(DupeReturnResults, MergeReturnResults, DeleteOrders, MatchReturnResults,
 DeleteReturnResults) = _ENUMS
for _enum in _ENUMS:
    globals().update(_enum.__members__)
del _enum


class Variant:
    """A cell of an explicit type: vexlor.Variant(vexlor.VT_I2, 5)."""

    __slots__ = ("vt", "value")

    def __init__(self, vt, value=None):
        self.vt = int(vt)
        self.value = value

    def __eq__(self, other):
        return (isinstance(other, Variant) and self.vt == other.vt
                and self.value == other.value)

    def __hash__(self):
        return hash((self.vt, self.value))

    def __repr__(self):
        return f"vexlor.Variant({self.vt}, {self.value!r})"


class Table:
    """A table with explicit bounds and exact cell types.

    rows: a list of rows, each a list of cells (Python values or
    vexlor.Variant); lower_bounds: (first column index, first row index);
    columns: the column count (at least the longest row). Results of a call
    that was given a Table come back as Tables, with the result's bounds and
    every cell of a type other than Long, Double, String, Boolean, Date and
    Currency as a vexlor.Variant (Empty and Null as vexlor.Empty and
    vexlor.Null).
    """

    __slots__ = ("rows", "lower_bounds", "columns")

    def __init__(self, rows=(), lower_bounds=(0, 0), columns=None):
        self.rows = [list(r) for r in rows]
        self.lower_bounds = (int(lower_bounds[0]), int(lower_bounds[1]))
        longest = max((len(r) for r in self.rows), default=0)
        self.columns = longest if columns is None else max(int(columns), longest)

    def __eq__(self, other):
        return (isinstance(other, Table) and self.rows == other.rows
                and self.lower_bounds == other.lower_bounds
                and self.columns == other.columns)

    def __repr__(self):
        return (f"vexlor.Table({self.rows!r}, lower_bounds={self.lower_bounds},"
                f" columns={self.columns})")


class ByRef:
    """Passes a table (or any value) by reference."""

    __slots__ = ("value",)

    def __init__(self, value):
        self.value = value


_vexlor._register(Empty, Null, Variant, Table, ByRef, NO_ARRAY, DispatchError)


def members():
    """The member table: (dispid, name, kind, [(param, type)], result, summary)."""
    return _vexlor.members()


_PYTHON_TYPES = {"short": int, "long": int, "double": float, "bool": bool,
                 "string": str}
_ENUM_OF = {e.__name__: e for e in _ENUMS}
# The batch methods whose Options text (at this argument) is checked.
_OPTIONS_AT = {"DupeSearch": 4, "FuzzyMerge": 5, "FuzzyMatch": 5}


def _annotation(type_name):
    if type_name == "-":
        return None
    return _ENUM_OF.get(type_name, _PYTHON_TYPES.get(type_name, object))


def _signature(params, result):
    positional = inspect.Parameter.POSITIONAL_OR_KEYWORD
    return inspect.Signature(
        [inspect.Parameter("self", positional)] +
        [inspect.Parameter(p, positional, annotation=_annotation(t))
         for p, t in params],
        return_annotation=_annotation(result))


def _docstring(name, params, result, summary):
    """The help text of a member, from its row of the member table."""
    lines = ["%s(%s) -> %s" % (name, ", ".join(p for p, _ in params),
                               "None" if result == "-" else result),
             "", summary[:1].upper() + summary[1:] + "."]
    if params:
        lines += ["", "Parameters (by position or by name):"]
        for p, t in params:
            enum_type = _ENUM_OF.get(t)
            if enum_type is not None:
                t = "%s: %s" % (t, ", ".join(
                    "%s=%d" % (m.name, m) for m in enum_type))
            lines.append("    %s (%s)" % (p, t))
    return "\n".join(lines)


def _make_method(dispid, name, params, result, summary):
    signature = _signature(params, result)
    options_at = _OPTIONS_AT.get(name)

    def method(self, *args, **kwargs):
        if kwargs:
            args = signature.bind(self, *args, **kwargs).args[1:]
        if (options_at is not None and len(args) > options_at
                and isinstance(args[options_at], str)):
            problems = _vexlor._options_problems(args[options_at], name)
            if problems:
                raise ValueError("%s Options: %s" % (name, "; ".join(problems)))
        return self._c.call(dispid, args, True)

    method.__name__ = name
    method.__qualname__ = "Control." + name
    method.__signature__ = signature
    method.__doc__ = _docstring(name, params, result, summary)
    return method


def _make_property(dispid, summary):
    def get(self):
        return self._c.call(dispid, (), True)

    def put(self, value):
        self._c.call(dispid, (value,), True, True)

    return property(get, put, doc=summary)


class Control:
    """A Vexlor control object with its own options, field list and error
    state. label_seed makes the group labels and NewGUID texts reproducible.

    Every member of the control is a method (or, for the CSV settings, a
    property) under its exact name, taking its parameters by position in
    the member table's order or by name: help(vexlor.Control.DupeSearch).
    Setting an attribute the control does not have raises AttributeError.
    """

    __slots__ = ("_c", "__weakref__")

    def __init__(self, label_seed=None):
        self._c = _vexlor._Control(label_seed)

    def __setattr__(self, name, value):
        # A misspelt property would otherwise be a silent no-op.
        try:
            object.__setattr__(self, name, value)
        except AttributeError:
            close = difflib.get_close_matches(name, dir(type(self)), 1)
            hint = "; did you mean %r?" % close[0] if close else ""
            raise AttributeError("a vexlor.Control has no attribute %r%s"
                                 % (name, hint)) from None

    def Invoke(self, member, *args):
        """Late-bound call by name (any letter case) or DISPID, converting
        the arguments as automation does; DispatchError when they don't fit."""
        if isinstance(member, str):
            dispid = _vexlor.dispid_of(member)
            if dispid == -1:
                raise DispatchError("no member named %r" % member)
        else:
            dispid = int(member)
        return self._c.call(dispid, args, False)

    def connect(self, sink):
        """Delivers events to sink.Progress / sink.ProgressDupeSearch."""
        self._c.connect(sink)

    def disconnect(self, sink):
        self._c.disconnect(sink)


for _dispid, _name, _kind, _params, _result, _summary in _vexlor.members():
    if _kind == "property":
        setattr(Control, _name, _make_property(_dispid, _summary))
    else:
        # The single-string members get a direct entry that takes plain
        # str/int/bool arguments without the dispatch and hands anything
        # else (keywords too) to the dispatch method.
        setattr(Control, _name, _vexlor._direct_method(
            Control, _dispid,
            _make_method(_dispid, _name, _params, _result, _summary)))
del _dispid, _name, _kind, _params, _result, _summary


def create(progid, label_seed=None):
    """Creates a control by its ProgID."""
    if progid.upper() != "VEXLOR.VEXLORCTRL.1":
        raise ValueError("no class registered as %r" % progid)
    return Control(label_seed=label_seed)


from .frames import (  # noqa: E402
    dupes, match, merge, exact, delete_dupes, LargeGroupWarning)
from .index import Index  # noqa: E402
