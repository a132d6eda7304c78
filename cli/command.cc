#include "cli/command.h"

#include <iostream>
#include <map>
#include <optional>

#include "cli/help.h"
#include "cli/index_command.h"
#include "cli/interrupts.h"
#include "vexlor/control/about.h"

namespace vexlor::cli {

namespace {

using Handler = int (*)(const std::vector<std::string>&, Io);

bool IsSingleString(const std::string& name) {
  for (const char* s : {"normalize", "soundex", "metaphone", "dmetaphone",
                        "distance", "difference", "compare"}) {
    if (name == s) return true;
  }
  return false;
}

const std::map<std::string, Handler>& Handlers() {
  static const std::map<std::string, Handler> handlers = {
      {"call", RunCall},     {"members", RunMembers},
      {"dupes", RunDupes},   {"grep", RunGrep},
      {"exact", RunExact},   {"delete-dupes", RunDeleteDupes},
      {"match", RunMatch},   {"merge", RunMerge},
      {"index", RunIndex},
#ifndef VEXLOR_NO_REVIEW
      {"review", RunReview}, {"apply", RunApply},
      {"serve", RunServe},
#endif
  };
  return handlers;
}

// grep keeps -h for its own meaning (no file names), as grep does.
bool WantsHelp(const std::string& name, const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || (a == "-h" && name != "grep")) return true;
    if (a == "--") break;
  }
  return false;
}

}  // namespace

int Complain(Io io, int status, const std::string& message) {
  io.err << "vexlor: " << message << "\n";
  return status;
}

int Run(const std::vector<std::string>& args, Io io) {
  if (args.empty()) {
    io.err << MainHelp();
    return kExitUsage;
  }
  const std::string& name = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (name == "--help" || name == "-h" || name == "help") {
    if (rest.size() == 1 && rest[0] == "--markdown") {
      io.out << CliReference();
    } else if (!rest.empty()) {
      io.out << SubcommandHelp(rest[0]);
    } else {
      io.out << MainHelp();
    }
    return kExitOk;
  }
  if (name == "--version") {
    io.out << "vexlor " << kVersion << "\n";
    return kExitOk;
  }
  if (name == "--about") {
    io.out << AboutText();
    return kExitOk;
  }
  bool known = IsSingleString(name) || Handlers().count(name) > 0;
  if (!known) {
    return Complain(io, kExitUsage,
                    "unknown command '" + name + "' (see vexlor --help)");
  }
  if (WantsHelp(name, rest)) {
    io.out << SubcommandHelp(name);
    return kExitOk;
  }
  if (IsSingleString(name)) return RunSingleString(name, rest, io);
  // The table commands turn Ctrl-C into cancellation; the others (grep
  // over a stream, say) stop at once as usual.
  std::optional<InterruptScope> interrupts;
  if (name != "grep" && name != "call" && name != "members") {
    interrupts.emplace();
  }
  return Handlers().at(name)(rest, io);
}

}  // namespace vexlor::cli
