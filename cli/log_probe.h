// Whether a log that a command line option asks for can be written, found
// out before the batch call that writes it. The library skips a log it
// cannot create; on the command line that is an error worth stopping for,
// and stopping must come before anything is lost: the probe never changes
// what is already at the path.
#ifndef VEXLOR_CLI_LOG_PROBE_H_
#define VEXLOR_CLI_LOG_PROBE_H_

#include <string>

namespace vexlor::cli {

// True when the batch call will be able to open `path` as a log: a regular
// file (existing or not) that can be opened for writing and that no other
// writer holds, or a writable device or pipe. An existing file keeps its
// content; a file the probe had to create is removed again, so a command
// that stops afterwards leaves no trace. A pipe is checked by its
// permissions only, since opening it would hand its reader an end of file.
// Cost: a few system calls.
bool CanWriteLog(const std::string& path);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_LOG_PROBE_H_
