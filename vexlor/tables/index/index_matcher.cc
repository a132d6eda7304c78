#include "vexlor/tables/index/index_matcher.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "vexlor/records/field_coll.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/scoring/fs_model.h"
#include "vexlor/tables/stages/match_progress.h"
#include "vexlor/tables/stages/match_stages.h"
#include "vexlor/tables/stages/silent_sink.h"

namespace vexlor {

using platform::Variant;
using platform::VariantArray;

namespace {

constexpr uint32_t kNoRow = std::numeric_limits<uint32_t>::max();

}  // namespace

class IndexMatcher::Context : public BatchContext {
 public:
  ColumnOptions& options() override { return options_; }
  FieldColl& fields() override { return fields_; }
  ProgressSink& progress() override { return sink_; }
  const CsvSettings& csv() override { return csv_; }
  bool& canceled() override { return canceled_; }
  void ClearLastError() override {}
  void SetOutOfMemoryError() override {}
  bool HasError() override { return false; }
  std::string NewGuidString() override { return ""; }

 private:
  ColumnOptions options_;
  FieldColl fields_;
  SilentSink sink_;
  CsvSettings csv_;
  bool canceled_ = false;
};

struct IndexMatcher::Stages {
  explicit Stages(BatchContext& ctx) : stored(ctx), scorer(model) {}
  MatchStages stored;
  FsModel model;
  FsModelScorer scorer;
};

// The groups of one call's records as it places them: nothing of it is
// seen outside the call until Keep.
struct IndexMatcher::CallState {
  uint32_t first_row = 0;  // the row number of the call's first record
  uint32_t first_new_group = 0;
  std::vector<uint32_t> group_of;   // per record of the call
  std::vector<uint32_t> opener_of;  // per new group: its first row
  // Clique: the call's records that joined a group, per group.
  std::unordered_map<uint32_t, std::vector<uint32_t>> joined;
};

IndexMatcher::IndexMatcher(const IndexSettings& settings)
    : settings_(settings),
      columns_(static_cast<uint32_t>(settings.names.size())),
      ctx_(std::make_unique<Context>()),
      stages_(std::make_unique<Stages>(*ctx_)) {
  if (settings_.options.scoring == Scoring::kEstimated) {
    std::string error;
    if (!ParseFsModelJson(settings_.model_json, &stages_->model, &error)) {
      throw std::invalid_argument("the index's model: " + error);
    }
    stages_->model.Index();
  }
  RestoreColumns();
  MatchStages& stored = stages_->stored;
  stored.CreateIndex(0, 0);
  const Variant none = VariantArray::NewTable(columns_, 0);
  stored.IndexRows(*none.AsArray(), 0, columns_, [](uint32_t) {});
}

IndexMatcher::~IndexMatcher() { stages_->stored.Free(); }

void IndexMatcher::RestoreColumns() {
  ColumnOptions& options = ctx_->options();
  options = settings_.columns;
  if (ColumnOptions::InRange(settings_.id_column)) {
    options.cluster[settings_.id_column] = false;
    options.dupe_search[settings_.id_column] = false;
  }
}

double IndexMatcher::SearchThreshold() const {
  const double t = settings_.threshold;
  if (settings_.options.grouping != Grouping::kClique) return t;
  return std::min(t, settings_.options.member_threshold.value_or(t));
}

void IndexMatcher::File(const VariantArray& records,
                        std::span<const StoredPlace> places) {
  RestoreColumns();
  for (uint32_t r = 0; r < records.rows(); ++r) {
    const uint32_t row = rows();
    stages_->stored.FileRow(records, r, row, columns_, false);
    const uint32_t group = places[r].group;
    while (groups() <= group) {
      opener_.push_back(kNoRow);
      group_size_.push_back(0);
      last_member_.push_back(kNoRow);
    }
    Join(row, group, opener_[group] == kNoRow);
  }
}

void IndexMatcher::Join(uint32_t row, uint32_t group, bool opens) {
  if (group >= groups()) {
    opener_.push_back(kNoRow);
    group_size_.push_back(0);
    last_member_.push_back(kNoRow);
  }
  if (opens) opener_[group] = row;
  group_of_.push_back(group);
  ++group_size_[group];
  if (settings_.options.grouping != Grouping::kClique) return;
  next_member_.push_back(kNoRow);
  if (last_member_[group] != kNoRow) next_member_[last_member_[group]] = row;
  last_member_[group] = row;
}

uint32_t IndexMatcher::GroupOfRow(const CallState& call, uint32_t row) const {
  return row < call.first_row ? group_of_[row]
                              : call.group_of[row - call.first_row];
}

bool IndexMatcher::FitsEveryMember(const CallState& call, uint32_t group,
                                   std::span<const IndexMatch> matches) const {
  const double least =
      settings_.options.member_threshold.value_or(settings_.threshold);
  auto reaches = [&](uint32_t member) {
    auto it = std::lower_bound(
        matches.begin(), matches.end(), member,
        [](const IndexMatch& m, uint32_t row) { return m.row < row; });
    return it != matches.end() && it->row == member && it->similarity >= least;
  };
  const auto joined = call.joined.find(group);
  const size_t added = joined == call.joined.end() ? 0 : joined->second.size();
  const size_t stored = group < groups() ? group_size_[group] : 0;
  if (stored + added > matches.size()) return false;
  if (group < groups()) {
    for (uint32_t m = opener_[group]; m != kNoRow; m = next_member_[m]) {
      if (!reaches(m)) return false;
    }
  }
  if (joined != call.joined.end()) {
    for (uint32_t m : joined->second) {
      if (!reaches(m)) return false;
    }
  }
  return true;
}

uint32_t IndexMatcher::Choose(const CallState& call,
                              std::span<const IndexMatch> matches,
                              double* similarity) const {
  const double threshold = settings_.threshold;
  switch (settings_.options.grouping) {
    case Grouping::kChain:
      for (size_t i = matches.size(); i-- > 0;) {
        if (matches[i].similarity < threshold) continue;
        *similarity = matches[i].similarity;
        return GroupOfRow(call, matches[i].row);
      }
      return kNoGroup;
    case Grouping::kCenter:
      for (const IndexMatch& m : matches) {
        const uint32_t group = GroupOfRow(call, m.row);
        const uint32_t opener =
            group < call.first_new_group
                ? opener_[group]
                : call.opener_of[group - call.first_new_group];
        if (opener == m.row) {
          *similarity = m.similarity;
          return group;
        }
      }
      return kNoGroup;
    case Grouping::kClique:
      for (const IndexMatch& m : matches) {
        if (m.similarity < threshold) continue;
        const uint32_t group = GroupOfRow(call, m.row);
        if (FitsEveryMember(call, group, matches)) {
          *similarity = m.similarity;
          return group;
        }
      }
      return kNoGroup;
  }
  return kNoGroup;
}

void IndexMatcher::Search(const VariantArray& records, uint32_t max_matches,
                          IndexAnswer* answer) {
  answer->records.clear();
  answer->matches.clear();
  const uint32_t n = records.rows();
  if (records.columns() != columns_) {
    throw std::invalid_argument("the records' columns are not the index's");
  }
  RestoreColumns();
  MatchStages& stored = stages_->stored;
  const MatchOptions& options = settings_.options;
  const double ct = settings_.cluster_threshold;
  const double search = SearchThreshold();
  PairScorer* scorer =
      options.scoring == Scoring::kEstimated ? &stages_->scorer : nullptr;
  stored.SetSwap(options.swap_first, options.swap_second);
  stored.SetScorer(scorer);
  stored.BeginMatching(rows(), columns_);

  // The call's own records, as a batch run would index them.
  MatchStages own(*ctx_);
  own.CreateIndex(n, n);
  own.IndexRows(records, n, columns_, [](uint32_t) {});
  own.SetSwap(options.swap_first, options.swap_second);
  own.SetScorer(scorer);
  own.BeginMatching(n, columns_);

  CallState call;
  call.first_row = rows();
  call.first_new_group = groups();
  call.group_of.reserve(n);
  std::vector<IndexMatch> matches;
  for (uint32_t i = 0; i < n; ++i) {
    if (i % kMatchCadence == 0) {
      const uint32_t end = std::min(i + kMatchCadence, n);
      stored.FindRecordsAhead(records, i, end, std::min(end + kMatchCadence, n),
                              ct, search);
    }
    matches.clear();
    stored.MatchRecord(records, i, rows(), ct, search,
                       [&](uint32_t p, bool reaches) {
                         if (reaches) {
                           matches.push_back({p, stored.Similarity(p)});
                         }
                         return true;
                       });
    own.MatchWorkingRow(i, i, ct, search, [&](uint32_t p, bool reaches) {
      if (reaches) matches.push_back({call.first_row + p, own.Similarity(p)});
      return true;
    });
    std::sort(
        matches.begin(), matches.end(),
        [](const IndexMatch& a, const IndexMatch& b) { return a.row < b.row; });
    IndexPlacement place{kNoGroup, false, NAN, 0, 0};
    place.group = Choose(call, matches, &place.similarity);
    if (place.group == kNoGroup) {
      place.opens = true;
      place.group =
          call.first_new_group + static_cast<uint32_t>(call.opener_of.size());
      call.opener_of.push_back(call.first_row + i);
    }
    call.group_of.push_back(place.group);
    if (options.grouping == Grouping::kClique) {
      call.joined[place.group].push_back(call.first_row + i);
    }
    // Listed best first, ties in record order.
    std::stable_sort(matches.begin(), matches.end(),
                     [](const IndexMatch& a, const IndexMatch& b) {
                       return a.similarity > b.similarity;
                     });
    place.matches_begin = static_cast<uint32_t>(answer->matches.size());
    place.matches_end = place.matches_begin;
    for (const IndexMatch& m : matches) {
      if (place.matches_end - place.matches_begin >= max_matches) break;
      if (m.similarity < settings_.threshold) continue;
      answer->matches.push_back(m);
      place.matches_end = static_cast<uint32_t>(answer->matches.size());
    }
    answer->records.push_back(place);
  }
  own.Free();
}

void IndexMatcher::Keep(const VariantArray& records,
                        const IndexAnswer& answer) {
  RestoreColumns();
  for (uint32_t i = 0; i < records.rows(); ++i) {
    const uint32_t row = rows();
    stages_->stored.FileRow(records, i, row, columns_, false);
    const IndexPlacement& place = answer.records[i];
    Join(row, place.group, place.opens);
  }
}

}  // namespace vexlor
