#include "vexlor/tables/distributed/block_pair_finder.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include "vexlor/candidate_rule.h"
#include "vexlor/strings/normalize.h"
#include "vexlor/tables/candidates/candidate_counter.h"
#include "vexlor/tables/candidates/candidate_generator.h"
#include "vexlor/tables/candidates/candidate_need.h"
#include "vexlor/tables/candidates/min_hash.h"
#include "vexlor/tables/candidates/trigram.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/tables/distributed/block_words.h"
#include "vexlor/tables/distributed/finder_context.h"
#include "vexlor/tables/stages/match_stages.h"
#include "vexlor/tables/table_model.h"
#include "vexlor/variant_array.h"

namespace vexlor {

using platform::ArrayLock;
using platform::Variant;
using platform::VariantArray;

namespace {

// A histogram word holds a shortlist's rows in 16 bits; a head, the
// histogram's words in 6.
static_assert(std::max(kBoundedLimits.shortlist, kBoundedLimits.top) < 65536);
static_assert(kMinHashBands < 63);

// Stands in for the trigram index of the stages that compare: the rows a
// record is compared with are the ones set before it.
class ListedRows : public CandidateCounter {
 public:
  void File(std::string_view, uint32_t) override {}
  void Begin(uint32_t) override {}
  void Count(std::string_view, uint32_t) override {}
  const std::vector<uint32_t>& Take(uint32_t) override { return rows; }
  void Reset() override {}
  std::vector<uint32_t> rows;
};

}  // namespace

struct BlockPairFinder::State {
  explicit State(const ColumnOptions& columns) : ctx(columns) {}

  FinderContext ctx;
  CandidateGenerator generator{CandidateRule::kBounded};
  CandidateGenerator::Query query;
  std::unique_ptr<MatchStages> stages;
  ListedRows* listed = nullptr;  // owned by the stages
  uint32_t first_row = 0;
  uint32_t rows = 0;
  uint32_t columns = 0;
  double threshold = 0.0;
  double cluster_threshold = 0.0;
  bool estimated = false;
  // Reused per record.
  std::string raw;
  std::string normalized;
  std::string cell_text;
  // Shortlists kept between the rounds, by the first record of their
  // range: record i's rows, most bands first, from rows[offsets[i]].
  struct Kept {
    uint32_t records = 0;
    std::vector<uint32_t> offsets;
    std::vector<CandidateGenerator::ShortlistRow> rows;
  };
  std::map<uint32_t, Kept> kept;
  // Reused per record.
  std::vector<CandidateGenerator::ShortlistRow> cut;
  std::vector<uint32_t> histogram;
  std::vector<uint32_t> entries;
  std::vector<uint8_t> reaches;
  std::vector<uint32_t> verdict_words;

  // The text that the stages file for a Cluster cell (`filed`), and the
  // one a record is counted by, as its comparison form reads (`counted`);
  // false for a cell that is not a string.
  bool ClusterText(const Variant& cell, uint32_t c, std::string_view* filed,
                   std::string_view* counted) {
    if (!cell.IsString()) return false;
    CellText(cell, &raw);
    const std::string* text = &raw;
    if (ctx.options().weight[c] <= 1.0) {
      NormalizeTextInto(raw, true, &normalized);
      text = &normalized;
    }
    *filed = *text;
    *counted = *text;
    const bool ascii = std::all_of(text->begin(), text->end(), [](char ch) {
      return static_cast<unsigned char>(ch) < 0x80;
    });
    if (!ascii) {
      CellText(Variant::AnsiString(*text), &cell_text);
      *counted = cell_text;
    }
    return true;
  }

  void FileBlock(const VariantArray& block) {
    for (uint32_t r = 0; r < rows; ++r) {
      for (uint32_t c = 0; c < columns; ++c) {
        if (!ctx.options().cluster[c]) continue;
        std::string_view filed, counted;
        if (ClusterText(block.cell(c, r), c, &filed, &counted)) {
          generator.File(filed, r);
        }
      }
    }
  }

  // Starts the query of row `row` of the table, read from `records`; the
  // need of its cluster text.
  CandidateNeed QueryRecord(const VariantArray& records, uint32_t i,
                            uint32_t row) {
    const bool own = row >= first_row && row - first_row < rows;
    generator.BeginQuery(query, own ? row - first_row : kNoRecord);
    int64_t key_length = 0;
    const uint32_t limit = std::min(columns, records.columns());
    for (uint32_t c = 0; c < limit; ++c) {
      if (!ctx.options().cluster[c]) continue;
      std::string_view filed, counted;
      if (!ClusterText(records.cell(c, i), c, &filed, &counted)) continue;
      generator.AddQueryText(query, counted);
      key_length += static_cast<int64_t>(counted.size());
    }
    return NeedFor(key_length, cluster_threshold);
  }

