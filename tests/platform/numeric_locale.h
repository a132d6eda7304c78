// A numeric locale set for a scope, for the tests that check that numbers
// read and print alike whatever LC_NUMERIC the host process set. Locales
// must have been generated on the machine (tools/install-deps.sh makes
// de_DE.UTF-8); ok() says whether this one was.
#ifndef VEXLOR_TESTS_PLATFORM_NUMERIC_LOCALE_H_
#define VEXLOR_TESTS_PLATFORM_NUMERIC_LOCALE_H_

#include <clocale>
#include <cstdio>
#include <string>

namespace vexlor::platform::testing {

class NumericLocale {
 public:
  explicit NumericLocale(const char* name)
      : previous_(std::setlocale(LC_NUMERIC, nullptr)) {
    ok_ = std::setlocale(LC_NUMERIC, name) != nullptr;
  }
  ~NumericLocale() { std::setlocale(LC_NUMERIC, previous_.c_str()); }
  NumericLocale(const NumericLocale&) = delete;
  NumericLocale& operator=(const NumericLocale&) = delete;

  bool ok() const { return ok_; }

 private:
  std::string previous_;
  bool ok_;
};

// What "%.8f" gives for `value` in the locale now set.
inline std::string PrintfFixed8(double value) {
  char buffer[400];
  const int n = std::snprintf(buffer, sizeof buffer, "%.8f", value);
  return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace vexlor::platform::testing

#endif  // VEXLOR_TESTS_PLATFORM_NUMERIC_LOCALE_H_
