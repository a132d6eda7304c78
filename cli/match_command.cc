// `vexlor match MASTER FILE`: marks every MASTER row with the first FILE
// row that resembles it (the Match column, 0 for none).
#include <new>

#include "cli/batch_run.h"
#include "cli/command.h"
#include "cli/fuzzy_options.h"
#include "cli/table_io.h"
#include "vexlor/control/control_context.h"
#include "vexlor/tables/fuzzy_match.h"

namespace vexlor::cli {

int RunMatch(const std::vector<std::string>& args, Io io) {
  Arguments a(args, FuzzyOptionSpecs("log-positive", "log-negative"));
  if (!a.ok()) return Complain(io, kExitUsage, "match: " + a.error());
  if (a.positional().size() != 2) {
    return Complain(io, kExitUsage, "match takes MASTER and FILE");
  }
  const std::string mode = a.Get("return", "all");
  int16_t return_results;
  if (mode == "all") {
    return_results = MAR_ALL;
  } else if (mode == "positive") {
    return_results = MAR_POSITIVE;
  } else if (mode == "negative") {
    return_results = MAR_NEGATIVE;
  } else {
    return Complain(io, kExitUsage,
                    "match: --return takes all, positive or negative");
  }
  FuzzySetup setup;
  int status =
      PrepareFuzzy("match", a, "log-positive", "log-negative", io, &setup);
  if (status != kExitOk) return status;
  CVexlorCtrl& control = *setup.control;

  std::string error;
  std::unique_ptr<ProgressSession> session =
      ProgressSession::Start(a, &control, io.err, &error);
  if (!session) return Complain(io, kExitUsage, "match: " + error);
  platform::Variant result;
  try {
    ControlContext context(control);
    result = FuzzyMatch(context, setup.master.table, setup.second.table,
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
  std::vector<std::u16string> names = setup.master.names;
  names.push_back(u"Match");
  if (!WriteResult(result, names, a, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  return kExitOk;
}

}  // namespace vexlor::cli