  // The verdicts of record i of `records` against the block's rows in
  // listed->rows: which reach the threshold, or false when the record's
  // comparisons changed the options (the labelling process then meets
  // that itself).
  bool Verdicts(const VariantArray& records, uint32_t i) {
    reaches.assign(listed->rows.size(), 0);
    if (listed->rows.empty()) return true;
    verdict_words.clear();
    stages->FindRecordPairs(records, i, i + 1, rows, cluster_threshold,
                            threshold, &verdict_words);
    const uint32_t head = verdict_words.at(0);
    if ((head & kFoundRecord) == 0) return false;
    size_t listed_rows = head >> 2;
    if ((head & kFoundLastMisses) != 0) --listed_rows;
    // The rows that reach come in the order they were listed.
    size_t at = 0;
    for (size_t k = 0; k < listed_rows; ++k) {
      const uint32_t p = verdict_words.at(2 + k);
      while (at < listed->rows.size() && listed->rows[at] != p) ++at;
      if (at == listed->rows.size()) return false;
      reaches[at] = 1;
    }
    return true;
  }

  // The record's kind, for a need that settles it without rows.
  bool Settled(CandidateNeed need, uint32_t* kind) const {
    if (need.kind == CandidateNeed::kNone) {
      *kind = kBlockNone;
      return true;
    }
    // Every row a candidate: the labelling process compares them itself.
    if (need.kind == CandidateNeed::kAll || estimated) {
      *kind = kBlockLeave;
      return true;
    }
    return false;
  }

  void ShortlistRecord(const VariantArray& records, uint32_t i, uint32_t row,
                       Kept& out, std::vector<uint32_t>* words) {
    const CandidateNeed need = QueryRecord(records, i, row);
    out.offsets.push_back(static_cast<uint32_t>(out.rows.size()));
    uint32_t kind;
    if (Settled(need, &kind)) {
      words->push_back(BlockHead(kind, 0, 0));
      return;
    }
    const std::vector<CandidateGenerator::ShortlistRow>& shortlist =
        generator.TakeShortlist(query, kBoundedLimits);
    const size_t begin = out.rows.size();
    out.rows.insert(out.rows.end(), shortlist.begin(), shortlist.end());
    // Most bands first, then the lower row: the order of the cuts.
    std::sort(out.rows.begin() + static_cast<ptrdiff_t>(begin), out.rows.end(),
              [](const CandidateGenerator::ShortlistRow& a,
                 const CandidateGenerator::ShortlistRow& b) {
                return a.bands != b.bands ? a.bands > b.bands : a.row < b.row;
              });
    histogram.assign(kMinHashBands + 1, 0);
    for (const CandidateGenerator::ShortlistRow& s : shortlist) {
      ++histogram[s.bands];
    }
    uint32_t histogram_words = 0;
    for (uint32_t h : histogram) histogram_words += h != 0 ? 1 : 0;
    words->push_back(BlockHead(kBlockListed, histogram_words, 0));
    for (uint32_t b = 0; b <= kMinHashBands; ++b) {
      if (histogram[b] != 0) words->push_back(BlockHistogram(b, histogram[b]));
    }
  }

