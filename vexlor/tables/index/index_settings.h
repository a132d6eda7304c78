// What a persisted record index matches by: its columns and their options,
// the thresholds and the duplicate search's settings, fixed when the index
// is made so that every later search asks the same question.
#ifndef VEXLOR_TABLES_INDEX_INDEX_SETTINGS_H_
#define VEXLOR_TABLES_INDEX_INDEX_SETTINGS_H_

#include <string>
#include <vector>

#include "vexlor/match_options.h"
#include "vexlor/tables/column_options.h"

namespace vexlor {

struct IndexSettings {
  // The columns of the indexed table, in order (UTF-16 as the host gave
  // them); their options are those of `columns` 0 to names.size() - 1.
  std::vector<std::u16string> names;
  ColumnOptions columns;
  // The column whose cell names a record in answers, or -1: the record's
  // number in the index (from 1).
  int id_column = -1;
  double threshold = 80.0;
  double cluster_threshold = 0.5;
  // The settings of DupeSearch's Options text that matter to a search
  // (grouping, member threshold, swap, scoring); the pointers stay null.
  MatchOptions options;
  // With Scoring=Estimated: the fitted model as FsModel::ToJson wrote it.
  std::string model_json;
};

// The Options text that gives `settings.options` back: "Grouping=Center;
// Scoring=Estimated", empty for the defaults. Numbers as their shortest
// round-trip text.
std::string SettingsOptionsText(const IndexSettings& settings);

// The shortest text that reads back as `value` ("80", "0.5").
std::string ShortestNumberText(double value);

}  // namespace vexlor

#endif  // VEXLOR_TABLES_INDEX_INDEX_SETTINGS_H_
