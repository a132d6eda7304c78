#include "vexlor/control/progress_reporter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "vexlor/control/control_context.h"
#include "vexlor/platform/testing/allocation_walk.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/text.h"
#include "vexlor/variant_array.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor {
namespace {

using platform::Variant;
using platform::VariantArray;

// Every event as one line of text, in order.
class RecordingEvents : public EventSink {
 public:
  void Progress(int16_t action, double percent, int32_t elapsed,
                std::u16string_view elapsed_text, int32_t eta,
                std::u16string_view eta_text) override {
    char line[256];
    std::snprintf(line, sizeof line, "P %d %g %d %s %d %s", action, percent,
                  elapsed, platform::Utf16ToUtf8(elapsed_text).c_str(), eta,
                  platform::Utf16ToUtf8(eta_text).c_str());
    lines.push_back(line);
    if (on_event) on_event();
  }
  void ProgressDupeSearch(double percent, int32_t record_no,
                          double record_count, int32_t depth, int32_t depth_max,
                          double depth_avg, int32_t found, int32_t found2,
                          int32_t elapsed, std::u16string_view elapsed_text,
                          int32_t eta, std::u16string_view eta_text) override {
    char line[256];
    std::snprintf(line, sizeof line, "D %g %d %g %d %d %g %d %d %d %s %d %s",
                  percent, record_no, record_count, depth, depth_max, depth_avg,
                  found, found2, elapsed,
                  platform::Utf16ToUtf8(elapsed_text).c_str(), eta,
                  platform::Utf16ToUtf8(eta_text).c_str());
    lines.push_back(line);
    if (on_event) on_event();
  }
  std::vector<std::string> lines;
  std::function<void()> on_event;
};

class FakePresenter : public WindowPresenter {
 public:
  void Show(ProgressWindow&) override { ++shows; }
  void Refresh(ProgressWindow&) override {}
  void PumpMessages(ProgressWindow& w) override {
    ++pumps;
    if (pumps == cancel_at_pump) w.OnCancel();
  }
  void Close(ProgressWindow&) override { ++closes; }
  int shows = 0;
  int pumps = 0;
  int closes = 0;
  int cancel_at_pump = -1;
};

TEST(ProgressReporterTest, SpanTexts) {
  const std::pair<int64_t, const char*> kCases[] = {
      {0, "00:00:00"},          {59, "00:00:59"},    {61, "00:01:01"},
      {3600, "01:00:00"},       {86399, "23:59:59"}, {86400, "00:00:00"},
      {86465, "00:01:05"},      {90061, "01:01:01"}, {-5, "00:00:00"},
      {2147483647, "03:14:07"},
  };
  for (const auto& [seconds, text] : kCases) {
    EXPECT_EQ(FormatSpan(seconds), text) << seconds;
  }
}

TEST(ProgressReporterTest, EstimatedRemainingTime) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    int32_t elapsed;
    double percent;
    int32_t eta;
  };
  const Case kCases[] = {
      {30, 50, 30},
      {0, 0, 0},
      {10, 0, 0},
      {10, -5, 0},
      {10, 150, 0},
      {10, nan, 0},
      {7, 33.3, 14},
      {10, 100, 0},
      {1, 1e-300, std::numeric_limits<int32_t>::max()},
      {100, 99.9, 0},
      {1000, 99.9, 1},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(EtaSeconds(c.elapsed, c.percent), c.eta)
        << c.elapsed << " " << c.percent;
  }
}

struct Fixture {
  bool canceled = false;
  SinkList sinks;
  int64_t now = 1000;
  FakePresenter presenter;
  ProgressReporter reporter{canceled, sinks, &presenter,
                            [this] { return now; }};
};

