// The `vexlor` command: one entry point, one function per subcommand.
//
// Subcommands read their arguments as UTF-8 and print UTF-8. Exit status:
// 0 success, 1 bad input or a failed write (with a one-line message on
// stderr), 2 usage errors, 130 when cancelled.
#ifndef VEXLOR_CLI_COMMAND_H_
#define VEXLOR_CLI_COMMAND_H_

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "vexlor/platform/column_limits.h"

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

// Shared by the table commands.
struct InputTable;
class Arguments;
// Exit status after a batch call: 130 when cancelled, 1 with the error
// description after running out of memory, else 0.
int FinishBatch(const vexlor::CVexlorCtrl& control, Io io);
// Loads positional argument `index` as a table; on failure prints the
// message, sets *status and returns false. Ctrl-C while loading gives
// status 130. A table wider than `max_columns` is refused: the batch
// methods carry columns 0 to 399 only, and the rest would come out empty.
bool LoadOne(const Arguments& args, size_t index, InputTable* input, Io io,
             int* status,
             size_t max_columns = static_cast<size_t>(kMaxColumns));

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_COMMAND_H_
