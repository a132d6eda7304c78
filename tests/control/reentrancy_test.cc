// Host code that runs inside a batch call, from an event or from the
// window's message pump, and calls back into the same control: whatever it
// calls, the outer call must end cleanly with its own result or Empty, and
// the control must work normally afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/control/control_test_support.h"
#include "vexlor/variant_array.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor {
namespace {

using platform::Variant;
using testing::CountingPresenter;
using testing::GroupTable;
using testing::HostSink;

const testing::SampleTables& Tables() {
  static const testing::SampleTables tables = testing::MakeSampleTables(24, 22);
  return tables;
}
const Variant& Master() { return Tables().master; }
const Variant& Second() { return Tables().second; }
const Variant& Labelled() { return Tables().labelled; }

using BatchCall = std::function<Variant(CVexlorCtrl&, bool show)>;

struct Outer {
  const char* name;
  BatchCall call;
  // Cancelling keeps the rows done so far instead of returning Empty.
  bool cancel_keeps_rows;
};

const Outer kOuters[] = {
    {"DupeSearch",
     [](CVexlorCtrl& c, bool show) {
       return c.DupeSearch(Master(), 0, 80, 0.5, u"", DRR_ALL, show);
     },
     false},
    {"FuzzyMatch",
     [](CVexlorCtrl& c, bool show) {
       return c.FuzzyMatch(Master(), Second(), 0, 80, 0.5, u"", MAR_ALL, show,
                           u"", u"");
     },
     false},
    {"FuzzyMerge",
     [](CVexlorCtrl& c, bool show) {
       return c.FuzzyMerge(Master(), Second(), 0, 80, 0.5, u"", MRR_ALL, show,
                           u"", u"");
     },
     false},
    {"ExactMatchByColumn",
     [](CVexlorCtrl& c, bool show) {
       return c.ExactMatchByColumn(Master(), Second(), 1, MAR_ALL, show);
     },
     false},
    {"DeleteDupes",
     [](CVexlorCtrl& c, bool show) {
       return c.DeleteDupes(Labelled(), -1, -1, DO_KEEP_FIRST, DER_CLEAN, show,
                            u"");
     },
     true},
};

// What the host does from inside the call.
struct HostAction {
  const char* name;
  std::function<void(CVexlorCtrl&)> run;
  enum Expect { kSameResult, kCancelled, kSameShape, kAnyEnd } expect;
};

void CallEveryQuery(CVexlorCtrl& c) {
  (void)c.CanceledByUser();
  (void)c.LastError();
  (void)c.LastErrorDescription();
  (void)c.GetCSVDelimiter();
}

void CallEveryStringMethod(CVexlorCtrl& c) {
  EXPECT_EQ(c.soundex(u"Robert", 4, false), u"r163");
  EXPECT_EQ(c.metaphone(u"Peters", 4), u"B360");
  EXPECT_EQ(c.dmetaphone(u"Smith", 4), u"SM0");
  EXPECT_EQ(c.EditDistance(u"flaw", u"lawn"), 2);
  EXPECT_EQ(c.Difference(u"abc", u"abc"), 100.0);
  EXPECT_GE(c.CompareStrings(u"Main Street", u"Main", false), 0);
  EXPECT_FALSE(c.Normalize(u"Dr. Hans M\u00fcller GmbH", true).empty());
}

std::vector<HostAction> Actions() {
  std::vector<HostAction> actions = {
      {"Cancel", [](CVexlorCtrl& c) { c.Cancel(); }, HostAction::kCancelled},
      {"Queries", CallEveryQuery, HostAction::kSameResult},
      {"StringMethods", CallEveryStringMethod, HostAction::kSameResult},
      {"NewGUID", [](CVexlorCtrl& c) { EXPECT_EQ(c.NewGUID().size(), 38u); },
       HostAction::kSameShape},
      {"FieldList",
       [](CVexlorCtrl& c) {
         c.ListCompareInit();
         c.ListAddField(u"x", u"Meier", 1.0, false);
         c.ListSetCompare(u"x", u"Meyer");
         EXPECT_GT(c.ListCalcDiff(), 0.0);
       },
       HostAction::kAnyEnd},
      {"Options",
       [](CVexlorCtrl& c) {
         c.SetColumnOption(1, false, false, 2.0, true, u"Name");
         c.Reset();
       },
       HostAction::kAnyEnd},
      {"Export",
       [](CVexlorCtrl& c) { c.VariantArray2CSVFile(Master(), u"/dev/null"); },
       HostAction::kSameResult},
  };
  // Another batch method on the same control: refused, so the running
  // call goes on undisturbed.
  for (const Outer& nested : kOuters) {
    actions.push_back({nested.name,
                       [&nested](CVexlorCtrl& c) {
                         for (bool show : {false, true}) {
                           EXPECT_TRUE(nested.call(c, show).IsEmpty());
                         }
                       },
                       HostAction::kSameResult});
  }
  return actions;
}

bool SameShape(const Variant& a, const Variant& b) {
  if (a.AsArray() == nullptr || b.AsArray() == nullptr) {
    return a.vt() == b.vt() && a.AsArray() == b.AsArray();
  }
  return a.AsArray()->columns() == b.AsArray()->columns() &&
         a.AsArray()->rows() == b.AsArray()->rows();
}

bool SameCells(const Variant& a, const Variant& b) {
  if (!SameShape(a, b)) return false;
  if (a.AsArray() == nullptr) return true;
  for (size_t i = 0; i < a.AsArray()->size(); ++i) {
    if (!platform::SameValue(a.AsArray()->data()[i], b.AsArray()->data()[i])) {
      return false;
    }
  }
  return true;
}

// Runs `outer` with `action` at host turn `turn` (an event, or a pump of
// the window); returns false once there is no such turn.
bool RunAt(const Outer& outer, const HostAction& action, bool window, int turn,
           const Variant& reference) {
  CVexlorCtrl c(uint64_t{11});
  CountingPresenter presenter;
  HostSink sink;
  int turns = 0;
  bool acted = false;
  auto host = [&] {
    if (++turns == turn) {
      acted = true;
      action.run(c);
    }
  };
  if (window) {
    presenter.on_pump = host;
    c.set_window_presenter(&presenter);
  } else {
    sink.on_event = [&](int) { host(); };
    c.Advise(&sink);
  }
  const Variant result = outer.call(c, window);
  if (!acted) return false;

  EXPECT_EQ(presenter.closes, presenter.shows);
  EXPECT_EQ(c.LastError(), 0);
  switch (action.expect) {
    case HostAction::kSameResult:
      EXPECT_TRUE(SameCells(result, reference));
      break;
    case HostAction::kSameShape:
      EXPECT_TRUE(SameShape(result, reference));
      break;
    case HostAction::kCancelled:
      // Empty, or at the closing report, after the last record, the
      // complete result; DeleteDupes keeps the rows done so far.
      EXPECT_TRUE(c.CanceledByUser());
      if (outer.cancel_keeps_rows && !result.IsEmpty()) {
        EXPECT_LE(result.AsArray()->rows(), reference.AsArray()->rows());
      } else {
        EXPECT_TRUE(result.IsEmpty() || SameCells(result, reference));
      }
      break;
    case HostAction::kAnyEnd:
      EXPECT_TRUE(result.IsEmpty() || result.AsArray() != nullptr);
      break;
  }

  // The control works normally afterwards.
  c.Unadvise(&sink);
  c.set_window_presenter(nullptr);
  c.Reset();
  const Variant again = outer.call(c, false);
  EXPECT_EQ(c.LastError(), 0);
  EXPECT_FALSE(c.CanceledByUser());
  EXPECT_TRUE(SameShape(again, reference));
  return true;
}

// Sinks a and b are connected; a changes the connections at its first
// event. A sink disconnected there hears nothing more, not even the rest
// of that event (so it may be destroyed at once); one connected there
// hears the later events.
TEST(ReentrancyTest, SinksChangedInsideAnEvent) {
  constexpr int kAll = 1000;  // kAll - n: every event but n
  struct Case {
    const char* name;
    void (*change)(CVexlorCtrl&, HostSink (&)[3]);
    int heard[3];
  };
  const Case kCases[] = {
      {"a disconnects b",
       [](CVexlorCtrl& c, HostSink(&s)[3]) { c.Unadvise(&s[1]); },
       {kAll, 0, 0}},
      {"a disconnects itself",
       [](CVexlorCtrl& c, HostSink(&s)[3]) { c.Unadvise(&s[0]); },
       {1, kAll, 0}},
      {"a connects c",
       [](CVexlorCtrl& c, HostSink(&s)[3]) { c.Advise(&s[2]); },
       {kAll, kAll, kAll - 1}},
      {"a reconnects b",
       [](CVexlorCtrl& c, HostSink(&s)[3]) {
         c.Unadvise(&s[1]);
         c.Advise(&s[1]);
       },
       {kAll, kAll - 1, 0}},
  };
  const Variant table = GroupTable(24);
  for (const Case& c : kCases) {
    CVexlorCtrl control;
    HostSink all, sinks[3];
    sinks[0].on_event = [&](int n) {
      if (n == 1) c.change(control, sinks);
    };
    control.Advise(&all);
    control.Advise(&sinks[0]);
    control.Advise(&sinks[1]);
    control.DupeSearch(table, 0, 80, 0.5, u"", DRR_ALL, false);
    ASSERT_GT(all.events, 2);
    for (int i = 0; i < 3; ++i) {
      const int want =
          c.heard[i] > kAll / 2 ? all.events - kAll + c.heard[i] : c.heard[i];
      EXPECT_EQ(sinks[i].events, want) << c.name << ", sink "
                                       << "abc"[i];
    }
  }
}

TEST(ReentrancyTest, HostCodeInsideABatchCall) {
  for (const Outer& outer : kOuters) {
    CVexlorCtrl reference_control(uint64_t{11});
    const Variant reference = outer.call(reference_control, false);
    ASSERT_NE(reference.AsArray(), nullptr) << outer.name;
    for (const HostAction& action : Actions()) {
      for (bool window : {false, true}) {
        int turn = 1;
        for (;; ++turn) {
          SCOPED_TRACE(std::string(outer.name) + " with " + action.name +
                       (window ? " from the window" : " from an event") +
                       " at turn " + std::to_string(turn));
          if (!RunAt(outer, action, window, turn, reference)) break;
        }
        EXPECT_GT(turn, 1) << outer.name << " " << action.name;
      }
    }
  }
}

}  // namespace
}  // namespace vexlor