TEST(ProgressReporterTest, EventsWithTheStageClock) {
  Fixture f;
  RecordingEvents a, b;
  f.sinks.Add(&a);
  f.sinks.Add(&b);
  f.reporter.Open(false, ProgressWindowKind::kSearch, 208, 207);
  EXPECT_EQ(f.reporter.window(), nullptr);
  f.reporter.BeginStage(201, ProgressEvent::kProgress,
                        {1, 0, 0.0, -1, -1, -1, -1});
  f.now += 30;
  f.reporter.Report(50, ProgressFields{});
  f.now += 5;
  f.reporter.BeginStage(202, ProgressEvent::kProgressDupeSearch,
                        {0, 0, 0.0, 0, 40, 0, 0});
  f.reporter.ReportAgain(100, {3, 9, 2.5, 40, 40, -1, 6}, 203);
  f.now += 90061;
  f.reporter.Report(25, {3, 9, 2.5, 10, 40, 1, 2});
  f.reporter.ReportAgain(100, {3, 9, 2.5, 40, 40, 4, 6}, 203);
  f.reporter.Close();
  const std::vector<std::string> want = {
      "P 1 0 0 00:00 0 00:00",
      "P 1 50 30 00:00:30 30 00:00:30",
      "D 0 0 40 0 0 0 0 0 0 00:00 0 00:00",
      // Closing report before any report of the stage.
      "D 100 40 40 3 9 2.5 -1 6 0 00:00 0 00:00",
      "D 25 10 40 3 9 2.5 1 2 90061 01:01:01 270183 03:03:03",
      "D 100 40 40 3 9 2.5 4 6 90061 01:01:01 270183 03:03:03",
  };
  EXPECT_EQ(a.lines, want);
  EXPECT_EQ(b.lines, want);
  EXPECT_EQ(f.presenter.shows, 0) << "events never show a window";
}

TEST(ProgressReporterTest, SinkCancelTakesEffectAtOnce) {
  Fixture f;
  RecordingEvents a;
  a.on_event = [&] { f.canceled = true; };
  f.sinks.Add(&a);
  f.reporter.Open(false, ProgressWindowKind::kSearch, 208, 207);
  EXPECT_FALSE(f.reporter.IsCanceled());
  f.reporter.BeginStage(201, ProgressEvent::kProgress, ProgressFields{});
  EXPECT_TRUE(f.reporter.IsCanceled());
}

TEST(ProgressReporterTest, WindowReportsAndCancelMerge) {
  Fixture f;
  RecordingEvents a;
  f.sinks.Add(&a);
  f.reporter.Open(true, ProgressWindowKind::kSearch, 208, 207);
  ProgressWindow* w = f.reporter.window();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(f.presenter.shows, 1);
  EXPECT_EQ(w->Text(kItemFoundLabel), ResourceString(207, w->language()));
  EXPECT_EQ(w->caption(), ResourceString(208, w->language()));

  // Cancel clicked during the stage's first update: noticed at the next
  // report only.
  f.presenter.cancel_at_pump = 1;
  f.reporter.BeginStage(201, ProgressEvent::kProgress,
                        {1, 0, 0.0, -1, -1, -1, -1});
  EXPECT_EQ(w->Text(kItemStatus), ResourceString(201, w->language()));
  EXPECT_EQ(w->Text(kItemClusterCurrent), "1");
  EXPECT_EQ(w->Text(kItemClusterAverage), "0.0");
  EXPECT_EQ(w->Text(kItemElapsed), "00:00");
  EXPECT_TRUE(w->canceled());
  EXPECT_FALSE(f.reporter.IsCanceled());
  f.now += 12;
  f.reporter.Report(37.5, ProgressFields{});
  EXPECT_TRUE(f.reporter.IsCanceled());
  EXPECT_EQ(w->bar_position(), 37);
  EXPECT_EQ(w->Text(kItemElapsed), "00:00:12");
  EXPECT_EQ(w->Text(kItemEta), "00:00:20");
  EXPECT_EQ(w->Text(kItemClusterCurrent), "-");

  // The closing report keeps the last percent and the last times.
  f.now += 100;
  f.reporter.ReportAgain(100, {4, 8, 1.5, 40, 40, 2, 3}, 203);
  EXPECT_EQ(w->bar_position(), 37);
  EXPECT_EQ(w->Text(kItemElapsed), "00:00:12");
  EXPECT_EQ(w->Text(kItemRecord), "40 / 40");
  EXPECT_EQ(w->Text(kItemFound), "2  (3)");
  EXPECT_EQ(w->Text(kItemStatus), ResourceString(203, w->language()));
  EXPECT_TRUE(a.lines.empty()) << "a window raises no events";

  f.reporter.Close();
  EXPECT_EQ(f.reporter.window(), nullptr);
  EXPECT_EQ(f.presenter.closes, 1);
  f.reporter.Close();
  EXPECT_EQ(f.presenter.closes, 1);
}

