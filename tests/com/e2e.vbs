' End-to-end test of the registered control from a real script host: every
' member called late-bound, the batch methods on VBScript's own 2-D arrays,
' the files they write, bad input and large input.
'
' Usage: cscript //nologo e2e.vbs FOLDER
' FOLDER (Windows path) receives the files written; the runner compares
' export.csv there byte for byte. One line per failed check, then a summary
' line; the exit code is the number of failures (capped at 255).
'
' Wine's VBScript has no AscW, ChrW, Eval, Execute, GetRef or Escape and
' ignores the digits argument of Round: none of them is used here.
Option Explicit

Const DRR_DUPES = 0, DRR_ALL = 1
Const MRR_IMPORT = 0, MRR_ALL = 1
Const DO_KEEP_FIRST = 0, DO_KEEP_LAST = 1
Const DER_CLEAN = 0, DER_DELETED = 1
Const MAR_ALL = 0, MAR_POSITIVE = 1, MAR_NEGATIVE = 2

Dim passed, failed, folder, ctl, fso, guid_form
passed = 0
failed = 0
folder = WScript.Arguments(0)
Set fso = CreateObject("Scripting.FileSystemObject")
Set guid_form = New RegExp
guid_form.Pattern = "^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$"

' A section that raises an unexpected error stops there, is reported, and
' the next one still runs.
On Error Resume Next
Set ctl = CreateObject("VEXLOR.VexlorCtrl.1")
If Err.Number <> 0 Then
  WScript.Echo "FAIL CreateObject raised " & Err.Number & " " & Err.Description
  WScript.Echo "e2e.vbs: 0 checks, 1 failed"
  WScript.Quit 1
End If
Defaults : Ended "Defaults"
SingleStrings : Ended "SingleStrings"
FieldList : Ended "FieldList"
Guids : Ended "Guids"
DupeSearchAndDeleteDupes : Ended "DupeSearchAndDeleteDupes"
MatchAndMerge : Ended "MatchAndMerge"
CsvExport : Ended "CsvExport"
NotATable : Ended "NotATable"
CoercionErrors : Ended "CoercionErrors"
LargeInput : Ended "LargeInput"
WindowsAndAbout : Ended "WindowsAndAbout"
On Error GoTo 0

WScript.Echo "e2e.vbs: " & (passed + failed) & " checks, " & failed & " failed"
If failed > 255 Then failed = 255
WScript.Quit failed

Sub Ended(section)
  If Err.Number <> 0 Then
    Fail section & " stopped: error " & Err.Number & " " & Err.Description
    Err.Clear
  End If
End Sub

Sub Fail(what)
  failed = failed + 1
  WScript.Echo "FAIL " & what
End Sub

Sub Check(what, ok)
  If ok Then passed = passed + 1 Else Fail what
End Sub

' Values of the same kind (number, string, boolean, Empty, Null) and equal.
Function Same(got, want)
  Same = False
  If IsEmpty(want) Or IsNull(want) Then
    Same = (VarType(got) = VarType(want))
  ElseIf VarType(want) = vbString Or VarType(want) = vbBoolean Then
    If VarType(got) = VarType(want) Then Same = (got = want)
  ElseIf IsNumber(got) And IsNumber(want) Then
    Same = (got = want)
  End If
End Function

Function IsNumber(v)
  Select Case VarType(v)
    Case vbInteger, vbLong, vbSingle, vbDouble, vbCurrency, vbByte
      IsNumber = True
    Case Else
      IsNumber = False
  End Select
End Function

