#include <array>
#include <span>
#include <vector>

#include "vexlor/tables/stages/match_stages.h"

namespace vexlor {

using platform::Variant;
using platform::VariantArray;

void MatchStages::TakeFoundState(double threshold) {
  // The other processes found their verdicts with the options as matching
  // began; the first call comes before any record is matched.
  if (found_.TakeStateFirst()) TakeVerdictState(ready_, threshold);
}

void MatchStages::TakeFound(uint32_t first, uint32_t end, double threshold) {
  TakeFoundState(threshold);
  Ahead skipped;
  while (found_.row() < first && found_.Read(skipped)) {
  }
  if (found_.row() != first) return;  // rows taken out of turn: found here
  ready_.first = first;
  ready_.end = end;
  if (ready_.rows.size() < end - first) ready_.rows.resize(end - first);
  for (uint32_t row = first; row < end; ++row) {
    Ahead& ahead = ready_.rows[row - first];
    if (!found_.Read(ahead)) {
      ahead.verdicts_found = false;
      ahead.partial = true;
    }
  }
}

bool MatchStages::TakeFoundRecord(double threshold) {
  // The verdict state is kept in ready_, which a match of another table's
  // records does not use.
  TakeFoundState(threshold);
  Ahead& record = found_.record();
  return found_.Read(record) && record.verdicts_found &&
         ready_.threshold == threshold && VerdictStateHolds(ready_);
}

void MatchStages::FindRecordPairs(const VariantArray& table, uint32_t first,
                                  uint32_t end, uint32_t limit,
                                  double cluster_threshold, double threshold,
                                  std::vector<uint32_t>* words) {
  const std::array<bool, kMaxColumns> dupe_search = options_.dupe_search;
  // One list for the call: nothing is allocated per record.
  std::vector<uint32_t> listed;
  for (uint32_t row = first; row < end; ++row) {
    listed.clear();
    uint32_t last = 0;
    bool last_misses = false;
    const int64_t depth = MatchRecord(table, row, limit, cluster_threshold,
                                      threshold, [&](uint32_t p, bool reaches) {
                                        if (reaches) listed.push_back(p);
                                        last = p;
                                        last_misses = !reaches;
                                        return true;
                                      });
    if (options_.dupe_search != dupe_search) {
      // The labelling process meets that change itself, and from then on
      // finds every record's candidates on its own.
      words->insert(words->end(), end - row, 0);
      break;
    }
    if (last_misses) listed.push_back(last);
    words->push_back(
        FoundHeader(static_cast<uint32_t>(listed.size()), last_misses));
    words->push_back(static_cast<uint32_t>(depth));
    words->insert(words->end(), listed.begin(), listed.end());
  }
  options_.dupe_search = dupe_search;
  RefreshColumns();
}

void MatchStages::FindPairs(uint32_t first, uint32_t end,
                            double cluster_threshold, double threshold,
                            std::vector<uint32_t>* words) {
  index_.generator()->Prepare();
  workers_.EnsureQueries(1);
  // Batches of rows bound the memory of candidate lists held at once.
  constexpr uint32_t kBatchRows = 256;
  AheadRows batch;
  batch.cluster.assign(columns_, 0);
  for (uint32_t c = 0; c < columns_; ++c)
    batch.cluster[c] = options_.cluster[c];
  batch.cluster_threshold = cluster_threshold;
  TakeVerdictState(batch, threshold);
  FindJob job{this, &batch};
  for (uint32_t at = first; at < end;) {
    batch.first = at;
    batch.end = end - at > kBatchRows ? at + kBatchRows : end;
    batch.rows.resize(batch.end - at);
    batch.searches.assign(batch.end - at, 1);
    for (uint32_t i = 0; i < batch.end - at; ++i) job(i, 0);
    for (const Ahead& ahead : batch.rows) {
      // A record that has no candidate is settled without a comparison.
      const bool none =
          ahead.need.kind == CandidateNeed::kNone ||
          (ahead.need.kind == CandidateNeed::kAtLeast && ahead.rows.empty());
      if (!none && !ahead.verdicts_found) {
        words->push_back(0);
        continue;
      }
      if (none) {
        words->push_back(FoundHeader(0, false));
        words->push_back(0);
        continue;
      }
      uint32_t listed = 0;
      for (uint8_t v : ahead.verdicts) listed += v;
      const bool last_misses =
          !ahead.verdicts.empty() && !ahead.verdicts.back();
      words->push_back(
          FoundHeader(listed + (last_misses ? 1 : 0), last_misses));
      words->push_back(static_cast<uint32_t>(ahead.rows.size()));
      for (size_t i = 0; i < ahead.rows.size(); ++i) {
        if (ahead.verdicts[i] != 0) words->push_back(ahead.rows[i]);
      }
      if (last_misses) words->push_back(ahead.rows.back());
    }
    at = batch.end;
  }
}

}  // namespace vexlor
