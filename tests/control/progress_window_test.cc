#include "vexlor/progress_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "vexlor/control/progress_dialogs.h"
#include "vexlor/platform/testing/scoped_env.h"
#include "vexlor/resources.h"
#include "vexlor/tables/batch_context.h"

namespace vexlor {
namespace {

// Records what a host would be asked to do, and can click Cancel at a
// given pump.
class FakePresenter : public WindowPresenter {
 public:
  void Show(ProgressWindow& w) override {
    log.push_back("show " + w.caption());
  }
  void Refresh(ProgressWindow&) override { ++refreshes; }
  void PumpMessages(ProgressWindow& w) override {
    ++pumps;
    if (pumps == cancel_at_pump) w.OnCancel();
  }
  void Close(ProgressWindow& w) override {
    log.push_back("close " + w.caption());
  }
  std::vector<std::string> log;
  int refreshes = 0;
  int pumps = 0;
  int cancel_at_pump = -1;
};

TEST(ProgressWindowTest, SearchWindowFieldFormats) {
  struct Case {
    ProgressFields fields;
    const char* current;
    const char* max;
    const char* average;
    const char* record;
    const char* found;
  };
  const Case kCases[] = {
      {{1, 0, 0.0, -1, -1, -1, -1}, "1", "0", "0.0", "-", "-"},
      {{12, 345, 4.25, 10, 2000, 7, 9},
       "12",
       "345",
       "4.2",
       "10 / 2000",
       "7  (9)"},
      {{-1, -1, -1.0, -1, 5, -1, 3}, "-", "-", "-", "-", "-"},
      {{0, 0, 0.05, 0, 0, 0, 0}, "0", "0", "0.1", "0 / 0", "0  (0)"},
      {{2147483647, 1, 1e6, 3, -4, 0, -2},
       "2147483647",
       "1",
       "1000000.0",
       "3 / -4",
       "0  (-2)"},
  };
  FakePresenter presenter;
  CProgressDlg dlg(&presenter, Language::kEnglish);
  dlg.Create("Fuzzy Duplicate Search", "Found");
  for (const Case& c : kCases) {
    dlg.UpdateProgress(10, c.fields, "00:00:01", "00:00:09");
    EXPECT_EQ(dlg.Text(kItemClusterCurrent), c.current);
    EXPECT_EQ(dlg.Text(kItemClusterMax), c.max);
    EXPECT_EQ(dlg.Text(kItemClusterAverage), c.average);
    EXPECT_EQ(dlg.Text(kItemRecord), c.record);
    EXPECT_EQ(dlg.Text(kItemFound), c.found);
    EXPECT_EQ(dlg.Text(kItemElapsed), "00:00:01");
    EXPECT_EQ(dlg.Text(kItemEta), "00:00:09");
  }
}

TEST(ProgressWindowTest, BarPositionIsThePercentRoundedDownWithinRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::pair<double, int> kCases[] = {
      {0, 0},  {99.9, 99}, {100, 100}, {100.5, 100}, {1e300, 100},
      {-5, 0}, {nan, 0},   {0.99, 0},  {42.0, 42},   {111.1, 100}};
  CProgressDlg dlg(nullptr, Language::kEnglish);
  CWaitDlg wait(nullptr, Language::kEnglish);
  for (const auto& [percent, position] : kCases) {
    dlg.UpdateProgress(percent, ProgressFields{}, "", "");
    EXPECT_EQ(dlg.bar_position(), position) << percent;
    wait.UpdateProgress(percent, "", "");
    EXPECT_EQ(wait.bar_position(), position) << percent;
  }
}

TEST(ProgressWindowTest, CreationStatusAndCancel) {
  FakePresenter presenter;
  {
    CProgressDlg dlg(&presenter, Language::kEnglish);
    // Before creation: the template's texts.
    EXPECT_EQ(dlg.caption(), "Duplicate Search");
    EXPECT_EQ(dlg.Text(kItemStatus), "Status");
    EXPECT_EQ(dlg.Text(kItemRecord), "-");
    EXPECT_EQ(dlg.Text(kItemCancel), "&Cancel");
    EXPECT_FALSE(dlg.shown());
    dlg.Create("Fuzzy Duplicate Search", "Rejected");
    EXPECT_TRUE(dlg.shown());
    EXPECT_EQ(dlg.Text(kItemFoundLabel), "Rejected");
    dlg.SetFoundLabel("Found");
    EXPECT_EQ(dlg.Text(kItemFoundLabel), "Found");
    dlg.SetStatus("Computing Clusters...");
    EXPECT_EQ(dlg.Text(kItemStatus), "Computing Clusters...");
    EXPECT_EQ(dlg.bar_low(), 0);
    EXPECT_EQ(dlg.bar_high(), 100);
    EXPECT_FALSE(dlg.canceled());
    presenter.cancel_at_pump = 2;
    dlg.UpdateProgress(1, ProgressFields{}, "", "");
    EXPECT_FALSE(dlg.canceled());
    dlg.UpdateProgress(2, ProgressFields{}, "", "");
    EXPECT_TRUE(dlg.canceled());
    dlg.UpdateProgress(3, ProgressFields{}, "", "");
    EXPECT_TRUE(dlg.canceled()) << "never reset";
    EXPECT_TRUE(dlg.shown()) << "Cancel does not close the window";
    EXPECT_EQ(presenter.pumps, 3);
  }
  EXPECT_EQ(presenter.log,
            (std::vector<std::string>{"show Fuzzy Duplicate Search",
                                      "close Fuzzy Duplicate Search"}));
}

TEST(ProgressWindowTest, WaitWindow) {
  FakePresenter presenter;
  CWaitDlg wait(&presenter, Language::kGerman);
  EXPECT_EQ(wait.Text(kItemStatus), "Initialisierung");
  wait.Create("Dubletten l\u00f6schen");
  EXPECT_EQ(wait.caption(), "Dubletten l\u00f6schen");
  EXPECT_EQ(wait.Text(kItemStatus), "Initialisierung...");
  wait.UpdateProgress(50, "00:00:10", "00:00:10");
  EXPECT_EQ(wait.Text(kItemElapsed), "00:00:10");
  EXPECT_EQ(wait.bar_position(), 50);
  // Items of the search window do not exist here.
  EXPECT_EQ(wait.Text(kItemRecord), "");
  EXPECT_EQ(wait.Text(kItemFoundLabel), "");
  EXPECT_TRUE(wait.dialog().close_box);
  EXPECT_EQ(wait.Text(kItemCancel), "A&bbrechen");
}

TEST(ResourcesTest, EveryStringInBothLanguages) {
  for (int id = 201; id <= 213; ++id) {
    EXPECT_NE(ResourceString(id, Language::kEnglish), "") << id;
    EXPECT_NE(ResourceString(id, Language::kGerman), "") << id;
    EXPECT_NE(ResourceString(id, Language::kEnglish),
              ResourceString(id, Language::kGerman))
        << id;
  }
  EXPECT_EQ(ResourceString(200, Language::kEnglish), "");
  EXPECT_EQ(ResourceString(214, Language::kGerman), "");
}

TEST(ResourcesTest, UserLanguageFromTheEnvironment) {
  struct Case {
    const char* all;
    const char* messages;
    const char* lang;
    Language want;
  };
  const Case kCases[] = {
      {nullptr, nullptr, nullptr, Language::kEnglish},
      {nullptr, nullptr, "de_DE.UTF-8", Language::kGerman},
      {nullptr, nullptr, "de", Language::kGerman},
      {nullptr, nullptr, "en_US.UTF-8", Language::kEnglish},
      {"C", nullptr, "de_DE.UTF-8", Language::kEnglish},
      {"", "de_AT", "en_GB", Language::kGerman},
      {"de_CH", "en_US", "en_US", Language::kGerman},
      {nullptr, "en_US", "de_DE", Language::kEnglish},
      {nullptr, nullptr, "d", Language::kEnglish},
      {nullptr, nullptr, "DE_de", Language::kEnglish},
  };
  for (const Case& c : kCases) {
    platform::testing::ScopedEnv env(
        {{"LC_ALL", c.all}, {"LC_MESSAGES", c.messages}, {"LANG", c.lang}});
    EXPECT_EQ(UserLanguage(), c.want)
        << (c.all ? c.all : "-") << " " << (c.messages ? c.messages : "-")
        << " " << (c.lang ? c.lang : "-");
  }
}

TEST(TerminalPanelTest, RendersTheWindowsFields) {
  CProgressDlg dlg(nullptr, Language::kEnglish);
  dlg.Create("Fuzzy Duplicate Search", "Found");
  dlg.SetStatus("Searching Duplicates...");
  dlg.UpdateProgress(50, {12, 30, 4.5, 500, 1000, 7, 9}, "00:00:12",
                     "00:00:12");
  std::string text = TerminalPanel::Render(dlg);
  for (const char* part :
       {"Fuzzy Duplicate Search", "Searching Duplicates...", " 50%", "cur. 12",
        "max. 30", "4.5", "Elapsed 00:00:12", "ETA 00:00:12",
        "Record 500 / 1000", "Found 7  (9)", "Cancel: Ctrl-C"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
  CWaitDlg wait(nullptr, Language::kGerman);
  wait.Create("Dubletten l\u00f6schen");
  text = TerminalPanel::Render(wait);
  EXPECT_NE(text.find("Dauer -"), std::string::npos) << text;
  EXPECT_NE(text.find("Abbrechen: Ctrl-C"), std::string::npos) << text;
}

int interrupts_seen = 0;
void CountInterrupt(int) { ++interrupts_seen; }

TEST(TerminalPanelTest, CtrlCIsTheCancelButtonWhileShown) {
  auto* before = std::signal(SIGINT, CountInterrupt);
  ASSERT_NE(before, SIG_ERR);

  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    TerminalPanel panel(out, std::chrono::milliseconds(0));
    CProgressDlg dlg(&panel, Language::kEnglish);
    dlg.Create("Fuzzy Duplicate Search", "Found");
    raise(SIGINT);
    EXPECT_EQ(interrupts_seen, 0) << "the panel's handler took it";
    EXPECT_FALSE(dlg.canceled()) << "until the pump runs";
    dlg.UpdateProgress(5, ProgressFields{}, "00:00", "00:00");
    EXPECT_TRUE(dlg.canceled());
  }
  // The host's handler is back once the window is gone.
  raise(SIGINT);
  EXPECT_EQ(interrupts_seen, 1);
  std::rewind(out);
  std::string drawn;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) {
    drawn.append(buffer, n);
  }
  std::fclose(out);
  EXPECT_NE(drawn.find("Fuzzy Duplicate Search"), std::string::npos);
  EXPECT_NE(drawn.find("\x1b[J"), std::string::npos) << "erased at close";
  std::signal(SIGINT, before);
}

}  // namespace
}  // namespace vexlor
