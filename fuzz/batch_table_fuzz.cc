// sources: vexlor/*/*.cc vexlor/tables/*/*.cc
// libs: -licui18n -licuuc -lsqlite3
// options: -len_control=0 -max_len=1024
//
// Drives every batch method of a control with arguments built from the
// input: tables of random shapes, lower bounds and cell types, passed by
// value or by reference, arrays that are not tables, arrays that hold no
// array, scalars; random column options, thresholds, return modes, CSV
// settings and log files; a progress window or a sink that cancels at some
// event. Checks that each call returns what a batch method may return
// (Empty, a two-dimensional table, or an array holding no array only after
// running out of memory), never runs out of memory on these small inputs,
// leaves the caller's tables as they were and unlocked, closes its window,
// and leaves the control usable for the next call. A call that ran to the
// end (not cancelled) must also give what the straightforward oracles of
// tests/reference/ give for the same tables and settings: the groups of
// DupeSearch, the Match column of FuzzyMatch, the merged rows and groups of
// FuzzyMerge, the rows ExactMatchByColumn and DeleteDupes keep.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/batch_table_oracle.h"
#include "vexlor/progress_window.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"
#include "vexlor/vexlor_ctrl.h"

namespace {

using vexlor::CVexlorCtrl;
using vexlor::platform::ArrayBound;
using vexlor::platform::Variant;
using vexlor::platform::VariantArray;
using vexlor::platform::VarType;

void Check(bool ok) {
  if (!ok) std::abort();
}

// A window that is never drawn; counts shows and closes.
class CountingPresenter : public vexlor::WindowPresenter {
 public:
  void Show(vexlor::ProgressWindow&) override { ++open; }
  void Refresh(vexlor::ProgressWindow&) override {}
  void Close(vexlor::ProgressWindow&) override { --open; }
  int open = 0;
};

// Cancels at the n-th event (0: never).
class CancellingSink : public vexlor::EventSink {
 public:
  CancellingSink(CVexlorCtrl* control, int cancel_at)
      : control_(control), cancel_at_(cancel_at) {}
  void Progress(int16_t, double, int32_t, std::u16string_view, int32_t,
                std::u16string_view) override {
    Count();
  }
  void ProgressDupeSearch(double, int32_t, double, int32_t, int32_t, double,
                          int32_t, int32_t, int32_t, std::u16string_view,
                          int32_t, std::u16string_view) override {
    Count();
  }

 private:
  void Count() {
    if (++events_ == cancel_at_) control_->Cancel();
  }
  CVexlorCtrl* control_;
  int cancel_at_;
  int events_ = 0;
};

class Builder {
 public:
  explicit Builder(FuzzedDataProvider* in) : in_(*in) {}

  double Threshold() {
    static const double kValues[] = {80,
                                     0,
                                     100,
                                     50,
                                     -5,
                                     100.5,
                                     std::numeric_limits<double>::quiet_NaN(),
                                     std::numeric_limits<double>::infinity()};
    if (in_.ConsumeBool()) return in_.PickValueInArray(kValues);
    return in_.ConsumeFloatingPointInRange<double>(-10, 110);
  }

  double ClusterThreshold() {
    static const double kValues[] = {
        0.5, 0, 0.3, 1, 2, -1, std::numeric_limits<double>::quiet_NaN()};
    if (in_.ConsumeBool()) return in_.PickValueInArray(kValues);
    return in_.ConsumeFloatingPointInRange<double>(-0.5, 1.5);
  }

  // A DeleteDupes result keeps MaxColumnIndex + 1 columns whatever the
  // table's width, so the largest indexes only ask for more memory than
  // there is (which the sanitizer reports instead of throwing).
  int32_t MaxColumnIndex() {
    static const int32_t kValues[] = {-1, 0, 1, 2, 5, 399, 400, 401, 20000};
    return in_.PickValueInArray(kValues);
  }

