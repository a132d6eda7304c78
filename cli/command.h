// The `vexlor` command: one entry point, one function per subcommand.
//
// Subcommands read their arguments as UTF-8 and print UTF-8. Exit status:
// 0 success, 1 bad input or a failed write (with a one-line message on
// stderr), 2 usage errors, 130 when cancelled.
#ifndef VEXLOR_CLI_COMMAND_H_
#define VEXLOR_CLI_COMMAND_H_

#include <iosfwd>
#include <string>
#include <vector>

namespace vexlor {
class CVexlorCtrl;
}

namespace vexlor::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 130;

struct Io {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

// Runs `vexlor ARGS...` (args without the program name).
int Run(const std::vector<std::string>& args, Io io);

// Prints "vexlor: MESSAGE" and returns `status`.
int Complain(Io io, int status, const std::string& message);

// Subcommands (args without the subcommand's name).
int RunSingleString(const std::string& name,
                    const std::vector<std::string>& args, Io io);
int RunCall(const std::vector<std::string>& args, Io io);
int RunMembers(const std::vector<std::string>& args, Io io);
int RunDupes(const std::vector<std::string>& args, Io io);
int RunGrep(const std::vector<std::string>& args, Io io);
int RunExact(const std::vector<std::string>& args, Io io);
int RunDeleteDupes(const std::vector<std::string>& args, Io io);
int RunMatch(const std::vector<std::string>& args, Io io);
int RunMerge(const std::vector<std::string>& args, Io io);
int RunReview(const std::vector<std::string>& args, Io io);
int RunApply(const std::vector<std::string>& args, Io io);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_COMMAND_H_
