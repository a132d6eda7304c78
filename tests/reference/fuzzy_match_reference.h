// The fuzzy match and merge straight from their definitions, for checking
// the batch units on random tables: every indexed row's trigram hits
// counted from scratch for every record, every row tested against the
// need, a fresh field list for every compared pair, and the merge's
// appended records kept in a plain list. No progress, logs or cancellation.

#ifndef VEXLOR_TESTS_REFERENCE_FUZZY_MATCH_REFERENCE_H_
#define VEXLOR_TESTS_REFERENCE_FUZZY_MATCH_REFERENCE_H_

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/reference/naive_gestalt.h"
#include "tests/reference/trigram_reference.h"
#include "vexlor/records/field_coll.h"
#include "vexlor/strings/normalize.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/tables/scoring/fs_model.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor::reference {

// One cell in comparison form.
struct FormCell {
  bool has_text = false;
  bool is_string = false;
  std::string text;
};

inline FormCell ToForm(const platform::Variant& cell, const ColumnOptions& o,
                       int c) {
  FormCell f;
  f.has_text = CellText(cell, &f.text);
  f.is_string = cell.IsString();
  if (f.is_string && o.weight[c] <= 1.0) f.text = NormalizeText(f.text, true);
  return f;
}

class FuzzyReference {
 public:
  // `options` as they stand when the call starts (the IDColumnIndex column
  // already switched off).
  FuzzyReference(const ColumnOptions& options, double threshold,
                 double cluster_threshold)
      : options_(options),
        threshold_(threshold),
        cluster_threshold_(cluster_threshold) {}

  // From now on comparisons take the better of the texts as they are and
  // the compared row's texts of columns a and b exchanged.
  void SetSwap(int a, int b) {
    swap_a_ = a;
    swap_b_ = b;
  }

  // Files a row: `columns` cells in comparison form (columns whose options
  // leave them out, unless `every_column`, have no text), and the cluster
  // texts among them.
  void File(const platform::VariantArray& table, uint32_t row, uint32_t columns,
            bool every_column) {
    std::vector<FormCell> cells(columns);
    std::map<std::string, long> trigrams;
    for (uint32_t c = 0; c < columns; ++c) {
      if (!every_column && !options_.cluster[c] && !options_.dupe_search[c]) {
        continue;
      }
      cells[c] = ToForm(table.cell(c, row), options_, c);
      if (options_.cluster[c] && cells[c].is_string) {
        for (const std::string& t : Trigrams(cells[c].text)) ++trigrams[t];
      }
    }
    rows_.push_back(std::move(cells));
    trigrams_.push_back(std::move(trigrams));
  }

  // From now on a pair's score is its match probability under `model`
  // (null: the weighted mean again).
  void SetModel(const FsModel* model) { model_ = model; }

  size_t rows() const { return rows_.size(); }

  // The rows that record `row` of `table` is compared with, in order, over
  // the columns 0 to columns - 1.
  std::vector<uint32_t> Candidates(const platform::VariantArray& table,
                                   uint32_t row, uint32_t columns) const {
    std::vector<FormCell> record(columns);
    for (uint32_t c = 0; c < columns; ++c) {
      if (options_.cluster[c]) {
        record[c] = ToForm(table.cell(c, row), options_, c);
      }
    }
    return CandidatesOf(record, columns, rows_.size());
  }

  // The filed rows that filed row `row` is compared with: itself only when
  // every row is.
  std::vector<uint32_t> FiledCandidates(uint32_t row, uint32_t columns) const {
    return CandidatesOf(rows_[row], columns, row);
  }

  // The similarity of filed rows `row` (first) and p (compared), with the
  // switch-offs.
  double FiledSimilarity(uint32_t row, uint32_t p, uint32_t columns) {
    return Similarity(rows_[row], p, columns);
  }

  // The similarity of a record in comparison form with filed row p over
  // the columns 0 to columns - 1, switching DupeSearch off where a cell has
  // no text.
  double Similarity(const std::vector<FormCell>& record, uint32_t p,
                    uint32_t columns) {
    FieldColl fields;
    fields.ListCompareInit();
    for (uint32_t c = 0; c < columns; ++c) {
      if (!options_.dupe_search[c]) continue;
      if (record[c].has_text) {
        fields.SetFieldAt(c, record[c].text, options_.weight[c],
                          options_.compare_null[c]);
      } else {
        options_.dupe_search[c] = false;
      }
    }
    for (uint32_t c = 0; c < columns; ++c) {
      if (!options_.dupe_search[c]) continue;
      if (rows_[p][c].has_text) {
        fields.SetCompareAt(c, rows_[p][c].text);
      } else {
        options_.dupe_search[c] = false;
      }
    }
    const int last = static_cast<int>(columns) - 1;
    auto score = [&] {
      return model_ != nullptr
                 ? ModelScore(fields, last)
                 : fields.RecordDifference(last, options_.dupe_search.data());
    };
    const double s = score();
    const int64_t n = columns;
    if (swap_a_ < 0 || swap_b_ < 0 || swap_a_ == swap_b_ || swap_a_ >= n ||
        swap_b_ >= n || !options_.dupe_search[swap_a_] ||
        !options_.dupe_search[swap_b_]) {
      return s;
    }
    fields.SetCompareAt(swap_a_, rows_[p][swap_b_].text);
    fields.SetCompareAt(swap_b_, rows_[p][swap_a_].text);
    return std::max(s, score());
  }