Function Show(v)
  If IsArray(v) Then
    Show = "array " & Shape(v)
  ElseIf IsObject(v) Then
    Show = TypeName(v)
  ElseIf IsEmpty(v) Or IsNull(v) Then
    Show = TypeName(v)
  Else
    Show = TypeName(v) & " """ & CStr(v) & """"
  End If
End Function

Sub CheckEq(what, got, want)
  If Same(got, want) Then
    passed = passed + 1
  Else
    Fail what & ": got " & Show(got) & ", want " & Show(want)
  End If
End Sub

' "columns x rows" of a table, or what the value is instead.
Function Shape(t)
  If IsArray(t) Then
    Shape = (UBound(t, 1) + 1) & "x" & (UBound(t, 2) + 1)
  ElseIf IsEmpty(t) Then
    Shape = "Empty"
  Else
    Shape = TypeName(t)
  End If
End Function

' One column's cells joined by commas.
Function Column(t, c)
  Dim r, s
  s = ""
  If IsArray(t) Then
    For r = 0 To UBound(t, 2)
      If r > 0 Then s = s & ","
      s = s & t(c, r)
    Next
  End If
  Column = s
End Function

' The labels of a column as letters in order of first appearance ("AABCCD"),
' so that equal and distinct labels read at a glance; "?" marks a cell that
' is not a braced GUID.
Function LabelPattern(t, c)
  Dim seen, r, s, v
  Set seen = CreateObject("Scripting.Dictionary")
  s = ""
  If IsArray(t) Then
    For r = 0 To UBound(t, 2)
      v = t(c, r)
      If VarType(v) <> vbString Then
        s = s & "?"
      ElseIf Not guid_form.Test(v) Then
        s = s & "?"
      Else
        If Not seen.Exists(v) Then seen.Add v, Chr(65 + seen.Count)
        s = s & seen(v)
      End If
    Next
  End If
  LabelPattern = s
End Function

' A table from an array of records.
Function NewTable(records)
  Dim t, r, c
  ReDim t(UBound(records(0)), UBound(records))
  For r = 0 To UBound(records)
    For c = 0 To UBound(records(r))
      t(c, r) = records(r)(c)
    Next
  Next
  NewTable = t
End Function

Function MasterTable()
  MasterTable = NewTable(Array( _
      Array(1, "Meier", "Main Street 1"), _
      Array(2, "Meyer", "Main Street 1"), _
      Array(3, "Schulz", "Park Road 7"), _
      Array(4, "Hoffmann", "Lake View 3"), _
      Array(5, "Hofmann", "Lake View 3"), _
      Array(6, "Becker", "Hill Lane 9")))
End Function

Function SecondTable()
  SecondTable = NewTable(Array( _
      Array(10, "Meier", "Main Street 1"), _
      Array(11, "Wagner", "Oak Avenue 2"), _
      Array(12, "Hofman", "Lake View 3")))
End Function

Function ReadFile(name)
  Dim path
  path = fso.BuildPath(folder, name)
  If Not fso.FileExists(path) Then
    ReadFile = "(no file " & name & ")"
  ElseIf fso.GetFile(path).Size = 0 Then
    ReadFile = ""
  Else
    ReadFile = fso.OpenTextFile(path, 1).ReadAll()
  End If
End Function

Sub CheckFile(what, name, want)
  Dim got
  got = ReadFile(name)
  If got = want Then
    passed = passed + 1
  Else
    Fail what & ": " & name & " holds [" & Replace(got, vbCrLf, "<CRLF>") & _
        "], want [" & Replace(want, vbCrLf, "<CRLF>") & "]"
  End If
End Sub

Sub Defaults()
  CheckEq "LastError of a new control", ctl.LastError, 0
  CheckEq "LastErrorDescription of a new control", ctl.LastErrorDescription, ""
  CheckEq "CanceledByUser of a new control", ctl.CanceledByUser, False
  CheckEq "CSVDelimiter default", ctl.CSVDelimiter, ";"
  CheckEq "CSVTextInQuotes default", ctl.CSVTextInQuotes, True
  CheckEq "CSVColumnHeaders default", ctl.CSVColumnHeaders, True
  ctl.CSVDelimiter = ", "
  ctl.CSVTextInQuotes = False
  ctl.CSVColumnHeaders = "False"
  CheckEq "CSVDelimiter put", ctl.CSVDelimiter, ", "
  CheckEq "CSVTextInQuotes put", ctl.CSVTextInQuotes, False
  CheckEq "CSVColumnHeaders put from text", ctl.CSVColumnHeaders, False
  ctl.Reset
  CheckEq "Reset keeps the CSV settings", ctl.CSVDelimiter, ", "
  ctl.CSVDelimiter = ";"
  ctl.CSVTextInQuotes = True
  ctl.CSVColumnHeaders = True
  ctl.Cancel
  CheckEq "CanceledByUser after Cancel", ctl.CanceledByUser, True
  ctl.ExactMatchByColumn MasterTable(), SecondTable(), 1, MAR_ALL, False
  CheckEq "a batch call clears CanceledByUser", ctl.CanceledByUser, False
  CheckEq "LastError after a batch call", ctl.LastError, 0
End Sub

Sub SingleStrings()
  Dim muller
  muller = "M" & Chr(252) & "ller GmbH & Co. KG"
  CheckEq "soundex Robert", ctl.soundex("Robert", 4, False), "r163"
  CheckEq "soundex Rupert", ctl.soundex("Rupert", 4, False), "r163"
  CheckEq "soundex Robert firstchar", ctl.soundex("Robert", 4, True), "6163"
  CheckEq "soundex Lee", ctl.soundex("Lee", 4, False), "l000"
  CheckEq "soundex from numeric texts", ctl.soundex("Lee", "4", "0"), "l000"
  CheckEq "metaphone Knight", ctl.metaphone("Knight", 4), "N230"
  CheckEq "metaphone Knight 8", ctl.metaphone("Knight", 8), "N2300000"
  CheckEq "dmetaphone Accident", ctl.dmetaphone("Accident", 8), "AKSTNT"
  CheckEq "dmetaphone Knight 4", ctl.dmetaphone("Knight", 4), "NT"
  CheckEq "CompareStrings text, pattern", ctl.CompareStrings("Hello World", "Wrld", True), 1
  CheckEq "CompareStrings pattern, text", ctl.CompareStrings("Wrld", "Hello World", True), 8
  CheckEq "Normalize upper", ctl.Normalize(muller, True), "MULLER U."
  CheckEq "Normalize lower", ctl.Normalize(muller, False), "Muller u."
  CheckEq "EditDistance", ctl.EditDistance("flaw", "lawn"), 2
  CheckEq "EditDistance type", VarType(ctl.EditDistance("flaw", "lawn")), vbLong
  CheckEq "Difference", ctl.Difference("ABCD", "ABXD"), 75
  CheckEq "Difference Meier Meyer", ctl.Difference("Meier", "Meyer"), 80
  CheckEq "Difference type", VarType(ctl.Difference("a", "b")), vbDouble
End Sub

Sub FieldList()
  ctl.ListCompareInit
  ctl.ListAddField "name", "M" & Chr(252) & "ller", 1.0, False
  ctl.ListSetCompare "name", "Mueller"
  CheckEq "ListCalcDiff", ctl.ListCalcDiff, 100
End Sub

Sub Guids()
  Dim a, b
  a = ctl.NewGUID
  b = ctl.NewGUID
  Check "NewGUID form: " & a, guid_form.Test(a)
  Check "NewGUID form: " & b, guid_form.Test(b)
  Check "two NewGUID texts differ", a <> b
End Sub

Sub DupeSearchAndDeleteDupes()
  Dim t, all, dupes, ids, kept
  t = MasterTable()
  ctl.Reset
  all = ctl.DupeSearch(t, 0, 80, 0.5, "", DRR_ALL, False)
  CheckEq "DupeSearch all: shape", Shape(all), "4x6"
  CheckEq "DupeSearch all: labels", LabelPattern(all, 3), "AABCCD"
  CheckEq "DupeSearch all: ids", Column(all, 0), "1,2,3,4,5,6"
  CheckEq "DupeSearch all: caller's text", all(1, 1), "Meyer"
  CheckEq "DupeSearch all: cell type kept", VarType(all(0, 0)), vbInteger
  CheckEq "table left unchanged", t(1, 1), "Meyer"
  ' By value (the parentheses) as well as by reference.
  CheckEq "DupeSearch of a table by value", LabelPattern(ctl.DupeSearch((t), 0, 80, 0.5, "", DRR_ALL, False), 3), "AABCCD"

  dupes = ctl.DupeSearch(t, 0, 80, 0.5, "", DRR_DUPES, False)
  CheckEq "DupeSearch dupes: shape", Shape(dupes), "4x4"
  CheckEq "DupeSearch dupes: labels", LabelPattern(dupes, 3), "AABB"
  ids = Column(dupes, 0)
  Check "DupeSearch dupes: groups " & ids, ids = "1,2,4,5" Or ids = "4,5,1,2"
  CheckEq "DupeSearch threshold above 100", Shape(ctl.DupeSearch(t, 0, 101, 0.5, "", DRR_DUPES, False)), "Empty"

  kept = ctl.DeleteDupes(all, -1, -1, DO_KEEP_FIRST, DER_CLEAN, False, "")
  CheckEq "DeleteDupes keep first", Column(kept, 0), "1,3,4,6"
  CheckEq "DeleteDupes shape", Shape(kept), "4x4"
  CheckEq "DeleteDupes keep last", Column(ctl.DeleteDupes(all, 3, -1, DO_KEEP_LAST, DER_CLEAN, False, ""), 0), "2,3,5,6"
  CheckEq "DeleteDupes MaxColumnIndex", Shape(ctl.DeleteDupes(all, 3, 1, DO_KEEP_FIRST, DER_CLEAN, False, "")), "2x4"
  ctl.Reset
  CheckEq "DeleteDupes deleted", Column(ctl.DeleteDupes(all, -1, -1, DO_KEEP_FIRST, DER_DELETED, False, fso.BuildPath(folder, "deleted.log")), 0), "2,5"
  CheckFile "DeleteDupes log", "deleted.log", _
      """Column1"";""Column2"";""Column3"";""Column4""" & vbCrLf & _
      "2;""Meyer"";""Main Street 1"";""" & all(3, 1) & """" & vbCrLf & _
      "5;""Hofmann"";""Lake View 3"";""" & all(3, 4) & """" & vbCrLf
  CheckEq "DeleteDupes without a label column", Shape(ctl.DeleteDupes(t, -1, -1, DO_KEEP_FIRST, DER_CLEAN, False, "")), "Empty"
End Sub

Sub MatchAndMerge()
  Dim m, x, r
  m = MasterTable()
  x = SecondTable()
  ctl.Reset
  r = ctl.FuzzyMatch(m, x, 0, 80, 0.5, "", MAR_ALL, False, "", "")
  CheckEq "FuzzyMatch all: shape", Shape(r), "4x6"
  CheckEq "FuzzyMatch all: Match", Column(r, 3), "1,1,0,3,3,0"
  CheckEq "FuzzyMatch Match type", VarType(r(3, 0)), vbLong
  CheckEq "FuzzyMatch positive", Column(ctl.FuzzyMatch(m, x, 0, 80, 0.5, "", MAR_POSITIVE, False, "", ""), 0), "1,2,4,5"
  CheckEq "FuzzyMatch negative", Column(ctl.FuzzyMatch(m, x, 0, 80, 0.5, "", MAR_NEGATIVE, False, "", ""), 0), "3,6"

  ctl.Reset
  r = ctl.FuzzyMerge(m, x, 0, 80, 0.5, "", MRR_IMPORT, False, _
      fso.BuildPath(folder, "imported.log"), fso.BuildPath(folder, "rejected.log"))
  CheckEq "FuzzyMerge import: shape", Shape(r), "3x1"
  CheckEq "FuzzyMerge import: row", Column(r, 1), "Wagner"
  CheckFile "FuzzyMerge imported log", "imported.log", _
      """Column1"";""Column2"";""Column3""" & vbCrLf & "11;""Wagner"";""Oak Avenue 2""" & vbCrLf
  CheckFile "FuzzyMerge rejected log", "rejected.log", _
      """Column1"";""Column2"";""Column3""" & vbCrLf & "10;""Meier"";""Main Street 1""" & vbCrLf & _
      "12;""Hofman"";""Lake View 3""" & vbCrLf
  r = ctl.FuzzyMerge(m, x, 0, 80, 0.5, "", MRR_ALL, False, "", "")
  CheckEq "FuzzyMerge all: shape", Shape(r), "5x9"
  CheckEq "FuzzyMerge all: identifiers", LabelPattern(r, 3), "AABCCDAEC"
  CheckEq "FuzzyMerge all: Source", Column(r, 4), "0,0,0,0,0,0,1,1,1"
  CheckEq "FuzzyMerge all: import ids", Column(r, 0), "1,2,3,4,5,6,10,11,12"

  CheckEq "ExactMatchByColumn positive", Column(ctl.ExactMatchByColumn(m, x, 1, MAR_POSITIVE, False), 0), "1"
  CheckEq "ExactMatchByColumn negative", Column(ctl.ExactMatchByColumn(m, x, 1, MAR_NEGATIVE, False), 0), "2,3,4,5,6"
  CheckEq "ExactMatchByColumn all: shape", Shape(ctl.ExactMatchByColumn(m, x, 2, MAR_ALL, False)), "3x6"
