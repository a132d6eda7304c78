#include "vexlor/tables/index/index_settings.h"

#include <charconv>

namespace vexlor {

std::string ShortestNumberText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string SettingsOptionsText(const IndexSettings& settings) {
  const MatchOptions& o = settings.options;
  std::string text;
  auto add = [&text](const std::string& setting) {
    if (!text.empty()) text += ';';
    text += setting;
  };
  if (o.grouping == Grouping::kCenter) add("Grouping=Center");
  if (o.grouping == Grouping::kClique) add("Grouping=Clique");
  if (o.member_threshold) {
    add("MemberThreshold=" + ShortestNumberText(*o.member_threshold));
  }
  if (o.HasSwap()) {
    add("Swap=" + std::to_string(o.swap_first) + "," +
        std::to_string(o.swap_second));
  }
  if (o.scoring == Scoring::kEstimated) add("Scoring=Estimated");
  return text;
}

}  // namespace vexlor
