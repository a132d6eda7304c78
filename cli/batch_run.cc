#include "cli/batch_run.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <sstream>

#include "vexlor/platform/coerce.h"
#include "vexlor/platform/text.h"

namespace vexlor::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;
struct sigaction previous_action;
int scopes = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::string item;
  std::istringstream in(list);
  while (std::getline(in, item, ',')) {
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

void AppendJsonString(std::u16string_view text, std::string* out) {
  out->push_back('"');
  for (char c : platform::Utf16ToUtf8(text)) {
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out->append(buffer);
    } else {
      out->push_back(c);
    }
  }
  out->push_back('"');
}

// Forwards Ctrl-C to the control at each event and, in events mode, prints
// every event as one JSON line.
class CliSink : public EventSink {
 public:
  CliSink(CVexlorCtrl* control, std::ostream* json)
      : control_(control), json_(json) {}

  void Progress(int16_t Action, double PercentDone, int32_t ElapsedSeconds,
                std::u16string_view ElapsedString, int32_t ETASeconds,
                std::u16string_view ETAString) override {
    if (json_ != nullptr) {
      std::string line = "{\"event\": \"Progress\"";
      Number(&line, "Action", Action);
      Number(&line, "PercentDone", PercentDone);
      Times(&line, ElapsedSeconds, ElapsedString, ETASeconds, ETAString);
      *json_ << line << "}\n" << std::flush;
    }
    CheckInterrupt();
  }

  void ProgressDupeSearch(double PercentDone, int32_t RecordNo,
                          double RecordCount, int32_t DepthCurrent,
                          int32_t DepthMax, double DepthAvg, int32_t DupesFound,
                          int32_t DupesFound2, int32_t ElapsedSeconds,
                          std::u16string_view ElapsedString, int32_t ETASeconds,
                          std::u16string_view ETAString) override {
    if (json_ != nullptr) {
      std::string line = "{\"event\": \"ProgressDupeSearch\"";
      Number(&line, "PercentDone", PercentDone);
      Number(&line, "RecordNo", RecordNo);
      Number(&line, "RecordCount", RecordCount);
      Number(&line, "DepthCurrent", DepthCurrent);
      Number(&line, "DepthMax", DepthMax);
      Number(&line, "DepthAvg", DepthAvg);
      Number(&line, "DupesFound", DupesFound);
      Number(&line, "DupesFound2", DupesFound2);
      Times(&line, ElapsedSeconds, ElapsedString, ETASeconds, ETAString);
      *json_ << line << "}\n" << std::flush;
    }
    CheckInterrupt();
  }

 private:
  static void Number(std::string* line, const char* name, double value) {
    line->append(", \"").append(name).append("\": ");
    line->append(std::isfinite(value) ? platform::ShortestNumberText(value)
                                      : std::string("null"));
  }

  static void Times(std::string* line, int32_t elapsed,
                    std::u16string_view elapsed_text, int32_t eta,
                    std::u16string_view eta_text) {
    Number(line, "ElapsedSeconds", elapsed);
    line->append(", \"ElapsedString\": ");
    AppendJsonString(elapsed_text, line);
    Number(line, "ETASeconds", eta);
    line->append(", \"ETAString\": ");
    AppendJsonString(eta_text, line);
  }

  void CheckInterrupt() {
    if (Interrupted()) control_->Cancel();
  }

  CVexlorCtrl* control_;
  std::ostream* json_;
};

// The --progress mode, "auto" resolved: window, events or none.
bool ProgressMode(const Arguments& args, std::string* mode,
                  std::string* error) {
  *mode = args.Get("progress", "auto");
  if (*mode == "auto") *mode = isatty(STDERR_FILENO) ? "window" : "none";
  if (*mode != "window" && *mode != "events" && *mode != "none") {
    *error = "--progress takes auto, window, events or none";
    return false;
  }
  return true;
}

}  // namespace

InterruptScope::InterruptScope() {
  if (scopes++ > 0) return;
  interrupted = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous_action);
}

InterruptScope::~InterruptScope() {
  if (--scopes > 0) return;
  sigaction(SIGINT, &previous_action, nullptr);
}

bool Interrupted() { return interrupted != 0; }

std::vector<OptionSpec> MatchingOptionSpecs() {
  return {{"id-column", true},         {"cluster", true},
          {"compare", true},           {"weight", true, true},
          {"compare-null", true},      {"threshold", true, false, "t"},
          {"cluster-threshold", true}, {"return", true},
          {"label-seed", true},        {"progress", true}};
}

bool IdColumn(const InputTable& input, const Arguments& args, int* index,
              std::string* error) {
  *index = -1;
  if (!args.Has("id-column")) return true;
  *index = FindColumn(input, args.Get("id-column", ""));
  if (*index < 0) {
    *error = NoColumnError(input, args.Get("id-column", ""));
    return false;
  }
  return true;
}