  int16_t Mode() {
    static const int16_t kValues[] = {0, 1, 2, 3, 0, 1, -1, 4, 7, 32767};
    return in_.PickValueInArray(kValues);
  }

  int32_t ColumnIndex() {
    static const int32_t kValues[] = {
        -1, 0, 1, 2, 3, 5, 399, 400, -2, std::numeric_limits<int32_t>::max()};
    return in_.PickValueInArray(kValues);
  }

  std::u16string Text() {
    static const char16_t* const kTexts[] = {
        u"",
        u"Meier",
        u"Meyer",
        u"Main Street 1",
        u"Schulz",
        u"M\u00fcller",
        u"  ",
        u"a\"b",
        u"x;y",
        u"line\r\nbreak",
        u"\u0141\u00f3d\u017a",
        u"{AAAAAAAA-0000-0000-0000-000000000000}",
        u"{BBBBBBBB-0000-0000-0000-000000000000}",
        u"12",
        u"0.5"};
    if (in_.ConsumeIntegralInRange(0, 5) > 0) {
      return in_.PickValueInArray(kTexts);
    }
    std::u16string text;
    size_t length = in_.ConsumeIntegralInRange<size_t>(0, 40);
    for (size_t i = 0; i < length; ++i) {
      text.push_back(in_.ConsumeIntegralInRange<char16_t>(1, 0x17F));
    }
    return text;
  }

  Variant Cell(int depth) {
    switch (in_.ConsumeIntegralInRange(0, 15)) {
      case 0:
        return Variant();
      case 1:
        return Variant::Null();
      case 2:
        return Variant::I2(in_.ConsumeIntegral<int16_t>());
      case 3:
        return Variant::I4(in_.ConsumeIntegralInRange(-3, 30));
      case 4:
        return Variant::R8(in_.ConsumeFloatingPoint<double>());
      case 5:
        return Variant::Bool(in_.ConsumeBool());
      case 6:
        return Variant::Date(in_.ConsumeFloatingPointInRange(-1e6, 3e6));
      case 7:
        return Variant::Currency(in_.ConsumeIntegral<int64_t>());
      case 8:
        return Variant::Error(in_.ConsumeIntegral<int32_t>());
      case 9:
        return Variant::I8(in_.ConsumeIntegral<int64_t>());
      case 10:
        return Variant::UI1(in_.ConsumeIntegral<uint8_t>());
      case 11:
        return Variant::R4(in_.ConsumeFloatingPoint<float>());
      case 12:
        return Variant::Opaque(vexlor::platform::VT_DISPATCH);
      case 13:
        // A cell that is itself a table.
        if (depth == 0) return Table(depth + 1);
        return Variant();
      default:
        return Variant::String(Text());
    }
  }

  int32_t LowerBound() {
    static const int32_t kValues[] = {0,
                                      0,
                                      0,
                                      1,
                                      -1,
                                      5,
                                      std::numeric_limits<int32_t>::min(),
                                      std::numeric_limits<int32_t>::max()};
    return in_.PickValueInArray(kValues);
  }

  Variant Table(int depth) {
    uint32_t columns = in_.ConsumeIntegralInRange<uint32_t>(0, 6);
    if (in_.ConsumeIntegralInRange(0, 30) == 0) columns = 401;
    const uint32_t rows = in_.ConsumeIntegralInRange<uint32_t>(0, 24);
    Variant table =
        VariantArray::NewTable(columns, rows, LowerBound(), LowerBound());
    VariantArray* array = table.AsArray();
    // A few cell patterns repeated, so that duplicates occur.
    std::vector<Variant> pool;
    const size_t pool_size = in_.ConsumeIntegralInRange<size_t>(1, 8);
    for (size_t i = 0; i < pool_size; ++i) pool.push_back(Cell(depth));
    for (uint32_t r = 0; r < rows; ++r) {
      for (uint32_t c = 0; c < columns && c < 8; ++c) {
        array->cell(c, r) =
            in_.ConsumeBool()
                ? pool[in_.ConsumeIntegralInRange<size_t>(0, pool.size() - 1)]
                : Cell(depth);
      }
    }
    return table;
  }