 private:
  // The words of `s`: runs of letters (ASCII, or bytes from 0xC0).
  static std::vector<std::string> Words(const std::string& s) {
    std::vector<std::string> words(1);
    for (char c : s) {
      const unsigned char b = static_cast<unsigned char>(c);
      if (std::isalpha(b) || b >= 0xC0) {
        words.back().push_back(c);
      } else if (!words.back().empty()) {
        words.emplace_back();
      }
    }
    if (words.back().empty()) words.pop_back();
    return words;
  }

  // Whether `a` is one-letter words only, which begin words of `b` in
  // order, and `b` has a longer word.
  static bool Initials(const std::string& a, const std::string& b) {
    const std::vector<std::string> short_words = Words(a),
                                   long_words = Words(b);
    size_t at = 0;
    for (const std::string& w : short_words) {
      if (w.size() != 1) return false;
      while (at < long_words.size() && long_words[at][0] != w[0]) ++at;
      if (at == long_words.size()) return false;
      ++at;
    }
    bool longer = false;
    for (const std::string& w : long_words) longer = longer || w.size() > 1;
    return !short_words.empty() && longer;
  }

  // The match probability in percent of the pair in `fields`, from the
  // levels of its texts: the match's share of the three classes.
  double ModelScore(const FieldColl& fields, int last) const {
    const double p = model_->prior, q = model_->related;
    double weights = 0, related_weights = 0;
    for (const FsColumn& col : model_->columns) {
      if (col.column > last || !options_.dupe_search[col.column]) continue;
      std::string a = fields.entry(col.column)->value;
      std::string b = fields.entry(col.column)->compare_value;
      if (a.empty() || b.empty()) continue;
      if (b < a) std::swap(a, b);
      const double sim = a == b      ? 100
                         : col.exact ? 0
                                     : NaiveGestaltSimilarity(a, b);
      const bool initials = !col.exact && (Initials(a, b) || Initials(b, a));
      const int level = sim == 100  ? 0
                        : sim >= 92 ? 1
                        : sim >= 80 ? 2
                        : sim >= 60 ? 3
                        : initials  ? 4
                                    : 5;
      weights += std::log2(col.m[level] / col.u[level]);
      related_weights += std::log2(col.r[level] / col.u[level]);
    }
    if (!(q > 0)) {
      return 100 / (1 + std::exp2(-(std::log2(p / (1 - p)) + weights)));
    }
    const double match = std::log2(p / (1 - p - q)) + weights;
    const double related = std::log2(q / (1 - p - q)) + related_weights;
    return 100 / (1 + std::exp2(-match) + std::exp2(related - match));
  }

  // The filed rows whose trigram hits from the cluster texts of `record`
  // reach the need; row `self` hits nothing.
  std::vector<uint32_t> CandidatesOf(const std::vector<FormCell>& record,
                                     uint32_t columns, size_t self) const {
    std::vector<std::string> query;
    long key_length = 0;
    for (uint32_t c = 0; c < columns; ++c) {
      if (!options_.cluster[c] || !record[c].is_string) continue;
      for (const std::string& t : Trigrams(record[c].text)) query.push_back(t);
      key_length += static_cast<long>(record[c].text.size());
    }
    std::vector<uint32_t> out;
    if (key_length == 0) return out;
    const double need = std::trunc(key_length * cluster_threshold_);
    for (uint32_t p = 0; p < rows_.size(); ++p) {
      long hits = 0;
      for (const std::string& q : query) {
        auto it = trigrams_[p].find(q);
        if (it != trigrams_[p].end() && p != self) hits += it->second;
      }
      hits = std::min(hits, 255L);
      if (!(need >= 1) || static_cast<double>(hits) >= need) out.push_back(p);
    }
    return out;
  }

 public:
  // Compares record `row` of `table` with filed row p over the columns 0 to
  // columns - 1, switching DupeSearch off where a cell has no text.
  bool Matches(const platform::VariantArray& table, uint32_t row, uint32_t p,
               uint32_t columns) {
    return Similarity(RecordForm(table, row, columns), p, columns) >=
           threshold_;
  }

  // Record `row` of `table` in comparison form, read as the comparison
  // reads it: only the cells of DupeSearch columns.
  std::vector<FormCell> RecordForm(const platform::VariantArray& table,
                                   uint32_t row, uint32_t columns) const {
    std::vector<FormCell> record(columns);
    for (uint32_t c = 0; c < columns; ++c) {
      if (options_.dupe_search[c]) {
        record[c] = ToForm(table.cell(c, row), options_, c);
      }
    }
    return record;
  }

