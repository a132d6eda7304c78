#include "vexlor/match_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vexlor/text.h"

namespace vexlor {
namespace {

struct Case {
  const char16_t* text;
  OptionsReader reader;
  // What the settings come to, as "grouping member swap match scores"
  // and " estimated" for that scoring, " bounded" for those candidates.
  const char* settings;
  std::vector<std::string> skipped;
};

std::string Describe(const MatchOptions& o) {
  const char* groupings[] = {"chain", "center", "clique"};
  std::string member = o.member_threshold ? std::to_string(*o.member_threshold)
                                          : std::string("-");
  member.erase(member.find_last_not_of('0') + 1);
  if (!member.empty() && member.back() == '.') member.pop_back();
  return std::string(groupings[static_cast<int>(o.grouping)]) + " " + member +
         " " + std::to_string(o.swap_first) + "," +
         std::to_string(o.swap_second) + " " +
         (o.match == MatchChoice::kBest ? "best" : "first") + " " +
         (o.scores ? "1" : "0") +
         (o.scoring == Scoring::kEstimated ? " estimated" : "") +
         (o.candidates == CandidateRule::kBounded ? " bounded" : "");
}

TEST(MatchOptionsTest, Parse) {
  constexpr OptionsReader kDupes = OptionsReader::kDupeSearch;
  constexpr OptionsReader kMatch = OptionsReader::kFuzzyMatch;
  constexpr OptionsReader kMerge = OptionsReader::kFuzzyMerge;
  const Case cases[] = {
      {u"", kDupes, "chain - -1,-1 first 0", {}},
      {u" ; ;", kDupes, "chain - -1,-1 first 0", {}},
      {u"Grouping=Clique", kDupes, "clique - -1,-1 first 0", {}},
      {u"  grouping =  CENTER ;scores= 1 ",
       kDupes,
       "center - -1,-1 first 1",
       {}},
      {u"Grouping=Clique;MemberThreshold=70",
       kDupes,
       "clique 70 -1,-1 first 0",
       {}},
      {u"MemberThreshold=72.5;Grouping=Center;Grouping=Chain",
       kDupes,
       "chain 72.5 -1,-1 first 0",
       {}},
      {u"Swap=1,2", kMerge, "chain - 1,2 first 0", {}},
      {u"swap = 2 , 1", kMatch, "chain - 2,1 first 0", {}},
      {u"Match=Best;Scores=1", kMatch, "chain - -1,-1 best 1", {}},
      {u"Scoring=Estimated", kMerge, "chain - -1,-1 first 0 estimated", {}},
      {u"scoring = ESTIMATED;Scoring=mean",
       kDupes,
       "chain - -1,-1 first 0",
       {}},
      {u"Scoring=Learned",
       kMatch,
       "chain - -1,-1 first 0",
       {"value not understood: Scoring=Learned"}},
      // What is skipped leaves the rest as it is.
      {u"Grouping=Star;Scores=1",
       kDupes,
       "chain - -1,-1 first 1",
       {"value not understood: Grouping=Star"}},
      {u"Colour=Blue;Grouping",
       kDupes,
       "chain - -1,-1 first 0",
       {"unknown setting: Colour=Blue", "value not understood: Grouping"}},
      {u"Match=Best",
       kDupes,
       "chain - -1,-1 first 0",
       {"not read by DupeSearch: Match=Best"}},
      {u"Grouping=Clique;Scores=1",
       kMerge,
       "chain - -1,-1 first 0",
       {"not read by FuzzyMerge: Grouping=Clique",
        "not read by FuzzyMerge: Scores=1"}},
      {u"Swap=1,1;Swap=1;Swap=1,400;Swap=-1,2;Swap=a,b",
       kDupes,
       "chain - -1,-1 first 0",
       {"value not understood: Swap=1,1", "value not understood: Swap=1",
        "value not understood: Swap=1,400", "value not understood: Swap=-1,2",
        "value not understood: Swap=a,b"}},
      {u"MemberThreshold=abc;MemberThreshold=nan;MemberThreshold=7x;Scores=2",
       kDupes,
       "chain - -1,-1 first 0",
       {"value not understood: MemberThreshold=abc",
        "value not understood: MemberThreshold=nan",
        "value not understood: MemberThreshold=7x",
        "value not understood: Scores=2"}},
      {u"Candidates=Bounded", kDupes, "chain - -1,-1 first 0 bounded", {}},
      {u"candidates = BOUNDED", kMatch, "chain - -1,-1 first 0 bounded", {}},
      {u"Candidates=Bounded;Candidates=exact;Candidates=Top",
       kMerge,
       "chain - -1,-1 first 0",
       {"value not understood: Candidates=Top"}},
      {u"Match=Last",
       kMatch,
       "chain - -1,-1 first 0",
       {"value not understood: Match=Last"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.text));
    std::vector<std::string> skipped;
    EXPECT_EQ(Describe(ParseMatchOptions(c.text, c.reader, &skipped)),
              c.settings);
    EXPECT_EQ(skipped, c.skipped);
    // The control asks for nothing back and gets the same settings.
    EXPECT_EQ(Describe(ParseMatchOptions(c.text, c.reader)), c.settings);
  }
}

}  // namespace
}  // namespace vexlor