  // An argument and, for a reference, the variant it refers to.
  Variant Argument(std::unique_ptr<Variant>* referred) {
    switch (in_.ConsumeIntegralInRange(0, 11)) {
      case 0:
        return Variant();
      case 1:
        return Variant::String(Text());
      case 2:
        return Variant::I4(3);
      case 3:
        return Variant::Array(nullptr);
      case 4: {
        std::vector<ArrayBound> bounds(in_.ConsumeBool() ? 1 : 3);
        for (ArrayBound& b : bounds) {
          b.lower = LowerBound();
          b.count = in_.ConsumeIntegralInRange<uint32_t>(0, 3);
        }
        return Variant::Array(VariantArray::Create(bounds));
      }
      case 5: {
        // A table whose elements claim another type.
        return Variant::Array(VariantArray::Create2D(2, 2),
                              vexlor::platform::VT_I4);
      }
      case 6:
      case 7: {
        *referred = std::make_unique<Variant>(
            in_.ConsumeIntegralInRange(0, 4) > 0 ? Table(0) : Variant());
        return Variant::ByRef(referred->get());
      }
      default:
        return Table(0);
    }
  }

  void Options(CVexlorCtrl* control) {
    const int count = in_.ConsumeIntegralInRange(0, 6);
    static const double kWeights[] = {1.0,
                                      0.5,
                                      2.0,
                                      0.0,
                                      -1.0,
                                      1.5,
                                      std::numeric_limits<double>::quiet_NaN()};
    for (int i = 0; i < count; ++i) {
      control->SetColumnOption(
          static_cast<int16_t>(in_.ConsumeIntegralInRange(-1, 8)),
          in_.ConsumeBool(), in_.ConsumeBool(), in_.PickValueInArray(kWeights),
          in_.ConsumeBool(), Text());
    }
    if (in_.ConsumeBool()) {
      static const char16_t* const kDelimiters[] = {u";", u",", u"", u", ",
                                                    u"\t"};
      control->SetCSVDelimiter(in_.PickValueInArray(kDelimiters));
      control->SetCSVTextInQuotes(in_.ConsumeBool());
      control->SetCSVColumnHeaders(in_.ConsumeBool());
    }
  }

  std::u16string LogName(const std::u16string& path) {
    switch (in_.ConsumeIntegralInRange(0, 3)) {
      case 0:
        return path;
      case 1:
        return u"/nonexistent-folder/log.csv";
      default:
        return u"";
    }
  }