TEST(ProgressReporterTest, ControlFlagSetStaysSet) {
  Fixture f;
  f.reporter.Open(true, ProgressWindowKind::kSearch, 208, 207);
  f.reporter.BeginStage(202, ProgressEvent::kProgressDupeSearch,
                        ProgressFields{});
  f.canceled = true;
  f.reporter.Report(10, ProgressFields{});
  EXPECT_TRUE(f.reporter.IsCanceled());
}

TEST(ProgressReporterTest, WaitWindowAndRaiiClose) {
  FakePresenter presenter;
  bool canceled = false;
  SinkList sinks;
  {
    ProgressReporter reporter(canceled, sinks, &presenter, [] { return 0; });
    reporter.Open(true, ProgressWindowKind::kWait, 210, 0);
    ProgressWindow* w = reporter.window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->dialog().id, kDialogWait);
    EXPECT_EQ(w->Text(kItemStatus), ResourceString(211, w->language()));
    reporter.BeginStage(209, ProgressEvent::kProgress, ProgressFields{});
    reporter.Report(50, ProgressFields{});
    EXPECT_EQ(w->bar_position(), 50);
    // A second Open replaces the window.
    reporter.Open(true, ProgressWindowKind::kSearch, 208, 207);
    EXPECT_EQ(presenter.closes, 1);
  }
  EXPECT_EQ(presenter.closes, 2) << "closed when the reporter ends";
}

// The whole road through the control.
Variant NameTable(int rows) {
  Variant t = VariantArray::NewTable(2, rows);
  std::string name;
  uint32_t state = 12345;
  for (int r = 0; r < rows; ++r) {
    // Pairs of equal names of random letters.
    if (r % 2 == 0) {
      name.clear();
      for (int i = 0; i < 8; ++i) {
        state = state * 1103515245u + 12345u;
        name.push_back(static_cast<char>('A' + (state >> 16) % 26));
      }
    }
    t.AsArray()->cell(0, r) = Variant::I4(r);
    t.AsArray()->cell(1, r) = Variant::AnsiString(name);
  }
  return t;
}

TEST(ControlDupeSearchTest, EventsThroughTheControl) {
  CVexlorCtrl c(uint64_t{42});
  RecordingEvents events;
  c.Advise(&events);
  Variant result =
      c.DupeSearch(NameTable(20), 0, 80, 0.5, u"ignored", DRR_ALL, false);
  ASSERT_NE(result.AsArray(), nullptr);
  EXPECT_EQ(result.AsArray()->rows(), 20u);
  EXPECT_EQ(c.LastError(), 0);
  EXPECT_FALSE(c.CanceledByUser());
  ASSERT_EQ(events.lines.size(), 5u);
  EXPECT_EQ(events.lines[0].rfind("P 1 0 0 00:00 0 00:00", 0), 0u);
  EXPECT_EQ(events.lines[1].rfind("D 0 0 20 0 0 0 0 0 0 00:00", 0), 0u)
      << events.lines[1];
  // Record 10 (row 9): percent 10 * 100 / 19; one candidate each.
  EXPECT_EQ(events.lines[2].rfind("D 52.6316 10 20 1 1 1 5 5 ", 0), 0u)
      << events.lines[2];
  EXPECT_EQ(events.lines[4].rfind("D 100 20 20 1 1 1 10 10 ", 0), 0u)
      << events.lines[4];
  EXPECT_FALSE(c.column_options().cluster[0]);

  // Same seed, same labels: a second control gives the same table.
  CVexlorCtrl d(uint64_t{42});
  Variant again = d.DupeSearch(NameTable(20), 0, 80, 0.5, u"", DRR_ALL, false);
  for (uint32_t r = 0; r < 20; ++r) {
    EXPECT_TRUE(
        SameValue(result.AsArray()->cell(2, r), again.AsArray()->cell(2, r)));
  }
}

