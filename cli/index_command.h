// `vexlor index create|add|match|export|info` and `vexlor serve`: what the
// commands over a persisted index (vexlor/tables/index/record_index.h)
// share.
#ifndef VEXLOR_CLI_INDEX_COMMAND_H_
#define VEXLOR_CLI_INDEX_COMMAND_H_

#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/table_io.h"
#include "vexlor/tables/index/record_index.h"
#include "vexlor/variant.h"

namespace vexlor::cli {

int RunIndex(const std::vector<std::string>& args, Io io);
int RunIndexCreate(const std::vector<std::string>& args, Io io);
int RunServe(const std::vector<std::string>& args, Io io);

// The number of different texts in `labels`.
size_t CountLabels(const std::vector<std::string>& labels);

// Writes `input` with a FuzzyDupesID column of `labels` to -o or standard
// output; false with a message.
bool WriteLabelled(const InputTable& input,
                   const std::vector<std::string>& labels,
                   const Arguments& args, std::string* error);

// The index's column of each of `names` (its header), -1 for none; an input
// column the index does not have is an error naming it and the index's
// columns. A missing index column is left Null. False with the message.
bool IndexColumnsOf(const IndexSettings& settings,
                    const std::vector<std::u16string>& names,
                    std::vector<int>* index_columns, std::string* error);

// The records of `input` in the index's column order (Null where the input
// lacks a column), as IndexColumnsOf lines them up.
platform::Variant IndexRecords(const IndexSettings& settings,
                               const platform::Variant& table, size_t rows,
                               const std::vector<int>& index_columns);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_INDEX_COMMAND_H_
