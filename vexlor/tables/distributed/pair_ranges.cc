#include "vexlor/tables/distributed/pair_ranges.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "vexlor/tables/distributed/finder_context.h"
#include "vexlor/tables/stages/match_stages.h"
#include "vexlor/tables/table_model.h"
#include "vexlor/variant_array.h"

namespace vexlor {

using platform::ArrayLock;
using platform::Variant;
using platform::VariantArray;

namespace {

// What a finder keeps between ranges: its context, its working table and
// the stages indexing it, and the settings of the search.
struct FinderState {
  explicit FinderState(const ColumnOptions& columns) : ctx(columns) {}
  FinderContext ctx;
  Variant work;
  std::unique_ptr<MatchStages> stages;
  uint32_t rows = 0;
  double threshold = 0.0;
  double cluster_threshold = 0.0;
  bool estimated = false;
  // A match finder: the columns of the comparison texts made, if any.
  uint32_t matched_columns = 0;

  // Indexes `input` as the batch method does, in a working table of
  // `work_columns` columns; returns the columns compared.
  uint32_t Index(VariantArray& input, uint32_t work_columns,
                 int32_t IDColumnIndex, double Threshold,
                 double ClusterThreshold, const MatchOptions& options) {
    rows = input.rows();
    threshold = Threshold;
    cluster_threshold = ClusterThreshold;
    estimated = options.scoring == Scoring::kEstimated;
    const uint32_t compared = std::min<uint32_t>(input.columns(), kMaxColumns);
    work = CreateResultTable(input, work_columns, rows);
    VariantArray& w = *work.AsArray();
    stages = std::make_unique<MatchStages>(ctx);
    stages->SetCandidateRule(options.candidates);
    stages->SetSwap(options.swap_first, options.swap_second);
    ArrayLock input_lock(&input);
    ArrayLock work_lock(&w);
    stages->CreateIndex(rows > 0 ? rows - 1 : 0, rows);
    if (ColumnOptions::InRange(IDColumnIndex)) {
      ctx.options().cluster[IDColumnIndex] = false;
      ctx.options().dupe_search[IDColumnIndex] = false;
    }
    stages->IndexRows(input, rows, compared, [](uint32_t) {});
    return compared;
  }
};

}  // namespace

struct DupePairFinder::State : FinderState {
  using FinderState::FinderState;
};

DupePairFinder::DupePairFinder(const ColumnOptions& columns,
                               const Variant& table, int32_t IDColumnIndex,
                               double Threshold, double ClusterThreshold,
                               const MatchOptions& options)
    : state_(std::make_unique<State>(columns)) {
  VariantArray* input = AcceptTable(table);
  if (input == nullptr) {
    throw std::invalid_argument("the records are not a table");
  }
  State& s = *state_;
  // As DupeSearch's working table, less the columns it adds.
  const uint32_t compared = s.Index(*input, input->columns(), IDColumnIndex,
                                    Threshold, ClusterThreshold, options);
  ArrayLock input_lock(input);
  ArrayLock work_lock(s.work.AsArray());
  s.stages->BeginMatching(s.rows, compared);
}

DupePairFinder::~DupePairFinder() = default;

uint32_t DupePairFinder::rows() const { return state_->rows; }

void DupePairFinder::Find(uint32_t begin, uint32_t end,
                          std::vector<uint32_t>* words) {
  State& s = *state_;
  end = std::min(end, s.rows);
  if (begin >= end) return;
  if (s.estimated) {
    words->insert(words->end(), end - begin, 0);
    return;
  }
  ArrayLock work_lock(s.work.AsArray());
  s.stages->FindPairs(begin, end, s.cluster_threshold, s.threshold, words);
}

struct MatchPairFinder::State : FinderState {
  using FinderState::FinderState;
};

MatchPairFinder::MatchPairFinder(const ColumnOptions& columns,
                                 const Variant& master, int32_t IDColumnIndex,
                                 double Threshold, double ClusterThreshold,
                                 const MatchOptions& options)
    : state_(std::make_unique<State>(columns)) {
  VariantArray* input = AcceptTable(master);
  if (input == nullptr) throw std::invalid_argument("the master is no table");
  const uint32_t compared = std::min<uint32_t>(input->columns(), kMaxColumns);
  state_->Index(*input, compared, IDColumnIndex, Threshold, ClusterThreshold,
                options);
}

MatchPairFinder::~MatchPairFinder() = default;

void MatchPairFinder::Find(const Variant& records,
                           std::vector<uint32_t>* words) {
  State& s = *state_;
  VariantArray* table = AcceptTable(records);
  if (table == nullptr) throw std::invalid_argument("the records are no table");
  if (s.estimated) {
    words->insert(words->end(), table->rows(), 0);
    return;
  }
  VariantArray& w = *s.work.AsArray();
  ArrayLock table_lock(table);
  ArrayLock work_lock(&w);
  // Compared over the columns both tables have, as FuzzyMatch compares.
  const uint32_t common =
      std::min<uint32_t>(std::min(table->columns(), w.columns()), kMaxColumns);
  if (common != s.matched_columns) {
    s.stages->BeginMatching(s.rows, common);
    s.matched_columns = common;
  }
  s.stages->FindRecordPairs(*table, 0, table->rows(), s.rows,
                            s.cluster_threshold, s.threshold, words);
}

}  // namespace vexlor