  void FindRecord(const VariantArray& records, uint32_t i, uint32_t row,
                  const Kept& shortlists, uint32_t take,
                  std::vector<uint32_t>* words) {
    const CandidateNeed need = QueryRecord(records, i, row);
    uint32_t kind;
    if (Settled(need, &kind)) {
      words->push_back(BlockHead(kind, 0, 0));
      return;
    }
    const uint32_t begin = shortlists.offsets[i];
    const uint32_t end = i + 1 < shortlists.records
                             ? shortlists.offsets[i + 1]
                             : static_cast<uint32_t>(shortlists.rows.size());
    if (take > end - begin) {
      throw std::invalid_argument("a cut is longer than its shortlist");
    }
    cut.assign(shortlists.rows.begin() + begin,
               shortlists.rows.begin() + begin + take);
    std::sort(cut.begin(), cut.end(),
              [](const CandidateGenerator::ShortlistRow& a,
                 const CandidateGenerator::ShortlistRow& b) {
                return a.row < b.row;
              });
    generator.CountRows(query, cut);
    const uint32_t hits = std::max<uint32_t>(need.hits, 1);
    listed->rows.clear();
    entries.clear();
    for (const CandidateGenerator::ShortlistRow& s : cut) {
      if (s.count < hits) continue;
      listed->rows.push_back(s.row);
      entries.push_back(s.count);
    }
    if (!Verdicts(records, i)) {
      words->push_back(BlockHead(kBlockLeave, 0, 0));
      return;
    }
    words->push_back(
        BlockHead(kBlockListed, 0, static_cast<uint32_t>(entries.size())));
    for (size_t k = 0; k < entries.size(); ++k) {
      words->push_back(first_row + listed->rows[k]);
      words->push_back(BlockEntry(entries[k], reaches[k] != 0));
    }
  }
};

BlockPairFinder::BlockPairFinder(const ColumnOptions& columns,
                                 const Variant& block, uint32_t first_row,
                                 int32_t IDColumnIndex, double Threshold,
                                 double ClusterThreshold,
                                 const MatchOptions& options)
    : state_(std::make_unique<State>(columns)) {
  VariantArray* input = AcceptTable(block);
  if (input == nullptr) throw std::invalid_argument("the block is no table");
  State& s = *state_;
  s.first_row = first_row;
  s.rows = input->rows();
  if (uint64_t{first_row} + s.rows >= kNoRecord) {
    throw std::invalid_argument("the block's rows lie beyond the last row");
  }
  s.columns = std::min<uint32_t>(input->columns(), kMaxColumns);
  s.threshold = Threshold;
  s.cluster_threshold = ClusterThreshold;
  s.estimated = options.scoring == Scoring::kEstimated;
  CandidateScan scan;
  ListedRows** listed = &s.listed;
  scan.make_counter = [listed](uint32_t, uint32_t) {
    auto counter = std::make_unique<ListedRows>();
    *listed = counter.get();
    return std::unique_ptr<CandidateCounter>(std::move(counter));
  };
  s.stages = std::make_unique<MatchStages>(s.ctx, scan);
  s.stages->SetSwap(options.swap_first, options.swap_second);
  ArrayLock lock(input);
  s.stages->CreateIndex(s.rows > 0 ? s.rows - 1 : 0, s.rows);
  if (ColumnOptions::InRange(IDColumnIndex)) {
    s.ctx.options().cluster[IDColumnIndex] = false;
    s.ctx.options().dupe_search[IDColumnIndex] = false;
  }
  s.stages->IndexRows(*input, s.rows, s.columns, [](uint32_t) {});
  s.stages->BeginMatching(s.rows, s.columns);
  s.FileBlock(*input);
}

BlockPairFinder::~BlockPairFinder() = default;

uint32_t BlockPairFinder::first_row() const { return state_->first_row; }

uint32_t BlockPairFinder::rows() const { return state_->rows; }

void BlockPairFinder::CommonKeys(uint32_t blocks, std::vector<uint64_t>* keys) {
  state_->generator.CommonBandKeys(
      kBoundedLimits.bucket / std::max<uint32_t>(blocks, 1), keys);
}

void BlockPairFinder::KeyRows(std::span<const uint64_t> keys,
                              std::vector<uint32_t>* rows) {
  state_->generator.BandKeyRows(keys, rows);
}

void BlockPairFinder::SkipKeys(std::vector<uint64_t> keys) {
  state_->generator.SkipBandKeys(std::move(keys));
}

namespace {

// The table of `records`, locked, checked to lie within the rows.
VariantArray* RecordsTable(const Variant& records, uint32_t first) {
  VariantArray* table = AcceptTable(records);
  if (table == nullptr) throw std::invalid_argument("the records are no table");
  if (uint64_t{first} + table->rows() >= kNoRecord) {
    throw std::invalid_argument("the records lie beyond the last row");
  }
  return table;
}

}  // namespace

void BlockPairFinder::Shortlist(const Variant& records, uint32_t first,
                                std::vector<uint32_t>* words) {
  VariantArray* table = RecordsTable(records, first);
  ArrayLock lock(table);
  State::Kept shortlists;
  shortlists.records = table->rows();
  for (uint32_t i = 0; i < shortlists.records; ++i) {
    state_->ShortlistRecord(*table, i, first + i, shortlists, words);
  }
  state_->kept[first] = std::move(shortlists);
}

void BlockPairFinder::Find(const Variant& records, uint32_t first,
                           std::span<const uint32_t> cuts,
                           std::vector<uint32_t>* words) {
  VariantArray* table = RecordsTable(records, first);
  const auto kept = state_->kept.find(first);
  if (kept == state_->kept.end() || kept->second.records != table->rows() ||
      cuts.size() != table->rows()) {
    throw std::invalid_argument("no shortlists kept for these records");
  }
  ArrayLock lock(table);
  for (uint32_t i = 0; i < table->rows(); ++i) {
    state_->FindRecord(*table, i, first + i, kept->second, cuts[i], words);
  }
  state_->kept.erase(kept);
}

}  // namespace vexlor
