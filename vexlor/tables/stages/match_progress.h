// How the table methods report their progress: the cadences of their two
// stages, the reporter closed on every way out, and the figures that the
// matching stage of a fuzzy method reports as it goes (the candidates of
// the last record, the most and the average so far, the records done, and
// two counts of the method's own: records and pairs found).
#ifndef VEXLOR_TABLES_STAGES_MATCH_PROGRESS_H_
#define VEXLOR_TABLES_STAGES_MATCH_PROGRESS_H_

#include <cstdint>

#include "vexlor/tables/batch_context.h"

namespace vexlor {

// Progress cadences of the two stages, in records.
inline constexpr uint32_t kIndexCadence = 100;
inline constexpr uint32_t kMatchCadence = 10;

// Closes the reporter on every way out of a call, once it was opened,
// exactly once.
class ReporterScope {
 public:
  explicit ReporterScope(ProgressSink& sink) : sink_(sink) {}
  ~ReporterScope() { Close(); }
  ReporterScope(const ReporterScope&) = delete;
  ReporterScope& operator=(const ReporterScope&) = delete;

  void Open(bool show_progress, int title_id, int found_label_id,
            ProgressWindowKind kind = ProgressWindowKind::kSearch) {
    // Set first: a window half made by a failing Open is closed too.
    open_ = true;
    sink_.Open(show_progress, kind, title_id, found_label_id);
  }
  void Close() {
    if (open_) sink_.Close();
    open_ = false;
  }

 private:
  ProgressSink& sink_;
  bool open_ = false;
};

// Clamps a count to the 32-bit fields of a report.
int32_t ClampToInt32(int64_t v);

class MatchProgress {
 public:
  // For a stage over `records` records; nothing counted yet.
  explicit MatchProgress(uint32_t records);

  const ProgressFields& fields() const { return fields_; }
  int64_t max_candidates() const { return max_candidates_; }

  // Takes the figures after record s (0-based), which had `candidates`
  // candidates, and every kMatchCadence records reports them to `sink`
  // with percent (s + 1) x 100 / (records - 1). Returns whether it
  // reported: host code ran then and may have changed the options. O(1).
  bool AfterRecord(ProgressSink& sink, uint32_t s, int64_t candidates,
                   int64_t found, int64_t found2);

  // The record number becomes the record count, for the closing report.
  void Finish();

 private:
  uint32_t records_;
  int64_t max_candidates_ = 0;
  int64_t total_candidates_ = 0;
  ProgressFields fields_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_MATCH_PROGRESS_H_
