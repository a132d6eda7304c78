#include "cli/fuzzy_options.h"

#include <algorithm>

#include "cli/batch_run.h"
#include "vexlor/output/log_file.h"
#include "vexlor/platform/text.h"
#include "vexlor/tables/column_options.h"

namespace vexlor::cli {

std::vector<OptionSpec> FuzzyOptionSpecs(const char* first_log,
                                         const char* second_log) {
  std::vector<OptionSpec> specs = InputOptionSpecs();
  for (auto& s : OutputOptionSpecs()) specs.push_back(s);
  for (auto& s : MatchingOptionSpecs()) specs.push_back(s);
  specs.push_back({first_log, true});
  specs.push_back({second_log, true});
  return specs;
}

namespace {

// Logs are written like the output: same delimiter, same encoding.
bool LogFormat(const Arguments& a, std::u16string* delimiter,
               TextEncoding* encoding, std::string* error) {
  std::string text = a.Get("out-delimiter", ",");
  if (text == "\\t" || text == "tab") text = "\t";
  *delimiter = platform::Utf8ToUtf16(text);
  const std::string name = a.Get("out-encoding", "utf8");
  if (name == "utf8" || name == "utf-8" || name == "UTF-8") {
    *encoding = TextEncoding::kUtf8;
  } else if (name == "cp1252" || name == "windows-1252") {
    *encoding = TextEncoding::kWindows1252;
  } else {
    *error = "--out-encoding takes utf8 or cp1252";
    return false;
  }
  return true;
}

}  // namespace

int PrepareFuzzy(const std::string& command, const Arguments& a,
                 const char* first_log, const char* second_log, Io io,
                 FuzzySetup* setup) {
  std::string error;
  std::u16string log_delimiter;
  if (!Thresholds(a, &setup->threshold, &setup->cluster_threshold, &error) ||
      !LogFormat(a, &log_delimiter, &setup->log_encoding, &error)) {
    return Complain(io, kExitUsage, command + ": " + error);
  }
  setup->control = MakeControl(a, &error);
  if (!setup->control) return Complain(io, kExitUsage, command + ": " + error);

  int status = kExitOk;
  if (!LoadOne(a, 0, &setup->master, io, &status) ||
      !LoadOne(a, 1, &setup->second, io, &status)) {
    return status;
  }
  if (!IdColumn(setup->master, a, &setup->id_column, &error) ||
      !ApplyColumnOptions(setup->master, a, setup->control.get(), &error)) {
    return Complain(io, kExitBadInput, error);
  }
  if (!a.Has("no-header")) {
    const size_t common = std::min(
        {setup->master.columns, setup->second.columns, size_t{kMaxColumns}});
    const ColumnOptions& options = setup->control->column_options();
    for (size_t c = 0; c < common; ++c) {
      if ((options.cluster[c] || options.dupe_search[c]) &&
          setup->master.names[c] != setup->second.names[c]) {
        io.err << "vexlor: warning: column " << c + 1 << " is '"
               << platform::Utf16ToUtf8(setup->master.names[c]) << "' in "
               << setup->master.path << " but '"
               << platform::Utf16ToUtf8(setup->second.names[c]) << "' in "
               << setup->second.path << "; columns are compared by position\n";
        break;
      }
    }
  }
  const char* options[2] = {first_log, second_log};
  for (int i = 0; i < 2; ++i) {
    const std::string path = a.Get(options[i], "");
    if (path.empty()) continue;
    // The library skips a log it cannot create; asked for on the command
    // line, that is an error worth stopping for.
    CLogFile probe;
    if (!probe.Open(path)) {
      return Complain(io, kExitBadInput, "cannot create log " + path);
    }
    setup->logs[i] = platform::Utf8ToUtf16(path);
  }
  // Log lines carry the second table's records under its own names.
  setup->control->column_options().names = setup->second.names;
  setup->control->SetCSVDelimiter(log_delimiter);
  return kExitOk;
}

}  // namespace vexlor::cli