TEST(ControlDupeSearchTest, SinkCancelStopsBeforeTheNextRecord) {
  CVexlorCtrl c(uint64_t{1});
  RecordingEvents events;
  events.on_event = [&] {
    if (events.lines.size() == 3) c.Cancel();  // first periodic report
  };
  c.Advise(&events);
  EXPECT_TRUE(
      c.DupeSearch(NameTable(40), 0, 80, 0.5, u"", DRR_ALL, false).IsEmpty());
  EXPECT_TRUE(c.CanceledByUser());
  EXPECT_EQ(c.LastError(), 0);
  EXPECT_EQ(events.lines.size(), 3u);
  c.Unadvise(&events);
  EXPECT_FALSE(
      c.DupeSearch(NameTable(4), 0, 80, 0.5, u"", DRR_ALL, false).IsEmpty());
  EXPECT_FALSE(c.CanceledByUser()) << "cleared by the next call";
}

TEST(ControlDupeSearchTest, WindowCancelStopsAtTheNextReport) {
  CVexlorCtrl c(uint64_t{1});
  FakePresenter presenter;
  RecordingEvents events;
  c.Advise(&events);
  c.set_window_presenter(&presenter);
  // Pumps: stage 1 start (1), stage 2 start (2), record 10 (3), ...
  // A click at the stage 2 start is merged at record 10's report.
  presenter.cancel_at_pump = 2;
  EXPECT_TRUE(
      c.DupeSearch(NameTable(40), 0, 80, 0.5, u"", DRR_DUPES, true).IsEmpty());
  EXPECT_TRUE(c.CanceledByUser());
  EXPECT_EQ(presenter.pumps, 3);
  EXPECT_EQ(presenter.shows, 1);
  EXPECT_EQ(presenter.closes, 1);
  EXPECT_TRUE(events.lines.empty());

  FakePresenter calm;
  c.set_window_presenter(&calm);
  Variant dupes = c.DupeSearch(NameTable(40), 0, 80, 0.5, u"", DRR_DUPES, true);
  ASSERT_NE(dupes.AsArray(), nullptr);
  EXPECT_EQ(dupes.AsArray()->rows(), 40u);
  EXPECT_EQ(calm.closes, 1);
  c.set_window_presenter(nullptr);
}

TEST(ControlDupeSearchTest, OutOfMemoryAtTheMemberBoundary) {
  Variant table = NameTable(12);
  platform::testing::WalkAllocationFailures([&](int64_t n) {
    CVexlorCtrl c(uint64_t{3});
    RecordingEvents events;
    c.Advise(&events);
    Variant result;
    const bool failed = platform::testing::FailsAt(n, [&] {
      result = c.DupeSearch(table, 0, 80, 0.5, u"", DRR_DUPES, false);
    });
    // A failure the call can absorb (giving back memory of a trimmed
    // result) must leave a complete result.
    if (!failed || c.LastError() == 0) {
      EXPECT_EQ(c.LastError(), 0);
      EXPECT_NE(result.AsArray(), nullptr);
      if (result.AsArray() != nullptr) {
        EXPECT_EQ(result.AsArray()->rows(), 12u);
      }
      return failed;
    }
    EXPECT_EQ(c.LastError(), -1);
    EXPECT_EQ(c.LastErrorDescription(), u"Out of Memory");
    return true;
  });
}

}  // namespace
}  // namespace vexlor