End Sub

' export.csv is also compared byte for byte by the runner.
Sub CsvExport()
  Dim t, rows
  ReDim t(3, 1)
  t(0, 0) = "a""b" : t(1, 0) = 0.1 : t(2, 0) = True : t(3, 0) = Null
  t(0, 1) = "x" & vbCrLf & "y" & Chr(233) : t(1, 1) = -2.5 : t(2, 1) = 0.000000001 : t(3, 1) = 42
  ctl.Reset
  ctl.SetColumnOption 1, True, True, 1.0, False, "Amount"
  CheckEq "VariantArray2CSVFile", ctl.VariantArray2CSVFile(t, fso.BuildPath(folder, "export.csv")), True
  rows = """a""""b"";0.1;True;" & vbCrLf & """x y" & Chr(233) & """;-2.5;0;42" & vbCrLf
  CheckFile "export with defaults", "export.csv", _
      """Column1"";""Amount"";""Column3"";""Column4""" & vbCrLf & rows
  ctl.CSVDelimiter = ", "
  ctl.CSVTextInQuotes = False
  ctl.CSVColumnHeaders = False
  Call ctl.VariantArray2CSVFile(t, fso.BuildPath(folder, "plain.csv"))
  CheckFile "export without quotes and headers", "plain.csv", _
      "a""b, 0.1, True, " & vbCrLf & "x y" & Chr(233) & ", -2.5, 0, 42" & vbCrLf
  ctl.CSVDelimiter = ";"
  ctl.CSVTextInQuotes = True
  ctl.CSVColumnHeaders = True
  CheckEq "VariantArray2CSVFile of a text", ctl.VariantArray2CSVFile("abc", fso.BuildPath(folder, "text.csv")), False
  Check "no file for a text", Not fso.FileExists(fso.BuildPath(folder, "text.csv"))
  CheckEq "VariantArray2CSVFile to a missing folder", _
      ctl.VariantArray2CSVFile(t, fso.BuildPath(folder, "missing\x.csv")), False