  const ColumnOptions& options() const { return options_; }
  // Host code changes them between records.
  ColumnOptions& mutable_options() { return options_; }

 private:
  int swap_a_ = -1;
  int swap_b_ = -1;
  const FsModel* model_ = nullptr;
  ColumnOptions options_;
  const double threshold_;
  const double cluster_threshold_;
  std::vector<std::vector<FormCell>> rows_;
  std::vector<std::map<std::string, long>> trigrams_;
};

struct MatchOutcome {
  std::vector<int32_t> match;  // per master row, 0 or record + 1
  std::vector<double> score;   // per master row, of its record
  std::vector<bool> matched;   // per match record
  int64_t pairs = 0;
  int64_t max_candidates = 0;
  ColumnOptions options;  // after the call
};

// `best`: a master row keeps the record of the highest similarity, the
// earliest of equals. `swap_a`, `swap_b`: as FuzzyReference::SetSwap.
inline MatchOutcome ReferenceMatch(const platform::VariantArray& master,
                                   const platform::VariantArray& match,
                                   const ColumnOptions& options,
                                   double threshold, double cluster_threshold,
                                   bool best = false, int swap_a = -1,
                                   int swap_b = -1) {
  const uint32_t master_columns = std::min<uint32_t>(master.columns(), 400);
  const uint32_t common = std::min<uint32_t>(
      master_columns, std::min<uint32_t>(match.columns(), 400));
  FuzzyReference ref(options, threshold, cluster_threshold);
  ref.SetSwap(swap_a, swap_b);
  for (uint32_t r = 0; r < master.rows(); ++r) {
    ref.File(master, r, master_columns, false);
  }
  MatchOutcome out;
  out.match.assign(master.rows(), 0);
  out.score.assign(master.rows(), 0.0);
  for (uint32_t s = 0; s < match.rows(); ++s) {
    bool matched = false;
    std::vector<uint32_t> candidates = ref.Candidates(match, s, common);
    for (uint32_t m : candidates) {
      const double similarity =
          ref.Similarity(ref.RecordForm(match, s, common), m, common);
      if (!(similarity >= threshold)) continue;
      matched = true;
      ++out.pairs;
      if (out.match[m] == 0 || (best && similarity > out.score[m])) {
        out.match[m] = static_cast<int32_t>(s + 1);
        out.score[m] = similarity;
      }
    }
    out.matched.push_back(matched);
    out.max_candidates =
        std::max<int64_t>(out.max_candidates, candidates.size());
  }
  out.options = ref.options();
  return out;
}

struct MergeOutcome {
  std::vector<bool> rejected;      // per import record
  std::vector<uint32_t> appended;  // import row of each appended row
  // Group of every working row: master row r starts in group r, import
  // record s makes group master rows + 2s for the records it resembles
  // and master rows + 2s + 1 for itself when it resembles nothing.
  std::vector<int64_t> group;
  int64_t found2 = 0;
  ColumnOptions options;
};

// `return_results` as MergeReturnResults: 0 and 3 stop at the first
// resembling record and merge only the others; 1 and 2 regroup every
// resembling record and merge all.
inline MergeOutcome ReferenceMerge(const platform::VariantArray& master,
                                   const platform::VariantArray& import,
                                   const ColumnOptions& options,
                                   double threshold, double cluster_threshold,
                                   int return_results, int swap_a = -1,
                                   int swap_b = -1) {
  const uint32_t master_columns = std::min<uint32_t>(master.columns(), 400);
  const uint32_t common = std::min<uint32_t>(
      master_columns, std::min<uint32_t>(import.columns(), 400));
  const bool stop = return_results == 0 || return_results == 3;
  const bool merge_all = return_results == 1 || return_results == 2;
  FuzzyReference ref(options, threshold, cluster_threshold);
  ref.SetSwap(swap_a, swap_b);
  MergeOutcome out;
  for (uint32_t r = 0; r < master.rows(); ++r) {
    ref.File(master, r, master_columns, false);
    out.group.push_back(r);
  }
  const int64_t base = master.rows();
  for (uint32_t s = 0; s < import.rows(); ++s) {
    const int64_t id = base + 2 * int64_t{s};
    bool matched = false;
    for (uint32_t m : ref.Candidates(import, s, common)) {
      if (!ref.Matches(import, s, m, common)) continue;
      matched = true;
      if (stop) {
        ++out.found2;
        break;
      }
      if (out.group[m] != id) {
        out.group[m] = id;
        ++out.found2;
      }
    }
    out.rejected.push_back(matched);
    if (!matched || merge_all) {
      ref.File(import, s, common, true);
      out.appended.push_back(s);
      out.group.push_back(matched ? id : id + 1);
    }
  }
  out.options = ref.options();
  return out;
}

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_FUZZY_MATCH_REFERENCE_H_
