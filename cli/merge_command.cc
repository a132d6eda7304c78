// `vexlor merge MASTER IMPORT`: merges the IMPORT rows that resemble no
// row already present, and groups or rejects the others.
#include <algorithm>
#include <new>

#include "cli/batch_run.h"
#include "cli/command.h"
#include "cli/fuzzy_options.h"
#include "cli/table_io.h"
#include "vexlor/control/control_context.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/tables/fuzzy_merge.h"

namespace vexlor::cli {

int RunMerge(const std::vector<std::string>& args, Io io) {
  Arguments a(args, FuzzyOptionSpecs("log-imported", "log-rejected"));
  if (!a.ok()) return Complain(io, kExitUsage, "merge: " + a.error());
  if (a.positional().size() != 2) {
    return Complain(io, kExitUsage, "merge takes MASTER and IMPORT");
  }
  const std::string mode = a.Get("return", "clean-merged");
  int16_t return_results;
  if (mode == "import") {
    return_results = MRR_IMPORT;
  } else if (mode == "all") {
    return_results = MRR_ALL;
  } else if (mode == "dupes") {
    return_results = MRR_DUPES;
  } else if (mode == "clean-merged") {
    return_results = MRR_CLEANMERGED;
  } else {
    return Complain(io, kExitUsage,
                    "merge: --return takes import, all, dupes or clean-merged");
  }
  FuzzySetup setup;
  int status =
      PrepareFuzzy("merge", a, "log-imported", "log-rejected", io, &setup);
  if (status != kExitOk) return status;
  CVexlorCtrl& control = *setup.control;

  std::string error;
  std::unique_ptr<ProgressSession> session =
      ProgressSession::Start(a, &control, io.err, &error);
  if (!session) return Complain(io, kExitUsage, "merge: " + error);
  platform::Variant result;
  try {
    ControlContext context(control);
    result = FuzzyMerge(context, setup.master.table, setup.second.table,
                        setup.id_column, setup.threshold,
                        setup.cluster_threshold, return_results,
                        session->show_progress(), setup.logs[0],
                        setup.logs[1], setup.log_encoding);
  } catch (const std::bad_alloc&) {
    control.SetOutOfMemoryError();
  }
  session.reset();
  status = FinishBatch(control, io);
  if (status != kExitOk) return status;
  std::vector<std::u16string> names;
  if (return_results == MRR_IMPORT) {
    // The import rows, in the columns both tables have.
    names = setup.second.names;
    names.resize(std::min({setup.master.columns, setup.second.columns,
                           size_t{kMaxColumns}}));
  } else {
    names = setup.master.names;
    names.push_back(u"FuzzyDupesID");
    names.push_back(u"Source");
  }
  if (!WriteResult(result, names, a, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  return kExitOk;
}

}  // namespace vexlor::cli