End Sub

Sub NotATable()
  Dim m, one_d, bad, i, names
  m = MasterTable()
  one_d = Array(1, 2, 3)
  bad = Array("text", one_d, Empty, Null, 42)
  names = Array("a text", "a 1-D array", "Empty", "Null", "a number")
  For i = 0 To UBound(bad)
    CheckEq "DupeSearch of " & names(i), Shape(ctl.DupeSearch(bad(i), 0, 80, 0.5, "", DRR_ALL, False)), "Empty"
    CheckEq "FuzzyMatch of " & names(i), Shape(ctl.FuzzyMatch(m, bad(i), 0, 80, 0.5, "", MAR_ALL, False, "", "")), "Empty"
    CheckEq "FuzzyMerge of " & names(i), Shape(ctl.FuzzyMerge(bad(i), m, 0, 80, 0.5, "", MRR_ALL, False, "", "")), "Empty"
    CheckEq "ExactMatchByColumn of " & names(i), Shape(ctl.ExactMatchByColumn(bad(i), m, 1, MAR_ALL, False)), "Empty"
    CheckEq "DeleteDupes of " & names(i), Shape(ctl.DeleteDupes(bad(i), 0, -1, DO_KEEP_FIRST, DER_CLEAN, False, "")), "Empty"
  Next
  CheckEq "LastError after tables that are none", ctl.LastError, 0
