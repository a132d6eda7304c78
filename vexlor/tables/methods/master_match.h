// The run that the fuzzy match and the fuzzy merge share: the master's rows
// put into comparison form and indexed (stage 1), then the records of a
// second table taken in order, each compared with its candidates among the
// indexed rows and written to one of the two logs (stage 2), and the
// closing report. What a record that reaches the threshold does, and what
// the call returns, is the method's own (the hooks below).
#ifndef VEXLOR_TABLES_METHODS_MASTER_MATCH_H_
#define VEXLOR_TABLES_METHODS_MASTER_MATCH_H_

#include <cstdint>
#include <string_view>

#include "vexlor/match_options.h"
#include "vexlor/output/csv_format.h"
#include "vexlor/tables/candidates/candidate_scan.h"
#include "vexlor/tables/methods/batch_run.h"
#include "vexlor/tables/methods/record_logs.h"
#include "vexlor/tables/scoring/fs_model.h"
#include "vexlor/tables/stages/match_progress.h"
#include "vexlor/tables/stages/match_stages.h"
#include "vexlor/tables/table_model.h"
#include "vexlor/variant_array.h"

namespace vexlor {

class MasterMatch {
 public:
  // The arguments every such call takes.
  struct Call {
    double threshold;
    double cluster_threshold;
    TextEncoding log_encoding;
    CandidateScan scan;
  };
  // What tells the methods apart in the shared run.
  struct Kind {
    int title_id;
    int found_label_id;
    int matching_status_id;
    // Whether candidates found by other processes (found_pairs.h) are taken.
    bool takes_found_pairs;
    // Whether a record that reached the threshold goes to the first log.
    bool first_log_when_matched;
  };

  MasterMatch(BatchRun& run, const TablePair& tables, const Call& call,
              const Kind& kind, const MatchOptions& options);
  virtual ~MasterMatch();
  MasterMatch(const MasterMatch&) = delete;
  MasterMatch& operator=(const MasterMatch&) = delete;

  // Stages 1 and 2 and the closing report. Returns false when the call
  // ends there with Empty: cancelled, or out of memory (error state set).
  // The logs (UTF-8 file-system bytes; empty: none) keep what was written.
  bool Run(bool show_progress, int32_t id_column, std::u16string_view first_log,
           std::u16string_view second_log);

 protected:
  // Gives the result columns after the master's their column options.
  virtual void NameResultColumns() = 0;
  // Creates the stages' index and the method's own per-row state. Throws
  // std::bad_alloc.
  virtual void CreateIndex() = 0;
  // After master row r is indexed. Throws std::bad_alloc.
  virtual void AfterIndexedRow(uint32_t) {}
  // After stage 2 began, before anything is compared. Throws
  // std::bad_alloc.
  virtual void BeforeMatching() {}
  // Compares record s of the second table with its candidates; sets
  // *matched when one reached the threshold. Returns the candidates the
  // progress counts. Throws std::bad_alloc.
  virtual int64_t MatchRecord(uint32_t s, bool* matched) = 0;
  // After record s went to its log. Throws std::bad_alloc.
  virtual void AfterLogged(uint32_t, bool) {}

  // Names result column `column` when it is one options exist for: neither
  // clustered nor compared, Weight 0.
  void NameResultColumn(int64_t column, std::u16string_view name);

  BatchRun& run_;
  BatchContext& ctx_;
  platform::VariantArray& master_;
  platform::VariantArray& second_;
  const TablePair::Shape shape_;
  const double threshold_;
  const double cluster_threshold_;
  const MatchOptions& options_;
  MatchStages stages_;
  // Records that reached the threshold, and the method's second count.
  int64_t found_ = 0;
  int64_t found2_ = 0;

 private:
  void IndexMaster(bool show_progress, int32_t id_column,
                   std::u16string_view first_log,
                   std::u16string_view second_log);
  void MatchRecords();

  const Kind kind_;
  RecordLogs logs_;
  MatchProgress figures_;
  // Scoring=Estimated: the model that scores.
  FsModel model_;
  FsModelScorer scorer_{model_};
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_METHODS_MASTER_MATCH_H_
