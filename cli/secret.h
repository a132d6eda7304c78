// Secrets the local web services check: the review page's token and the
// index service's bearer token.
#ifndef VEXLOR_CLI_SECRET_H_
#define VEXLOR_CLI_SECRET_H_

#include <string>

namespace vexlor::cli {

// Whether the two texts are equal, compared in time independent of where
// they differ, so that a caller cannot find a secret by timing guesses.
inline bool SameSecret(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return diff == 0;
}

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_SECRET_H_
