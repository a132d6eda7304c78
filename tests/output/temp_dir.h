// A fresh folder per test, removed with everything in it afterwards, and
// small file helpers for the tests that write files.
#ifndef VEXLOR_TESTS_OUTPUT_TEMP_DIR_H_
#define VEXLOR_TESTS_OUTPUT_TEMP_DIR_H_

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace vexlor::testing {

// The file-system path of a name given as the library takes names: UTF-8
// (on Windows a std::string path would go through the ANSI code page).
inline std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

class TempDir {
 public:
  TempDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                  ("vexlor-out-" + std::to_string(random()));
      std::error_code ec;
      if (std::filesystem::create_directory(dir, ec)) {
        std::u8string utf8 = dir.u8string();
        path_.assign(utf8.begin(), utf8.end());
      }
    }
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(FsPath(path_), ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// True when something is at `path`, a dangling link included.
inline bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(
      std::filesystem::symlink_status(FsPath(path), ec));
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(FsPath(path), std::ios::binary) << bytes;
}

// Entries of a folder, for checking that nothing was left behind.
inline int CountEntries(const std::string& dir) {
  int n = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(FsPath(dir))) {
    ++n;
  }
  return n;
}

// Where writes go nowhere: the null device.
#ifdef _WIN32
inline constexpr char kNullDevice[] = "NUL";
#else
inline constexpr char kNullDevice[] = "/dev/null";
#endif

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
