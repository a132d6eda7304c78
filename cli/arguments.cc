#include "cli/arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "vexlor/platform/coerce.h"

namespace vexlor::cli {

namespace {

const OptionSpec* FindSpec(const std::vector<OptionSpec>& specs,
                           const std::string& name, bool short_form) {
  for (const OptionSpec& option : specs) {
    if (short_form ? option.alias == name : option.name == name) return &option;
  }
  return nullptr;
}

}  // namespace

Arguments::Arguments(const std::vector<std::string>& args,
                     const std::vector<OptionSpec>& specs) {
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
      positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    bool short_form = arg[1] != '-';
    std::string name = arg.substr(short_form ? 1 : 2);
    std::optional<std::string> inline_value;
    size_t eq = name.find('=');
    if (!short_form && eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name.resize(eq);
    }
    const OptionSpec* option = FindSpec(specs, name, short_form);
    if (option == nullptr) {
      // A negative number is an argument, not an option.
      double ignored;
      if (platform::ParseNumber(arg, &ignored)) {
        positional_.push_back(arg);
        continue;
      }
      error_ = "unknown option '" + arg + "'";
      return;
    }
    std::vector<std::string>& slot = values_[option->name];
    if (!slot.empty() && !option->repeatable && option->takes_value)
      slot.clear();
    if (!option->takes_value) {
      if (inline_value) {
        error_ = "option '--" + option->name + "' takes no value";
        return;
      }
      slot.push_back("");
      continue;
    }
    if (inline_value) {
      slot.push_back(*inline_value);
    } else if (i + 1 < args.size()) {
      slot.push_back(args[++i]);
    } else {
      error_ = "option '" + arg + "' needs a value";
      return;
    }
  }
}

std::string Arguments::Get(const std::string& name,
                           const std::string& fallback) const {
  auto it = values_.find(name);
  if (it == values_.end() || it->second.empty()) return fallback;
  return it->second.back();
}

const std::vector<std::string>& Arguments::All(const std::string& name) const {
  static const std::vector<std::string> kNone;
  auto it = values_.find(name);
  return it == values_.end() ? kNone : it->second;
}

bool ParseInt(const std::string& text, long long min, long long max,
              long long* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  if (v < min || v > max) return false;
  *value = v;
  return true;
}

bool ParseDouble(const std::string& text, double* value) {
  return platform::ParseNumber(text, value) && std::isfinite(*value);
}

}  // namespace vexlor::cli
