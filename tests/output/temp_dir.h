// A fresh folder per test, removed with everything in it afterwards, and
// small file helpers for the tests that write files.
#ifndef VEXLOR_TESTS_OUTPUT_TEMP_DIR_H_
#define VEXLOR_TESTS_OUTPUT_TEMP_DIR_H_

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vexlor::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vexlor-out-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Entries of a folder, for checking that nothing was left behind.
inline int CountEntries(const std::string& dir) {
  int n = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(dir)) {
    ++n;
  }
  return n;
}

// The path of a golden file of the tests.
inline std::string GoldenPath(const std::string& name) {
  const char* root = std::getenv("VEXLOR_SOURCE_DIR");
  std::string dir;
  if (root && *root) {
    dir = root;
  } else {
    // Run by hand: the source tree is where this file is.
    dir = __FILE__;
    dir.resize(dir.size() - std::string("tests/output/temp_dir.h").size());
  }
  return dir + "/tests/golden/" + name;
}

}  // namespace vexlor::testing

#endif  // VEXLOR_TESTS_OUTPUT_TEMP_DIR_H_
