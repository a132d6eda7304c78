// The one line a table command prints on stderr when it is done: how many
// records it read, what it found and how long it took, in all and for
// reading, the call and writing. Shown when stderr
// is a terminal, where a person waits for it, or with --summary (a log of
// a scripted run); never on standard output, which holds the table.
#ifndef VEXLOR_CLI_SUMMARY_H_
#define VEXLOR_CLI_SUMMARY_H_

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>

#include "cli/arguments.h"
#include "vexlor/variant.h"

namespace vexlor::cli {

class Summary {
 public:
  // Starts the clock.
  explicit Summary(const Arguments& args);

  // Ends reading the input (first call) and then the call of `name`.
  void Lap();

  // Prints "vexlor: NAME: TEXT, 12.3 s (read 1.2 s, NAME 10.0 s, write
  // 1.1 s)" when wanted; the parts are those the laps marked.
  void Print(std::ostream& err, const std::string& name,
             const std::string& text) const;

 private:
  bool wanted_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point laps_[2];
  int lap_count_ = 0;
};

// "N records read" for one file, "N + M records read" for two.
std::string RecordsRead(size_t first, size_t second = SIZE_MAX);

// The rows of a result table (0 for Empty).
size_t ResultRows(const platform::Variant& result);

// Of the labels in column `column` of `result`: how many are shared by two
// rows or more (groups), how many rows carry such a label and, when
// `largest` is given, the rows of the largest group.
void CountGroups(const platform::Variant& result, uint32_t column,
                 size_t* groups, size_t* grouped, size_t* largest = nullptr);

// For the summary of a chained search whose largest group has `largest`
// records: past kLargeChainedGroup, ", largest group N records: ..." with
// the setting advised for large tables; else "".
std::string LargeGroupHint(size_t largest);

// The rows of `result` whose cell in `column` is a number other than 0.
size_t CountNonZero(const platform::Variant& result, uint32_t column);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_SUMMARY_H_
