// Helpers for the tests that drive whole batch calls through a control: a
// window presenter that counts, an event sink that runs host code, small
// tables with groups, and a check that no file descriptor is left open on
// a path.
#ifndef VEXLOR_TESTS_CONTROL_CONTROL_TEST_SUPPORT_H_
#define VEXLOR_TESTS_CONTROL_CONTROL_TEST_SUPPORT_H_

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <functional>
#include <string>

#include "vexlor/event_sink.h"
#include "vexlor/progress_window.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor::testing {

// Windows are never drawn; shows and closes are counted.
class CountingPresenter : public WindowPresenter {
 public:
  void Show(ProgressWindow&) override { ++shows; }
  void Refresh(ProgressWindow&) override {}
  void PumpMessages(ProgressWindow&) override {
    if (on_pump) on_pump();
  }
  void Close(ProgressWindow&) override { ++closes; }
  int shows = 0;
  int closes = 0;
  std::function<void()> on_pump;
};

// Runs `on_event` at every event of either kind.
class HostSink : public EventSink {
 public:
  void Progress(int16_t, double, int32_t, std::u16string_view, int32_t,
                std::u16string_view) override {
    Fire();
  }
  void ProgressDupeSearch(double, int32_t, double, int32_t, int32_t, double,
                          int32_t, int32_t, int32_t, std::u16string_view,
                          int32_t, std::u16string_view) override {
    Fire();
  }
  int events = 0;
  std::function<void(int event)> on_event;

 private:
  void Fire() {
    ++events;
    if (on_event) on_event(events);
  }
};

// `rows` rows of (row number, name, town); names repeat in pairs (with a
// one-letter variant) so that duplicate searches find groups. `salt`
// varies the names.
inline platform::Variant GroupTable(int rows, int salt = 0) {
  platform::Variant t = platform::VariantArray::NewTable(3, rows);
  static const char* const kNames[] = {"Meier",  "Schulz", "Hoffmann",
                                       "Becker", "Wagner", "Zimmermann"};
  for (int r = 0; r < rows; ++r) {
    std::string name = kNames[(r / 2 + salt) % 6];
    if (r % 2 == 1) name += "s";
    t.AsArray()->cell(0, r) = platform::Variant::I4(r);
    t.AsArray()->cell(1, r) =
        platform::Variant::AnsiString(name + " " + std::to_string(r / 12));
    t.AsArray()->cell(2, r) =
        platform::Variant::AnsiString(r % 3 == 0 ? "Berlin" : "Hamburg");
  }
  return t;
}

// The tables the batch-member tests call with: a master and a second table
// of GroupTable rows, and the master labelled by a seeded duplicate search.
struct SampleTables {
  platform::Variant master;
  platform::Variant second;
  platform::Variant labelled;
};
inline SampleTables MakeSampleTables(int master_rows, int second_rows) {
  SampleTables t{GroupTable(master_rows), GroupTable(second_rows, 3), {}};
  CVexlorCtrl c(uint64_t{5});
  t.labelled = c.DupeSearch(t.master, 0, 80, 0.5, u"", DRR_ALL, false);
  return t;
}

// True when some descriptor of this process is open on `path`; on Windows,
// when any handle is, since only then is an open without sharing refused.
inline bool FileIsOpen(const std::string& path) {
#ifdef _WIN32
  HANDLE handle =
      CreateFileW(std::filesystem::path(path).c_str(), GENERIC_READ, 0, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return handle == INVALID_HANDLE_VALUE &&
         GetLastError() == ERROR_SHARING_VIOLATION;
#else
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::absolute(path, ec);
  for (const auto& fd :
       std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    std::error_code link_ec;
    if (std::filesystem::read_symlink(fd.path(), link_ec) == target) {
      return true;
    }
  }
  return false;
#endif
}

}  // namespace vexlor::testing

#endif  // VEXLOR_TESTS_CONTROL_CONTROL_TEST_SUPPORT_H_
