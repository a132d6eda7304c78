#include "cli/help.h"

#include <map>
#include <vector>

namespace vexlor::cli {

namespace {

// What every table command reads and writes.
const std::string kInput =
    "Input:  -H/--no-header  -d/--delimiter D  -e/--encoding utf8|cp1252\n"
    "  --allow-ragged (rows longer than the header get columns of their own;\n"
    "  otherwise such a row is an error). Blank lines are skipped. A header\n"
    "  naming two columns alike is an error unless columns are named by\n"
    "  0-based index. gzip-compressed files are read as such, whatever\n"
    "  their name.\n";
// What the commands of two files add to kInput.
const std::string kTwoFiles =
    "  Each file may have its own: --master-delimiter D, --master-encoding\n"
    "  E for the first file, --file-delimiter D, --file-encoding E for the\n"
    "  second; -d and -e apply to any file without its own. With headers,\n"
    "  the second file's columns are lined up with the first's by name\n"
    "  (a missing one is empty, others are kept for the logs); without\n"
    "  headers or with --by-position, by position.\n";
const std::string kCandidates =
    "Candidates: --candidates exact|bounded (exact: every row sharing\n"
    "  enough trigrams, more per record the larger the table; bounded: at\n"
    "  most the 16 of them sharing most, found by min-hash bands)\n";
const std::string kScoring =
    "Scoring: --scoring mean|estimated (mean: the weighted mean of the\n"
    "  columns' similarities; estimated: the match probability of a model\n"
    "  fitted to the table, in percent)  --model FILE (score with a saved\n"
    "  model, no fitting)  --model-out FILE (save the model as JSON)\n"
    "  --explain FILE (each pair's column levels and match weights)\n";
const std::string kOutput =
    "Output: -o FILE (default standard output)  --out-delimiter D (,)\n"
    "  --out-encoding utf8|cp1252  --progress auto|window|events|none\n"
    "  Fields are quoted only where needed (a delimiter, quote or line\n"
    "  break); every cell is written as it was read, line breaks included.\n"
    "  An -o FILE ending in .gz is written gzip-compressed. --summary: a\n"
    "  last line on stderr with the records read, what was found and the\n"
    "  time (always when stderr is a terminal). Output and log files\n"
    "  replace earlier ones only when the command succeeds.\n";

const std::map<std::string, std::string>& Texts() {
  static const std::map<std::string, std::string> texts = {
      {"normalize",
       "usage: vexlor normalize [--mixed-case] TEXT... | -\n"
       "Prints the comparison key of each name, company or address (upper\n"
       "case unless --mixed-case). With -, reads one text per line from\n"
       "standard input.\n"},
      {"soundex",
       "usage: vexlor soundex [--length N] [--firstchar] NAME... | -\n"
       "Prints the Soundex code of each name (default length 4). With\n"
       "--firstchar the first letter is coded as a digit too.\n"},
      {"metaphone",
       "usage: vexlor metaphone [--length N] NAME... | -\n"
       "Prints the Phonex code of each name (default length 4).\n"},
      {"dmetaphone",
       "usage: vexlor dmetaphone [--length N] NAME... | -\n"
       "Prints the Double Metaphone primary key of each name (at most\n"
       "length characters, default 4).\n"},
      {"distance",
       "usage: vexlor distance TEXT1 TEXT2\n"
       "Prints the Levenshtein distance of the two texts.\n"},
      {"difference",
       "usage: vexlor difference TEXT1 TEXT2\n"
       "Prints the gestalt similarity of the two texts in percent.\n"},
      {"compare",
       "usage: vexlor compare [--ignore-case] TEXT PATTERN\n"
       "Prints the number of errors (0-8) with which PATTERN occurs in TEXT,\n"
       "or -1 for an invalid pattern.\n"},
      {"grep",
       "usage: vexlor grep [options] PATTERN [FILE...]\n"
       "Prints the lines of the files (or standard input) in which PATTERN\n"
       "occurs with at most K errors (0 to 7, default 0).\n"
       "  -k/--max-errors K  -i/--ignore-case\n"
       "  -c/--count  the number of matching lines of each file instead\n"
       "  -n/--line-number  each line's number before it\n"
       "  -l/--files-with-matches  the names of the files with a match\n"
       "  -H/--with-filename, -h/--no-filename  the file name before each\n"
       "      line (default: when there are several files)\n"
       "  --show-errors  each line's error count before it\n"
       "Pattern language:\n"
       "? any character, [abc] [a-z] [^a-z] classes, * any text between two\n"
       "positions, {...} a part without errors, a|b alternatives, \\x a\n"
       "literal x. Exit status: 0 a line printed, 1 none, 2 an error.\n"},
      {"dupes",
       "usage: vexlor dupes FILE [options]\n"
       "Labels groups of similar records of a CSV file (- for standard\n"
       "input) and prints the table with a FuzzyDupesID column, or only the\n"
       "groups (--return dupes).\n" +
           kInput +
           "Columns (by header name or 0-based index): --id-column COL,\n"
           "  --cluster COLS, --compare COLS (comma-separated; default: every\n"
           "  column), --weight COL=W (repeatable; 0 or more; above 1 = must\n"
           "  match exactly), --compare-null COLS. An unknown column is an "
           "error\n"
           "  that lists the columns there are.\n"
           "Matching: -t/--threshold PERCENT (0 to 100; 80)  "
           "--cluster-threshold\n"
           "  FRACTION (0 to 1; 0.5; above 0.9 almost no pair is compared)\n"
           "  --return all|dupes (all)  --label-seed N (reproducible labels)\n"
           "Groups: --grouping chain|center|clique (chain: labels pass along\n"
           "  chains of matches; center: a record in a group searches no "
           "more;\n"
           "  clique: a record joins a group only if it matches every member)\n"
           "  --member-threshold PERCENT (clique; default the --threshold)\n"
           "  --swap COL,COL (also compare the two columns' texts exchanged)\n"
           "Review: --scores (a Similarity column: the match that labelled "
           "the\n"
           "  row)  --labels guid|number (number: 1, 2, ... in order of first\n"
           "  appearance; groups of --return dupes then in that order)\n"
           "  --group-size (a GroupSize column)  --pairs FILE (every pair "
           "that\n"
           "  reached the threshold: ids, or row numbers from 1, and "
           "similarity)\n"
           "Cluster: --workers N (candidate pairs found by N local Dask "
           "worker\n"
           "  processes)  --scheduler ADDRESS (by an existing Dask cluster);\n"
           "  same output. Needs python3 with python3-dask and\n"
           "  python3-distributed ($VEXLOR_PYTHON names another python)\n" +
           kCandidates + kScoring + kOutput},
      {"exact",
       "usage: vexlor exact MASTER FILE --column C [options]\n"
       "Prints the rows of MASTER whose text in column C (header name or\n"
       "0-based index) occurs in column C of FILE: all rows with a Matched\n"
       "column, 1 or 0 (--return all, the default), only the matched ones\n"
       "(positive) or only the others (negative). Texts compare exactly:\n"
       "case and blanks count, empty fields never match; of several MASTER\n"
       "rows with one text only the first counts as matched.\n"
       "  -i/--ignore-case  letters compare without regard to case\n"
       "  --trim            blanks at either end of a text do not count\n" +
           kInput + kTwoFiles + kOutput},
      {"delete-dupes",
       "usage: vexlor delete-dupes FILE [options]\n"
       "Keeps one row of every group of rows that share a label (FILE, or -\n"
       "for standard input, as `vexlor dupes` prints it) and prints the kept\n"
       "rows (--return clean, the default) or the deleted ones (deleted).\n"
       "Rows with an empty label belong to no group and are left out.\n"
       "  --fid-column COL   the label column (default: the rightmost column\n"
       "                     whose first row holds a {...} label)\n"
       "  --max-column COL   the last column printed and logged (default: "
       "all)\n"
       "  --keep first|last  the row kept of each group (first)\n"
       "  --log FILE         the deleted rows as CSV, written as the output\n"
       "                     is (delimiter, encoding, every cell as read)\n" +
           kInput + kOutput +
           "Example: vexlor dupes people.csv | vexlor delete-dupes -\n"},
      {"review",
       "usage: vexlor review FILE [options]\n"
       "       vexlor review MASTER FILE [options]\n"
       "Shows the groups of a duplicate search on a web page served from\n"
       "this computer only, for a person to accept them, split records off\n"
       "and merge groups before anything is deleted. It prints the page's\n"
       "address (127.0.0.1, a free port and a secret token that every\n"
       "request must carry) and serves until Done on the page or Ctrl-C.\n"
       "FILE is a result of `vexlor dupes` with --pairs PAIRS, the pairs file\n"
       "of that search (and its --id-column, if it had one), or a table to\n"
       "search here with the options of `vexlor dupes`.\n"
       "With MASTER and FILE it shows matches: MASTER is a result of `vexlor\n"
       "match` with --pairs (its Match column names FILE's rows), or a table\n"
       "to match here with the options of `vexlor match`; each MASTER record\n"
       "is shown with the FILE records paired with it, to accept or reject.\n"
       "With --scoring estimated (or --model) each pair shows each column's\n"
       "level and weight; a result of an earlier search gives them with its\n"
       "--explain file.\n"
       "  --pairs FILE       the pairs file of the search that labelled FILE\n"
       "  --explain FILE     the explain file of that search\n"
       "  --fid-column COL   FILE's label column (default FuzzyDupesID)\n"
       "  --decisions FILE   where decisions are kept (default\n"
       "                     FILE.review.json); written after every decision\n"
       "                     (temporary file and rename) and read back when\n"
       "                     the review of the same groups is resumed\n"
       "Keys on the page: j/k next/previous group, arrows choose a record,\n"
       "a accept, s split off the chosen record, m merge, u undo; for\n"
       "matches a accept, r reject, u undo.\n" +
           kInput +
           "Example: vexlor dupes people.csv --pairs pairs.csv -o groups.csv\n"
           "  vexlor review groups.csv --pairs pairs.csv\n"
           "  vexlor apply groups.csv groups.csv.review.json -o "
           "reviewed.csv\n"
           "  vexlor match master.csv new.csv --pairs p.csv -o matched.csv\n"
           "  vexlor review matched.csv new.csv --pairs p.csv\n"},
      {"apply",
       "usage: vexlor apply FILE DECISIONS [options]\n"
       "Prints FILE with the labels a review decided, ready for `vexlor\n"
       "delete-dupes`. A group left whole keeps its label, a merged group\n"
       "takes the label of the group it joined, a record split off gets\n"
       "{00000000-0000-0000-0000-...} with its row number. FILE without a\n"
       "label column (a review that searched itself) gets a FuzzyDupesID\n"
       "column of such labels numbered by group. FILE must be the file that\n"
       "was reviewed (same rows, same groups). After a review of matches,\n"
       "FILE is the reviewed `match` result: each rejected match's Match\n"
       "cell becomes 0 and its Similarity and MatchID cells empty; MASTER\n"
       "without a Match column (a review that matched itself) gets one.\n"
       "  --fid-column COL   FILE's label column (default FuzzyDupesID)\n" +
           kInput + kOutput},
      {"match",
       "usage: vexlor match MASTER FILE [options]\n"
       "Marks every MASTER row with the first FILE row that resembles it and\n"
       "prints MASTER with a Match column: the FILE row number (from 1), 0\n"
       "for none. --return positive prints only the matched rows, negative\n"
       "only the others (default all).\n"
       "  --log-positive FILE  the FILE rows that matched, as CSV\n"
       "  --log-negative FILE  the FILE rows that did not\n"
       "  Logs are written as the output is: its delimiter and encoding,\n"
       "  every cell as it was read.\n" +
           kInput + kTwoFiles +
           "Columns (by MASTER header name or 0-based index): --id-column "
           "COL,\n"
           "  --cluster COLS, --compare COLS, --weight COL=W, --compare-null "
           "COLS\n"
           "Matching: -t/--threshold PERCENT (0 to 100; 80)  "
           "--cluster-threshold\n"
           "  FRACTION (0 to 1; 0.5; above 0.9 almost no pair is compared)\n"
           "  --match first|best (best: the FILE row of the highest "
           "similarity)\n"
           "  --swap COL,COL (also compare the two columns' texts exchanged)\n"
           "Review: --scores (a Similarity column)  --match-id (a MatchID "
           "column:\n"
           "  the matched FILE row's --id-column)  --pairs FILE (every pair "
           "that\n"
           "  reached the threshold: FILE id, MASTER id, similarity)\n" +
           kCandidates + kScoring + kOutput},
      {"merge",
       "usage: vexlor merge MASTER IMPORT [options]\n"
       "Merges the IMPORT rows that resemble neither a MASTER row nor an\n"
       "IMPORT row merged before them. --return clean-merged (default):\n"
       "MASTER and the merged rows, with FuzzyDupesID and Source (0 MASTER,\n"
       "1 IMPORT) columns; all: every row, those that resemble others sharing\n"
       "their FuzzyDupesID; dupes: only the rows that share one; import:\n"
       "only the merged IMPORT rows.\n"
       "  --log-imported FILE  the IMPORT rows that resembled nothing, as CSV\n"
       "  --log-rejected FILE  the others\n"
       "  Logs are written as the output is: its delimiter and encoding,\n"
       "  every cell as it was read.\n" +
           kInput + kTwoFiles +
           "Columns (by MASTER header name or 0-based index): --id-column "
           "COL,\n"
           "  --cluster COLS, --compare COLS, --weight COL=W, --compare-null "
           "COLS\n"
           "Matching: -t/--threshold PERCENT (0 to 100; 80)  "
           "--cluster-threshold\n"
           "  FRACTION (0 to 1; 0.5; above 0.9 almost no pair is compared)\n"
           "  --label-seed N (reproducible FuzzyDupesID labels)\n"
           "  --swap COL,COL (also compare the two columns' texts exchanged)\n"
           "  --pairs FILE (every pair that reached the threshold: IMPORT id,\n"
           "  the other's id and source, similarity)\n" +
           kCandidates + kScoring + kOutput},
      {"index",
       "usage: vexlor index create INDEX FILE [options] [-o OUT]\n"
       "       vexlor index add|match INDEX FILE [-o OUT]\n"
       "       vexlor index export INDEX [-o OUT]\n"
       "       vexlor index info INDEX\n"
       "Keeps a deduplicated table up to date. create makes the index file\n"
       "INDEX (an SQLite database) from FILE with the options of `vexlor\n"
       "dupes` (columns, thresholds, grouping, scoring); a FuzzyDupesID\n"
       "column (or --label-column C) keeps FILE's groups, otherwise FILE is\n"
       "deduplicated first; -o writes FILE with its labels. add searches\n"
       "each FILE record against the index and the records before it,\n"
       "puts it in a group by the index's grouping (chain: that of its last\n"
       "match; center: that of the first center it matches; clique: the\n"
       "first whose every member it matches) or a new one, and stores the\n"
       "records in one transaction; OUT is FILE with FuzzyDupesID and\n"
       "Similarity columns. A stored record's group id never changes.\n"
       "match answers as add would and stores nothing (an empty\n"
       "FuzzyDupesID: a group of its own). FILE's columns are matched to the\n"
       "index's by header name; one the index lacks is an error. export\n"
       "prints every record with its group id, info the records, groups,\n"
       "size and settings.\n"
       "  --label-seed N (reproducible group ids)\n" +
           kInput + kOutput},
      {"serve",
       "usage: vexlor serve INDEX --token-file F [--host H] [--port N]\n"
       "Answers questions to the index over HTTP with JSON and prints\n"
       "`listening on http://HOST:PORT`. POST /match and POST /add take\n"
       "{\"records\": [{\"column\": \"value\", ...}, ...]} and answer\n"
       "{\"results\": [{\"group\": ID or null, \"matches\": [{\"id\",\n"
       "\"group\", \"similarity\"}, ...]}, ...]}, matches best first, at most\n"
       "10. An /add is stored before it is answered and seen by the next\n"
       "/match. GET /health needs no token; every other request needs\n"
       "Authorization: Bearer TOKEN, the first word of F (16 characters or\n"
       "more): 401 without it, 403 with another. Bad JSON, an unknown\n"
       "column or a body over --max-body get 400 with the reason.\n"
       "  --host H        the address to listen on (127.0.0.1: this machine\n"
       "                  only). Another, such as 0.0.0.0, lets every host\n"
       "                  that reaches this one read and add records, with\n"
       "                  the token sent unencrypted: use it behind a TLS\n"
       "                  proxy on a trusted network only.\n"
       "  --port N        the port (8080; 0: any free one)\n"
       "  --max-body B    the largest request body in bytes (1048576)\n"
       "  --label-seed N  reproducible group ids\n"
       "Ctrl-C stops it. Records added by another process while it runs\n"
       "make its next /add fail until it is started again.\n"},
      {"call",
       "usage: vexlor call MEMBER [ARGS...]\n"
       "Calls any member of the control by name, converting the arguments\n"
       "as late binding does (\"4\" for a short, \"True\" for a bool).\n"
       "Example: vexlor call soundex Lee 4 0\n"},
      {"members",
       "usage: vexlor members [--idl]\n"
       "Prints the member table: dispatch identifier, name, parameters and\n"
       "result of every member. With --idl, the type library as IDL.\n"},
  };
  return texts;
}

}  // namespace

std::string MainHelp() {
  return "usage: vexlor COMMAND [ARGS...]\n"
         "Fuzzy matching of names, addresses and whole records.\n"
         "\n"
         "Single strings:\n"
         "  normalize TEXT...           comparison key of a name or address\n"
         "  soundex|metaphone|dmetaphone NAME...   phonetic codes\n"
         "  distance TEXT1 TEXT2        Levenshtein distance\n"
         "  difference TEXT1 TEXT2      gestalt similarity in percent\n"
         "  compare TEXT PATTERN        errors of an approximate pattern "
         "match\n"
         "Tables (CSV files):\n"
         "  dupes FILE                  fuzzy duplicate search\n"
         "  exact MASTER FILE --column C   exact match on one column\n"
         "  delete-dupes FILE           keep one row of each labelled group\n"
         "  match MASTER FILE           fuzzy match of FILE against MASTER\n"
         "  merge MASTER IMPORT         fuzzy merge of IMPORT into MASTER\n"
         "  review FILE [FILE]          review groups or matches on a web "
         "page\n"
         "  apply FILE DECISIONS        the table with the reviewed labels\n"
         "  index create|add|match|export|info INDEX ...   a deduplicated\n"
         "                              table kept up to date, stable ids\n"
         "  serve INDEX                 the index's match and add over HTTP\n"
         "Search:\n"
         "  grep PATTERN [FILE...]      approximate pattern search over lines\n"
         "Control:\n"
         "  call MEMBER [ARGS...]       late-bound call of any member\n"
         "  members                     the member table\n"
         "\n"
         "vexlor COMMAND --help shows a command's options; vexlor --version,\n"
         "vexlor --about.\n";
}

const std::vector<std::string>& DocumentedCommands() {
  static const std::vector<std::string> names = {
      "dupes",    "match",      "merge",   "exact",     "delete-dupes",
      "grep",     "normalize",  "soundex", "metaphone", "dmetaphone",
      "distance", "difference", "compare", "call",      "members",
      "review",   "apply",      "index",   "serve"};
  return names;
}

std::string CliReference() {
  std::string doc =
      "# The vexlor command\n\n"
      "This page is the text of `vexlor --help` and of every `vexlor COMMAND\n"
      "--help` (regenerate it with `vexlor help --markdown > docs/cli.md`).\n\n"
      "```\n" +
      MainHelp() + "```\n";
  for (const std::string& name : DocumentedCommands()) {
    doc += "\n## vexlor " + name + "\n\n```\n" + SubcommandHelp(name) + "```\n";
  }
  return doc;
}

std::string SubcommandHelp(const std::string& name) {
  auto it = Texts().find(name);
  return it == Texts().end() ? MainHelp() : it->second;
}

}  // namespace vexlor::cli