 private:
  FuzzedDataProvider& in_;
};

// A deep copy of an argument's cells, to prove the call changed nothing.
struct Snapshot {
  explicit Snapshot(const Variant& v) {
    const Variant& target =
        v.vt() == (vexlor::platform::VT_BYREF | vexlor::platform::VT_VARIANT) &&
                v.AsRef() != nullptr
            ? *v.AsRef()
            : v;
    array = target.AsArray();
    if (array == nullptr) return;
    for (size_t i = 0; i < array->size(); ++i)
      cells.push_back(array->data()[i]);
  }
  bool Unchanged() const {
    if (array == nullptr) return true;
    if (array->locks() != 0 || array->size() != cells.size()) return false;
    for (size_t i = 0; i < cells.size(); ++i) {
      if (!vexlor::platform::SameValue(array->data()[i], cells[i]))
        return false;
    }
    return true;
  }
  VariantArray* array = nullptr;
  std::vector<Variant> cells;
};

// What a batch method may return.
void CheckResult(const CVexlorCtrl& control, const Variant& result) {
  Check(control.LastError() == 0);
  if (result.IsEmpty()) return;
  Check(result.vt() ==
        (vexlor::platform::VT_ARRAY | vexlor::platform::VT_VARIANT));
  Check(result.AsArray() != nullptr && result.AsArray()->dims() == 2);
  Check(result.AsArray()->locks() == 0);
}

const std::u16string& LogPath(int which) {
  static const std::u16string paths[2] = {
      [] {
        std::string p =
            "/tmp/vexlor-fuzz-" + std::to_string(getpid()) + "-1.csv";
        return std::u16string(p.begin(), p.end());
      }(),
      [] {
        std::string p =
            "/tmp/vexlor-fuzz-" + std::to_string(getpid()) + "-2.csv";
        return std::u16string(p.begin(), p.end());
      }()};
  return paths[which];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Builder build(&in);
  CVexlorCtrl control(uint64_t{7});
  CountingPresenter presenter;
  control.set_window_presenter(&presenter);
  CancellingSink sink(&control, in.ConsumeIntegralInRange(0, 12));
  control.Advise(&sink);
  build.Options(&control);

  const int method = in.ConsumeIntegralInRange(0, 5);
  std::unique_ptr<Variant> referred1, referred2;
  const Variant first = build.Argument(&referred1);
  const Variant second = build.Argument(&referred2);
  const Snapshot first_before(first), second_before(second);
  const bool show = in.ConsumeBool();
  const int32_t column = build.ColumnIndex();
  const double threshold = build.Threshold();
  const double cluster = build.ClusterThreshold();
  const int16_t mode = build.Mode();
  const std::u16string log1 = build.LogName(LogPath(0));
  const std::u16string log2 = build.LogName(LogPath(1));
  const int32_t max_column = method == 4 ? build.MaxColumnIndex() : -1;

  // The column options as the call finds them.
  const vexlor::ColumnOptions options_before = control.column_options();
  auto call = [&] {
    switch (method) {
      case 0:
        return control.DupeSearch(first, column, threshold, cluster, u"", mode,
                                  show);
      case 1:
        return control.FuzzyMatch(first, second, column, threshold, cluster,
                                  u"", mode, show, log1, log2);
      case 2:
        return control.FuzzyMerge(first, second, column, threshold, cluster,
                                  u"", mode, show, log1, log2);
      case 3:
        return control.ExactMatchByColumn(first, second, column, mode, show);
      case 4:
        return control.DeleteDupes(first, column, max_column,
                                   static_cast<int16_t>(mode % 3), mode, show,
                                   log1);
      default:
        control.VariantArray2CSVFile(first, LogPath(0));
        return Variant();
    }
  };
  Variant result = call();
  CheckResult(control, result);
  // Most inputs cancel at some event: the same call once more, to its end,
  // so that every input's tables meet the oracles.
  if (control.CanceledByUser()) {
    control.Unadvise(&sink);
    control.column_options() = options_before;
    result = call();
    CheckResult(control, result);
    Check(!control.CanceledByUser());
  }
  const vexlor::fuzz::BatchCall made{method, first,      second,
                                     column, threshold,  cluster,
                                     mode,   max_column, options_before};
  Check(vexlor::fuzz::AgreesWithTheOracle(made, result));
  Check(first_before.Unchanged());
  Check(second_before.Unchanged());
  Check(presenter.open == 0);

  // The control still works: options back to the defaults, a small search.
  control.Unadvise(&sink);
  control.Reset();
  Variant table = VariantArray::NewTable(1, 3);
  table.AsArray()->cell(0, 0) = Variant::String(u"Meier");
  table.AsArray()->cell(0, 1) = Variant::String(u"Meier");
  table.AsArray()->cell(0, 2) = Variant::String(u"Schulz");
  Variant again = control.DupeSearch(table, -1, 80, 0.5, u"", 0, false);
  Check(control.LastError() == 0 && !control.CanceledByUser());
  Check(again.AsArray() != nullptr && again.AsArray()->rows() == 2);
  return 0;
}