End Sub

' An argument that cannot be converted raises an error the script can
' catch. The script engine may hand on the dispatch error or map it to its
' own number (13 type mismatch, 6 overflow, 450 argument count, 438 no such
' member); either is accepted, and the first is printed for the record.
Sub CoercionErrors()
  Dim v, number
  On Error Resume Next
  v = ctl.EditDistance(Array(1), "x")
  number = Err.Number
  Err.Clear
  WScript.Echo "note: EditDistance(Array(1), ""x"") raised " & number
  Check "array for a string raises a type mismatch (" & number & ")", number = 13 Or number = -2147352571
  ctl.ListAddField "name", "x", "abc", False
  number = Err.Number
  Err.Clear
  Check "non-numeric text for a double raises a type mismatch (" & number & ")", number = 13 Or number = -2147352571
  v = ctl.soundex("Lee", 70000, False)
  number = Err.Number
  Err.Clear
  Check "70000 for a short raises an overflow (" & number & ")", number = 6 Or number = -2147352566
  v = ctl.EditDistance("a")
  number = Err.Number
  Err.Clear
  Check "a missing argument raises a count error (" & number & ")", number = 450 Or number = -2147352562
  v = ctl.NoSuchMember
  number = Err.Number
  Err.Clear
  Check "an unknown member raises an error (" & number & ")", _
      number = 438 Or number = -2147352570 Or number = -2147352573
  On Error GoTo 0
  CheckEq "the control works after refused calls", ctl.EditDistance("flaw", "lawn"), 2
  CheckEq "refused calls leave LastError", ctl.LastError, 0
