// The help texts of the `vexlor` command.
#ifndef VEXLOR_CLI_HELP_H_
#define VEXLOR_CLI_HELP_H_

#include <string>
#include <vector>

namespace vexlor::cli {

std::string MainHelp();
// The help of one subcommand, or the main help for an unknown name.
std::string SubcommandHelp(const std::string& name);
// The subcommands with a help text, in the order of the reference.
const std::vector<std::string>& DocumentedCommands();
// The whole command reference as Markdown: the main help and every
// subcommand's help (docs/cli.md).
std::string CliReference();

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_HELP_H_
