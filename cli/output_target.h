// Where a command's result goes: standard output, or a file that appears
// under its name only when complete. A regular file (or a path that does
// not exist yet) is written under a temporary name in the same folder,
// flushed to the device and renamed over the path, so a failed or
// cancelled command leaves the previous file as it was and no temporary
// file behind; a device or pipe is written directly. A name ending in
// ".gz" is written gzip-compressed.
#ifndef VEXLOR_CLI_OUTPUT_TARGET_H_
#define VEXLOR_CLI_OUTPUT_TARGET_H_

#include <functional>
#include <string>

#include "cli/csv_writer.h"

namespace vexlor::cli {

// Opens `path` ("-": standard output), calls `produce` with a writer to it
// and completes the file. False with a one-line `*error` ("cannot write
// out.csv: No space left on device") when opening, a write or completing
// fails. Cost: the writes, one flush to the device and a rename.
bool WriteOutput(const std::string& path,
                 const std::function<bool(const ByteWriter&)>& produce,
                 std::string* error);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_OUTPUT_TARGET_H_
