// gzip for the command line's files: exports of a hundred thousand rows
// are often kept compressed. Input is recognised by its content (the gzip
// magic bytes), whatever its name; output is compressed when its name ends
// in ".gz".
#ifndef VEXLOR_CLI_GZIP_H_
#define VEXLOR_CLI_GZIP_H_

#include <string>
#include <string_view>

#include "cli/csv_writer.h"

namespace vexlor::cli {

// True when `data` begins as a gzip stream does.
bool IsGzip(std::string_view data);

// Replaces `*data`, a gzip stream of one or more members, by its
// uncompressed bytes. False with a message ("damaged gzip data") when the
// stream is damaged or cut short; then `*data` is unchanged. Cost: linear
// in the output.
bool Gunzip(std::string* data, std::string* error);

// Compresses what it is given into `sink` as one gzip member. Finish()
// must follow the last Write(). Every call returns false once the sink
// has failed (errno set).
class GzipWriter {
 public:
  explicit GzipWriter(const ByteWriter& sink);
  ~GzipWriter();
  GzipWriter(const GzipWriter&) = delete;
  GzipWriter& operator=(const GzipWriter&) = delete;

  bool Write(std::string_view bytes);
  bool Finish();

 private:
  bool Deflate(std::string_view bytes, int flush);

  const ByteWriter& sink_;
  struct State;
  State* state_;
};

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_GZIP_H_
