#include "vexlor/tables/scoring/fs_estimation.h"

#include <algorithm>
#include <utility>

#include "vexlor/text.h"

namespace vexlor {
namespace {

constexpr uint32_t kSampledRecords = 2000;

FsModel ModelColumns(const ColumnOptions& options, uint32_t columns) {
  FsModel model;
  const uint32_t last = std::min<uint32_t>(columns, kMaxColumns);
  for (uint32_t c = 0; c < last; ++c) {
    if (!options.dupe_search[c]) continue;
    FsColumn column;
    column.column = static_cast<int>(c);
    column.exact = options.weight[c] > 1.0;
    column.name = platform::Utf16ToUtf8(options.Name(static_cast<int>(c)));
    model.columns.push_back(std::move(column));
  }
  model.Index();
  return model;
}

}  // namespace

uint32_t FsSampleStride(uint32_t rows) {
  return std::max<uint32_t>(1, rows / kSampledRecords);
}

FsEstimation::FsEstimation(ColumnOptions& options, uint32_t columns,
                           MatchStages& stages)
    : options_(options),
      stages_(stages),
      saved_(options.dupe_search),
      model_(ModelColumns(options, columns)),
      drawn_(model_.columns.size()),
      candidates_(model_.columns.size()),
      collector_(model_, &drawn_) {
  stages_.SetScorer(&collector_);
  stages_.SetSwap(-1, -1);
}

FsEstimation::~FsEstimation() {
  stages_.SetScorer(nullptr);
  options_.dupe_search = saved_;
}

void FsEstimation::Finish(int swap_first, int swap_second, FsModel* model) {
  stages_.SetScorer(nullptr);
  stages_.SetSwap(swap_first, swap_second);
  options_.dupe_search = saved_;
  FitFsModel(drawn_, candidates_, &model_);
  *model = model_;
  model->Index();
}

void FsEstimation::DescribeColumns(uint32_t rows) {
  for (FsColumn& col : model_.columns) {
    auto text = [&](uint32_t row, std::string_view* value) {
      return stages_.ColumnText(col.column, row, value);
    };
    if (!col.exact) {
      FsKindVote vote;
      std::string_view value;
      for (uint32_t r = 0; r < rows; ++r) {
        if (text(r, &value)) vote.Add(value);
      }
      col.kind = vote.Kind();
    }
    col.frequencies = CountTermFrequencies(rows, text);
  }
  model_.Index();
}

void FsEstimation::CompareDrawnPairs(uint32_t rows, double threshold) {
  DescribeColumns(rows);
  const uint64_t drawn = FsRandomPairCount(rows);
  for (uint64_t j = 0; j < drawn; ++j) {
    const auto pair = FsRandomPair(j, rows);
    stages_.Reaches(pair.first, pair.second, threshold);
    AfterPair();
  }
}

void EstimateAgainstMaster(ColumnOptions& options, uint32_t columns,
                           MatchStages& stages, uint32_t master_rows,
                           const platform::VariantArray& second,
                           uint32_t second_rows, double cluster_threshold,
                           double threshold, int swap_first, int swap_second,
                           FsModel* model) {
  FsEstimation estimation(options, columns, stages);
  estimation.CompareDrawnPairs(master_rows, threshold);
  estimation.BeginCandidates(swap_first, swap_second);
  const uint32_t stride = FsSampleStride(second_rows);
  for (uint32_t s = 0; s < second_rows; s += stride) {
    stages.MatchRecord(second, s, master_rows, cluster_threshold, threshold,
                       [](uint32_t, bool) { return true; });
    estimation.AfterPair();
  }
  estimation.Finish(swap_first, swap_second, model);
}

}  // namespace vexlor
