// Ctrl-C as cancellation for the table commands.
#ifndef VEXLOR_CLI_INTERRUPTS_H_
#define VEXLOR_CLI_INTERRUPTS_H_

namespace vexlor::cli {

// Ctrl-C during a table command. While a scope lives, SIGINT only marks
// an interrupt: reading the input stops with it, a batch call takes it as
// Cancel at its next report, and the command ends with status 130 before
// it writes anything. A result already being written is finished (it
// appears only when complete, under its name), so a late Ctrl-C leaves
// either no output or the whole of it, never part of it.
class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;
};

// True once Ctrl-C was pressed within the current InterruptScope.
bool Interrupted();

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_INTERRUPTS_H_
