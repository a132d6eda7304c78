#include "cli/distributed_run.h"

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "vexlor/text.h"
#include "vexlor/variant_array.h"

namespace vexlor::cli {

namespace {

// Exit statuses of the helper that mean something to the user.
constexpr int kNoDask = 3;
constexpr int kNoProgram = 127;

#ifdef VEXLOR_CLI_PYTHON
constexpr const char* kPython = VEXLOR_CLI_PYTHON;
#else
constexpr const char* kPython = "python3";
#endif

// Files removed when the run ends, however it ends.
class TempFile {
 public:
  TempFile() {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") +
            "/vexlor-XXXXXX";
    const int fd = mkstemp(path_.data());
    if (fd < 0) {
      path_.clear();
    } else {
      close(fd);
    }
  }
  ~TempFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The table as CSV with every cell quoted: the helper reads it back with
// Python's csv module, line breaks in cells included.
bool WriteTable(const InputTable& input, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  const platform::VariantArray& t = *input.table.AsArray();
  std::string line;
  for (uint32_t r = 0; r < t.rows(); ++r) {
    line.clear();
    for (uint32_t c = 0; c < t.columns(); ++c) {
      if (c > 0) line += ',';
      line += '"';
      for (char ch : platform::Utf16ToUtf8(t.cell(c, r).AsString())) {
        if (ch == '"') line += '"';
        line += ch;
      }
      line += '"';
    }
    line += "\r\n";
    out << line;
  }
  return static_cast<bool>(out.flush());
}

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::vector<std::string> HelperArguments(const Arguments& args,
                                         const ClusterSearch& s,
                                         const std::string& table,
                                         const std::string& words) {
  const char* python = std::getenv("VEXLOR_PYTHON");
  std::vector<std::string> argv = {
      python != nullptr && *python != '\0' ? python : kPython,
      "-m",
      "vexlor.distributed",
      table,
      words,
      "--id-column=" + std::to_string(s.id_column),
      "--threshold=" + Number(s.threshold),
      "--cluster-threshold=" + Number(s.cluster_threshold)};
  if (args.Has("scheduler")) {
    argv.push_back("--scheduler=" + args.Get("scheduler", ""));
  } else {
    argv.push_back("--workers=" + args.Get("workers", ""));
  }
  // What the finders read of the settings: the swap, the scoring and the
  // candidate rule.
  std::string options;
  if (s.options->HasSwap()) {
    options = "Swap=" + std::to_string(s.options->swap_first) + "," +
              std::to_string(s.options->swap_second);
  }
  if (s.options->scoring == Scoring::kEstimated) {
    options += (options.empty() ? "" : ";") + std::string("Scoring=Estimated");
  }
  if (s.options->candidates == CandidateRule::kBounded) {
    options += (options.empty() ? "" : ";") + std::string("Candidates=Bounded");
  }
  argv.push_back("--options=" + options);
  // Dask's own bar where the command would show its progress window.
  const std::string progress = args.Get("progress", "auto");
  if (progress == "window" ||
      (progress == "auto" && isatty(STDERR_FILENO) != 0)) {
    argv.push_back("--progress");
  }
  for (size_t c = 0; c < s.input->columns && c < kMaxColumns; ++c) {
    const ColumnOptions& o = *s.columns;
    argv.push_back("--column=" + std::string(o.cluster[c] ? "1," : "0,") +
                   (o.dupe_search[c] ? "1," : "0,") + Number(o.weight[c]) +
                   (o.compare_null[c] ? ",1" : ",0"));
  }
  return argv;
}

// The environment of the helper: ours, with the module the build made
// first on PYTHONPATH when this program runs from the build.
std::vector<std::string> HelperEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
#ifdef VEXLOR_CLI_PYTHON_PATH
  if (access(VEXLOR_CLI_PYTHON_PATH "/vexlor/distributed.py", R_OK) == 0) {
    const char* old = std::getenv("PYTHONPATH");
    std::string path = "PYTHONPATH=" VEXLOR_CLI_PYTHON_PATH;
    if (old != nullptr && *old != '\0') path += std::string(":") + old;
    std::erase_if(env, [](const std::string& e) {
      return e.rfind("PYTHONPATH=", 0) == 0;
    });
    env.push_back(path);
  }
#endif
  return env;
}

// Runs argv with its stdout on our stderr; returns its exit status, or -1.
// Everything the child needs is made before the fork, where the child may
// only call what is safe between fork and exec.
int Run(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& a : argv)
    pointers.push_back(const_cast<char*>(a.c_str()));
  pointers.push_back(nullptr);
  const std::vector<std::string> env = HelperEnvironment();
  std::vector<char*> env_pointers;
  for (const std::string& e : env)
    env_pointers.push_back(const_cast<char*>(e.c_str()));
  env_pointers.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    execvpe(pointers[0], pointers.data(), env_pointers.data());
    _exit(kNoProgram);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::vector<OptionSpec> DistributedOptionSpecs() {
  return {{"workers", true}, {"scheduler", true}};
}

bool WantsCluster(const Arguments& args, bool* wanted, std::string* error) {
  *wanted = args.Has("workers") || args.Has("scheduler");
  if (args.Has("workers") && args.Has("scheduler")) {
    *error = "--workers and --scheduler exclude each other";
    return false;
  }
  if (args.Has("workers")) {
    const std::string n = args.Get("workers", "");
    char* end = nullptr;
    const long count = std::strtol(n.c_str(), &end, 10);
    if (n.empty() || *end != '\0' || count < 1 || count > 4096) {
      *error = "--workers takes a number of worker processes, 1 to 4096";
      return false;
    }
  }
  if (args.Has("scheduler") && args.Get("scheduler", "").empty()) {
    *error = "--scheduler takes the address of a Dask scheduler";
    return false;
  }
  return true;
}

bool FindPairsOnCluster(const Arguments& args, const ClusterSearch& search,
                        std::vector<uint32_t>* words, std::string* error) {
  TempFile table, found;
  if (!table.ok() || !found.ok() || !WriteTable(*search.input, table.path())) {
    *error = "cannot write the table for the cluster to a temporary file";
    return false;
  }
  const std::vector<std::string> argv =
      HelperArguments(args, search, table.path(), found.path());
  const int status = Run(argv);
  if (status == kNoProgram || status < 0) {
    *error = "--workers and --scheduler need Python 3 (" + argv[0] +
             ", or set VEXLOR_PYTHON), which could not be run";
    return false;
  }
  if (status == kNoDask) {
    *error =
        "--workers and --scheduler need Dask's distributed scheduler for " +
        argv[0] + " (Debian: python3-dask and python3-distributed)";
    return false;
  }
  if (status != 0) {
    *error = "the search on the cluster failed (" + argv[0] +
             " -m vexlor.distributed ended with status " +
             std::to_string(status) + ")";
    return false;
  }
  std::ifstream in(found.path(), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)),
                          std::istreambuf_iterator<char>());
  words->resize(bytes.size() / sizeof(uint32_t));
  std::copy_n(bytes.data(), words->size() * sizeof(uint32_t),
              reinterpret_cast<char*>(words->data()));
  return true;
}

}  // namespace vexlor::cli
