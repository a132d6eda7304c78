#include "cli/progress_session.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "cli/interrupts.h"
#include "cli/table_io.h"
#include "vexlor/platform/coerce.h"
#include "vexlor/text.h"

namespace vexlor::cli {

namespace {

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

bool CheckLateOptions(const Arguments& args, std::string* error) {
  std::string mode;
  bool cp1252;
  return ProgressMode(args, &mode, error) &&
         OutputEncoding(args, &cp1252, error);
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
