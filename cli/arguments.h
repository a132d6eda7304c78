// Parsing of a subcommand's arguments: options with values (--name VALUE or
// --name=VALUE), switches (--name), short aliases, and positional
// arguments. A lone "-" is positional (standard input); "--" ends options.
#ifndef VEXLOR_CLI_ARGUMENTS_H_
#define VEXLOR_CLI_ARGUMENTS_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vexlor::cli {

struct OptionSpec {
  std::string name;          // without the leading dashes: "threshold"
  bool takes_value = false;  // false for a switch
  bool repeatable = false;
  std::string alias = {};  // a one-letter short form without the dash
};

class Arguments {
 public:
  // Parses `args` against `specs`. On failure error() says what is wrong.
  Arguments(const std::vector<std::string>& args,
            const std::vector<OptionSpec>& specs);

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  bool Has(const std::string& name) const { return values_.count(name) > 0; }
  // The last value given for an option, or `fallback`.
  std::string Get(const std::string& name, const std::string& fallback) const;
  const std::vector<std::string>& All(const std::string& name) const;
  const std::vector<std::string>& positional() const { return positional_; }

 private:
  std::map<std::string, std::vector<std::string>> values_;
  std::vector<std::string> positional_;
  std::string error_;
};

// Reads a whole number or a real; false when the text is not one.
bool ParseInt(const std::string& text, long long min, long long max,
              long long* value);
bool ParseDouble(const std::string& text, double* value);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_ARGUMENTS_H_
