// The help texts of the `vexlor` command.
#ifndef VEXLOR_CLI_HELP_H_
#define VEXLOR_CLI_HELP_H_

#include <string>

namespace vexlor::cli {

std::string MainHelp();
// The help of one subcommand, or the main help for an unknown name.
std::string SubcommandHelp(const std::string& name);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_HELP_H_
