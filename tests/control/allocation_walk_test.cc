// Every allocation of every batch member, failed in turn through the
// control: each failure must end as "Out of Memory" with one of the results
// the method's failure rules allow, or be absorbed with the complete
// result; the window must be closed, the logs closed and holding a prefix
// of their complete content, and the control usable afterwards. Leaks show
// up in the sanitizer build.
#include "vexlor/platform/testing/allocation_walk.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "tests/control/control_test_support.h"
#include "tests/output/temp_dir.h"
#include "vexlor/platform/testing/scoped_env.h"
#include "vexlor/text.h"
#include "vexlor/variant_array.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor {
namespace {

using platform::Variant;
using testing::CountingPresenter;
using testing::FileIsOpen;
using testing::GroupTable;
using testing::HostSink;
using testing::ReadBytes;
using testing::TempDir;

struct Logs {
  std::u16string first, second;
};

struct WalkCase {
  const char* name;
  bool show_progress;
  bool writes_logs;
  std::function<Variant(CVexlorCtrl&, bool show, const Logs&)> call;
  // What a failed call may return: "empty", "no array" or "table" (a
  // partial result, where the failure rules keep what was done).
  std::set<std::string> allowed;
};

bool SameShape(const Variant& a, const Variant& b) {
  if (a.vt() != b.vt()) return false;
  if (a.AsArray() == nullptr || b.AsArray() == nullptr) {
    return a.AsArray() == b.AsArray();
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

// Whole lines of `complete` from its start.
bool IsLinePrefix(const std::string& part, const std::string& complete) {
  if (complete.compare(0, part.size(), part) != 0) return false;
  return part.empty() ||
         (part.size() >= 2 && part.compare(part.size() - 2, 2, "\r\n") == 0);
}

class AllocationWalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(AllocationWalkTest, EveryFailureEndsCleanly) {
  const WalkCase& w = GetParam();
  // Logs are flushed to the device at every close: on a memory file
  // system where there is one, so the walk does not wait for the disk.
  if (testing::Exists("/dev/shm")) {
    platform::testing::SetEnv("TMPDIR", "/dev/shm");
  }
  TempDir dir;
  const std::string log1 = dir.File("first.csv"), log2 = dir.File("second.csv");
  const Logs logs{platform::Utf8ToUtf16(log1), platform::Utf8ToUtf16(log2)};

  CVexlorCtrl reference_control(uint64_t{11});
  const Variant reference = w.call(reference_control, w.show_progress, logs);
  ASSERT_EQ(reference_control.LastError(), 0);
  const std::string complete1 = ReadBytes(log1), complete2 = ReadBytes(log2);
  ASSERT_EQ(!complete1.empty(), w.writes_logs);

  std::map<std::string, int> outcomes;
  const int64_t failed_runs =
      platform::testing::WalkAllocationFailures([&](int64_t n) {
        SCOPED_TRACE(w.name);
        std::remove(log1.c_str());
        std::remove(log2.c_str());
        CVexlorCtrl c(uint64_t{11});
        CountingPresenter presenter;
        HostSink sink;
        c.set_window_presenter(&presenter);
        c.Advise(&sink);
        Variant result;
        const bool failed = platform::testing::FailsAt(
            n, [&] { result = w.call(c, w.show_progress, logs); });
        EXPECT_LE(presenter.shows, w.show_progress ? 1 : 0);
        EXPECT_EQ(presenter.closes, presenter.shows);
        EXPECT_FALSE(FileIsOpen(log1) || FileIsOpen(log2));
        EXPECT_TRUE(IsLinePrefix(ReadBytes(log1), complete1));
        EXPECT_TRUE(IsLinePrefix(ReadBytes(log2), complete2));
        if (!failed || c.LastError() == 0) {
          // A failure the call absorbed must leave the complete result.
          EXPECT_EQ(c.LastError(), 0);
          EXPECT_TRUE(SameCells(result, reference));
          ++outcomes["complete"];
          return failed;
        }
        EXPECT_EQ(c.LastError(), -1);
        EXPECT_EQ(c.LastErrorDescription(), u"Out of Memory");
        std::string outcome;
        if (result.IsEmpty()) {
          outcome = "empty";
        } else if (result.vt() == (platform::VT_ARRAY | platform::VT_VARIANT) &&
                   result.AsArray() == nullptr) {
          outcome = "no array";
        } else {
          outcome = "table";
        }
        EXPECT_TRUE(w.allowed.count(outcome)) << outcome;
        ++outcomes[outcome];

        // The control is usable afterwards: the same call succeeds in full.
        c.Reset();
        Variant again = w.call(c, w.show_progress, Logs{});
        EXPECT_EQ(c.LastError(), 0);
        EXPECT_TRUE(SameShape(again, reference));
        return true;
      });
  std::string summary;
  for (const auto& [outcome, count] : outcomes) {
    summary += " " + outcome + "=" + std::to_string(count);
  }
  std::printf("[ walk     ] %s: %lld allocations;%s\n", w.name,
              static_cast<long long>(failed_runs), summary.c_str());
}

// Inputs are made once, by the reference call, outside the walk.
const testing::SampleTables& Tables() {
  static const testing::SampleTables tables = testing::MakeSampleTables(14, 12);
  return tables;
}
const Variant& Master() { return Tables().master; }
const Variant& Second() { return Tables().second; }
const Variant& Labelled() { return Tables().labelled; }

std::string CaseName(const ::testing::TestParamInfo<WalkCase>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    BatchMembers, AllocationWalkTest,
    ::testing::Values(
        WalkCase{"DupeSearchDupesWindow",
                 true,
                 false,
                 [](CVexlorCtrl& c, bool show, const Logs&) {
                   return c.DupeSearch(Master(), 0, 80, 0.5, u"", DRR_DUPES,
                                       show);
                 },
                 {"empty", "no array", "table"}},
        WalkCase{"DupeSearchAllEvents",
                 false,
                 false,
                 [](CVexlorCtrl& c, bool show, const Logs&) {
                   return c.DupeSearch(Master(), 0, 80, 0.0, u"", DRR_ALL,
                                       show);
                 },
                 {"empty", "no array"}},
        WalkCase{"FuzzyMatchAllWindow",
                 true,
                 true,
                 [](CVexlorCtrl& c, bool show, const Logs& logs) {
                   return c.FuzzyMatch(Master(), Second(), 0, 80, 0.5, u"",
                                       MAR_ALL, show, logs.first, logs.second);
                 },
                 {"empty", "no array"}},
        WalkCase{"FuzzyMatchPositiveEvents",
                 false,
                 true,
                 [](CVexlorCtrl& c, bool show, const Logs& logs) {
                   return c.FuzzyMatch(Master(), Second(), 0, 80, 0.5, u"",
                                       MAR_POSITIVE, show, logs.first,
                                       logs.second);
                 },
                 {"empty", "no array", "table"}},
        WalkCase{"FuzzyMergeDupesWindow",
                 true,
                 true,
                 [](CVexlorCtrl& c, bool show, const Logs& logs) {
                   return c.FuzzyMerge(Master(), Second(), 0, 80, 0.5, u"",
                                       MRR_DUPES, show, logs.first,
                                       logs.second);
                 },
                 {"empty", "no array", "table"}},
        WalkCase{"FuzzyMergeImportEvents",
                 false,
                 true,
                 [](CVexlorCtrl& c, bool show, const Logs& logs) {
                   return c.FuzzyMerge(Master(), Second(), 0, 80, 0.5, u"",
                                       MRR_IMPORT, show, logs.first,
                                       logs.second);
                 },
                 {"empty", "no array", "table"}},
        WalkCase{"FuzzyMergeCleanMergedEvents",
                 false,
                 true,
                 [](CVexlorCtrl& c, bool show, const Logs& logs) {
                   return c.FuzzyMerge(Master(), Second(), 0, 80, 0.5, u"",
                                       MRR_CLEANMERGED, show, logs.first,
                                       logs.second);
                 },
                 {"empty", "no array", "table"}},
        WalkCase{"ExactMatchPositiveWindow",
                 true,
                 false,
                 [](CVexlorCtrl& c, bool show, const Logs&) {
                   return c.ExactMatchByColumn(Master(), Second(), 1,
                                               MAR_POSITIVE, show);
                 },
                 {"empty"}},
        WalkCase{"DeleteDupesDeletedWindow",
                 true,
                 true,
                 [](CVexlorCtrl& c, bool show, const Logs& logs) {
                   return c.DeleteDupes(Labelled(), -1, -1, DO_KEEP_LAST,
                                        DER_DELETED, show, logs.first);
                 },
                 {"empty", "table"}},
        WalkCase{"DeleteDupesCleanEvents",
                 false,
                 true,
                 [](CVexlorCtrl& c, bool show, const Logs& logs) {
                   return c.DeleteDupes(Labelled(), -1, -1, DO_KEEP_FIRST,
                                        DER_CLEAN, show, logs.first);
                 },
                 {"empty", "table"}}),
    CaseName);

}  // namespace
}  // namespace vexlor
