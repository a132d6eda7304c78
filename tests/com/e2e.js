// End-to-end test of the registered control from JScript, the other script
// engine of the host: its numbers, booleans and strings arrive with other
// variant types than VBScript's, and its errors surface as exceptions.
// JScript cannot build a 2-D array, so the batch methods are only fed
// values that are not tables.
//
// Usage: cscript //nologo e2e.js
// One line per failed check, then a summary line; the exit code is the
// number of failures. Wine's JScript cannot apply typeof to an array
// variant, so results are told apart by comparing with undefined.

var passed = 0, failed = 0;

function fail(what) {
  failed++;
  WScript.Echo("FAIL " + what);
}

function checkEq(what, got, want) {
  if (got === want) passed++;
  else fail(what + ": got " + got + " (" + typeof got + "), want " + want);
}

// Runs f and returns the error number it raised, or 0.
function errorOf(f) {
  try {
    f();
  } catch (e) {
    return e.number;
  }
  return 0;
}

function run(ctl) {
  checkEq("CSVDelimiter default", ctl.CSVDelimiter, ";");
  ctl.CSVDelimiter = "|";
  checkEq("CSVDelimiter put", ctl.CSVDelimiter, "|");
  ctl.CSVTextInQuotes = false;
  checkEq("CSVTextInQuotes put", ctl.CSVTextInQuotes, false);
  checkEq("CSVColumnHeaders default", ctl.CSVColumnHeaders, true);

  checkEq("soundex", ctl.soundex("Robert", 4, false), "r163");
  checkEq("metaphone", ctl.metaphone("Knight", 4), "N230");
  checkEq("dmetaphone", ctl.dmetaphone("Accident", 8), "AKSTNT");
  checkEq("CompareStrings", ctl.CompareStrings("Hello World", "Wrld", true), 1);
  checkEq("Normalize", ctl.Normalize("M\u00fcller GmbH & Co. KG", true), "MULLER U.");
  checkEq("EditDistance", ctl.EditDistance("flaw", "lawn"), 2);
  checkEq("Difference", ctl.Difference("ABCD", "ABXD"), 75);
  ctl.ListCompareInit();
  ctl.ListAddField("name", "M\u00fcller", 1.0, false);
  ctl.ListSetCompare("name", "Mueller");
  checkEq("ListCalcDiff", ctl.ListCalcDiff(), 100);
  var guid = ctl.NewGUID();
  checkEq("NewGUID form " + guid,
          /^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$/.test(guid), true);

  // A JScript array is an object, a dictionary's Items() a 1-D array.
  var items = new ActiveXObject("Scripting.Dictionary");
  items.Add("a", 1);
  var notTables = [["a text", "abc"], ["a JScript array", [1, 2]], ["a 1-D array", items.Items()]];
  for (var i = 0; i < notTables.length; i++) {
    var v = notTables[i][1];
    checkEq("DupeSearch of " + notTables[i][0], ctl.DupeSearch(v, -1, 80, 0.5, "", 1, false), undefined);
    checkEq("ExactMatchByColumn of " + notTables[i][0], ctl.ExactMatchByColumn(v, v, 0, 0, false), undefined);
  }
  checkEq("VariantArray2CSVFile of a text", ctl.VariantArray2CSVFile("abc", "x.csv"), false);

  var mismatch = errorOf(function () { ctl.ListAddField("name", "x", "abc", false); });
  WScript.Echo("note: a non-numeric text for a double raised " + mismatch);
  // The dispatch error itself, or the engine's own "Type mismatch" and
  // "Overflow" (0x800A000D, 0x800A0006).
  checkEq("type mismatch error " + mismatch, mismatch == -2147352571 || mismatch == -2146828275, true);
  var overflow = errorOf(function () { ctl.soundex("Lee", 70000, false); });
  checkEq("overflow error " + overflow, overflow == -2147352566 || overflow == -2146828282, true);
  checkEq("the control works after refused calls", ctl.EditDistance("a", "b"), 1);

  var big = new Array(1048577).join("x");
  checkEq("1 MB Normalize", ctl.Normalize(big, true) === big.toUpperCase(), true);
  ctl.Cancel();
  checkEq("CanceledByUser after Cancel", ctl.CanceledByUser(), true);
  checkEq("LastError", ctl.LastError(), 0);
  checkEq("LastErrorDescription", ctl.LastErrorDescription(), "");
}

try {
  run(new ActiveXObject("VEXLOR.VexlorCtrl.1"));
} catch (e) {
  fail("stopped: error " + e.number + " " + e.description);
}
WScript.Echo("e2e.js: " + (passed + failed) + " checks, " + failed + " failed");
WScript.Quit(failed > 255 ? 255 : failed);
