// The pair finders (pair_finders.h).
#include "python/module/pair_finders.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "python/module/control.h"
#include "python/module/conversion.h"
#include "vexlor/match_options.h"
#include "vexlor/tables/distributed/pair_ranges.h"
#include "vexlor/text.h"

namespace vexlor::python {

using platform::Variant;

namespace {

class DupeFinder {
 public:
  DupeFinder(const Control& control, py::handle rows, int32_t id_column,
             double threshold, double cluster_threshold,
             const std::string& options) {
    Arena arena;
    bool exact = false;
    const Variant table = ArgumentFromPython(rows, &arena, &exact);
    const MatchOptions parsed = ParseMatchOptions(
        platform::Utf8ToUtf16(options), OptionsReader::kDupeSearch);
    py::gil_scoped_release release;
    finder_ = std::make_unique<DupePairFinder>(control.column_options(), table,
                                               id_column, threshold,
                                               cluster_threshold, parsed);
  }

  uint32_t rows() const { return finder_->rows(); }

  py::bytes Find(uint32_t begin, uint32_t end) {
    std::vector<uint32_t> words;
    {
      py::gil_scoped_release release;
      finder_->Find(begin, end, &words);
    }
    return WordsToBytes(words);
  }

 private:
  std::unique_ptr<DupePairFinder> finder_;
};

class MatchFinder {
 public:
  MatchFinder(const Control& control, py::handle rows, int32_t id_column,
              double threshold, double cluster_threshold,
              const std::string& options) {
    Arena arena;
    bool exact = false;
    const Variant master = ArgumentFromPython(rows, &arena, &exact);
    const MatchOptions parsed = ParseMatchOptions(
        platform::Utf8ToUtf16(options), OptionsReader::kFuzzyMatch);
    py::gil_scoped_release release;
    finder_ = std::make_unique<MatchPairFinder>(control.column_options(),
                                                master, id_column, threshold,
                                                cluster_threshold, parsed);
  }

  py::bytes Find(py::handle records) {
    Arena arena;
    bool exact = false;
    const Variant table = ArgumentFromPython(records, &arena, &exact);
    std::vector<uint32_t> words;
    {
      py::gil_scoped_release release;
      finder_->Find(table, &words);
    }
    return WordsToBytes(words);
  }

 private:
  std::unique_ptr<MatchPairFinder> finder_;
};
}  // namespace

void DefinePairFinders(py::module_& m) {
  py::class_<DupeFinder>(m, "_DupePairFinder")
      .def(py::init<const Control&, py::handle, int32_t, double, double,
                    const std::string&>())
      .def_property_readonly("rows", &DupeFinder::rows)
      .def("find", &DupeFinder::Find);
  py::class_<MatchFinder>(m, "_MatchPairFinder")
      .def(py::init<const Control&, py::handle, int32_t, double, double,
                    const std::string&>())
      .def("find", &MatchFinder::Find);
}

}  // namespace vexlor::python
