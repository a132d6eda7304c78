#include "cli/gzip.h"

#include <zlib.h>

#include <algorithm>
#include <new>

namespace vexlor::cli {

namespace {

constexpr size_t kChunk = 256 * 1024;
// zlib's window bits: 15 plus 16 for a gzip wrapper.
constexpr int kGzipWindow = 15 + 16;

}  // namespace

bool IsGzip(std::string_view data) {
  return data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0x1F &&
         static_cast<unsigned char>(data[1]) == 0x8B;
}

namespace {

// Inflates all of `data` into `out`; returns zlib's last result, which is
// Z_STREAM_END for complete data. Throws std::bad_alloc when `out` cannot
// grow.
int InflateAll(z_stream* stream, std::string* data, std::string* out) {
  // zlib takes at most 4 GiB at a time: larger data is fed in pieces.
  stream->next_in = reinterpret_cast<Bytef*>(data->data());
  stream->avail_in =
      static_cast<uInt>(std::min<size_t>(data->size(), 1u << 30));
  size_t remaining = data->size() - stream->avail_in;
  char buffer[kChunk];
  while (true) {
    stream->next_out = reinterpret_cast<Bytef*>(buffer);
    stream->avail_out = sizeof buffer;
    const int result = inflate(stream, Z_NO_FLUSH);
    out->append(buffer, sizeof buffer - stream->avail_out);
    if (stream->avail_in == 0 && remaining > 0) {
      const size_t piece = std::min<size_t>(remaining, 1u << 30);
      stream->avail_in = static_cast<uInt>(piece);
      remaining -= piece;
    }
    if (result == Z_STREAM_END) {
      // Concatenated members (as `cat a.gz b.gz` makes) are one file.
      if (stream->avail_in == 0 ||
          !IsGzip(std::string_view(reinterpret_cast<char*>(stream->next_in),
                                   stream->avail_in))) {
        return result;
      }
      inflateReset(stream);
      continue;
    }
    if (result == Z_MEM_ERROR) throw std::bad_alloc();
    if (result != Z_OK && result != Z_BUF_ERROR) return result;
    if (result == Z_BUF_ERROR && stream->avail_in == 0) return result;
  }
}

}  // namespace

bool Gunzip(std::string* data, std::string* error) {
  z_stream stream{};
  if (inflateInit2(&stream, kGzipWindow) != Z_OK) throw std::bad_alloc();
  std::string out;
  int result;
  try {
    out.reserve(data->size() * 4);
    result = InflateAll(&stream, data, &out);
  } catch (const std::bad_alloc&) {
    // A small file may uncompress to more than memory holds.
    inflateEnd(&stream);
    *error = "too large to uncompress in memory";
    return false;
  }
  inflateEnd(&stream);
  if (result != Z_STREAM_END) {
    *error = "damaged or incomplete gzip data";
    return false;
  }
  data->swap(out);
  return true;
}

struct GzipWriter::State {
  z_stream stream{};
  bool failed = false;
};

GzipWriter::GzipWriter(const ByteWriter& sink)
    : sink_(sink), state_(new State) {
  if (deflateInit2(&state_->stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED,
                   kGzipWindow, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    delete state_;
    throw std::bad_alloc();
  }
}

GzipWriter::~GzipWriter() {
  deflateEnd(&state_->stream);
  delete state_;
}

bool GzipWriter::Deflate(std::string_view bytes, int flush) {
  if (state_->failed) return false;
  z_stream& stream = state_->stream;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  char buffer[kChunk];
  int result;
  do {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    result = deflate(&stream, flush);
    const size_t produced = sizeof buffer - stream.avail_out;
    if (produced > 0 && !sink_(std::string_view(buffer, produced))) {
      state_->failed = true;
      return false;
    }
  } while (stream.avail_out == 0 ||
           (flush == Z_FINISH && result != Z_STREAM_END));
  return true;
}

bool GzipWriter::Write(std::string_view bytes) {
  // The writer's pieces are far below 4 GiB, which one call takes.
  return Deflate(bytes, Z_NO_FLUSH);
}

bool GzipWriter::Finish() { return Deflate({}, Z_FINISH); }

}  // namespace vexlor::cli