bool ApplyColumnOptions(const InputTable& input, const Arguments& args,
                        CVexlorCtrl* control, std::string* error) {
  int columns = static_cast<int>(std::min<size_t>(input.columns, kMaxColumns));
  std::vector<bool> cluster(columns, true), compare(columns, true),
      compare_null(columns, false);
  std::vector<double> weight(columns, 1.0);
  auto select = [&](const char* option, std::vector<bool>* flags) {
    if (!args.Has(option)) return true;
    flags->assign(columns, false);
    for (const std::string& name : SplitList(args.Get(option, ""))) {
      int c = FindColumn(input, name);
      if (c < 0) {
        *error = NoColumnError(input, name);
        return false;
      }
      if (c < columns) (*flags)[c] = true;
    }
    return true;
  };
  if (!select("cluster", &cluster) || !select("compare", &compare))
    return false;
  if (args.Has("compare-null") && !select("compare-null", &compare_null)) {
    return false;
  }
  for (const std::string& weight_text : args.All("weight")) {
    size_t eq = weight_text.rfind('=');
    double w;
    if (eq == std::string::npos ||
        !ParseDouble(weight_text.substr(eq + 1), &w)) {
      *error = "--weight takes COLUMN=NUMBER, not '" + weight_text + "'";
      return false;
    }
    int c = FindColumn(input, weight_text.substr(0, eq));
    if (c < 0) {
      *error = NoColumnError(input, weight_text.substr(0, eq));
      return false;
    }
    if (c < columns) weight[c] = w;
  }
  control->Reset();
  for (int c = 0; c < columns; ++c) {
    control->SetColumnOption(static_cast<int16_t>(c), cluster[c], compare[c],
                             weight[c], compare_null[c], input.names[c]);
  }
  return true;
}

bool CheckLateOptions(const Arguments& args, std::string* error) {
  std::string mode;
  bool cp1252;
  return ProgressMode(args, &mode, error) &&
         OutputEncoding(args, &cp1252, error);
}

bool Thresholds(const Arguments& args, double* threshold,
                double* cluster_threshold, std::string* warning,
                std::string* error) {
  warning->clear();
  if (!ParseDouble(args.Get("threshold", "80"), threshold) || *threshold < 0 ||
      *threshold > 100) {
    *error = "--threshold takes a percentage from 0 to 100, not '" +
             args.Get("threshold", "") + "'";
    return false;
  }
  if (!ParseDouble(args.Get("cluster-threshold", "0.5"), cluster_threshold) ||
      *cluster_threshold < 0 || *cluster_threshold > 1) {
    *error =
        "--cluster-threshold takes a fraction from 0 to 1 (such as 0.5), "
        "not '" +
        args.Get("cluster-threshold", "") + "'";
    return false;
  }
  if (*cluster_threshold > 0.9) {
    *warning = "--cluster-threshold " + args.Get("cluster-threshold", "") +
               " is above 0.9: almost no pair of records shares enough "
               "trigrams to be compared at all";
  }
  for (const std::string& weight_text : args.All("weight")) {
    const size_t eq = weight_text.rfind('=');
    double w;
    if (eq == std::string::npos ||
        !ParseDouble(weight_text.substr(eq + 1), &w) || w < 0) {
      *error =
          "--weight takes COLUMN=NUMBER with a number of 0 or more, not '" +
          weight_text + "'";
      return false;
    }
  }
  return true;
}

std::unique_ptr<CVexlorCtrl> MakeControl(const Arguments& args,
                                         std::string* error) {
  if (!args.Has("label-seed")) return std::make_unique<CVexlorCtrl>();
  long long seed;
  if (!ParseInt(args.Get("label-seed", ""), 0, INT64_MAX, &seed)) {
    *error = "--label-seed takes a whole number";
    return nullptr;
  }
  return std::make_unique<CVexlorCtrl>(static_cast<uint64_t>(seed));
}

std::unique_ptr<ProgressSession> ProgressSession::Start(const Arguments& args,
                                                        CVexlorCtrl* control,
                                                        std::ostream& err,
                                                        std::string* error) {
  std::string mode;
  if (!ProgressMode(args, &mode, error)) return nullptr;
  auto sink =
      std::make_unique<CliSink>(control, mode == "events" ? &err : nullptr);
  return std::unique_ptr<ProgressSession>(
      new ProgressSession(control, mode == "window", std::move(sink)));
}

ProgressSession::ProgressSession(CVexlorCtrl* control, bool show_progress,
                                 std::unique_ptr<EventSink> sink)
    : control_(control), show_progress_(show_progress), sink_(std::move(sink)) {
  control_->Advise(sink_.get());
}

ProgressSession::~ProgressSession() { control_->Unadvise(sink_.get()); }

}  // namespace vexlor::cli
