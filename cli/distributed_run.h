// `vexlor dupes --workers N` and `--scheduler ADDRESS`: the candidate pairs
// of the records are found on a Dask cluster by the Python layer
// (`python3 -m vexlor.distributed`, run as a child process), and the
// command labels the records from them itself, so that its output is the
// same as without a cluster.
#ifndef VEXLOR_CLI_DISTRIBUTED_RUN_H_
#define VEXLOR_CLI_DISTRIBUTED_RUN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/table_io.h"
#include "vexlor/match_options.h"
#include "vexlor/tables/column_options.h"

namespace vexlor::cli {

std::vector<OptionSpec> DistributedOptionSpecs();

// Whether the arguments ask for a cluster; false with *error when they ask
// for one wrongly (both, or a count that is not a positive number).
bool WantsCluster(const Arguments& args, bool* wanted, std::string* error);

// The settings of a duplicate search that the finders need.
struct ClusterSearch {
  const InputTable* input;
  const ColumnOptions* columns;
  int id_column;
  double threshold;
  double cluster_threshold;
  const MatchOptions* options;
};

// Runs the Python helper on the table and reads the words it found
// (found_pairs.h) into *words. The helper's output goes to stderr. False
// with *error when it cannot run or fails; a missing interpreter or Dask is
// named as such. The interpreter is $VEXLOR_PYTHON, else the system's.
bool FindPairsOnCluster(const Arguments& args, const ClusterSearch& search,
                        std::vector<uint32_t>* words, std::string* error);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_DISTRIBUTED_RUN_H_
