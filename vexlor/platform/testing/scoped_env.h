// Environment variables set for the scope of a test and put back after it,
// on Linux and on Windows alike (where the C runtime keeps its own copy of
// the environment, which getenv reads).
#ifndef VEXLOR_PLATFORM_TESTING_SCOPED_ENV_H_
#define VEXLOR_PLATFORM_TESTING_SCOPED_ENV_H_

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vexlor::platform::testing {

// Sets `name` to `value`, or removes it when `value` is null.
inline void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
  // An empty value removes the variable there.
  _putenv_s(name, value ? value : "");
#else
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

class ScopedEnv {
 public:
  // Each pair is a name and its value for the scope (null: unset).
  ScopedEnv(std::initializer_list<std::pair<const char*, const char*>> vars) {
    for (const auto& [name, value] : vars) {
      const char* old = std::getenv(name);
      saved_.emplace_back(name,
                          old ? std::optional<std::string>(old) : std::nullopt);
      SetEnv(name, value);
    }
  }
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_) {
      SetEnv(name.c_str(), value ? value->c_str() : nullptr);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace vexlor::platform::testing

#endif  // VEXLOR_PLATFORM_TESTING_SCOPED_ENV_H_
