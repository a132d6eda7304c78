// `vexlor match MASTER FILE`: marks every MASTER row with the first FILE
// row that resembles it (the Match column, 0 for none).
#include "cli/command.h"
#include "cli/fuzzy_command.h"

namespace vexlor::cli {

namespace {

std::vector<std::u16string> MatchResultNames(const InputTable& master,
                                             const InputTable&, int16_t) {
  std::vector<std::u16string> names = master.names;
  names.push_back(u"Match");
  return names;
}

}  // namespace

int RunMatch(const std::vector<std::string>& args, Io io) {
  static const FuzzyCommand kMatch{
      "match",
      "FILE",
      "log-positive",
      "log-negative",
      {{"all", MAR_ALL},
       {"positive", MAR_POSITIVE},
       {"negative", MAR_NEGATIVE}},
      "all",
      static_cast<FuzzyMethod>(&CVexlorCtrl::FuzzyMatch),
      OptionsReader::kFuzzyMatch,
      &MatchResultNames};
  return RunFuzzyCommand(kMatch, args, io);
}

}  // namespace vexlor::cli
