// `vexlor grep PATTERN [FILE...]`: lines in which an approximate wildcard
// pattern occurs with at most K errors.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "cli/arguments.h"
#include "cli/command.h"
#include "vexlor/strings/pattern_compare.h"
#include "vexlor/text.h"

namespace vexlor::cli {

namespace {

// grep's exit statuses.
constexpr int kGrepFound = 0;
constexpr int kGrepNone = 1;
constexpr int kGrepError = 2;

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// What grep prints of each matching line, and what instead of lines.
struct GrepOutput {
  bool show_errors = false;   // --show-errors: "K:" before the line
  bool line_numbers = false;  // -n
  bool count = false;         // -c: the number of matching lines per file
  bool files = false;         // -l: the names of files with a match
};

class LineMatcher {
 public:
  LineMatcher(const CompiledPattern& pattern, int max_errors,
              const GrepOutput& output, std::ostream& out)
      : pattern_(pattern),
        max_errors_(max_errors),
        output_(output),
        out_(out) {}

  // Starts a file; `prefix` ("name:" or empty) goes before what is printed.
  void StartFile(const std::string& prefix) {
    prefix_ = prefix;
    line_number_ = 0;
    matches_ = 0;
  }

  // Tests one line (without its line end) and prints it when it matches.
  void Line(std::string_view line) {
    ++line_number_;
    if (output_.files && matches_ > 0) return;
    std::string_view text = line;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    std::string_view ansi = text;
    if (!IsAscii(text)) {
      // UTF-8 lines are searched in the library's single-byte form; bytes
      // that are not UTF-8 are taken as Windows-1252 already.
      if (platform::IsValidUtf8(text)) {
        converted_ = platform::Utf8ToAnsi(text);
        ansi = converted_;
      }
    }
    int errors = pattern_.SearchUpTo(ansi, max_errors_);
    if (errors < 0 || errors > max_errors_) return;
    found_ = true;
    ++matches_;
    if (output_.count || output_.files) return;
    out_ << prefix_;
    if (output_.line_numbers) out_ << line_number_ << ':';
    if (output_.show_errors) out_ << errors << ':';
    out_.write(line.data(), static_cast<std::streamsize>(line.size()));
    out_ << '\n';
  }

  // Ends a file: its count (-c) or its name (-l).
  void EndFile(const std::string& name) {
    if (output_.files) {
      if (matches_ > 0) out_ << name << '\n';
    } else if (output_.count) {
      out_ << prefix_ << matches_ << '\n';
    }
  }

  bool found() const { return found_; }

 private:
  const CompiledPattern& pattern_;
  int max_errors_;
  GrepOutput output_;
  std::ostream& out_;
  std::string prefix_;
  size_t line_number_ = 0;
  size_t matches_ = 0;
  std::string converted_;
  bool found_ = false;
};

// Feeds every line of `file` to `matcher`; false when it cannot be read.
bool ScanFile(FILE* file, LineMatcher* matcher) {
  std::string pending;
  std::string buffer(1 << 20, '\0');
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
    std::string_view chunk(buffer.data(), n);
    size_t start = 0;
    for (size_t nl = chunk.find('\n'); nl != std::string_view::npos;
         nl = chunk.find('\n', start)) {
      if (pending.empty()) {
        matcher->Line(chunk.substr(start, nl - start));
      } else {
        pending.append(chunk.substr(start, nl - start));
        matcher->Line(pending);
        pending.clear();
      }
      start = nl + 1;
    }
    pending.append(chunk.substr(start));
  }
  if (std::ferror(file)) return false;
  if (!pending.empty()) matcher->Line(pending);
  return true;
}

}  // namespace

int RunGrep(const std::vector<std::string>& args, Io io) {
  Arguments a(args, {{"max-errors", true, false, "k"},
                     {"count", false, false, "c"},
                     {"line-number", false, false, "n"},
                     {"files-with-matches", false, false, "l"},
                     {"with-filename", false, false, "H"},
                     {"no-filename", false, false, "h"},
                     {"show-errors", false},
                     {"ignore-case", false, false, "i"}});
  if (!a.ok()) return Complain(io, kGrepError, "grep: " + a.error());
  if (a.positional().empty()) {
    return Complain(io, kGrepError, "grep needs a PATTERN");
  }
  long long max_errors = 0;
  if (!ParseInt(a.Get("max-errors", "0"), 0, kMaxPatternErrors, &max_errors)) {
    return Complain(io, kGrepError, "grep: --max-errors takes 0 to 7");
  }
  std::string pattern_text = platform::Utf8ToAnsi(a.positional()[0]);
  CompiledPattern pattern =
      CompiledPattern::Compile(pattern_text, a.Has("ignore-case"));
  if (!pattern.valid()) {
    return Complain(io, kGrepError,
                    "grep: invalid pattern '" + a.positional()[0] +
                        "': " + std::string(pattern.error()) + " at offset " +
                        std::to_string(pattern.error_offset()));
  }
  std::vector<std::string> files(a.positional().begin() + 1,
                                 a.positional().end());
  if (files.empty()) files.push_back("-");
  GrepOutput output;
  output.show_errors = a.Has("show-errors");
  output.line_numbers = a.Has("line-number");
  output.count = a.Has("count");
  output.files = a.Has("files-with-matches");
  // File names by default only when there are several files, as grep does.
  const bool names =
      !a.Has("no-filename") && (a.Has("with-filename") || files.size() > 1);
  LineMatcher matcher(pattern, static_cast<int>(max_errors), output, io.out);
  bool failed = false;
  for (const std::string& path : files) {
    const std::string name = path == "-" ? "(standard input)" : path;
    FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
      Complain(io, kGrepError, path + ": " + std::strerror(errno));
      failed = true;
      continue;
    }
    matcher.StartFile(names ? name + ":" : std::string());
    bool ok = ScanFile(file, &matcher);
    int saved = errno;
    if (file != stdin) std::fclose(file);
    if (!ok) {
      Complain(io, kGrepError, path + ": " + std::strerror(saved));
      failed = true;
    }
    matcher.EndFile(name);
  }
  io.out.flush();
  if (failed) return kGrepError;
  return matcher.found() ? kGrepFound : kGrepNone;
}

}  // namespace vexlor::cli
