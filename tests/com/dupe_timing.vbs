' Times one DupeSearch of a customer table from VBScript, with the settings
' of the sample data's benchmarks: column 0 the identifier, columns 1 to 6
' clustered and compared, phone and e-mail (7 and 8) left out, Threshold
' 80, events instead of a window. Only the call is timed, not the reading.
'
' Usage: cscript //nologo dupe_timing.vbs FILE [CLUSTER_THRESHOLD]
' FILE is the table as UTF-16 text with a header row (iconv -t UTF-16 turns
' the UTF-8 sample files into that), comma-separated, quoted as RFC 4180
' without line breaks inside fields. Prints rows, groups and seconds.
' ("Dim a()" followed by "ReDim a(n)" crashes Wine's VBScript: arrays here
' are declared as plain variables.)
Option Explicit

Dim fso, lines, t, r, c, fields, ctl, cluster_threshold, started, seconds
Dim res, groups
Set fso = CreateObject("Scripting.FileSystemObject")
cluster_threshold = 0.5
If WScript.Arguments.Count > 1 Then cluster_threshold = CDbl(WScript.Arguments(1))

lines = Split(fso.OpenTextFile(WScript.Arguments(0), 1, False, -1).ReadAll(), vbCrLf)
' The last line ends with CR LF too, which leaves one empty entry.
ReDim t(8, UBound(lines) - 2)
For r = 1 To UBound(lines) - 1
  fields = SplitCsvLine(lines(r))
  For c = 0 To 8
    If c <= UBound(fields) Then t(c, r - 1) = fields(c) Else t(c, r - 1) = ""
  Next
Next

Set ctl = CreateObject("VEXLOR.VexlorCtrl.1")
ctl.SetColumnOption 7, False, False, 1.0, False, "phone"
ctl.SetColumnOption 8, False, False, 1.0, False, "email"
started = Timer
res = ctl.DupeSearch(t, 0, 80, cluster_threshold, "", 1, False)
seconds = Timer - started

Set groups = CreateObject("Scripting.Dictionary")
For r = 0 To UBound(res, 2)
  groups(res(9, r)) = True
Next
WScript.Echo "rows " & (UBound(res, 2) + 1) & ", groups " & groups.Count & _
    ", DupeSearch " & FormatNumber(seconds, 2) & " s"

' Fields of one line: quoted fields may hold commas and doubled quotes.
Function SplitCsvLine(line)
  Dim out, n, i, ch, field, quoted
  ReDim out(16)
  n = 0
  field = ""
  quoted = False
  i = 1
  Do While i <= Len(line)
    ch = Mid(line, i, 1)
    If quoted Then
      If ch = """" Then
        If Mid(line, i + 1, 1) = """" Then
          field = field & """"
          i = i + 1
        Else
          quoted = False
        End If
      Else
        field = field & ch
      End If
    ElseIf ch = """" Then
      quoted = True
    ElseIf ch = "," Then
      out(n) = field
      n = n + 1
      field = ""
    Else
      field = field & ch
    End If
    i = i + 1
  Loop
  out(n) = field
  ReDim Preserve out(n)
  SplitCsvLine = out
End Function