End Sub

' A word of six syllables from the digits of n.
Function Word(n)
  Dim digits, i
  digits = Right("00000" & n, 6)
  Word = ""
  For i = 1 To 6
    Word = Word & Mid("bakemilosutaneripodu", CInt(Mid(digits, i, 1)) * 2 + 1, 2)
  Next
End Function

Sub LargeInput()
  Dim t, r, k, res, labels, pairs, big, started
  ReDim t(2, 9999)
  For r = 0 To 9999
    k = r \ 2
    t(0, r) = r
    t(1, r) = Word((k * 7919) Mod 1000003)
    If r Mod 2 = 1 Then t(1, r) = t(1, r) & "s"
    t(2, r) = Word((k * 104729) Mod 999983)
  Next
  ctl.Reset
  started = Timer
  res = ctl.DupeSearch(t, 0, 80, 0.5, "", DRR_ALL, False)
  WScript.Echo "note: DupeSearch of 10,000 rows took " & Round(Timer - started) & " s"
  CheckEq "10,000 rows: shape", Shape(res), "4x10000"
  CheckEq "10,000 rows: LastError", ctl.LastError, 0
  If IsArray(res) Then
    Set labels = CreateObject("Scripting.Dictionary")
    pairs = 0
    For r = 0 To 9999
      labels(res(3, r)) = True
      If r Mod 2 = 1 Then
        If res(3, r) = res(3, r - 1) Then pairs = pairs + 1
      End If
    Next
    CheckEq "10,000 rows: pairs labelled alike", pairs, 5000
    ' The command line finds the same 4975 groups in this table.
    CheckEq "10,000 rows: groups", labels.Count, 4975
    Check "10,000 rows: last label form", guid_form.Test(res(3, 9999))
  End If

  big = String(1048576, "x")
  CheckEq "1 MB Normalize", ctl.Normalize(big, True) = UCase(big), True
  CheckEq "1 MB EditDistance", ctl.EditDistance(big, "x"), 1048575
  CheckEq "1 MB soundex", ctl.soundex(big, 4, False), "x200"
End Sub

' Without a window system (the runner clears DISPLAY) the progress window
' and the About box cannot open; the calls must still complete.
Sub WindowsAndAbout()
  ctl.Reset
  CheckEq "DupeSearch with a progress window", LabelPattern(ctl.DupeSearch(MasterTable(), 0, 80, 0.5, "", DRR_ALL, True), 3), "AABCCD"
  ctl.AboutBox
  Check "AboutBox returns", True
End Sub
